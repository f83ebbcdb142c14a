#!/bin/bash
# SPDX-License-Identifier: MIT
# What tarvex-facts costs next to the report, and next to lshw's JSON for the
# same interfaces, on three hosts:
#   - this machine, read only: tarvex-facts beside tarvex (target: within 2x);
#   - fake hosts of 1,000 and then 2,000 interfaces whose names contain "eth"
#     (veth pairs in a private network namespace), each up with an IPv4 and
#     an IPv6 documentation address: tarvex-facts beside tarvex (target:
#     within 2x) and `lshw -json -class network` (target: at least 5x
#     faster than lshw), and tarvex-facts at 2,000 beside itself at 1,000
#     (target: at most 2.5x, as the cost grows linearly);
#   - on each, tarvex-facts --format prometheus beside its JSON (target:
#     within 1.2x).
# Runs are interleaved so that load from elsewhere falls on all alike.
# Prints median wall times and peak resident memory (target for
# tarvex-facts: under 8 MiB).  Prints figures, asserts nothing.
#
#   bench/facts.sh [BUILD_DIR] [RUNS] [LSHW_RUNS]   (defaults: build, 21, 5)
#
# The fake hosts need root; lshw (Debian package lshw) is optional.
set -u
export LC_ALL=C
source_dir=$(dirname "$(dirname "$(readlink -f "$0")")")
build=$(readlink -f "${1:-$source_dir/build}")
runs=${2:-21}
lshw_runs=${3:-5}
tarvex=$build/tarvex
facts=$build/tarvex-facts
[[ -x $tarvex && -x $facts ]] || { echo "no $tarvex or $facts: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-bench.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
cc -O2 -Wall -Wextra -Werror -o "$work/timeit" "$source_dir/bench/timeit.c" || exit 1

# Prints one line of figures: "label: median ms (min..max), peak RSS KiB".
show() {
    printf '  %-32s: %9.3f ms (%.3f..%.3f), peak RSS %s KiB\n' "$1" "${@:2:4}"
}

measure() {
    local host=$1 size=$2 names first_size first_ms
    local -a t_report t_facts t_metrics t_lshw
    names=$(find /sys/class/net -mindepth 1 -maxdepth 1 -name '*eth*' | wc -l)
    {
        read -r -a t_report
        read -r -a t_facts
        read -r -a t_metrics
    } < <("$work/timeit" "$runs" "$tarvex" -- "$facts" -- "$facts" --format prometheus)
    echo "$host: $names interfaces with \"eth\", median wall time (min..max) of $runs runs:"
    show tarvex "${t_report[@]}"
    show tarvex-facts "${t_facts[@]}"
    show "tarvex-facts --format prometheus" "${t_metrics[@]}"
    awk -v f="${t_facts[0]}" -v t="${t_report[0]}" 'BEGIN { printf "  ratio tarvex-facts / tarvex: %.2f\n", f / t }'
    awk -v m="${t_metrics[0]}" -v f="${t_facts[0]}" \
        'BEGIN { printf "  ratio --format prometheus / JSON: %.2f\n", m / f }'
    # Growth: each size's median beside the first fake host's.
    if ((size > 0)); then
        [[ -f $work/first_facts ]] || echo "$size ${t_facts[0]}" >"$work/first_facts"
        read -r first_size first_ms <"$work/first_facts"
        ((size == first_size)) || awk -v f="${t_facts[0]}" -v b="$first_ms" -v s="$size" -v n="$first_size" \
            'BEGIN { printf "  ratio tarvex-facts at %d / at %d interfaces: %.2f\n", s, n, f / b }'
    fi
    if ((size > 0)) && command -v lshw >/dev/null; then
        read -r -a t_lshw < <("$work/timeit" "$lshw_runs" "$(command -v lshw)" -json -class network)
        show "lshw -json -class network ($lshw_runs runs)" "${t_lshw[@]}"
        awk -v f="${t_facts[0]}" -v l="${t_lshw[0]}" 'BEGIN { printf "  lshw / tarvex-facts: %.1f\n", l / f }'
    fi
}

echo "tarvex-facts: $facts"
echo "linked against: $(ldd "$facts" | awk '/=>/ { printf "%s ", $1 }')"
# The target holds with the PCI ID database present; the fake hosts keep
# this machine's /usr, so they see the same file (their veths have no PCI
# identity, so only this machine's run reads it).
pci_ids=none
for candidate in /usr/share/misc/pci.ids /usr/share/hwdata/pci.ids /usr/share/pci.ids; do
    [[ -r $candidate ]] && { pci_ids=$candidate; break; }
done
echo "PCI ID database: $pci_ids"
echo
export runs lshw_runs tarvex facts
export -f show
fake_host_sizes="1000 2000"
fake_host_addressed=1
# shellcheck source=bench/fake_host.sh
source "$source_dir/bench/fake_host.sh"
measure_on_both_hosts
