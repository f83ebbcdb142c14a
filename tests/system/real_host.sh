#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex on the real machine, which it only reads.  Its eth0 is a PCI
# function of a kind the catalogue does not hold (on our machines a
# paravirtual network device): the report must show it as "unknown model",
# with "n/a" in the numeric columns as long as no management tools are
# installed, and without an error line for it.
#   real_host.sh TARVEX
set -u
export LC_ALL=C
tarvex=${1:?usage: real_host.sh TARVEX}

if [[ ! -e /sys/class/net/eth0 ]]; then
    echo "SKIP: this machine has no eth0"
    exit 77
fi
# The PCI function behind eth0: the nearest PCI address among the device's
# sysfs ancestors (a paravirtual device sits one level below its function).
device=$(readlink -f /sys/class/net/eth0/device)
bus=
while [[ $device == /sys/devices/* ]]; do
    name=$(basename "$device")
    if [[ $name =~ ^[0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\.[0-7]$ ]]; then
        bus=$name
        break
    fi
    device=$(dirname "$device")
done
if [[ -z $bus || ! -r /sys/bus/pci/devices/$bus/vendor ]]; then
    echo "SKIP: eth0 is not a PCI function here"
    exit 77
fi
echo "eth0 is PCI function $bus ($(cat "/sys/bus/pci/devices/$bus/vendor"):$(cat "/sys/bus/pci/devices/$bus/device"))"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-realhost.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
"$tarvex" >"$work/stdout" 2>"$work/stderr"
rc=$?

failed=0
problem() {
    echo "FAIL: $*"
    failed=1
}
((rc == 0)) || problem "exit status $rc"
header=$(printf '%-5s %-7s %-7s %-7s %-7s  %-41.41s' iface slot port bay bayport "Model Name")
row=$(printf '%-5s %-7s %-7s %-7s %-7s  %-41.41s' eth0 n/a n/a n/a n/a "unknown model")
[[ $(head -n 1 "$work/stdout") == "$header" ]] || problem "first line is not the header"
grep -qxF -- "$row" "$work/stdout" || problem "no row: $row"
grep -q "for eth0," "$work/stdout" && problem "an error line for eth0"
tools_present=0
for path in /opt/vantor/utils/tessio /sbin/tessio /opt/vantor/utils/tolmarcli /sbin/tolmarcli; do
    [[ -e $path ]] && tools_present=1
done
if ((tools_present == 0)); then
    printf '\n%s\n%s\n%s\n\n' "WARNING: The tolmar package is not installed. Will" \
        "         not be able to display bay/slot/port" \
        "         information. See README for details." >"$work/warning"
    cmp -s "$work/warning" "$work/stderr" || problem "standard error is not the package warning block"
fi
if ((failed)); then
    echo "--- stdout"; cat -A "$work/stdout"
    echo "--- stderr"; cat -A "$work/stderr"
    exit 1
fi
echo "PASS: eth0 row: $row"
