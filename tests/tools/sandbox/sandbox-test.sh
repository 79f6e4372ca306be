#!/usr/bin/env bash
# What tools/sandbox promises its callers: where it cannot run it refuses
# with its reason (so tests report themselves skipped); a program of any
# build folder runs, also one under /tmp, also when a script starts it; and the command keeps only the
# powers the printer's programs use.
# Usage: sandbox-test.sh SANDBOX
set -uo pipefail
sandbox=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/sandbox-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# The runner's words are shown renamed: its refusal in a failure message
# would otherwise make the whole test count as skipped.
fail() { echo "FAIL: $*" | sed 's/sandbox: cannot run here/(refused)/' >&2; failures=$((failures + 1)); }
expect_refusal() {
    local reason=$1; shift
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    [ "$got" -eq 77 ] && grep -q "^sandbox: cannot run here: .*$reason" "$work/err" ||
        fail "'$*' exited $got, expected a refusal naming '$reason': $(cat "$work/err")"
}

# Without bubblewrap: a PATH that has bash and nothing else.
mkdir "$work/path"
ln -s "$(command -v bash)" "$work/path/bash"
expect_refusal "bubblewrap (bwrap) is not installed" env PATH="$work/path" "$sandbox" --check
expect_refusal "bubblewrap (bwrap) is not installed" env PATH="$work/path" "$sandbox" -- /bin/true
# Not root.
if [ "$(id -u)" -eq 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups test -r "$sandbox"; then
    expect_refusal "needs root" setpriv --reuid=65534 --regid=65534 --clear-groups "$sandbox" --check
fi

# Skipped from here on, with the runner's reason, where it cannot run.
"$sandbox" --check || exit

# A program in a build folder the sandbox would hide, with a file beside it.
bin=$work/build/bin
mkdir -p "$bin"
echo "beside the program" >"$bin/data"
cat >"$bin/show" <<'SCRIPT'
#!/bin/sh
cat "$(dirname "$0")/data"
if touch "$(dirname "$0")/written" 2>/dev/null; then echo writable; else echo read-only; fi
SCRIPT
chmod +x "$bin/show"
expect_output() {
    local want=$1; shift
    local got
    got=$("$@" 2>"$work/err") || fail "'$*' failed: $(cat "$work/err")"
    [ "$got" = "$want" ] || fail "'$*' printed '$got', expected '$want'"
}
expect_output "beside the program
read-only" "$sandbox" -- "$bin/show"
expect_output "beside the program
read-only" bash -c "cd '$work/build' && '$sandbox' -- bin/show"
# The caller's own bind of that folder decides, even when it is writable.
expect_output "beside the program
writable" "$sandbox" --bind "$bin" "$bin" -- "$bin/show"

# A program of a build tree sees the whole tree: libraries and helpers
# built in other folders of it come along.
tree=$work/tree
mkdir -p "$tree/programs" "$tree/libraries"
touch "$tree/CMakeCache.txt"
echo "in another folder of the tree" >"$tree/libraries/data"
printf '#!/bin/sh\ncat "$(dirname "$0")/../libraries/data"\n' >"$tree/programs/show"
chmod +x "$tree/programs/show"
expect_output "in another folder of the tree" "$sandbox" -- "$tree/programs/show"
# So does one that a script starts by its path, once named with --program.
expect_output "in another folder of the tree" "$sandbox" --program "$tree/programs/show" -- \
    /bin/sh -c "'$tree/programs/show'"

# Root inside, with the memory lock and real-time priority only (bits 14
# and 23), also for the programs the command starts.
expect_output "uid=0
CapPrm:	0000000000804000
CapEff:	0000000000804000" "$sandbox" -- /bin/sh -c 'echo "uid=$(id -u)"; grep -E "^Cap(Prm|Eff):" /proc/self/status'

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all sandbox checks passed"
