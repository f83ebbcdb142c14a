#!/bin/bash
# SPDX-License-Identifier: MIT
# The LLDP lab, sourced by the LLDP tests inside tools/fakehost.sh on
# tests/lldp/lab.host: real lldpd daemons, only in this private mount and
# network namespace.  lab_start starts the server's lldpd on the default
# control socket (listening on eth0 to eth2) and one lldpd per switch on its
# own socket, each announcing itself every second under its own name, and
# waits, bounded, until the server hears all three; lab_stop_server,
# lab_lldpcli_missing and lab_lldpcli_hangs take the agent away in the ways
# the programs must tell apart.  Every daemon started is killed on exit.
lab_dir=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-lldp-lab.XXXXXX") || exit 70
lab_pgids=()
lab_server_pgid=

lab_fail() {
    echo "lab: $*" >&2
    exit 70
}

lab_cleanup() {
    local pgid
    for pgid in "${lab_pgids[@]}"; do
        kill -KILL -- "-$pgid" 2>/dev/null
    done
    rm -rf -- "$lab_dir"
}
trap lab_cleanup EXIT

# lab_daemon NAME SOCKET INTERFACE...: one lldpd, in a process group of its
# own, limited to INTERFACEs (its chassis id too).
lab_daemon() {
    local name=$1 socket=$2 ifaces
    shift 2
    ifaces=$(IFS=,; echo "$*")
    setsid /usr/sbin/lldpd -d -u "$socket" -I "$ifaces" -C "$ifaces" >"$lab_dir/$name.log" 2>&1 &
    lab_pgids+=("$!")
    [[ $name != server ]] || lab_server_pgid=$!
}

# The daemon's privilege-separation chroot, its user where the package did
# not add one, the bridge that gives eth1 two neighbours.
lab_prepare() {
    mount -t tmpfs -o mode=0755 tarvex-run /run && mkdir /run/lldpd || lab_fail "cannot mount /run"
    if ! getent passwd _lldpd >/dev/null; then
        local file
        for file in passwd group; do
            cp "/etc/$file" "$lab_dir/$file" && mount --bind "$lab_dir/$file" "/etc/$file" || lab_fail "cannot add _lldpd"
        done
        echo '_lldpd:x:999:' >>/etc/group && echo '_lldpd:x:999:999::/run/lldpd:/usr/sbin/nologin' >>/etc/passwd
    fi
    ip link add br-lab type bridge && ip link set br-lab type bridge group_fwd_mask 0x4000 &&
        for port in br-eth1 br-swp1 br-ge-0-0-3; do ip link set "$port" master br-lab || return; done &&
        ip link set br-lab up || lab_fail "cannot make the bridge"
}

lab_configure() {
    local socket=$1
    shift
    local line
    for line in "$@"; do
        # shellcheck disable=SC2086 # a configuration command is words
        timeout 10 /usr/sbin/lldpcli -u "$socket" $line >/dev/null || lab_fail "lldpcli -u $socket $line failed"
    done
}

lab_start() {
    lab_prepare
    lab_daemon server /run/lldpd.socket eth0 eth1 eth2
    lab_daemon leaf-a1 /run/leaf-a1.socket swp7
    lab_daemon leaf-b1 /run/leaf-b1.socket swp1
    lab_daemon leaf-c1 /run/leaf-c1.socket ge-0-0-3
    sleep 1
    lab_configure /run/leaf-a1.socket "configure system hostname leaf-a1" "configure system ip management pattern 192.0.2.11" "configure lldp tx-interval 1"
    lab_configure /run/leaf-b1.socket "configure system hostname leaf-b1" "configure lldp tx-interval 1"
    lab_configure /run/leaf-c1.socket "configure system hostname leaf-c1" "configure lldp portidsubtype macaddress" "configure lldp tx-interval 1"
}
