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
        { kill -KILL -- "-$pgid" && wait "$pgid"; } 2>/dev/null
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
    { mount -t tmpfs -o mode=0755 tarvex-run /run && mkdir /run/lldpd; } || lab_fail "cannot mount /run"
    if ! getent passwd _lldpd >/dev/null; then
        local file
        for file in passwd group; do
            { cp "/etc/$file" "$lab_dir/$file" && mount --bind "$lab_dir/$file" "/etc/$file"; } ||
                lab_fail "cannot add _lldpd"
        done
        echo '_lldpd:x:999:' >>/etc/group && echo '_lldpd:x:999:999::/run/lldpd:/usr/sbin/nologin' >>/etc/passwd
    fi
    # A bridge forwards LLDP's link-local group only when told to.
    { ip link add br-lab type bridge && ip link set br-lab type bridge group_fwd_mask 0x4000; } ||
        lab_fail "cannot make the bridge"
    local port
    for port in bp-srv1 br-swp1 br-ge-0-0-3 br-lab; do
        [[ $port == br-lab ]] || ip link set "$port" master br-lab || lab_fail "cannot bridge $port"
    done
    ip link set br-lab up || lab_fail "cannot bring up the bridge"
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
    local socket tries
    for socket in /run/lldpd.socket /run/leaf-{a1,b1,c1}.socket; do
        for ((tries = 0; tries < 100; tries++)); do
            [[ -S $socket ]] && break
            sleep 0.1
        done
    done
    # leaf-a1 and leaf-b1 name their ports; leaf-c1 sends its port's MAC
    # address as port id and the name only in the description.
    lab_configure /run/leaf-a1.socket "configure system hostname leaf-a1" "configure lldp portidsubtype ifname" \
        "configure system ip management pattern 192.0.2.11" "configure lldp tx-interval 1"
    lab_configure /run/leaf-b1.socket "configure system hostname leaf-b1" "configure lldp portidsubtype ifname" \
        "configure system ip management pattern 192.0.2.21" "configure lldp tx-interval 1"
    lab_configure /run/leaf-c1.socket "configure system hostname leaf-c1" "configure lldp tx-interval 1"
    lab_await_neighbors
}

# Until the server hears each switch under its configured name and port
# (the first announcements may carry the defaults), at most 30 s.
lab_await_neighbors() {
    local tries heard
    for ((tries = 0; tries < 150; tries++)); do
        heard=$(timeout 10 /usr/sbin/lldpcli -f keyvalue show neighbors 2>/dev/null |
            grep -cE '^lldp\.(eth0\.chassis\.name=leaf-a1|eth0\.port\.ifname=swp7|eth1\.chassis\.name=leaf-[bc]1|eth1\.port\.ifname=swp1)$')
        ((heard == 5)) && return 0
        sleep 0.2
    done
    /usr/sbin/lldpcli show neighbors >&2
    lab_fail "the server did not hear all three switches within 30 s"
}

# The agent taken away: the server's daemon stopped (its socket stays
# behind, refusing connections), lldpcli hidden, lldpcli hanging with a
# process of its own that keeps the output open.
lab_stop_server() {
    { kill -KILL -- "-$lab_server_pgid" && wait "$lab_server_pgid"; } 2>/dev/null
    # Its unprivileged half, which holds the socket, ends a moment later.
    local tries
    for ((tries = 0; tries < 100; tries++)); do
        timeout 10 /usr/sbin/lldpcli show neighbors >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    lab_fail "the server's lldpd still answers"
}

lab_lldpcli_missing() {
    { mkdir -p "$lab_dir/sbin" && mknod "$lab_dir/sbin/lldpcli" c 0 0 &&
        mount -t overlay tarvex-lab-sbin -o "lowerdir=$lab_dir/sbin:/usr/sbin" /usr/sbin; } || lab_fail "cannot hide lldpcli"
}

lab_lldpcli_hangs() {
    { printf '#!/bin/sh\nsleep 120 &\nexec sleep 120\n' >"$lab_dir/lldpcli-hangs" && chmod 0755 "$lab_dir/lldpcli-hangs" &&
        mount --bind "$lab_dir/lldpcli-hangs" /usr/sbin/lldpcli; } || lab_fail "cannot replace lldpcli"
}
