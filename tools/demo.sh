#!/bin/bash
# SPDX-License-Identifier: MIT
# Shows tarvex's complete report for a simulated blade host with two
# dual-port adapters and the management package (tools/demo.host), inside a
# private mount and network namespace: nothing on this machine changes.
# Run as root from anywhere:   tools/demo.sh [BUILD_DIR]   (default: build)
# Builds tarvex and the driver stand-in first when they are missing.
set -u
root=$(dirname "$(dirname "$(readlink -f "$0")")")
build=${1:-$root/build}
driver=$build/tests/libtarvex_fake_driver.so

if [[ ! -x $build/tarvex || ! -f $driver ]]; then
    cmake -S "$root" -B "$build" >/dev/null &&
        cmake --build "$build" -j2 --target tarvex tarvex_fake_driver >/dev/null || exit 1
fi
preload=$driver
asan_runtime=$(ldd "$build/tarvex" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"

log=$(mktemp) || exit 1
trap 'rm -f -- "$log"' EXIT
echo "Simulated blade host ($root/tools/demo.host): two dual-port adapters, management tools installed."
echo
bash "$root/tools/fakehost.sh" --preload "$preload" --tool-log "$log" "$root/tools/demo.host" -- "$build/tarvex"
rc=$?
if ((rc == 77)); then
    echo "The demo needs root (private namespaces)." >&2
    exit 77
fi
echo
echo "tarvex exit status: $rc; management tool runs:"
sort "$log" | uniq -c
exit "$rc"
