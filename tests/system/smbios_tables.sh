#!/bin/bash
# SPDX-License-Identifier: MIT
# The SMBIOS tables the fake-host builder makes, read back by an independent
# reader: dumped with dmidecode --dump-bin inside the fake host and read
# with dmidecode --from-dump, every smbios_slot line of a description must
# come back, in table order, with every field as the line gives it
# (handle, length, slot type, width, usage, slot length, characteristics,
# ID, bus address, designation), and dmidecode must not complain, so that
# a builder fault cannot hide.
#
#   smbios_tables.sh SOURCE_DIR [HOST...]
#
# Without HOST: the scenarios' descriptions and the demo host's.  A
# description that cuts its table (smbios_cut) is left out: its table is
# damaged on purpose.  dmidecode is $DMIDECODE or the one on PATH (Debian
# package dmidecode).  Exit status 77 (skipped) without it, or without root
# or namespaces.
set -u
export LC_ALL=C
source_dir=$1
shift
dmidecode=${DMIDECODE:-$(command -v dmidecode)}
[[ -x $dmidecode ]] || { echo "SKIP: needs dmidecode (Debian package dmidecode)"; exit 77; }
(($# > 0)) || set -- "$source_dir"/tests/system/scenarios/*.host "$source_dir/tools/demo.host"

# Every slot line in one notation: handle, length (decimal), the six bytes
# in lower-case hexadecimal, ID (decimal), address or "-", designation.
described() {
    local -a f
    local designation
    while read -r -a f; do
        read -r _ _ _ _ _ _ _ _ _ _ _ designation <<<"${f[*]}"
        printf -v designation '%b' "$designation"
        printf '0x%04x %d' "$((f[1]))" "$((10#${f[2]}))"
        printf ' %02x' "$((0x${f[3]}))" "$((0x${f[4]}))" "$((0x${f[5]}))" "$((0x${f[6]}))" "$((0x${f[7]}))" "$((0x${f[8]}))"
        printf ' %d %s |%s|\n' "${f[9]/#-/0}" "${f[10]}" "$designation"
    done < <(grep '^smbios_slot ' "$1")
}

# The same from dmidecode's undecoded listing of the slots (type 9).
read_back() {
    awk 'function hex(text,   i, v) {
             v = 0
             for (i = 1; i <= length(text); i++) v = v * 16 + index("0123456789ABCDEF", substr(text, i, 1)) - 1
             return v
         }
         function put() {
             if (n == 0) return
             address = b[14] == 255 && b[15] == 255 && b[17] == 255 ? "-" : \
                 sprintf("%04x:%02x:%02x.%x", b[15] * 256 + b[14], b[16], int(b[17] / 8), b[17] % 8)
             printf "0x%04x %d %02x %02x %02x %02x %02x %02x %d %s |%s|\n", b[4] * 256 + b[3], b[2], b[6], b[7],
                 b[8], b[9], b[12], b[13], b[11] * 256 + b[10], address, name
             n = 0
         }
         /^Handle / { put(); mode = ""; name = "" }
         /^\tHeader and Data:/ { mode = "data"; next }
         /^\tStrings:/ { mode = "strings"; next }
         mode == "data" { for (i = 1; i <= NF; i++) b[++n] = hex($i) }
         mode == "strings" {
             for (i = 1; i <= NF && hex($i) != 0; i++) name = name sprintf("%c", hex($i))
             if (i <= NF) mode = ""
         }
         END { put() }'
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-smbios.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
failed=0
checked=0
for host in "$@"; do
    if ! grep -q '^smbios_slot ' "$host" || grep -q '^smbios_cut ' "$host"; then
        continue
    fi
    rm -f -- "$work/dump"
    # shellcheck disable=SC2016 # expanded by the shell inside the fake host
    got=$(bash "$source_dir/tools/fakehost.sh" "$host" -- bash -c '"$1" --dump-bin "$2" -q && "$1" --from-dump "$2" -t 9 -u' \
        _ "$dmidecode" "$work/dump" 2>"$work/complaints")
    (($? != 77)) || { echo "SKIP: $(cat "$work/complaints")"; exit 77; }
    if [[ -s $work/complaints ]]; then
        cat "$work/complaints"
        echo "FAIL: dmidecode complains about the table of $host"
        failed=1
    fi
    if ! diff -u --label described <(described "$host") --label dmidecode <(read_back <<<"$got"); then
        echo "FAIL: dmidecode reads another table from $host"
        failed=1
    fi
    checked=$((checked + 1))
done
echo "$checked SMBIOS tables read back"
exit "$failed"
