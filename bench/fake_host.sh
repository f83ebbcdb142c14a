# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the benchmarks.  measure_on_both_hosts runs the caller's
# function `measure` on this machine, then on a fake host of 1,000
# interfaces whose names contain "eth" (500 veth pairs veth0..veth999 in a
# private network namespace, created once).  The caller exports the
# variables and other functions that measure uses; $work is its scratch
# directory.  Without root or namespaces only this machine is measured.
measure_on_both_hosts() {
    measure "this machine"
    if [[ $(id -u) -ne 0 ]] || ! unshare --mount --net --propagation private true 2>/dev/null; then
        echo
        echo "fake host skipped: needs root and private namespaces"
        return 0
    fi
    local i
    for ((i = 0; i < 500; i++)); do
        echo "link add veth$((2 * i)) type veth peer name veth$((2 * i + 1))"
    done >"$work/veths"
    echo
    export work
    export -f measure
    # The script runs in the namespace's own shell, which expands it.
    # shellcheck disable=SC2016
    unshare --mount --net --propagation private -- bash -c '
        mount -t sysfs tarvex-bench-sysfs /sys || exit 1
        start=$EPOCHREALTIME
        ip -batch "$work/veths" || exit 1
        echo "fake host: 500 veth pairs created in $(awk -v s="$start" -v e="$EPOCHREALTIME" "BEGIN { printf \"%.2f\", e - s }") s"
        measure "fake host"
    '
}
