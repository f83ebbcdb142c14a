#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a test program inside private namespaces made for it alone, so that
# it can create interfaces and mount fake trees without touching the host.
#
#   in_private_namespace.sh [--net] [--tmpfs DIR]... [--overlay DIR]... -- PROGRAM [ARGS]
#
# --net        a new network namespace (only lo, down)
# --tmpfs DIR  an empty tmpfs over DIR
# --overlay DIR  DIR as seen before, writable, changes kept in memory
# Listing the tests (--gtest_list_tests) runs PROGRAM directly: listing
# changes nothing.  Without root or namespaces the run is skipped (exit 77).
set -eu

net=
setup=
while [ $# -gt 0 ]; do
    case $1 in
    --net) net=--net; shift ;;
    --tmpfs) setup="$setup mount -t tmpfs tarvex-test '$2';"; shift 2 ;;
    --overlay)
        # Upper and work directories live on a tmpfs over /run, private to
        # the namespace.
        dir=$(echo "$2" | tr / _)
        setup="$setup mkdir -p /run/tarvex-u$dir /run/tarvex-w$dir;"
        setup="$setup mount -t overlay tarvex-test -o lowerdir='$2',upperdir=/run/tarvex-u$dir,workdir=/run/tarvex-w$dir '$2';"
        overlay_scratch="mount -t tmpfs tarvex-scratch /run;"
        shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--net] [--tmpfs DIR]... [--overlay DIR]... -- PROGRAM [ARGS]" >&2; exit 2 ;;
    esac
done

for arg in "$@"; do
    case $arg in --gtest_list_tests*) exec "$@" ;; esac
done

if [ "$(id -u)" != 0 ] || ! unshare $net --mount --propagation private true 2>/dev/null; then
    echo "SKIPPED: needs root and private namespaces"
    exit 77
fi

# The namespaces the program starts from, so it can tell that its own differ
# before it changes anything.
TARVEX_OUTER_NS_NET=$(readlink /proc/self/ns/net)
TARVEX_OUTER_NS_MNT=$(readlink /proc/self/ns/mnt)
export TARVEX_OUTER_NS_NET TARVEX_OUTER_NS_MNT

exec unshare $net --mount --propagation private \
    sh -e -c "${overlay_scratch:-} $setup exec \"\$@\"" tarvex-namespace "$@"
