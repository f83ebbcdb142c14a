#!/bin/bash
# SPDX-License-Identifier: MIT
# The SMBIOS tables the fake hosts build, read back by an independent
# reader: dmidecode must print every smbios_slot line of a description as
# the slot it describes (designation and bus address), in table order.
#
#   smbios_tables.sh SOURCE_DIR
#
# dmidecode is $DMIDECODE or the one on PATH (Debian package dmidecode).
# Exit status 77 (skipped) without it, or without root or namespaces.
set -u
export LC_ALL=C
source_dir=$1
dmidecode=${DMIDECODE:-$(command -v dmidecode)}
[[ -x $dmidecode ]] || { echo "SKIP: needs dmidecode (Debian package dmidecode)"; exit 77; }

# "designation|bus address" per slot, as the description means it.
described() {
    local address designation
    while read -r _ _ _ _ _ _ _ _ _ _ address designation; do
        [[ $address != - ]] || address=
        printf '%b|%s\n' "$designation" "$address"
    done < <(grep '^smbios_slot ' "$1")
}

# The same from dmidecode's listing of the slots (type 9).
read_back() {
    awk -F': ' '/^\tDesignation:/ { if (n++) print d "|" a; d = $2; a = "" }
                /^\tBus Address:/ { a = $2 }
                END { if (n) print d "|" a }'
}

failed=0
checked=0
for host in "$source_dir"/tests/system/scenarios/*.host "$source_dir/tools/demo.host"; do
    grep -q '^smbios_slot ' "$host" || continue
    got=$(bash "$source_dir/tools/fakehost.sh" "$host" -- "$dmidecode" -t 9 2>&1)
    (($? != 77)) || { echo "SKIP: $got"; exit 77; }
    if ! diff -u --label described <(described "$host") --label dmidecode <(read_back <<<"$got"); then
        echo "FAIL: dmidecode reads another table from $host"
        failed=1
    fi
    checked=$((checked + 1))
done
echo "$checked SMBIOS tables read back"
exit "$failed"
