#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the licence line into each file of ours that lacks it; files that have
# it are left as they are, so it may run any number of times. Which files, and
# in which comment, is decided by the check CTest runs (spdx_headers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec python3 "$root/tests/check_spdx_headers.py" --add "$root"
