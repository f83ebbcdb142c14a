#!/bin/sh
# SPDX-License-Identifier: MIT
# README's first command.  On a fresh Debian 12, as root: installs what the
# report needs to build, builds it in build-report (without the test suite,
# so without GoogleTest) and runs it on this host.
set -eu
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends g++ make cmake nlohmann-json3-dev >/dev/null
cmake -S . -B build-report -DTARVEX_TESTS=OFF
cmake --build build-report -j2
./build-report/tarvex
