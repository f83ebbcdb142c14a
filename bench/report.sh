#!/bin/bash
# SPDX-License-Identifier: MIT
# What the whole report costs next to the bare system work it needs.  Times
# the tarvex process against bench/minimal.c (list /sys/class/net, per "eth"
# name a socket and the two ethtool requests, the four PCI attribute reads
# when there is a bus address) on two hosts:
#   - this machine, read only;
#   - a fake host of 1,000 interfaces whose names contain "eth" (500 veth
#     pairs veth0..veth999 in a private network namespace, created once).
# Runs are interleaved (minimal, minimal -1, tarvex, ...) so that load from
# elsewhere falls on all alike.  "minimal -1" shares one socket among all
# interfaces: the floor below the one-socket-per-query design.
# Prints median wall times, the ratio to the minimal program and tarvex's
# peak resident memory.  Targets: ratio at most 1.5, peak RSS under 3 MiB.
# Prints figures, asserts nothing.
#
#   bench/report.sh [BUILD_DIR] [RUNS]      (defaults: build, 31)
#
# The fake host needs root for the namespace; without it only this machine
# is measured.
set -u
export LC_ALL=C
source_dir=$(dirname "$(dirname "$(readlink -f "$0")")")
readonly source_dir
build=$(readlink -f "${1:-$source_dir/build}")
runs=${2:-31}
tarvex=$build/tarvex
[[ -x $tarvex ]] || { echo "no $tarvex: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-bench.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
cc -O2 -Wall -Wextra -Werror -o "$work/timeit" "$source_dir/bench/timeit.c" || exit 1
cc -O2 -Wall -Wextra -Werror -o "$work/minimal" "$source_dir/bench/minimal.c" || exit 1

# Runs the three programs interleaved and prints the comparison.
measure() {
    local host=$1 names
    names=$(find /sys/class/net -mindepth 1 -maxdepth 1 -name '*eth*' | wc -l)
    local -a minimal one_socket report
    {
        read -r -a minimal
        read -r -a one_socket
        read -r -a report
    } < <("$work/timeit" "$runs" "$work/minimal" -- "$work/minimal" -1 -- "$tarvex")
    echo "$host: $names interfaces with \"eth\", $runs runs each, median wall time (min..max):"
    printf '  minimal C, socket per query : %8.3f ms (%.3f..%.3f)\n' "${minimal[@]:0:3}"
    printf '  minimal C, one socket       : %8.3f ms (%.3f..%.3f)\n' "${one_socket[@]:0:3}"
    printf '  tarvex                      : %8.3f ms (%.3f..%.3f)\n' "${report[@]:0:3}"
    awk -v t="${report[0]}" -v m="${minimal[0]}" -v o="${one_socket[0]}" \
        'BEGIN { printf "  ratio tarvex / minimal: %.2f (per-query sockets), %.2f (one socket)\n", t / m, t / o }'
    echo "  peak RSS: tarvex ${report[3]} KiB, minimal ${minimal[3]} KiB"
}

echo "tarvex: $tarvex"
echo "linked against: $(ldd "$tarvex" | awk '/=>/ { printf "%s ", $1 }')"
echo
export runs tarvex
# shellcheck source=bench/fake_host.sh
source "$source_dir/bench/fake_host.sh"
measure_on_both_hosts
