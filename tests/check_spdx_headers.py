#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every file of ours names its licence in a comment near its top.

Usage: check_spdx_headers.py [--add] ROOT

Without --add it lists each file that lacks the line and fails; with --add it
writes the line into each, and leaves alone those that have it. The files are
the ones git tracks under ROOT (every file below it when ROOT is no clone).
A file whose kind has no rule here fails the check, so that a new kind of
file is decided on rather than passed over.
"""

import os
import subprocess
import sys

IDENTIFIER = "SPDX-License-Identifier: GPL-3.0-or-later"

# Not ours to mark, or no place for a comment: the licence's own text, pictures,
# documentation, and fuzz inputs, whose every byte is the case they replay.
SKIPPED_NAMES = {"LICENSE"}
SKIPPED_SUFFIXES = (".png", ".md")
SKIPPED_FOLDERS = ("fuzz/corpus/",)

# How each kind of file writes a comment, and which first line must stay first:
# an interpreter line, zsh's completion tag, an XML declaration.
SLASHES = ("// " + IDENTIFIER, ())
HASH = ("# " + IDENTIFIER, ("#!", "#compdef"))
XML = ("<!-- " + IDENTIFIER + " -->", ("<?xml",))
TROFF = ('.\\" ' + IDENTIFIER, ())

KIND_BY_SUFFIX = {
    ".cpp": SLASHES,
    ".h": SLASHES,
    ".mm": SLASHES,
    ".sh": HASH,
    ".py": HASH,
    ".cmake": HASH,
    ".bash": HASH,
    ".zsh": HASH,
    ".desktop": HASH,
    ".ui": XML,
    ".svg": XML,
    ".xml": XML,
    ".plist": XML,
    ".1": TROFF,
}
KIND_BY_NAME = {
    "CMakeLists.txt": HASH,
    ".gitignore": HASH,
    ".clang-format": HASH,
    "changelog": None,  # Debian's format has no comments
    "copyright": None,  # says the licence itself, in Debian's own format
}


def tracked_files(root):
    try:
        listing = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                                 capture_output=True).stdout
        return sorted(name for name in listing.decode().split("\0") if name)
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, subfolders, names in os.walk(root):
            subfolders[:] = [f for f in subfolders
                             if not f.startswith(".git") and not f.startswith("build")]
            found += [os.path.relpath(os.path.join(folder, n), root) for n in names]
        return sorted(found)


def skipped(path):
    name = os.path.basename(path)
    return (name in SKIPPED_NAMES or name.endswith(SKIPPED_SUFFIXES)
            or path.startswith(SKIPPED_FOLDERS))


def kind_of(path, first_line):
    """(comment line, first lines that stay first), None for a file that takes
    none, or "unknown"."""
    name = os.path.basename(path)
    if name.endswith(".in"):  # a template is the kind of what it makes
        name = name[:-3]
    if name in KIND_BY_NAME:
        return KIND_BY_NAME[name]
    suffix = os.path.splitext(name)[1]
    if suffix in KIND_BY_SUFFIX:
        return KIND_BY_SUFFIX[suffix]
    if first_line.startswith("#!"):
        return HASH
    return "unknown"


def header_index(lines, kept_first):
    """Where the comment goes: after a first line that must stay first."""
    if lines and lines[0].startswith(kept_first) and kept_first:
        return 1
    return 0


def has_header(lines, comment, kept_first):
    at = header_index(lines, kept_first)
    return len(lines) > at and lines[at].rstrip("\r\n") == comment


def main(arguments):
    add = "--add" in arguments
    roots = [a for a in arguments if a != "--add"]
    if len(roots) != 1:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    root = roots[0]
    lacking, unknown = [], []
    for path in tracked_files(root):
        if skipped(path):
            continue
        full = os.path.join(root, path)
        if not os.path.isfile(full) or os.path.islink(full):
            continue
        with open(full, encoding="utf-8", newline="") as file:
            lines = file.readlines()
        kind = kind_of(path, lines[0] if lines else "")
        if kind is None:
            continue
        if kind == "unknown":
            unknown.append(path)
            continue
        comment, kept_first = kind
        if has_header(lines, comment, kept_first):
            continue
        if not add:
            lacking.append(path)
            continue
        lines.insert(header_index(lines, kept_first), comment + "\n")
        with open(full, "w", encoding="utf-8", newline="") as file:
            file.writelines(lines)
    for path in lacking:
        print(f"{path}: no '{IDENTIFIER}' line at its top", file=sys.stderr)
    for path in unknown:
        print(f"{path}: no rule for this kind of file in {os.path.basename(__file__)}",
              file=sys.stderr)
    if lacking:
        print("scripts/add-spdx-headers.sh adds the missing lines.", file=sys.stderr)
    return 1 if lacking or unknown else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
