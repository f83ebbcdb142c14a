#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts' neighbors and tarvex-cabling against real lldpd daemons, in
# the lab of lab.sh; run inside tools/fakehost.sh on tests/lldp/lab.host:
#
#   checks.sh FACTS CABLING DRIVER_LIB SOURCE_DIR
#
# lldpd's own json0 answer, turned into neighbour entries by jq, is the
# reference for the document.  Then the agent is taken away in turn:
# lldpcli hangs, lldpd stops, lldpcli is missing.
# shellcheck disable=SC2016,SC2034,SC2317 # jq programs; what the eval'd checks use
set -u
facts=$1 cabling=$2 driver=$3 source_dir=$4
[[ -x /usr/sbin/lldpd && -x /usr/sbin/lldpcli ]] || { echo "SKIP: needs lldpd (Debian package lldpd)"; exit 77; }
# shellcheck source=tests/lldp/lab.sh
. "$source_dir/tests/lldp/lab.sh"
preload=$driver
asan_runtime=$(ldd "$facts" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"
failed=0

# run PROGRAM ARG...: standard output in $out, error in $err, status in $rc,
# whole seconds in $took.
run() {
    local started=$SECONDS
    LD_PRELOAD=$preload "$@" >"$lab_dir/out" 2>"$lab_dir/err"
    rc=$?
    took=$((SECONDS - started))
    out=$(<"$lab_dir/out") err=$(<"$lab_dir/err")
}

expect() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        echo "ok: $what"
    else
        echo "FAIL: $what (status $rc, standard error: $err)"
        failed=1
    fi
}

jq_true() { jq -e "$@" <<<"$out"; }

# The server's ports as lldpd lists them, in tarvex-facts' terms.
reference_filter='
def text(k): (.[k][0].value // null) | if . == "" then null else . end;
[.lldp[].interface[]? | {name, entry: {
    chassis_id: .chassis[0].id[0].value, chassis_id_type: .chassis[0].id[0].type,
    system_name: (.chassis[0] | text("name")),
    port_id: .port[0].id[0].value, port_id_type: .port[0].id[0].type,
    port_description: (.port[0] | text("descr")),
    management_addresses: [.chassis[0]["mgmt-ip"][]?.value],
    vlans: [.vlan[]? | {id: (.["vlan-id"] | tonumber), name: (.value // null | if . == "" then null else . end),
                        pvid: (.pvid // false)}]}}]
| reduce .[] as $n ({eth0: [], eth1: [], eth2: []}; .[$n.name] += [$n.entry])'
port_neighbors='[.interfaces[] | select(.name | test("^eth[0-2]$")) | {(.name): .neighbors}] | add'

lab_start

# --- With the agent ---------------------------------------------------------
reference=$(/usr/sbin/lldpcli -f json0 show neighbors details | jq -c "$reference_filter")
run "$facts"
expect "tarvex-facts exits 0 without an LLDP message" test "$rc" = 0 -a -z "$(grep LLDP <<<"$err")"
expect "neighbors are lldpd's, eth2 []" jq_true --argjson ref "$reference" "$port_neighbors == \$ref"
expect "the lab has one, two and no neighbours, a MAC port id, a management address" jq_true "$port_neighbors"' |
    (.eth0 | length) == 1 and (.eth1 | length) == 2 and .eth2 == [] and
    .eth1[1].port_id_type == "mac" and .eth1[1].port_description == "ge-0-0-3" and
    .eth0[0].management_addresses == ["192.0.2.11"]'
expect "the document passes the schema" /usr/bin/python3 -c '
import json, sys, jsonschema
jsonschema.validate(json.load(open(sys.argv[2])), json.load(open(sys.argv[1])))' \
    "$source_dir/doc/tarvex-facts.schema.json" "$lab_dir/out"
run "$facts" --format prometheus
expect "metrics: promtool takes them, one series per neighbour" eval '((rc == 0)) &&
    promtool check metrics <"$lab_dir/out" && (($(grep -c "^tarvex_lldp_neighbor_info{device=\"eth[01]\"" <<<"$out") == 3))'

leaf_c1=$(jq -r '.eth1[1].chassis_id | ascii_upcase' <<<"$reference")
printf 'eth0 leaf-a1 swp7\neth1 "leaf-c1" ge-0-0-3 # by its description\n' >"$lab_dir/plan.ok"
printf '# rack 12\n\neth0 leaf-a1 swp8\neth1 %s %s\neth2 leaf-a1 swp9\neth7 leaf-a1 swp1\n' \
    "$leaf_c1" "$leaf_c1" >"$lab_dir/plan.mixed"
run "$cabling" "$lab_dir/plan.ok"
expect "cabling ok: status 0, eth0 beside its slot" eval '((rc == 0)) && grep -qE "^eth0 +slot 3 port 1 +ok +leaf-a1 +swp7 +leaf-a1 swp7\$" <<<"$out"'
expect "cabling: eth1 heard from two switches" grep -qE "^eth1 +- +ok +leaf-c1 +ge-0-0-3 +leaf-b1 swp1, leaf-c1 " <<<"$out"
run "$cabling" --json "$lab_dir/plan.mixed"
expect "cabling --json: wrong, ok (MAC ids in upper case), none, absent, status 1" jq_true --argjson rc "$rc" '
    [.ports[].verdict] == ["wrong", "ok", "none", "absent"] and $rc == 1 and
    .ports[0].seen == [{"switch": "leaf-a1", "port": "swp7"}] and .ports[0].planned == {"switch": "leaf-a1", "port": "swp8"} and
    .ports[0].firmware_slot.name == "3" and .ports[2].seen == [] and .ports[3].firmware_slot == null'

# Plan errors: status 2 and the file and line named.
while IFS='|' read -r plan where; do
    printf '%b' "$plan" >"$lab_dir/plan.bad"
    run "$cabling" "$lab_dir/plan.bad"
    expect "plan error at $where" eval '((rc == 2)) && [[ $err == *"$lab_dir/plan.bad:$where: "* ]]'
done <<'EOF_PLANS'
eth0 leaf-a1|1
# two lines\neth0 a b\n\neth0 c d|4
eth0 "leaf a1 swp7\n|1
eth0 a b c d|1
EOF_PLANS
run "$cabling" "$lab_dir/no-such-plan"
expect "unreadable plan: status 2" eval '((rc == 2)) && [[ $err == *"no-such-plan (errno=2)"* ]]'
run "$cabling" - -
expect "usage error: status 2" test "$rc" = 2

# --- Without it -------------------------------------------------------------
# no_agent WHAT MESSAGE: tarvex-facts still prints its document, every
# neighbors null, after MESSAGE; tarvex-cabling judges nothing.
no_agent() {
    local message=$2
    run "$facts"
    expect "$1: document with null neighbors" jq_true '[.interfaces[].neighbors] | length > 0 and all(. == null)'
    expect "$1: $2" eval '((rc == 0)) && [[ $err == *"$message"* ]]'
    run "$cabling" "$lab_dir/plan.ok"
    expect "$1: cabling status 3" eval '((rc == 3)) && [[ $err == *"no LLDP agent answered"* ]]'
}
lab_lldpcli_hangs
no_agent "lldpcli hangs" "WARNING: lldpcli did not answer within 5 s"
expect "lldpcli hangs: stopped at 5 s" eval '((took >= 4 && took <= 20))'
umount /usr/sbin/lldpcli
lab_stop_server
no_agent "lldpd stopped" "INFO: no LLDP agent listens on /run/lldpd.socket"
lab_lldpcli_missing
no_agent "lldpcli missing" "INFO: lldpcli is not installed"
exit "$failed"
