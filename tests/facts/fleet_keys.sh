#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts' fleet keys on the demo host against the kernel's own tools,
# and without root against root:
#   - a veth (eth9) with two IPv4 addresses, two global IPv6 addresses and
#     the kernel's link-local one: each interface's addresses are what
#     `ip -j address show dev IFACE` lists, in its order;
#   - speed_mbps and duplex (up and down veths) are what sysfs shows;
#   - run as nobody, every key that needs no privilege is root's, privileged
#     is false and the root-only serial is null;
#   - os from /usr/lib/os-release without /etc/os-release, null without both;
#   - --timeout: a stand-in tool that sleeps 60 s, and one that leaves a
#     background child holding its output: the run ends within the limit
#     plus a second, with one warning, slot and bay null, status 0, and no
#     process of the tool left.
#
#   fleet_keys.sh FACTS_BIN DRIVER_LIB SOURCE_DIR
#
# Exit status 77 (skipped) without root, namespaces or jq.
set -u
facts=$1 driver=$2 source_dir=$3
if [[ ${4:-} != --inside ]]; then
    command -v jq >/dev/null || { echo "SKIP: needs jq"; exit 77; }
    preload=$driver
    asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
    [[ -z $asan_runtime ]] || preload="$asan_runtime $driver"
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-fleet.XXXXXX") || exit 70
    trap 'rm -rf -- "$work"' EXIT
    chmod 0711 "$work"
    failed=0
    # The demo host, then the same with a hanging inventory tool, then with
    # one whose background child keeps its output open.
    cp "$source_dir/tools/demo.host" "$work/hang.host"
    cp "$source_dir/tools/demo.host" "$work/child.host"
    # shellcheck disable=SC2016 # expanded by the stand-in's shell
    echo 'tessio_gen echo $$ >>/opt/pids; exec sleep 60' >>"$work/hang.host"
    # shellcheck disable=SC2016
    echo 'tessio_gen (echo $BASHPID >>/opt/pids; exec sleep 60) &' >>"$work/child.host"
    for host in "$source_dir/tools/demo.host" "$work/hang.host" "$work/child.host"; do
        bash "$source_dir/tools/fakehost.sh" "$host" -- \
            /bin/bash "$0" "$facts" "$preload" "$source_dir" --inside "${host##*/}" "$work"
        rc=$?
        ((rc != 77)) || exit 77
        ((rc == 0)) || failed=1
    done
    exit "$failed"
fi

# Inside the fake host.
preload=$2 case=$5 work=$6
failed=0
problem() {
    echo "FAIL ($case): $*"
    failed=1
}
run_facts() {
    "$@" env LD_PRELOAD="$preload" "$facts" --timeout 2 2>"$work/stderr"
}

if [[ $case != demo.host ]]; then
    start=$(date +%s%N)
    run_facts >"$work/doc"
    rc=$? elapsed_ms=$((($(date +%s%N) - start) / 1000000))
    ((rc == 0)) || problem "status $rc"
    ((elapsed_ms < 3000)) || problem "took $elapsed_ms ms with --timeout 2"
    [[ $(grep -c '^WARNING: /opt/vantor/utils/tessio did not finish within 2 s' "$work/stderr") == 1 ]] ||
        problem "no single warning naming the tool: $(cat "$work/stderr")"
    [[ $(jq -c '[.interfaces[] | [.slot, .port, .bay, .bay_port]] | unique' "$work/doc") == '[[null,null,null,null]]' ]] ||
        problem "slot and bay not null after the time-out"
    # A killed process is gone once it is no more than a zombie, which
    # takes the kernel a moment.
    while read -r pid; do
        for _ in $(seq 20); do
            [[ $(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) == [^Z]* ]] || continue 2
            sleep 0.05
        done
        problem "tool process $pid remains"
        kill -9 "$pid"
    done </opt/pids
    echo "$case: $elapsed_ms ms, $(wc -l </opt/pids) tool process(es), none left"
    exit "$failed"
fi

# Two IPv4, two global IPv6 (documentation addresses) and the kernel's
# link-local address, on a pair that lives only in this namespace.
if ! { ip link add eth9 type veth peer name vpeer9 && ip link set eth9 up && ip link set vpeer9 up &&
    ip addr add 192.0.2.90/24 dev eth9 && ip addr add 192.0.2.91/24 dev eth9 &&
    ip addr add 2001:db8:9::90/64 nodad dev eth9 && ip addr add 2001:db8:9::91/64 nodad dev eth9; }; then
    problem "cannot build eth9"
    exit 1
fi
for _ in $(seq 50); do
    ip -6 addr show dev eth9 scope link | grep -q fe80 && break
    sleep 0.1
done

run_facts >"$work/root.json" || problem "as root: status $?"
run_facts setpriv --reuid=65534 --regid=65534 --clear-groups >"$work/user.json" || problem "as nobody: status $?"

for name in $(jq -r '.interfaces[].name' "$work/root.json"); do
    want=$(ip -j address show dev "$name" | jq -c '[.[0].addr_info[] |
        {family, address: .local, prefix_length: .prefixlen, scope}]')
    got=$(jq -c --arg n "$name" '.interfaces[] | select(.name == $n) | .addresses' "$work/root.json")
    [[ $got == "$want" ]] || problem "$name addresses $got, ip shows $want"
    speed=$(cat "/sys/class/net/$name/speed" 2>/dev/null) || speed=null
    duplex=$(cat "/sys/class/net/$name/duplex" 2>/dev/null) || duplex=null
    [[ $speed =~ ^[1-9][0-9]*$ ]] || speed=null
    if [[ $duplex == full || $duplex == half ]]; then duplex=\"$duplex\"; else duplex=null; fi
    got=$(jq -c --arg n "$name" '.interfaces[] | select(.name == $n) | [.speed_mbps, .duplex]' "$work/root.json")
    [[ $got == "[$speed,$duplex]" ]] || problem "$name speed and duplex $got, sysfs shows [$speed,$duplex]"
done
[[ $(jq '.interfaces[] | select(.name == "eth9") | .addresses | length' "$work/root.json") == 5 ]] ||
    problem "eth9 has not its five addresses"

keys='[.interfaces[] | [.name, .link, .driver, .admin_state, .mac, .ipv4, .ipv6, .addresses, .speed_mbps,
       .duplex, .pci_names]]'
[[ $(jq -c "$keys" "$work/root.json") == "$(jq -c "$keys" "$work/user.json")" ]] ||
    problem "unprivileged values differ: $(diff <(jq "$keys" "$work/root.json") <(jq "$keys" "$work/user.json"))"
[[ $(jq -c '[.privileged, .system.serial]' "$work/user.json") == '[false,null]' ]] ||
    problem "as nobody: privileged or serial wrong"
[[ $(jq -c '[.privileged, .system.serial]' "$work/root.json") == '[true,"DMO0000001"]' ]] ||
    problem "as root: privileged or serial wrong"

# os: /etc/os-release taken away (an overlay whiteout), /usr/lib/os-release
# answers; both taken away, os is null.
mkdir -p "$work/gone/etc" "$work/gone/lib"
if ! { mknod "$work/gone/etc/os-release" c 0 0 && mknod "$work/gone/lib/os-release" c 0 0 &&
    mount -t overlay gone-etc -o "lowerdir=$work/gone/etc:/etc" /etc; }; then
    problem "cannot hide /etc/os-release"
fi
lib_id=$(. /usr/lib/os-release && echo "$ID")
[[ $(run_facts | jq -r .os.id) == "$lib_id" ]] || problem "os not read from /usr/lib/os-release"
mount -t overlay gone-lib -o "lowerdir=$work/gone/lib:/usr/lib" /usr/lib || problem "cannot hide /usr/lib/os-release"
[[ $(run_facts | jq -c .os) == null ]] || problem "os not null without an os-release file"
((failed)) || echo "PASS: addresses, speed and duplex as the kernel shows them; nobody sees root's values; os"
exit "$failed"
