#!/bin/bash
# SPDX-License-Identifier: MIT
# Both programs on a host whose /sys/class/net cannot be listed, two ways, in
# a private namespace with a tmpfs over /sys/class: "net" is a regular file
# (the scan fails with ENOTDIR), or a directory of mode 000 while the program
# runs as an unprivileged user (EACCES; root would read it anyway).  That is
# a failure, never "no interfaces": the listing's ERROR line with errno on
# standard error, then the report's own error line on standard output, or
# tarvex-facts' on standard error and no document; exit status 1.
#
#   unreadable_net_dir.sh TARVEX SOURCE_DIR [TARVEX_FACTS]    (exit 77: skipped)
set -u
tarvex=$1 source_dir=$2 facts=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-netdir.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
chmod 755 "$work"
echo "# no interfaces, no PCI functions, no management tools" >"$work/empty.host"
listing_failed='ERROR: could not list /sys/class/net (errno=%d), common_utilities_net.cpp,<line>\n'
package_warning='\nWARNING: The tolmar package is not installed. Will\n         not be able to display bay/slot/port\n         information. See README for details.\n\n'

# run_case NAME PROGRAM SETUP: SETUP makes /sys/class/net unlistable, then
# PROGRAM runs as nobody (which only matters for the permission case).
run_case() {
    bash "$source_dir/tools/fakehost.sh" "$work/empty.host" -- /bin/sh -c \
        "mount -t tmpfs -o mode=0755 tarvex-class /sys/class && $3 || exit 70
         setpriv --reuid=65534 --regid=65534 --clear-groups ls /sys/class/net/. >/dev/null 2>&1 && exit 70
         exec setpriv --reuid=65534 --regid=65534 --clear-groups \"\$0\"" \
        "$2" >"$work/$1.stdout" 2>"$work/$1.stderr"
}

failed=0
# check NAME STATUS: the outputs against want.stdout and want.stderr.
check() {
    local name=$1 rc=$2 stream
    ((rc == 1)) || { echo "FAIL ($name): exit status $rc, expected 1"; failed=1; }
    for stream in stdout stderr; do
        sed -E 's/([a-z_]+\.cpp),[0-9]+/\1,<line>/g' "$work/$name.$stream" >"$work/got.$stream"
        cmp -s "$work/want.$stream" "$work/got.$stream" || {
            echo "FAIL ($name): standard $stream differs (- expected, + actual):"
            diff -u "$work/want.$stream" "$work/got.$stream" | cat -A | head -20
            failed=1
        }
    done
}

# check_program LABEL PROGRAM STDOUT STDERR: both ways.  The expected texts
# are printf formats whose one %d, if any, is the listing's errno; source
# lines are written "file,<line>".
check_program() {
    local label=$1 program=$2 name err setup rc
    for setup in 'not_a_directory 20 touch /sys/class/net' 'no_permission 13 mkdir -m 000 /sys/class/net'; do
        read -r name err setup <<<"$setup"
        run_case "$label.$name" "$program" "$setup"
        rc=$?
        if ((rc == 77)) && grep -q '^fakehost: SKIP' "$work/$label.$name.stderr"; then
            cat "$work/$label.$name.stderr"
            exit 77
        fi
        # shellcheck disable=SC2059 # the expected texts are formats
        { printf "$3" "$err" >"$work/want.stdout" && printf "$4" "$err" >"$work/want.stderr"; } || exit 70
        check "$label.$name" "$rc"
    done
}

check_program tarvex "$tarvex" '\n\nERROR: get_interface_list filed RC = 1\ntarvex.cpp,<line>\n\n' \
    "$package_warning$listing_failed"
if [[ -n $facts ]]; then
    check_program tarvex-facts "$facts" '' \
        "${listing_failed}ERROR: get_interface_list failed RC = 1, tarvex_facts.cpp,<line>\n"
fi
((failed == 0)) && echo "PASS: unreadable /sys/class/net (not a directory, no permission)${facts:+, both programs}"
exit "$failed"
