#!/bin/bash
# SPDX-License-Identifier: MIT
# The report on a host whose /sys/class/net cannot be listed, two ways, in a
# private namespace with a tmpfs over /sys/class: "net" is a regular file
# (the scan fails with ENOTDIR), or a directory of mode 000 while tarvex runs
# as an unprivileged user (EACCES; root would read it anyway).  The
# enumeration reports no names and success: nothing on standard output,
# only the package warning on standard error, exit status 0.
#
#   unreadable_net_dir.sh TARVEX SOURCE_DIR      (exit 77: skipped)
set -u
tarvex=$1 source_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-netdir.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
chmod 755 "$work"
echo "# no interfaces, no PCI functions, no management tools" >"$work/empty.host"
printf '\nWARNING: The tolmar package is not installed. Will\n         not be able to display bay/slot/port\n         information. See README for details.\n\n' >"$work/expected_stderr"

# run_case NAME SETUP: SETUP makes /sys/class/net unlistable, then tarvex runs
# as nobody (which only matters for the permission case).
run_case() {
    bash "$source_dir/tools/fakehost.sh" "$work/empty.host" -- /bin/sh -c \
        "mount -t tmpfs -o mode=0755 tarvex-class /sys/class && $2 || exit 70
         setpriv --reuid=65534 --regid=65534 --clear-groups ls /sys/class/net/. >/dev/null 2>&1 && exit 70
         exec setpriv --reuid=65534 --regid=65534 --clear-groups \"\$0\"" \
        "$tarvex" >"$work/$1.stdout" 2>"$work/$1.stderr"
}

failed=0
check() {
    local name=$1 rc=$2
    ((rc == 0)) || { echo "FAIL ($name): exit status $rc, expected 0"; failed=1; }
    [[ ! -s $work/$name.stdout ]] || {
        echo "FAIL ($name): standard output not empty:"
        head -5 "$work/$name.stdout"
        failed=1
    }
    cmp -s "$work/$name.stderr" "$work/expected_stderr" || {
        echo "FAIL ($name): standard error differs (- expected, + actual):"
        diff -u "$work/expected_stderr" "$work/$name.stderr" | cat -A | head -20
        failed=1
    }
}

run_case not_a_directory 'touch /sys/class/net'
rc=$?
if ((rc == 77)) && grep -q '^fakehost: SKIP' "$work/not_a_directory.stderr"; then
    cat "$work/not_a_directory.stderr"
    exit 77
fi
check not_a_directory "$rc"
run_case no_permission 'mkdir -m 000 /sys/class/net'
check no_permission $?
((failed == 0)) && echo "PASS: unreadable /sys/class/net (not a directory, no permission)"
exit "$failed"
