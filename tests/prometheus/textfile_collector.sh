#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts' metrics as node_exporter serves them.  On a fake host with
# awkward firmware names, --format prometheus --output writes tarvex.prom
# into a scratch directory; promtool accepts it, and the real node_exporter's
# textfile collector (tests/support/node_exporter.sh) serves its series as
# awkward_names.served has them (node_exporter sorts the labels), with
# node_textfile_scrape_error 0.
#
#   textfile_collector.sh TARVEX_FACTS DRIVER SOURCE_DIR   (exit 77: skipped)
set -u
facts=$1 driver=$2 source_dir=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-textfile.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
chmod 755 "$work"
preload=$driver
asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"
scrape='import os, urllib.request; print(urllib.request.urlopen(os.environ["NODE_EXPORTER_URL"], timeout=10).read().decode())'

# The driver stand-in (and a sanitizer's runtime) is for tarvex-facts alone.
bash "$source_dir/tools/fakehost.sh" --preload "$preload" "$source_dir/tests/prometheus/awkward_names.host" -- \
    env -u LD_PRELOAD bash -c 'LD_PRELOAD=$5 "$1" --format prometheus --output "$2/tarvex.prom" &&
        promtool check metrics <"$2/tarvex.prom" &&
        bash "$3/tests/support/node_exporter.sh" "$2" -- /usr/bin/python3 -c "$4"' \
    bash "$facts" "$work" "$source_dir" "$scrape" "$preload" >"$work/page" || exit
grep -E '^(tarvex_|node_textfile_scrape_error )' "$work/page" |
    diff -u "$source_dir/tests/prometheus/awkward_names.served" - && echo "served as written"
