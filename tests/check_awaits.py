#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a co_await is anything but a statement of its own.

GCC 12 and clang have both resumed frames that were already freed, or
destroyed a temporary twice, when an awaited task ended inside a condition, an
argument, an aggregate's braces or an operand. Every await therefore stands in
one of these forms, and nowhere else:

    co_await e;
    [const] T x = co_await e;
    x = co_await e;
    co_return co_await e;

where `e` is a name, a call or a member chain (no operator around it). The
statement may sit under `if (...)`, `else`, a loop's head or a label.
Comments, strings and preprocessor lines are skipped; `operator co_await` is
no await.

Usage: check_awaits.py PATH...   (folders are searched for C++ sources)
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".cpp", ".cc", ".cxx", ".h", ".hpp", ".hh")

# Longest first, so that "->" is not read as "-" and ">".  ">>" is left out on
# purpose: it closes two template argument lists as often as it shifts.
PUNCTUATORS = sorted(
    [
        "...", "->*", "<=>", "<<=", "::", "->", ".*", "++", "--", "<<", "<=", ">=",
        "==", "!=", "&&", "||", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=",
    ],
    key=len,
    reverse=True,
)
STRING_PREFIXES = {"u8", "u", "U", "L", "R", "u8R", "uR", "UR", "LR"}
IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z_0-9]*")
NUMBER = re.compile(r"\.?[0-9](?:[eEpP][+-]|['A-Za-z_0-9.])*")
SUFFIX = re.compile(r"[A-Za-z_][A-Za-z_0-9]*")

STRING = "<string>"
CONTROL_HEADS = {"if", "while", "for", "switch"}
# What a type or a base-class list may hold between its words.
TYPE_PUNCTUATION = ("::", "<", ">", ",", "*", "&", ":")
BLOCK_AFTER_WORDS = {"else", "do", "try", "mutable", "noexcept", "override", "final", "const"}


class Token:
    __slots__ = ("text", "line")

    def __init__(self, text, line):
        self.text = text
        self.line = line

    def __repr__(self):
        return f"{self.text}@{self.line}"


def _skip_quoted(source, at, quote):
    """Index just past the literal that opens at `at` with `quote`."""
    at += 1
    while at < len(source):
        c = source[at]
        if c == "\\":
            at += 2
            continue
        if c == quote or c == "\n":
            return at + 1
        at += 1
    return at


def _skip_raw(source, at):
    """Index just past a raw string whose opening quote is at `at`."""
    opening = source.find("(", at)
    if opening < 0:
        return len(source)
    delimiter = source[at + 1 : opening]
    closing = source.find(")" + delimiter + '"', opening)
    return len(source) if closing < 0 else closing + len(delimiter) + 2


def tokenize(source):
    """C++ tokens with their line numbers; strings and characters become one
    STRING token each, comments and preprocessor lines nothing."""
    tokens = []
    at = 0
    line = 1
    line_start = True  # only white space so far on this line
    size = len(source)
    while at < size:
        c = source[at]
        if c == "\n":
            line += 1
            at += 1
            line_start = True
            continue
        if c in " \t\r\f\v":
            at += 1
            continue
        if source.startswith("//", at):
            end = source.find("\n", at)
            at = size if end < 0 else end
            continue
        if source.startswith("/*", at):
            end = source.find("*/", at + 2)
            end = size if end < 0 else end + 2
            line += source.count("\n", at, end)
            at = end
            continue
        if c == "#" and line_start:
            # A directive runs to the first line end that no backslash continues.
            while at < size:
                end = source.find("\n", at)
                if end < 0:
                    at = size
                    break
                line += 1
                at = end + 1
                if source[end - 1 : end] != "\\" and source[end - 2 : end] != "\\\r":
                    break
            line_start = True
            continue
        line_start = False
        start_line = line
        match = IDENTIFIER.match(source, at)
        if match:
            word = match.group()
            after = match.end()
            if word in STRING_PREFIXES and after < size and source[after] in "\"'":
                if word.endswith("R") and source[after] == '"':
                    end = _skip_raw(source, after)
                else:
                    end = _skip_quoted(source, after, source[after])
                suffix = SUFFIX.match(source, end)
                end = suffix.end() if suffix else end
                line += source.count("\n", at, end)
                tokens.append(Token(STRING, start_line))
                at = end
                continue
            tokens.append(Token(word, start_line))
            at = after
            continue
        match = NUMBER.match(source, at)
        if match:
            tokens.append(Token(match.group(), start_line))
            at = match.end()
            continue
        if c in "\"'":
            end = _skip_quoted(source, at, c)
            suffix = SUFFIX.match(source, end)
            end = suffix.end() if suffix else end
            tokens.append(Token(STRING, start_line))
            at = end
            continue
        for punctuator in PUNCTUATORS:
            if source.startswith(punctuator, at):
                tokens.append(Token(punctuator, start_line))
                at += len(punctuator)
                break
        else:
            tokens.append(Token(c, start_line))
            at += 1
    return tokens


def _is_word(text):
    return IDENTIFIER.fullmatch(text) is not None


def _is_operand(text):
    return _is_word(text) or text == STRING or NUMBER.fullmatch(text) is not None


def _closing(texts, at):
    """Index of the bracket that closes the one at `at`, or None."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    stack = []
    for index in range(at, len(texts)):
        text = texts[index]
        if text in pairs:
            stack.append(pairs[text])
        elif text in (")", "]", "}"):
            if not stack or stack.pop() != text:
                return None
            if not stack:
                return index
    return None


def _closing_angle(texts, at):
    """Index of the '>' that closes the template argument list opening at
    `at`, or None. Brackets inside are skipped whole."""
    depth = 0
    index = at
    while index < len(texts):
        text = texts[index]
        if text == "<":
            depth += 1
        elif text == ">":
            depth -= 1
            if depth == 0:
                return index
        elif text in ("(", "[", "{"):
            inner = _closing(texts, index)
            if inner is None:
                return None
            index = inner
        elif text in (";", ")", "]", "}", "=", "&&", "||", "?", "==", "!="):
            return None
        index += 1
    return None


def _is_block_brace(texts, at):
    """Whether the '{' at `at` opens a body of statements rather than an
    initialiser."""
    if at == 0:
        return True
    before = texts[at - 1]
    if before in (")", "]", ";", "{", "}", ":") or before in BLOCK_AFTER_WORDS:
        return True
    if before != ">" and not _is_word(before):
        return False
    # A trailing return type (`-> QCoro::Task<T> {`) opens a lambda's body, and
    # `namespace x {`, `class X : public Y {` hold no awaits of their own; any
    # other `Type<T>{` or `name{` initialises.
    index = at - 1
    while index >= 0 and (_is_word(texts[index]) or texts[index] in TYPE_PUNCTUATION):
        if texts[index] in ("namespace", "class", "struct", "union", "enum"):
            return True
        index -= 1
    return index >= 0 and texts[index] == "->"


def _strip_heads(texts):
    """The statement without the `if (...)`, `else`, `do`, loop heads and
    labels in front of it."""
    while texts:
        first = texts[0]
        if first in ("else", "do"):
            texts = texts[1:]
        elif first in CONTROL_HEADS:
            opening = 1
            if opening < len(texts) and texts[opening] == "constexpr":
                opening += 1
            if opening >= len(texts) or texts[opening] != "(":
                return texts
            closing = _closing(texts, opening)
            if closing is None:
                return texts
            texts = texts[closing + 1 :]
        elif first == "case" and ":" in texts:
            texts = texts[texts.index(":") + 1 :]
        elif first == "default" and texts[1:2] == [":"]:
            texts = texts[2:]
        elif _is_word(first) and texts[1:2] == [":"] and first not in ("public", "private"):
            texts = texts[2:]
        elif first == "[" and texts[1:2] == ["["]:
            closing = _closing(texts, 0)
            if closing is None:
                return texts
            texts = texts[closing + 1 :]
        else:
            return texts
    return texts


def _is_plain_operand(texts):
    """A name, a literal, a call or a member chain, with nothing applied to
    its value: what `co_await` may take."""
    if not texts:
        return False
    index = 0
    while index < len(texts) and texts[index] in ("*", "&"):
        index += 1
    state = "start"  # what may come next: start, operand or name
    while index < len(texts):
        text = texts[index]
        if text in ("(", "[", "{"):
            if state == "name" or (state == "start" and text != "("):
                return False
            closing = _closing(texts, index)
            if closing is None:
                return False
            index = closing + 1
            state = "operand"
            continue
        if state in ("start", "name"):
            if text == "::" and state == "start":
                state = "name"
            elif _is_operand(text) or text in ("~", "template"):
                state = "operand" if text not in ("~", "template") else "name"
            else:
                return False
        else:
            if text in ("::", ".", "->"):
                state = "name"
            elif text == "<" and _is_word(texts[index - 1]):
                closing = _closing_angle(texts, index)
                if closing is None:
                    return False
                index = closing
            else:
                return False
        index += 1
    return state == "operand"


def _is_assignable(texts):
    """`x`, `this->x`, `a.b`, `ns::x`: a name someone assigns to."""
    if not texts or not _is_word(texts[0]):
        return False
    for index, text in enumerate(texts):
        if index % 2 == 0 and not _is_word(text):
            return False
        if index % 2 == 1 and text not in (".", "->", "::"):
            return False
    return len(texts) % 2 == 1


def _is_declaration(texts):
    """`[const] T x`: a type, then the declared name, no initialiser braces."""
    if len(texts) < 2 or not _is_word(texts[-1]):
        return False
    depth = 0
    for index, text in enumerate(texts[:-1]):
        if text == "<":
            depth += 1
        elif text == ">":
            depth -= 1
            if depth < 0:
                return False
        elif text == ",":
            if depth == 0:
                return False
        elif text in ("::", "*", "&", "&&"):
            pass
        elif _is_word(text):
            pass
        elif text[:1].isdigit() and depth > 0:
            pass
        else:
            return False
    return depth == 0


def statement_is_allowed(texts):
    """Whether the statement `texts` (its tokens, the ';' last) awaits in an
    allowed form. It holds exactly one co_await at its top level."""
    texts = _strip_heads(texts)
    if not texts or texts[-1] != ";":
        return False
    awaits = [i for i, text in enumerate(texts) if text == "co_await"]
    if len(awaits) != 1:
        return False
    at = awaits[0]
    if not _is_plain_operand(texts[at + 1 : -1]):
        return False
    before = texts[:at]
    if not before or before == ["co_return"]:
        return True
    if before[-1] != "=":
        return False
    target = before[:-1]
    return _is_assignable(target) or _is_declaration(target)


class Finding:
    def __init__(self, line, why):
        self.line = line
        self.why = why

    def __repr__(self):
        return f"Finding({self.line}, {self.why!r})"


def _statement_end(texts, at):
    """Index of the ';' ending the statement that holds the token at `at`;
    brackets opened after `at` are skipped whole."""
    index = at
    while index < len(texts):
        text = texts[index]
        if text in ("(", "[", "{"):
            closing = _closing(texts, index)
            if closing is None:
                return None
            index = closing
        elif text == ";":
            return index
        elif text in (")", "]", "}"):
            return None
        index += 1
    return None


def check_source(source):
    """Every co_await in `source` that is not a statement of its own."""
    tokens = tokenize(source)
    texts = [token.text for token in tokens]
    findings = []
    # One frame per open bracket: its kind and where its current statement began.
    frames = [["block", 0]]
    for index, token in enumerate(tokens):
        text = token.text
        frame = frames[-1]
        if text == "{":
            kind = "block" if _is_block_brace(texts, index) else "braces"
            frames.append([kind, index + 1])
        elif text in ("(", "["):
            frames.append([text, index + 1])
        elif text in (")", "]", "}"):
            if len(frames) > 1:
                frames.pop()
            if text == "}" and frame[0] == "block" and frames[-1][0] == "block":
                # A body just ended: an if's, a loop's, a nested block's.
                frames[-1][1] = index + 1
        elif text == ";" and frame[0] == "block":
            frame[1] = index + 1
        elif text == "co_await":
            if index > 0 and tokens[index - 1].text == "operator":
                continue
            if frame[0] == "(":
                findings.append(
                    Finding(token.line, "inside parentheses (an argument or a condition)"))
                continue
            if frame[0] == "[":
                findings.append(Finding(token.line, "inside brackets"))
                continue
            if frame[0] == "braces":
                findings.append(Finding(token.line, "inside initialiser braces"))
                continue
            end = _statement_end(texts, index)
            if end is None:
                findings.append(Finding(token.line, "in no statement that ends"))
                continue
            if not statement_is_allowed(texts[frame[1] : end + 1]):
                findings.append(Finding(token.line, "is part of a larger expression"))
    return findings


def source_files(paths):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for folder, folders, files in os.walk(path):
            folders.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(folder, name)


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    failures = 0
    checked = 0
    for path in source_files(argv[1:]):
        with open(path, encoding="utf-8", errors="replace") as file:
            source = file.read()
        checked += 1
        lines = source.splitlines()
        for finding in check_source(source):
            failures += 1
            shown = lines[finding.line - 1].strip() if finding.line <= len(lines) else ""
            print(f"{path}:{finding.line}: co_await {finding.why}: {shown}")
    if checked == 0:
        print("check_awaits: no C++ sources found in " + " ".join(argv[1:]), file=sys.stderr)
        return 2
    if failures:
        print(f"{failures} co_await(s) outside the allowed forms in {checked} files",
              file=sys.stderr)
        return 1
    print(f"every co_await in {checked} files stands as a statement of its own")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
