#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts' metrics as node_exporter serves them.  On a fake host with
# awkward firmware names, --format prometheus --output writes tarvex.prom
# into a scratch directory; promtool accepts it, and the real node_exporter's
# textfile collector (tests/support/node_exporter.sh) serves every tarvex
# series of the file with the same labels and values, and
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

# The file's tarvex series and the page's, each as its name and label set.
compare=$(cat <<'EOF'
import os, re, sys, urllib.request
sample = re.compile(r'^(\w+)(?:\{(.*)\})? (\S+)$')
label = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)",?')
def series(text):
    found = {}
    for line in text.splitlines():
        m = sample.match(line)
        if m:
            labels = {k: re.sub(r'\\(.)', lambda e: '\n' if e[1] == 'n' else e[1], v)
                      for k, v in label.findall(m[2] or '')}
            found[(m[1], frozenset(labels.items()))] = float(m[3])
    return found
written = series(open(sys.argv[1], encoding='utf-8').read())
served = series(urllib.request.urlopen(os.environ['NODE_EXPORTER_URL'], timeout=10).read().decode('utf-8'))
ours = {k: v for k, v in served.items() if k[0].startswith('tarvex_')}
ports = sum(1 for k in written if k[0] == 'tarvex_port_info')
error = served.get(('node_textfile_scrape_error', frozenset()))
print(f'{ports} port series written, {len(ours)} tarvex series served, node_textfile_scrape_error {error}')
sys.exit(0 if ours == written and ports == 2 else 1)
EOF
)
# The driver stand-in (and a sanitizer's runtime) is for tarvex-facts alone.
bash "$source_dir/tools/fakehost.sh" --preload "$preload" "$source_dir/tests/prometheus/awkward_names.host" -- \
    env -u LD_PRELOAD bash -c 'LD_PRELOAD=$5 "$1" --format prometheus --output "$2/tarvex.prom" &&
        promtool check metrics <"$2/tarvex.prom" &&
        bash "$3/tests/support/node_exporter.sh" "$2" -- /usr/bin/python3 -c "$4" "$2/tarvex.prom"' \
    bash "$facts" "$work" "$source_dir" "$compare" "$preload"
