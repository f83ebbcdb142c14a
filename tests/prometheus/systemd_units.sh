#!/bin/bash
# SPDX-License-Identifier: MIT
# The systemd units as an install configures them, checked by
# systemd-analyze verify: installed with a scratch prefix, so that the
# program, the manual page and the environment file they name are there.
# Any complaint fails, an ignored unknown key as much as a refusal.
#
#   systemd_units.sh BUILD_DIR
set -u
build=$1
command -v systemd-analyze >/dev/null || { echo "needs systemd-analyze (Debian package systemd)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-units.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" --component runtime >/dev/null || exit 1
units=("$work"/usr/lib/systemd/system/tarvex-facts-textfile.{service,timer})
complaints=$(MANPATH=$work/usr/share/man systemd-analyze verify "${units[@]}" 2>&1) || status=1
[[ -z $complaints && ${status:-0} == 0 ]] || { echo "$complaints"; exit 1; }
grep -h '^EnvironmentFile=\|^ExecStart=' "${units[0]}" | sed "s|$work|PREFIX|g"
echo "systemd-analyze verify: ${units[*]##*/} clean"
