#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Seed corpora for the fuzz targets, taken from the test fixtures: the
# system scenarios' host descriptions, the string literals of the parsers'
# unit tests, the catalogue's data file, this host's /proc/net/if_inet6 and
# SMBIOS table, the slot rows of the firmware location tests, and an IPv4
# address dump.
#
# usage: fuzz/make_seeds.sh OUTPUT_DIR   (one subdirectory per target)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$1
scenarios=("$src"/tests/system/scenarios/*.host)
mkdir -p "$out"

# seed TARGET TEXT: one seed file holding TEXT with printf %b escapes.
count=0
seed() {
    mkdir -p "$out/$1"
    count=$((count + 1))
    printf '%b' "$2" >"$out/$1/seed-$count"
}
# The contents of every C string literal in the given files, one per line.
literals() { grep -ho '"\([^"\\]\|\\.\)*"' "$@" | sed 's/^"//; s/"$//'; }
# The arguments of a directive in the host descriptions.
directive() { grep -h "^$1 " "${scenarios[@]}" | cut -d' ' -f2- || true; }

unit=$src/tests/unit
# Tool listings: the first byte picks the listing (even: inventory).
while read -r line; do seed fuzz_tool_listings "0$line"; done < <(directive inventory; directive tessio_line)
while read -r line; do seed fuzz_tool_listings "1$line"; done < <(directive portmap; directive tolmarcli_line)
while read -r line; do
    seed fuzz_tool_listings "0$line"
    seed fuzz_tool_listings "1$line"
done < <(literals "$unit/port_map_parse_test.cpp")

# Bus addresses and PCI entry names.
while read -r line; do seed fuzz_bus_addresses "$line"; done < <(
    grep -ho 'bus=[^ ]*' "${scenarios[@]}" | cut -d= -f2
    directive pci | cut -d' ' -f1
    literals "$unit/port_map_parse_test.cpp")

# Attribute and class files.
while read -r line; do seed fuzz_sysfs_attribute "$line\n"; done < <(
    grep -ho '\(vendor\|device\|class\)=[^ ]*' "${scenarios[@]}" | cut -d= -f2 | sort -u)
while read -r line; do seed fuzz_sysfs_attribute "$line"; done < <(directive pci_attr | cut -d' ' -f3-)

# /proc/net/if_inet6 lines: this host's and the unit tests'.
if [ -r /proc/net/if_inet6 ]; then
    while read -r line; do seed fuzz_if_inet6 "$line\n"; done </proc/net/if_inet6
fi
while read -r line; do seed fuzz_if_inet6 "$line"; done < <(literals "$unit/host_query_parse_test.cpp")

# An IPv4 address dump's batch: two addresses (one with a broadcast
# address, one labelled as an alias) and the end of the dump; and the same
# cut short at every 13th byte.
dump='\x3c\x00\x00\x00\x14\x00\x02\x00\x01\x00\x00\x00\x00\x00\x00\x00\x02\x18\x80\x00\x02\x00\x00\x00\x08\x00\x01\x00\xc0\x00\x02\x01\x08\x00\x02\x00\xc0\x00\x02\x01\x08\x00\x04\x00\xc0\x00\x02\xff\x0a\x00\x03\x00\x76\x65\x74\x68\x30\x00\x00\x00\x2c\x00\x00\x00\x14\x00\x02\x00\x01\x00\x00\x00\x00\x00\x00\x00\x02\x20\x80\x00\x03\x00\x00\x00\x08\x00\x02\x00\xc6\x33\x64\x07\x0c\x00\x03\x00\x76\x65\x74\x68\x31\x3a\x61\x00\x14\x00\x00\x00\x03\x00\x02\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
seed fuzz_address_dump "$dump"
for ((cut = 13 * 4; cut < ${#dump}; cut += 13 * 4)); do seed fuzz_address_dump "${dump:0:cut}"; done

# Release lines and text reading: unit-test literals, release files of the
# scenarios, and token/trim inputs (length byte, token or set, line).
while read -r line; do seed fuzz_release_line "$line"; done < <(
    literals "$unit/host_query_parse_test.cpp" "$src/tests/host/release_file_test.cpp"
    directive etc | cut -d' ' -f2-)
while read -r line; do
    seed fuzz_text "\x04NAME$line"
    seed fuzz_text "\x03 \t\n$line"
done < <(literals "$unit/host_query_parse_test.cpp" "$unit/text_reading_test.cpp")

# Catalogue keys: four little-endian int32 of each row of the data file.
while read -r ven dev sub_ven sub_dev; do
    bytes=""
    for value in "$ven" "$dev" "$sub_ven" "$sub_dev"; do
        v=$((value))
        bytes+=$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))
    done
    seed fuzz_catalogue "$bytes"
done < <(grep -v -e '^#' -e '^[[:space:]]*$' "$src/common/nic_db.txt" | awk '{print $1, $2, $3, $4}')

# SMBIOS tables: each slot row of the firmware location tests as a
# one-structure table, and all of them as one table, each closed by an
# end-of-table structure; and this host's own table where it can be read.
hex() { printf '\\x%02x' "$@"; }
slot_structure() {
    local handle=$1 length=$2 id=$9 address=${10} name=${11} segment=ffff bus=ff devfn=255 device function
    if [ "$address" != - ]; then
        IFS=':.' read -r segment bus device function <<<"$address"
        devfn=$(((16#$device << 3) | 16#$function))
    fi
    hex 9 $((16#$length)) $((16#${handle:4:2})) $((16#${handle:2:2})) 1 $((16#$3)) $((16#$4)) $((16#$5)) $((16#$6))
    hex $((16#$id & 255)) $((16#$id >> 8)) $((16#$7)) $((16#$8)) $((16#$segment & 255)) $((16#$segment >> 8))
    hex $((16#$bus)) "$devfn"
    for ((i = 17; i < 16#$length; i++)); do hex 0; done
    printf '%s\\x00\\x00' "$name"
}
end_of_table='\x7f\x04\xff\xfe\x00\x00'
all_slots=""
while IFS='|' read -r fields name; do
    # shellcheck disable=SC2086 # the row's fields are words
    structure=$(slot_structure $fields "$name")
    seed fuzz_smbios_table "$structure$end_of_table"
    all_slots+=$structure
done < <(sed -n -E 's/^t9 (.*) "(.*)"$/\1|\2/p' "$src/tests/host/firmware_location_test.cpp")
seed fuzz_smbios_table "$all_slots$end_of_table"
if [ -r /sys/firmware/dmi/tables/DMI ]; then
    mkdir -p "$out/fuzz_smbios_table"
    cp /sys/firmware/dmi/tables/DMI "$out/fuzz_smbios_table/this-host"
fi

# lldpcli's answers (even first byte) from the LLDP unit tests, and plans.
while read -r line; do seed fuzz_lldp "0$line"; done < <(literals "$src/tests/lldp/lldp_test.cpp" | grep '^{')
seed fuzz_lldp '0{"lldp":[{"interface":[{"name":"eth0","chassis":[{"id":[{"type":"mac","value":"0c:29:ef:00:00:01"}],"name":[{"value":"leaf-a1"}],"mgmt-ip":[{"value":"192.0.2.11"}]}],"port":[{"id":[{"type":"ifname","value":"swp7"}],"descr":[{"value":"swp7"}]}],"vlan":[{"vlan-id":"100","pvid":true,"value":"v100"}]}]}]}'
seed fuzz_lldp '1# rack 12\neth0 leaf-a1 swp7\neth1 "leaf a2" swp7 # spare\n'

for dir in "$out"/*/; do
    echo "seeds: $(basename "$dir") $(find "$dir" -type f | wc -l)"
done
