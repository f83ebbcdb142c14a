#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts --output on the fake host of 1,000 interfaces, in a private
# mount namespace (tools/fakehost.sh) with a tmpfs for the file:
#   - while 30 rewrites run, a reader looping over the file only ever sees
#     it whole (a partial file would lack its last line);
#   - with the directory read-only, the run fails with status 1 and its
#     message, and the old file stays as it was;
#   - when /sys/class/net cannot be listed, the file says
#     tarvex_facts_success 0, with status 1.
# No temporary file is left behind.  Prints what it saw; exit 1 on a fault.
#
#   output_file.sh TARVEX_FACTS DRIVER SOURCE_DIR   (exit 77: skipped)
set -u
facts=$1
if [[ ${4:-} != --inside ]]; then
    source_dir=$3
    preload=$2
    asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
    [[ -z $asan_runtime ]] || preload="$asan_runtime $2"
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-output.XXXXXX") || exit 70
    trap 'rm -rf -- "$work"' EXIT
    mkdir "$work/out" || exit 70
    bash "$source_dir/tools/fakehost.sh" --preload "$preload" \
        "$source_dir/tests/system/scenarios/many_interfaces.host" -- bash "$0" "$@" --inside "$work"
    exit
fi
work=$5
dir=$work/out
file=$dir/tarvex.prom
mount -t tmpfs tarvex-output "$dir" || exit 70
failed=0
fault() { echo "FAIL: $*"; failed=1; }

"$facts" --format prometheus --output "$file" 2>/dev/null || fault "first write failed"
stop=$dir/stop
(
    reads=0 partial=0
    until [[ -e $stop ]]; do
        text=$(cat "$file")
        reads=$((reads + 1))
        [[ $text == "# HELP tarvex_port_info "*$'\ntarvex_facts_success 1' ]] || partial=$((partial + 1))
    done
    echo "reader: $reads reads, $partial partial"
    ((partial == 0))
) &
reader=$!
for ((i = 0; i < 30; i++)); do
    "$facts" --format prometheus --output "$file" 2>/dev/null || fault "rewrite $i failed"
done
touch "$stop"
wait "$reader" || fault "the reader saw a partial file"
rm -f "$stop"

cp "$file" "$work/before"
mount -o remount,ro "$dir" || exit 70
"$facts" --format prometheus --output "$file" 2>"$work/err"
echo "read-only directory: status $?, $(tail -n 1 "$work/err" | sed -E 's/,[0-9]+$/,<line>/')"
cmp -s "$file" "$work/before" || fault "the old file changed"
mount -o remount,rw "$dir" || exit 70

mount -t tmpfs tarvex-class /sys/class && touch /sys/class/net || exit 70
"$facts" --format prometheus --output "$file" 2>/dev/null
echo "unlistable interfaces: status $?, $(grep -c '^tarvex_port_info' "$file") port series," \
    "$(grep '^tarvex_facts_success' "$file")"
leftovers=$(find "$dir" -name '*.tmp.*')
[[ -z $leftovers ]] || fault "left behind: $leftovers"
exit "$failed"
