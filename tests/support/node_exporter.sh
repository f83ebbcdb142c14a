#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs a command beside the distribution's node_exporter
# (/usr/bin/prometheus-node-exporter, Debian package prometheus-node-exporter)
# serving DIR's text files, the way a server's exporter serves what
# tarvex-facts writes: the textfile collector alone, on 127.0.0.1:9100 of a
# private network namespace, so that nothing outside the test can reach it
# or is reached.  COMMAND runs with NODE_EXPORTER_URL naming the metrics page
# once it answers; node_exporter is stopped when COMMAND ends, also on
# failure.  Run it inside the namespace of tools/fakehost.sh; it refuses to
# run in the machine's own.
#
#   tests/support/node_exporter.sh DIR -- COMMAND [ARG...]
#
# Exits with COMMAND's status, 77 when node_exporter is not installed, 70 when
# it cannot start or answer.
set -u
exporter=/usr/bin/prometheus-node-exporter
address=127.0.0.1:9100
start_wait=20 # seconds: its first answer, on a loaded machine

dir=${1:?usage: node_exporter.sh DIR -- COMMAND [ARG...]}
shift
[[ ${1:-} == -- ]] && shift
[[ -x $exporter ]] || { echo "node_exporter.sh: SKIP: needs $exporter (prometheus-node-exporter)"; exit 77; }
if [[ $(readlink /proc/self/ns/net) == "$(readlink /proc/1/ns/net)" ]]; then
    echo "node_exporter.sh: not in a private network namespace; not starting a daemon here" >&2
    exit 70
fi
ip link set lo up || exit 70

log=$(mktemp "${TMPDIR:-/tmp}/tarvex-node-exporter.XXXXXX") || exit 70
"$exporter" --web.listen-address="$address" --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$dir" >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f -- "$log"' EXIT
trap 'exit 143' TERM INT

export NODE_EXPORTER_URL=http://$address/metrics
for ((tries = 0; tries < start_wait * 10; tries++)); do
    kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; echo "node_exporter.sh: node_exporter ended" >&2; exit 70; }
    if /usr/bin/python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=2)' \
        "$NODE_EXPORTER_URL" 2>/dev/null; then
        "$@"
        exit
    fi
    sleep 0.1
done
cat "$log" >&2
echo "node_exporter.sh: no answer from $NODE_EXPORTER_URL within $start_wait s" >&2
exit 70
