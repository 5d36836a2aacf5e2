#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The await check against each form it allows and each it refuses."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_awaits  # noqa: E402


def in_function(body):
    return "QCoro::Task<void> Flow::run() {\n" + body + "\n}\n"


ALLOWED = {
    "bare": "co_await ended;",
    "call": "co_await session.adbDevices();",
    "member chain": "co_await pending->done;",
    "template call": "co_await waitFor<int>(a, {1, 2});",
    "moved task": "co_await std::move(task);",
    "declaration": "const int32_t devices = co_await session.adbDevices();",
    "declaration without const": "AdbRun run = co_await launchAdbProcess(arguments, true);",
    "templated type": "const QList<QPair<int, int>> pairs = co_await listPairs();",
    "across lines": "AdbRun run = co_await runner_.run(program,\n"
    "                                   arguments,\n"
    "                                   waits_.commandTimeout);",
    "await split from its operand": "const bool ok =\n    co_await\n        probe();",
    "assignment": "presence = co_await probeServerExecutable();",
    "member assignment": "this->answer = co_await ask(adb);",
    "co_return": "co_return co_await probeServerProcess();",
    "under if": "if (running)\n    co_await stop();",
    "under else": "if (running) {\n    co_await stop();\n} else\n    co_await start();",
    "under loops": "for (int i = 0; i < 3; ++i)\n    co_await pause(i);\n"
    "while (busy) co_await pause(1);",
    "under a case label": "switch (kind) {\ncase Kind::A:\n    co_await a();\n    break;\n"
    "default:\n    co_await b();\n}",
    "inside a block after others": "{\n    say(u\"x\"_s);\n    co_await f();\n}",
    "lambda body in an argument": "connect(a, &A::b, [&]() -> QCoro::Task<void> {\n"
    "    co_await step();\n});",
    "lambda with plain return type": "run([this]() -> Task { co_await step(); });",
    "operator co_await": "struct Event {\n"
    "    Awaiter operator co_await() { return Awaiter{*this}; }\n};",
    "in a line comment": "// if (co_await x) is not allowed\nco_await x;",
    "in a block comment": "/* f(co_await x);\n   x = 1 + co_await y; */\nco_await x;",
    "in strings": "say(\"f(co_await x)\");\nsay(u\"if (co_await y)\"_s);\n"
    "say(R\"raw(g(co_await \"z\"))raw\");\nconst char c = '(';\nco_await x;",
    "in a directive": "#define AWAIT_TWICE(x) f(co_await x, \\\n    co_await x)\nco_await x;",
}

REFUSED = {
    "initialiser braces": "const Result r{co_await f()};",
    "assigned braces": "QStringList l = {co_await f()};",
    "braces in an argument": "use(Result{co_await f()});",
    "argument": "use(co_await f());",
    "second argument across lines": "use(a,\n    co_await f());",
    "constructor argument": "const Result r(co_await f());",
    "if condition": "if (co_await f()) {\n}",
    "negated condition": "if (!co_await f())\n    co_return;",
    "while condition": "while (co_await f()) {\n}",
    "condition with initialiser": "if (const bool ok = co_await f(); ok) {\n}",
    "for range": "for (const auto& d : co_await devices()) {\n}",
    "subscript": "v[co_await f()] = 1;",
    "left operand": "const int n = co_await f() + 1;",
    "right operand": "const int n = 1 + co_await f();",
    "logical operand": "const bool both = co_await a() && co_await b();",
    "negated": "const bool no = !co_await f();",
    "compound assignment": "n += co_await f();",
    "chained assignment": "a = b = co_await f();",
    "bare operand": "co_await f() || fallback();",
    "co_return operand": "co_return !co_await f();",
    "conditional operand": "const int n = ready ? co_await f() : 0;",
    "conditional condition": "const int n = co_await f() ? 1 : 0;",
    "cast": "static_cast<void>(co_await f());",
    "member of the result": "const int n = (co_await f()).size;",
    "structured binding": "const auto [a, b] = co_await f();",
    "in a lambda's braces": "run([&] { const R r{co_await f()}; });",
}


class AwaitCheck(unittest.TestCase):
    def test_allowed_forms(self):
        for name, body in ALLOWED.items():
            with self.subTest(name):
                self.assertEqual(check_awaits.check_source(in_function(body)), [])

    def test_refused_forms(self):
        for name, body in REFUSED.items():
            with self.subTest(name):
                findings = check_awaits.check_source(in_function(body))
                self.assertTrue(findings, body)
                # Named at the await's own line, so a reader finds it.
                await_line = 1 + body[: body.index("co_await")].count("\n") + 1
                self.assertIn(await_line, [finding.line for finding in findings])

    def test_refusal_among_allowed_lines_is_found_once(self):
        body = "co_await a();\nconst int n = co_await b();\nuse(co_await c());\nn = co_await d();"
        findings = check_awaits.check_source(in_function(body))
        self.assertEqual([finding.line for finding in findings], [4])

    def test_command_fails_naming_file_and_line(self):
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "good.cpp"), "w") as file:
                file.write(in_function(ALLOWED["declaration"]))
            with open(os.path.join(folder, "bad.h"), "w") as file:
                file.write(in_function(REFUSED["if condition"]))
            with open(os.path.join(folder, "notes.txt"), "w") as file:
                file.write("use(co_await f());\n")
            script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_awaits.py")
            failed = subprocess.run(
                [sys.executable, script, folder], capture_output=True, text=True)
            self.assertEqual(failed.returncode, 1)
            self.assertEqual(failed.stdout.count("\n"), 1, failed.stdout)
            self.assertIn(os.path.join(folder, "bad.h") + ":2:", failed.stdout)

            os.remove(os.path.join(folder, "bad.h"))
            passed = subprocess.run(
                [sys.executable, script, folder], capture_output=True, text=True)
            self.assertEqual(passed.returncode, 0, passed.stdout)

            # A path without sources is a mistake in the test's setup, not a pass.
            empty = os.path.join(folder, "empty")
            os.mkdir(empty)
            nothing = subprocess.run(
                [sys.executable, script, empty], capture_output=True, text=True)
            self.assertEqual(nothing.returncode, 2)


if __name__ == "__main__":
    unittest.main()
