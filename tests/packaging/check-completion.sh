#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the bash completion the build made as bash would on a Tab, and holds
# what it offers against the options the built program's --help lists.
# Usage: check-completion.sh <bash completion> <zsh completion> <program> <scratch dir>
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
completion=$(absolute "$1")
zsh_completion=$(absolute "$2")
program=$(absolute "$3")
scratch=$4

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

# What a Tab offers after the words given; the last word is the one being
# completed ('' for a new word). One offer a line, sorted.
offers() {
    bash -c '
        completion=$1
        shift
        . "$completion"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        complete -p ostrel-dravik >/dev/null || exit 3
        _ostrel_dravik
        printf "%s\n" "${COMPREPLY[@]}"
    ' bash "$completion" "$@" | sed '/^$/d' | LC_ALL=C sort
}

expect() {
    description=$1
    wanted=$2
    shift 2
    got=$(offers "$@") || fail "$description: the completion did not run"
    [ "$got" = "$wanted" ] ||
        fail "$description: after '$*' expected [$(echo $wanted)], got [$(echo $got)]"
}

lines() { printf '%s\n' "$@" | LC_ALL=C sort; }

# Every option --help lists, verbs included, is offered for a first word, and
# nothing else: the verbs come from the same table as the program's parser.
listed=$("$program" --help | sed -n 's/^  \(-[a-z], \)\{0,1\}\(--[a-z]*\).*/\1\2/p' |
    tr ',' '\n' | sed 's/^ *//' | LC_ALL=C sort)
echo "$listed" | grep -qx -- --forward || fail "--help lists no --forward: $listed"
expect "a first word" "$listed" ostrel-dravik ''
expect "a first word begun" "$(echo "$listed" | grep -- '^--s')" ostrel-dravik --s

# After a verb: no second verb, no help; --port only where it goes.
expect "after --start" "$(lines --adb --serial)" ostrel-dravik --start ''
expect "after --connect" "$(lines --adb --port --serial)" ostrel-dravik --connect --
expect "an option given once" "$(lines --adb)" ostrel-dravik --serial X --start ''
expect "a port" "" ostrel-dravik --forward ''
expect "a port with --connect" "" ostrel-dravik --connect --port ''

# --adb completes paths.
mkdir -p "$scratch/tools"
: >"$scratch/tools/adb"
expect "--adb's path" "$scratch/tools/adb" ostrel-dravik --adb "$scratch/tools/a"

# --serial completes from --devices of the program being completed, with the
# --adb given before; serials are words, never shell text to expand.
stand_in="$scratch/ostrel-dravik"
cat >"$stand_in" <<'EOF'
#!/bin/sh
echo "$*" >>"${0%/*}/asked"
[ "$*" = "--adb /opt/adb --devices" ] || [ "$*" = "--devices" ] || exit 1
printf '%s\n' 0123456789ABCDEF 192.168.1.5:5555 'emulator-5554' '$(touch ran)'
EOF
chmod +x "$stand_in"
expect "serials" "$(lines '0123456789ABCDEF' '192.168.1.5:5555' 'emulator-5554' '\$\(touch\ ran\)')" \
    "$stand_in" --serial ''
expect "a serial begun" "0123456789ABCDEF" "$stand_in" --start --serial 0
# bash splits at ':' and '=': only the text after the split is replaced.
expect "a serial with a colon" "5555" "$stand_in" --serial 192.168.1.5 : 55
expect "--serial=" "emulator-5554" "$stand_in" --serial = em
expect "with --adb" "emulator-5554" "$stand_in" --adb /opt/adb --serial em
[ ! -e "$scratch/ran" ] || fail "a serial was run as a command"
grep -qx -- '--adb /opt/adb --devices' "$scratch/asked" || fail "--adb was not passed on to --devices"

# The zsh completion is at least a script zsh reads, naming every verb.
if command -v zsh >/dev/null; then
    zsh -n "$zsh_completion" || fail "zsh cannot read $zsh_completion"
fi
for verb in $(echo "$listed" | grep -v -x -e -h -e --help -e --version -e --serial -e --adb -e --port); do
    grep -qE -- "'\([^)]*\)$verb(=|\[)" "$zsh_completion" || fail "zsh completion lacks $verb"
done
echo "completion offers what the program takes"
