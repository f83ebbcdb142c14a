# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the benchmarks.  measure_on_both_hosts runs the caller's
# function `measure` on this machine, then on fake hosts of many interfaces
# whose names contain "eth" (veth pairs veth0, veth1, ... in one private
# network namespace): one per size in $fake_host_sizes (default 1000), each
# built by adding interfaces to the one before.  With $fake_host_addressed
# set to 1, every interface is up with an IPv4 and an IPv6 documentation
# address.  `measure` gets the label and the size.  The caller exports the
# variables and other functions that measure uses; $work is its scratch
# directory.  Without root or namespaces only this machine is measured.
fake_host_sizes=${fake_host_sizes:-1000}
fake_host_addressed=${fake_host_addressed:-0}

# ip -batch lines for interfaces veth$1 to veth$(($2 - 1)).  The IPv4
# addresses come from the two documentation /24s and repeat past 508.
fake_host_lines() {
    local from=$1 to=$2 i
    for ((i = from; i < to; i += 2)); do
        echo "link add veth$i type veth peer name veth$((i + 1))"
    done
    ((fake_host_addressed)) || return 0
    local -a nets=(192.0.2 198.51.100)
    for ((i = from; i < to; i++)); do
        echo "address add ${nets[i % 2]}.$((i / 2 % 254 + 1))/24 dev veth$i"
        printf 'address add 2001:db8::%x/64 dev veth%d nodad\n' "$i" "$i"
        echo "link set veth$i up"
    done
}

measure_on_both_hosts() {
    measure "this machine" 0
    if [[ $(id -u) -ne 0 ]] || ! unshare --mount --net --propagation private true 2>/dev/null; then
        echo
        echo "fake host skipped: needs root and private namespaces"
        return 0
    fi
    echo
    export work fake_host_sizes fake_host_addressed
    export -f measure fake_host_lines
    # The script runs in the namespace's own shell, which expands it.
    # shellcheck disable=SC2016
    unshare --mount --net --propagation private -- bash -c '
        mount -t sysfs tarvex-bench-sysfs /sys || exit 1
        built=0
        for size in $fake_host_sizes; do
            fake_host_lines "$built" "$size" >"$work/lines"
            start=$EPOCHREALTIME
            ip -batch "$work/lines" || exit 1
            echo "fake host: interfaces $built to $((size - 1)) set up in $(awk -v s="$start" -v e="$EPOCHREALTIME" "BEGIN { printf \"%.2f\", e - s }") s"
            built=$size
            measure "fake host of $size interfaces" "$size"
            echo
        done
    '
}
