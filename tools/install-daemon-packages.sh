#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs Debian packages that bring a daemon with their tools (lldpd with
# lldpcli, prometheus for promtool, prometheus-node-exporter) without
# starting it: where an init
# runs, their installation would start the service.  For the installation a
# /usr/sbin/policy-rc.d that refuses every start (status 101) stands in
# place; whatever was there before is put back afterwards, and a new one is
# removed.  Then checks that no daemon of these packages runs: the tests
# start their own, in namespaces of their own, and share no machine with a
# daemon the package started.  As root.
#
#   tools/install-daemon-packages.sh PACKAGE...
set -eu
policy=/usr/sbin/policy-rc.d
saved=
if [ -e "$policy" ]; then
    saved=$(mktemp)
    cp -p "$policy" "$saved"
fi
restore() {
    if [ -n "$saved" ]; then mv -f "$saved" "$policy"; else rm -f "$policy"; fi
}
trap restore EXIT
printf '#!/bin/sh\nexit 101\n' >"$policy"
chmod 755 "$policy"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
restore
trap - EXIT
for daemon in /usr/bin/prometheus /usr/bin/prometheus-node-exporter /usr/sbin/lldpd; do
    if pgrep -f "^$daemon( |\$)" >/dev/null; then
        echo "install-daemon-packages: $daemon runs (pid $(pgrep -d ' ' -f "^$daemon( |\$)")); stop its service before the tests" >&2
        exit 1
    fi
done
