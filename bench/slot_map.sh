#!/bin/bash
# SPDX-License-Identifier: MIT
# What the slot and bay columns cost.  A simulated blade host with 16
# Ethernet functions on 8 dual-port adapters (slots 1 to 8), the stand-in
# management tools installed.  Prints the report's wall time, the number of
# tool processes one report starts, the time of one tool run (the same
# command lines through the shell, without the report), and what the
# report costs besides the tool runs: its time with the tools moved away
# (the package then counts as absent, so this leaves out the slot map's own
# sysfs listing and parsing; the difference to the full report is charged
# to the tool runs).  The design starts the inventory tool
# once per function and the CLI once; everything else should stay under 10%
# of those runs.  Prints figures, asserts nothing.
#
#   bench/slot_map.sh [BUILD_DIR] [RUNS]      (defaults: build, 10)
#
# Needs root for the private namespaces of tools/fakehost.sh; without them it
# says so and exits 77.
set -u
export LC_ALL=C
source_dir=$(dirname "$(dirname "$(readlink -f "$0")")")
readonly source_dir

inventory_command="/opt/vantor/utils/tessio -i 2>/dev/null | awk '{print \$1\" \"\$2\" \"\$6;}'"
port_map_command='/opt/vantor/utils/tolmarcli -s "show portmap" 2>/dev/null'

# The host: eth0 to eth15 on buses 0x11 to 0x18, two functions each.
write_host() {
    local slot bus function index=0
    echo "# Bench host: 8 dual-port adapters in slots 1 to 8."
    echo "tool tessio utils"
    echo "tool tolmarcli utils"
    for slot in 1 2 3 4 5 6 7 8; do
        printf -v bus '%02x' $((0x10 + slot))
        for function in 0 1; do
            echo "netname eth$index"
            echo "nic eth$index driver=bench bus=0000:$bus:00.$function"
            echo "pci 0000:$bus:00.$function vendor=0x8086 device=0x10c9 subsystem_vendor=0x1f2e" \
                "subsystem_device=0x0001 class=0x020000"
            echo "portmap $slot $function $((slot % 4 + 1)) $((slot * 2 + function))"
            index=$((index + 1))
        done
        echo "inventory $bus 00 $slot"
    done
}

now_us() {
    local t=${EPOCHREALTIME/./}
    echo $((10#$t))
}

# Mean wall time in microseconds of RUNS runs of a command line through sh.
time_command() {
    local runs=$1 command=$2 start i
    start=$(now_us)
    for ((i = 0; i < runs; i++)); do
        sh -c "$command" >/dev/null
    done
    echo $((($(now_us) - start) / runs))
}

# Inside the fake host: time the report and the tools.
measure() {
    local tarvex=$1 driver=$2 runs=$3 log=$4 start i report_us tool_runs inventory_us port_map_us
    local preload=$driver asan
    asan=$(ldd "$tarvex" | awk '/libasan/ { print $3 }')
    [[ -z $asan ]] || preload="$asan $driver"
    LD_PRELOAD=$preload "$tarvex" >/dev/null 2>&1 # warm the caches
    : >"$log"
    start=$(now_us)
    for ((i = 0; i < runs; i++)); do
        LD_PRELOAD=$preload "$tarvex" >/dev/null
    done
    report_us=$((($(now_us) - start) / runs))
    tool_runs=$(($(wc -l <"$log") / runs))
    local inventory_runs=$(($(grep -c -- ' -i$' "$log") / runs))
    # The same report with the tools moved away (inside the namespace's own
    # /opt): what the rest of the report costs.
    mv /opt/vantor/utils /opt/vantor/utils.away
    start=$(now_us)
    for ((i = 0; i < runs; i++)); do
        LD_PRELOAD=$preload "$tarvex" >/dev/null 2>&1
    done
    local bare_us=$((($(now_us) - start) / runs))
    mv /opt/vantor/utils.away /opt/vantor/utils
    inventory_us=$(time_command "$runs" "$inventory_command")
    port_map_us=$(time_command "$runs" "$port_map_command")
    local in_report_us=$((report_us - bare_us))
    echo "host: 16 Ethernet functions in 8 slots; means of $runs runs"
    printf 'report wall time:            %8.1f ms\n' "$(bc_div "$report_us" 1000)"
    printf 'tool processes per report:   %8d (inventory %d, CLI %d)\n' "$tool_runs" "$inventory_runs" \
        $((tool_runs - inventory_runs))
    printf 'inventory run, alone:        %8.1f ms\n' "$(bc_div "$inventory_us" 1000)"
    printf 'CLI run, alone:              %8.1f ms\n' "$(bc_div "$port_map_us" 1000)"
    printf 'tool runs in the report:     %8.1f ms (%.1f ms each)\n' "$(bc_div "$in_report_us" 1000)" \
        "$(bc_div "$in_report_us" $((tool_runs * 1000)))"
    printf 'everything else:             %8.1f ms (%.1f%% on top of the tool runs; target under 10%%)\n' \
        "$(bc_div "$bare_us" 1000)" "$(bc_div $((bare_us * 100)) "$in_report_us")"
}

bc_div() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b == 0 ? 0 : a / b) }'
}

if [[ ${1:-} == --inside ]]; then
    shift
    measure "$@"
    exit
fi

build=$(readlink -f "${1:-build}")
runs=${2:-10}
[[ -x $build/tarvex && -f $build/tests/libtarvex_fake_driver.so ]] ||
    { echo "slot_map: build $build first (tarvex and the driver stand-in)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-bench.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
write_host >"$work/bench.host"
bash "$source_dir/tools/fakehost.sh" --tool-log "$work/toollog" "$work/bench.host" -- \
    bash "$(readlink -f "$0")" --inside "$build/tarvex" "$build/tests/libtarvex_fake_driver.so" "$runs" \
    "$work/toollog"
