#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each fuzz target with libFuzzer for SECONDS, one after the other, and
# says per target how many inputs it ran and what it found.
#
#   fuzz/run-fuzzers.sh SECONDS [TARGET...]     (all targets when none is named)
#
# Builds the targets first, with clang, in build-fuzz (OSTREL_FUZZ_BUILD to
# change it). What a run learns stays in BUILD/fuzz-corpus/TARGET and feeds the
# next run; the starting inputs in fuzz/corpus/TARGET are read, never written. An input
# that crashes lands in BUILD/fuzz-findings/TARGET/: add it to fuzz/corpus/TARGET
# so that the replay test keeps it, once the fault is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
build=${OSTREL_FUZZ_BUILD:-build-fuzz}
compiler=${CXX:-$(command -v clang++-14 || command -v clang++)}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*_fuzz.cpp; do
        name=$(basename "$source" _fuzz.cpp)
        targets+=("$name")
    done
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" -DOSTREL_BUILD_FUZZERS=ON
fi
cmake --build "$build" --target fuzzers

# Console text needs lines past the console's limit, which the default
# length of 4096 bytes cannot hold.
max_len() {
    case $1 in
        console_text | adb_text) echo 20000 ;;
        *) echo 4096 ;;
    esac
}

status=0
summary=()
for target in "${targets[@]}"; do
    program="$build/fuzz/${target}_fuzz"
    if [ ! -x "$program" ]; then
        echo "no fuzz target $target" >&2
        exit 2
    fi
    corpus="$build/fuzz-corpus/$target"
    findings="$build/fuzz-findings/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$corpus" "$findings" "$(dirname "$log")"
    echo "fuzzing $target for $seconds s (log: $log)"
    found=0
    # Halting on a report is built in; the leak checker stays off, as Qt keeps
    # some allocations for the life of the process. An input counts as a hang
    # after a minute: on a busy machine a fuzzer may wait seconds for a core.
    ASAN_OPTIONS=detect_leaks=0 "$program" -max_total_time="$seconds" -timeout=60 \
        -max_len="$(max_len "$target")" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || found=1
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    kept=$(find "$corpus" -type f | wc -l)
    crashes=$(find "$findings" -type f | wc -l)
    summary+=("$target: ${runs:-?} runs in ${took:-?} s, corpus $kept inputs, findings $crashes")
    if [ $found -ne 0 ] || [ "$crashes" -ne 0 ]; then
        status=1
        grep -m1 -E 'ERROR: |runtime error|broken:|deadly signal' "$log" >&2 || true
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
