#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The licence-line check and its --add on a small tree of each kind of file."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_spdx_headers.py")
LINE = "SPDX-License-Identifier: GPL-3.0-or-later"

# (path, text before, text after --add)
MARKED = [
    ("src/a.cpp", "#include <a>\n", f"// {LINE}\n#include <a>\n"),
    ("src/a.h", "#pragma once\n", f"// {LINE}\n#pragma once\n"),
    ("run.sh", "#!/bin/sh\necho\n", f"#!/bin/sh\n# {LINE}\necho\n"),
    (".ci/run", "#!/usr/bin/env bash\nx\n", f"#!/usr/bin/env bash\n# {LINE}\nx\n"),
    ("CMakeLists.txt", "project(x)\n", f"# {LINE}\nproject(x)\n"),
    ("tool.py", "import os\n", f"# {LINE}\nimport os\n"),
    ("_prog.zsh.in", "#compdef prog\n_x\n", f"#compdef prog\n# {LINE}\n_x\n"),
    ("prog.bash.in", "_prog() { :; }\n", f"# {LINE}\n_prog() {{ :; }}\n"),
    ("a.desktop", "[Desktop Entry]\n", f"# {LINE}\n[Desktop Entry]\n"),
    ("Info.plist.in", '<?xml version="1.0"?>\n<plist/>\n',
     f'<?xml version="1.0"?>\n<!-- {LINE} -->\n<plist/>\n'),
    ("a.svg", "<svg/>\n", f"<!-- {LINE} -->\n<svg/>\n"),
    ("prog.1", ".TH PROG 1\n", f'.\\" {LINE}\n.TH PROG 1\n'),
    ("crlf.cpp", "int x;\r\n", f"// {LINE}\nint x;\r\n"),
    ("empty.h", "", f"// {LINE}\n"),
]

# Files that are not ours to mark or take no comment: their bytes stay.
UNMARKED = [
    ("LICENSE", "GNU GENERAL PUBLIC LICENSE\n"),
    ("README.md", "# Title\n"),
    ("fuzz/corpus/text/case", "List of devices attached\n"),
    ("icon.png", "\x89PNG\n"),
    ("packaging/changelog", "prog (1.0.0) unstable; urgency=medium\n"),
    ("packaging/copyright", "Format: https://example/\n"),
]


def write(root, path, text):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8", newline="") as file:
        file.write(text)


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8", newline="") as file:
        return file.read()


def run(*arguments):
    return subprocess.run([sys.executable, CHECK, *arguments], capture_output=True, text=True)


class SpdxHeaderTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        for path, before, _ in MARKED:
            write(self.root, path, before)
        for path, text in UNMARKED:
            write(self.root, path, text)

    def tearDown(self):
        self.folder.cleanup()

    def test_check_names_each_file_that_lacks_the_line(self):
        result = run(self.root)
        self.assertEqual(result.returncode, 1)
        for path, _, _ in MARKED:
            self.assertIn(f"{path}: no '{LINE}'", result.stderr)
        for path, _ in UNMARKED:
            self.assertNotIn(path + ":", result.stderr)

    def test_add_writes_each_kind_of_comment_where_it_belongs(self):
        self.assertEqual(run("--add", self.root).returncode, 0)
        for path, _, after in MARKED:
            with self.subTest(path=path):
                self.assertEqual(read(self.root, path), after)
        for path, text in UNMARKED:
            with self.subTest(path=path):
                self.assertEqual(read(self.root, path), text)
        self.assertEqual(run(self.root).returncode, 0, run(self.root).stderr)

    def test_add_twice_changes_nothing_more(self):
        run("--add", self.root)
        first = {path: read(self.root, path) for path, _, _ in MARKED}
        run("--add", self.root)
        self.assertEqual({path: read(self.root, path) for path, _, _ in MARKED}, first)

    def test_a_kind_without_a_rule_fails_until_one_is_decided(self):
        run("--add", self.root)
        write(self.root, "data/table.csv", "a,b\n")
        result = run("--add", self.root)
        self.assertEqual(result.returncode, 1)
        self.assertIn("data/table.csv: no rule for this kind of file", result.stderr)
        self.assertEqual(read(self.root, "data/table.csv"), "a,b\n")

    def test_a_line_elsewhere_in_the_file_does_not_count(self):
        write(self.root, "late.cpp", f"int x;\n// {LINE}\n")
        result = run(self.root)
        self.assertIn("late.cpp: no", result.stderr)


if __name__ == "__main__":
    unittest.main()
