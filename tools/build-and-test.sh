#!/bin/sh
# SPDX-License-Identifier: MIT
# README's second command, which CI runs too.  On a fresh Debian 12, as root:
# installs what the build and the test suite need, builds everything in build
# with warnings as errors and runs the whole suite with CTest, two tests at a
# time.  The system tests need root for their private namespaces.
set -eu
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends g++ make cmake libgtest-dev locales \
    nlohmann-json3-dev iproute2 pkg-config man-db python3-jsonschema ansible-core dmidecode systemd jq >/dev/null
# lldpd (whose daemons the LLDP tests start in their own namespaces), promtool
# and node_exporter: their packages would start their daemons.
tools/install-daemon-packages.sh lldpd prometheus prometheus-node-exporter
if [ -e /run/lldpd.socket ]; then
    echo "build-and-test: an lldpd of this machine has /run/lldpd.socket; stop it before the tests" >&2
    exit 1
fi
cmake -S . -B build -DTARVEX_WERROR=ON
cmake --build build -j2
ctest --test-dir build -j2 --output-on-failure
