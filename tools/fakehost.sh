#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs a command on a simulated host, built from a host description (format:
# tests/system/README.md), inside a private mount and network namespace.
#
#   tools/fakehost.sh [--preload LIBS] [--tool-log FILE] HOST -- COMMAND [ARG...]
#
# In the namespace: a fresh sysfs (so /sys/class/net lists the namespace's own
# interfaces), the description's veth pairs, its fake interface names bound
# over /sys/class/net, its PCI tree over /sys/bus/pci/devices (each function
# a link into a tree of bridges, as the kernel shows them), its hotplug slots
# over /sys/bus/pci/slots, its SMBIOS table under /sys/firmware, the management
# tool stand-ins at their install paths (a tmpfs over /opt, a read-only
# overlay over /sbin's directory), an empty /run (no LLDP agent), and
# optional /etc files (read-only overlay).  COMMAND then runs with $TARVEX_FAKE_HOST naming the description,
# $TARVEX_FAKE_DRIVER its nic lines decoded for the driver stand-in, and
# LD_PRELOAD=LIBS (the stand-in).  Every mount and interface lives
# in the namespace and goes with it; nothing on the host changes.
#
# Needs root and unshare; exits 77 (skip) when they are not to be had, 70
# when the description is malformed or the host cannot be built, else with
# COMMAND's status.
set -u
export LC_ALL=C
tools_dir=$(dirname "$(readlink -f "$0")")
readonly tools_dir
# shellcheck source=tools/hostdesc.sh
. "$tools_dir/hostdesc.sh"

fail() {
    echo "fakehost: $*" >&2
    exit 70
}

skip() {
    echo "fakehost: SKIP: $*" >&2
    exit 77
}

usage() {
    echo "usage: $0 [--preload LIBS] [--tool-log FILE] HOST -- COMMAND [ARG...]" >&2
    exit 70
}

# --- The description, checked and collected ------------------------------

veths=()        # "NAME PEER UP" triples, flattened
tuns=()         # tun device names
if_inet6=()     # lines of a fake /proc/net/if_inet6
addrs=()        # "NAME ADDRESS/PREFIX" pairs, flattened
lladdrs=()      # "NAME MAC" pairs, flattened
netnames=()     # fake names for /sys/class/net
declare -A net_types=() # fake name -> its link type attribute
pci_dirs=()     # PCI function directories
declare -A pci_parent=() # PCI function -> the bridge above it
slots=()        # hotplug slot "NAME ADDRESS" pairs, flattened
smbios=''       # the SMBIOS structure table, as printf %b escapes
pci_files=()    # "ADDR/FILE" paths and their contents, parallel arrays
pci_contents=()
pci_links=()    # "ADDR/LINK" paths and their targets, flattened
smbios_cut=0    # bytes cut off the SMBIOS table's end
smbios_filler=0 # length of an OEM structure's string after the slots
tools=()        # "TOOL PLACE MODE KIND" quadruples, flattened
etc_files=()    # "FILE" and text line, parallel arrays
etc_lines=()
etc_removed=()
dmi_files=()    # machine identity attribute and its text, flattened
pci_ids=()      # lines of the PCI ID database
nic_fields=()   # decoded nic lines' fields, each line ended by an empty field
declare -A pci_raw=() # pci_files entries whose content is raw text

need_fields() {
    local directive=$1 min=$2 max=$3 count=$4
    if ((count < min || count > max)); then
        fail "$directive: wants $min to $max fields, has $count"
    fi
}

# An interface of the function, as the kernel shows it in the function's
# net directory: NAME, then its dev_port (default 0) and phys_port_id.
add_pci_interface() {
    local addr=$1 name dev_port phys_port_id
    IFS=: read -r name dev_port phys_port_id <<<"$2"
    [[ -n $name && $name != */* && ${dev_port:-0} =~ ^[0-9]+$ ]] || fail "pci $addr: net=NAME[:DEV_PORT[:PHYS_PORT_ID]]"
    pci_files+=("$addr/net/$name/dev_port")
    pci_contents+=("${dev_port:-0}"$'\n')
    if [[ -n $phys_port_id ]]; then
        pci_files+=("$addr/net/$name/phys_port_id")
        pci_contents+=("$phys_port_id"$'\n')
    fi
}

add_pci_value() {
    local addr=$1 setting=$2 key value
    [[ $setting == *=* ]] || fail "pci $addr: setting without '=': $setting"
    key=${setting%%=*}
    value=${setting#*=}
    case $key in
    vendor | device | subsystem_vendor | subsystem_device | class | index | acpi_index | ari_enabled) ;;
    parent) pci_parent[$addr]=$value; return ;;
    physfn) pci_links+=("$addr/physfn" "../$value"); return ;;
    net) add_pci_interface "$addr" "$value"; return ;;
    *) fail "pci $addr: unknown attribute $key" ;;
    esac
    pci_files+=("$addr/$key")
    pci_contents+=("$value"$'\n')
}

collect_pci() {
    local -a f
    hostdesc_fields "$1" f
    ((${#f[@]} >= 1)) || fail "pci: wants an address"
    [[ ${f[0]} != */* && ${f[0]} != . && ${f[0]} != .. ]] || fail "pci: bad address ${f[0]}"
    pci_dirs+=("${f[0]}")
    # Every function says whether its bus numbers functions by ARI.
    [[ " ${f[*]:1} " == *" ari_enabled="* ]] || add_pci_value "${f[0]}" ari_enabled=0
    local setting
    for setting in "${f[@]:1}"; do
        add_pci_value "${f[0]}" "$setting"
    done
}

collect_pci_attr() {
    local addr=${1%%[[:blank:]]*} rest file text
    rest=${1:${#addr}+1}
    file=${rest%%[[:blank:]]*}
    text=${rest:${#file}+1}
    [[ -n $addr && -n $file && $file != */* ]] || fail "pci_attr: wants ADDR FILE [TEXT]"
    hostdesc_decode "$addr" addr
    pci_dirs+=("$addr")
    pci_files+=("$addr/$file")
    # printf %b output may hold any bytes: keep the raw text, decode on write.
    pci_contents+=("$text")
    pci_raw["$addr/$file"]=1
}

# --- The SMBIOS table, as escapes for printf %b ----------------------------

smbios_bytes() {
    local byte
    for byte in "$@"; do
        smbios+=$(printf '\\x%02x' "$((byte))")
    done
}

smbios_word() {
    smbios_bytes "$(($1 & 0xff))" "$(($1 >> 8 & 0xff))"
}

# A System Slots structure (type 9) from the fields dmidecode shows, in the
# order of the firmware samples: handle, length (decimal, as dmidecode prints
# it), slot type, width, usage, length class, characteristics 1 and 2 (hex),
# slot ID, bus address (segment:bus:device.function, or "-" for none), then
# the designation as text (blanks at its ends as escapes).  Fields beyond
# the length are cut; beyond 0x11 they are zero.
collect_smbios_slot() {
    local -a f
    local designation
    read -r -a f <<<"$1"
    ((${#f[@]} >= 10)) || fail "smbios_slot: wants HANDLE LENGTH TYPE WIDTH USAGE SLOTLENGTH CHAR1 CHAR2 ID ADDRESS [DESIGNATION]"
    read -r _ _ _ _ _ _ _ _ _ _ designation <<<"$1"
    hostdesc_decode "$designation" designation
    local length=$((10#${f[1]})) segment=0xffff bus=0xff devfn=0xff id=${f[8]/#-/0}
    if [[ ${f[9]} != - ]]; then
        [[ ${f[9]} =~ ^([0-9a-f]{4}):([0-9a-f]{2}):([0-9a-f]{2})\.([0-7])$ ]] ||
            fail "smbios_slot: bad address ${f[9]}"
        segment=0x${BASH_REMATCH[1]} bus=0x${BASH_REMATCH[2]}
        devfn=$((0x${BASH_REMATCH[3]} << 3 | BASH_REMATCH[4]))
    fi
    ((length >= 4 && length <= 255)) || fail "smbios_slot: bad length ${f[1]}"
    local saved=$smbios
    smbios=
    smbios_bytes 9 "$length"
    smbios_word "${f[0]}"
    smbios_bytes "$((${#designation} > 0))" "0x${f[2]}" "0x${f[3]}" "0x${f[4]}" "0x${f[5]}"
    smbios_word "$id"
    smbios_bytes "0x${f[6]}" "0x${f[7]}"
    smbios_word "$segment"
    smbios_bytes "$bus" "$devfn"
    local i
    for ((i = 17; i < length; i++)); do
        smbios_bytes 0
    done
    local structure=${smbios:0:length*4}
    smbios=$saved$structure
    local c
    for ((i = 0; i < ${#designation}; i++)); do
        printf -v c '%d' "'${designation:i:1}"
        smbios_bytes "$((c & 0xff))"
    done
    ((${#designation} == 0)) || smbios_bytes 0
    smbios_bytes 0
}

collect_tool() {
    local -a f
    hostdesc_fields "$1" f
    need_fields tool 2 4 "${#f[@]}"
    [[ ${f[0]} == tessio || ${f[0]} == tolmarcli ]] || fail "tool: unknown tool ${f[0]}"
    [[ ${f[1]} == utils || ${f[1]} == sbin ]] || fail "tool: place is utils or sbin"
    local mode=0755 kind=file extra
    for extra in "${f[@]:2}"; do
        case $extra in
        mode=[0-7][0-7][0-7] | mode=[0-7][0-7][0-7][0-7]) mode=${extra#mode=} ;;
        dir) kind=dir ;;
        *) fail "tool: unknown option $extra" ;;
        esac
    done
    tools+=("${f[0]}" "${f[1]}" "$mode" "$kind")
}

collect_numbers() {
    local directive=$1 want=$2 rest=$3
    local -a f
    hostdesc_fields "$rest" f
    need_fields "$directive" "$want" "$want" "${#f[@]}"
}

collect() {
    local directive=$1 rest=$2
    local -a f
    case $directive in
    veth)
        hostdesc_fields "$rest" f
        need_fields veth 2 3 "${#f[@]}"
        [[ ${#f[@]} -eq 2 || ${f[2]} == up ]] || fail "veth: third field is 'up'"
        veths+=("${f[0]}" "${f[1]}" "${f[2]:-}")
        ;;
    tun)
        hostdesc_fields "$rest" f
        need_fields tun 1 1 "${#f[@]}"
        tuns+=("${f[0]}")
        ;;
    if_inet6) if_inet6+=("$rest") ;;
    addr | lladdr)
        hostdesc_fields "$rest" f
        need_fields "$directive" 2 2 "${#f[@]}"
        [[ $directive == lladdr || ${f[1]} =~ ^(192\.0\.2\.|198\.51\.100\.|2001:db8:) ]] ||
            fail "addr: only documentation addresses (192.0.2.0/24, 198.51.100.0/24, 2001:db8::/32)"
        if [[ $directive == addr ]]; then addrs+=("${f[@]}"); else lladdrs+=("${f[@]}"); fi
        ;;
    netname)
        hostdesc_fields "$rest" f
        need_fields netname 1 2 "${#f[@]}"
        [[ ${f[0]} != */* && ${f[0]} != . && ${f[0]} != .. ]] || fail "netname: not a file name: ${f[0]}"
        netnames+=("${f[0]}")
        if ((${#f[@]} == 2)); then
            [[ ${f[1]} =~ ^type=[0-9]+$ ]] || fail "netname: second field is type=NUMBER"
            net_types[${f[0]}]=${f[1]#type=}
        fi
        ;;
    pci_slot)
        hostdesc_fields "$rest" f
        need_fields pci_slot 2 2 "${#f[@]}"
        [[ ${f[0]} != */* && ${f[0]} != . && ${f[0]} != .. ]] || fail "pci_slot: not a file name: ${f[0]}"
        slots+=("${f[@]}")
        ;;
    smbios_slot) collect_smbios_slot "$rest" ;;
    smbios_cut | smbios_filler)
        [[ $rest =~ ^[0-9]+$ ]] || fail "$directive: wants a number of bytes"
        printf -v "$directive" '%d' "$rest"
        ;;
    nic)
        # The settings are the driver stand-in's; checked there when it loads.
        hostdesc_fields "$rest" f
        ((${#f[@]} >= 1)) || fail "nic: wants a name"
        nic_fields+=("${f[@]}" "")
        ;;
    pci) collect_pci "$rest" ;;
    pci_attr) collect_pci_attr "$rest" ;;
    tool) collect_tool "$rest" ;;
    inventory) collect_numbers inventory 3 "$rest" ;;
    portmap) collect_numbers portmap 4 "$rest" ;;
    tessio_header | tessio_line | tolmarcli_header | tolmarcli_line | tessio_gen | tolmarcli_gen) ;;
    tessio_noheader | tolmarcli_noheader) ;;
    tessio_repeat | tolmarcli_repeat)
        [[ $rest =~ ^[0-9]+([[:blank:]]|$) ]] || fail "$directive: wants COUNT TEXT"
        ;;
    tessio_exit | tolmarcli_exit)
        [[ $rest =~ ^[0-9]+$ ]] || fail "$directive: wants a status"
        ;;
    caller_stdout)
        hostdesc_decode "$rest" caller_stdout
        ;;
    caller_path)
        hostdesc_decode "$rest" caller_path
        has_caller_path=1
        ;;
    caller_env)
        [[ $rest == [!=]*=* ]] || fail "caller_env: wants NAME=VALUE"
        local entry
        hostdesc_decode "$rest" entry
        caller_env+=("$entry")
        ;;
    shell)
        [[ $rest == bash ]] || fail "shell: only bash"
        shell_bash=1
        ;;
    limit_nofile)
        [[ $rest =~ ^[0-9]+$ ]] || fail "limit_nofile: wants a number"
        nofile=$rest
        ;;
    etc)
        local file=${rest%%[[:blank:]]*}
        [[ -n $file && $file != /* && $file != *..* ]] || fail "etc: wants a relative FILE and TEXT"
        etc_files+=("$file")
        etc_lines+=("${rest:${#file}+1}")
        ;;
    pci_ids) pci_ids+=("$rest") ;;
    dmi)
        local attribute=${rest%%[[:blank:]]*}
        [[ $attribute =~ ^[a-z_]+$ ]] || fail "dmi: wants ATTRIBUTE [TEXT]"
        dmi_files+=("$attribute" "${rest:${#attribute}+1}")
        ;;
    etc_remove)
        [[ -n $rest && $rest != /* && $rest != *..* ]] || fail "etc_remove: wants a relative FILE"
        etc_removed+=("$rest")
        ;;
    *) fail "unknown directive: $directive" ;;
    esac
}

# --- Building the host inside the namespace -------------------------------

# Addresses go on before a pair comes up, and an addressed interface gets no
# link-local address of its own, so its first IPv6 address is the one given.
address_interfaces() {
    local i
    for ((i = 0; i < ${#lladdrs[@]}; i += 2)); do
        ip link set dev "${lladdrs[i]}" address "${lladdrs[i + 1]}" || fail "cannot set ${lladdrs[i]}'s MAC"
    done
    local -a options
    for ((i = 0; i < ${#addrs[@]}; i += 2)); do
        options=(brd +)
        [[ ${addrs[i + 1]} != *:* ]] || options=(nodad)
        ip link set dev "${addrs[i]}" addrgenmode none || fail "cannot address ${addrs[i]}"
        ip addr add "${addrs[i + 1]}" "${options[@]}" dev "${addrs[i]}" || fail "cannot address ${addrs[i]}"
    done
}

build_interfaces() {
    local i
    for ((i = 0; i < ${#veths[@]}; i += 3)); do
        ip link add "${veths[i]}" type veth peer name "${veths[i + 1]}" ||
            fail "cannot create veth pair ${veths[i]} ${veths[i + 1]}"
    done
    for i in "${tuns[@]}"; do
        ip tuntap add dev "$i" mode tun || fail "cannot create tun device $i"
    done
    address_interfaces
    for ((i = 0; i < ${#veths[@]}; i += 3)); do
        if [[ ${veths[i + 2]} == up ]]; then
            { ip link set "${veths[i]}" up && ip link set "${veths[i + 1]}" up; } ||
                fail "cannot bring up ${veths[i]}"
        fi
    done
    ((${#netnames[@]} > 0)) || return 0
    # The listing shows the fake names beside the namespace's real ones,
    # which keep their attributes.
    local dir=$ns/net name
    local -a listed=(lo "${tuns[@]}")
    for ((i = 0; i < ${#veths[@]}; i += 3)); do
        listed+=("${veths[i]}" "${veths[i + 1]}")
    done
    mkdir "$dir" || fail "cannot create $dir"
    for name in "${listed[@]}"; do
        ln -s -- "$(readlink -f "/sys/class/net/$name")" "$dir/$name" || fail "cannot list $name"
    done
    for name in "${netnames[@]}"; do
        mkdir -p -- "$dir/$name" || fail "cannot create fake name $name"
        [[ -z ${net_types[$name]:-} ]] || echo "${net_types[$name]}" >"$dir/$name/type" ||
            fail "cannot give $name a type"
    done
    mount --bind "$dir" /sys/class/net || fail "cannot bind fake names over /sys/class/net"
}

# A function's directory in the tree: below its parent's, the topmost below
# a host bridge directory named after its domain and bus.
pci_tree_path() {
    local node=$1 below=$1 hops=0
    while [[ -n ${pci_parent[$node]:-} ]]; do
        node=${pci_parent[$node]}
        below=$node/$below
        ((++hops < 64)) || fail "pci $1: its parents form a loop"
    done
    local top=${node%:*}
    printf -v "$2" '%s' "$ns/pci/pci${top:0:7}/$below"
}

build_pci_tree() {
    local root=/sys/bus/pci/devices i path addr
    mount -t tmpfs -o mode=0755 tarvex-pci "$root" || fail "cannot mount the PCI tree"
    for addr in "${pci_dirs[@]}"; do
        [[ ! -L $root/$addr ]] || continue
        pci_tree_path "$addr" path
        { mkdir -p -- "$path" && ln -s -- "$path" "$root/$addr"; } || fail "cannot create PCI function $addr"
    done
    for i in "${!pci_files[@]}"; do
        path=$root/${pci_files[i]}
        [[ ${pci_files[i]} != */*/* ]] || mkdir -p -- "${path%/*}" || fail "cannot create ${path%/*}"
        if [[ -n ${pci_raw[${pci_files[i]}]:-} ]]; then
            printf '%b' "${pci_contents[i]}" >"$path" || fail "cannot write $path"
        else
            printf '%s' "${pci_contents[i]}" >"$path" || fail "cannot write $path"
        fi
    done
    for ((i = 0; i < ${#pci_links[@]}; i += 2)); do
        ln -s -- "${pci_links[i + 1]}" "$root/${pci_links[i]}" || fail "cannot link $root/${pci_links[i]}"
    done
}

# A tool is a small script at its install path that runs the stand-in in
# tools/ on this host's description and logs to the run's tool log.
install_tool() {
    local tool=$1 path=$2 mode=$3 kind=$4 invoked=$5
    if [[ $kind == dir ]]; then
        mkdir -p "$path" || fail "cannot create $path"
        return
    fi
    cat >"$path" <<EOF || fail "cannot write $path"
#!/bin/sh
TARVEX_FAKE_HOST='$host_copy' TARVEX_TOOL_LOG='$tool_log' TARVEX_TOOL_PATH='$invoked' exec /bin/bash '$tools_dir/$tool' "\$@"
EOF
    chmod "$mode" "$path" || fail "cannot chmod $path"
}

# Whiteouts (character device 0/0) in an overlay's upper lower layer hide the
# same names of the layer below.
hide_in_layer() {
    local layer=$1 name=$2
    { mkdir -p "$(dirname "$layer/$name")" && mknod "$layer/$name" c 0 0; } || fail "cannot hide $name"
}

# Always replaced, so the real machine's slots and firmware never show.
build_firmware() {
    local slot_root=/sys/bus/pci/slots i
    mount -t tmpfs -o mode=0755 tarvex-slots "$slot_root" || fail "cannot mount $slot_root"
    for ((i = 0; i < ${#slots[@]}; i += 2)); do
        { mkdir -- "$slot_root/${slots[i]}" && echo "${slots[i + 1]}" >"$slot_root/${slots[i]}/address"; } ||
            fail "cannot create slot ${slots[i]}"
    done
    mount -t tmpfs -o mode=0755 tarvex-firmware /sys/firmware || fail "cannot mount /sys/firmware"
    [[ -n $smbios ]] || return 0
    local tables=/sys/firmware/dmi/tables
    { mkdir -p "$tables" && printf '%b' "$smbios" >"$tables/DMI"; } || fail "cannot write the SMBIOS table"
    if ((smbios_filler > 0)); then
        # An OEM structure (type 128) whose one string is that long.
        { printf '\x80\x04\x00\x00' && head -c "$smbios_filler" /dev/zero | tr '\0' x && printf '\0\0'; } \
            >>"$tables/DMI" || fail "cannot write the SMBIOS filler"
    fi
    printf '\x7f\x04\xff\xfe\0\0' >>"$tables/DMI" || fail "cannot end the SMBIOS table"
    if ((smbios_cut > 0)); then
        truncate -s "-$smbios_cut" "$tables/DMI" || fail "cannot cut the SMBIOS table"
    fi
    write_entry_point "$tables" "$(stat -c %s "$tables/DMI")"
}

# The 64-bit entry point of SMBIOS 3.0, which the kernel shows beside the
# table; the table itself is the file DMI.
write_entry_point() {
    local size=$2 sum=0 byte
    local -a point=(0x5f 0x53 0x4d 0x33 0x5f 0 0x18 3 0 0 1 0
        $((size & 0xff)) $((size >> 8 & 0xff)) $((size >> 16 & 0xff)) $((size >> 24)) 0 0 0 0 0 0 0 0)
    for byte in "${point[@]}"; do
        ((sum += byte))
    done
    point[5]=$(((256 - sum % 256) % 256))
    smbios=
    smbios_bytes "${point[@]}"
    printf '%b' "$smbios" >"$1/smbios_entry_point" || fail "cannot write the SMBIOS entry point"
}

build_tools() {
    mount -t tmpfs -o mode=0755 tarvex-opt /opt || fail "cannot mount /opt"
    local sbin_dir sbin_layer=$ns/sbin i tool place
    sbin_dir=$(readlink -f /sbin)
    mkdir -p /opt/vantor/utils "$sbin_layer" || fail "cannot create the tool directories"
    declare -A in_sbin=()
    for ((i = 0; i < ${#tools[@]}; i += 4)); do
        tool=${tools[i]}
        place=${tools[i + 1]}
        if [[ $place == utils ]]; then
            install_tool "$tool" "/opt/vantor/utils/$tool" "${tools[i + 2]}" "${tools[i + 3]}" \
                "/opt/vantor/utils/$tool"
        else
            install_tool "$tool" "$sbin_layer/$tool" "${tools[i + 2]}" "${tools[i + 3]}" "/sbin/$tool"
            in_sbin[$tool]=1
        fi
    done
    # A real install on this machine never shows through.
    for tool in tessio tolmarcli; do
        [[ -n ${in_sbin[$tool]:-} ]] || hide_in_layer "$sbin_layer" "$tool"
    done
    mount -t overlay tarvex-sbin -o "lowerdir=$sbin_layer:$sbin_dir" "$sbin_dir" ||
        fail "cannot mount the overlay over $sbin_dir"
}

# shadow_dir DIR NAME [ROOT]: a tmpfs over DIR that links every entry of the
# real DIR but NAME, which the caller may then create afresh.  The links
# lead into a copy of ROOT (default DIR), a directory above DIR, so that
# relative links inside (sysfs') still resolve.  Nothing is done when DIR
# does not exist.
shadow_dir() {
    local dir=$1 name=$2 root=${3:-$1} real entry
    [[ -d $dir ]] || return 0
    { mkdir -p "$ns/shadow$root" && mount --rbind "$root" "$ns/shadow$root"; } || fail "cannot mount a copy of $root"
    real=$ns/shadow$dir
    mount -t tmpfs -o mode=0755 tarvex-shadow "$dir" || fail "cannot mount a tmpfs over $dir"
    for entry in "$real"/*; do
        [[ ${entry##*/} == "$name" ]] || ln -s "$entry" "$dir/${entry##*/}" || fail "cannot link $dir/${entry##*/}"
    done
}

# The PCI ID database: the description's pci_ids lines, else none, wherever
# a distribution keeps it.
build_pci_ids() {
    local dir
    for dir in /usr/share/hwdata /usr/share; do
        [[ ! -e $dir/pci.ids ]] || shadow_dir "$dir" pci.ids
    done
    # Written only over a shadow, never into the real directory.
    [[ ! -e /usr/share/misc/pci.ids && ${#pci_ids[@]} -eq 0 ]] || shadow_dir /usr/share/misc pci.ids
    ((${#pci_ids[@]} > 0)) || return 0
    [[ -d /usr/share/misc ]] || fail "no /usr/share/misc to shadow"
    printf '%b\n' "${pci_ids[@]}" >/usr/share/misc/pci.ids || fail "cannot write the PCI ID database"
}

# The machine's identity: /sys/class/dmi/id with the description's
# attributes (product_serial readable by root only, as the kernel has it),
# and none at all without dmi lines.  sysfs takes no directory of ours, so
# a tmpfs over /sys/class links every other class to the real one.
build_dmi() {
    local i
    shadow_dir /sys/class dmi /sys
    ((${#dmi_files[@]} > 0)) || return 0
    mkdir -p /sys/class/dmi/id || fail "cannot create /sys/class/dmi/id"
    for ((i = 0; i < ${#dmi_files[@]}; i += 2)); do
        printf '%b\n' "${dmi_files[i + 1]}" >"/sys/class/dmi/id/${dmi_files[i]}" || fail "cannot write ${dmi_files[i]}"
    done
    [[ ! -f /sys/class/dmi/id/product_serial ]] || chmod 0400 /sys/class/dmi/id/product_serial
}

build_etc() {
    ((${#etc_files[@]} + ${#etc_removed[@]} > 0)) || return 0
    local layer=$ns/etc i
    mkdir -p "$layer" || fail "cannot create $layer"
    for i in "${!etc_files[@]}"; do
        { mkdir -p "$(dirname "$layer/${etc_files[i]}")" &&
            printf '%b\n' "${etc_lines[i]}" >>"$layer/${etc_files[i]}"; } || fail "cannot write ${etc_files[i]}"
    done
    for i in "${!etc_removed[@]}"; do
        hide_in_layer "$layer" "${etc_removed[i]}"
    done
    mount -t overlay tarvex-etc -o "lowerdir=$layer:/etc" /etc || fail "cannot mount the overlay over /etc"
}

# /proc/net/if_inet6 with the description's lines.  Procfs takes no mount on
# its files, so a tmpfs over /proc holds the file, and links to a /proc of
# our own for everything else (self, sys, and the processes, among them
# this shell, whose process the program becomes).
build_proc() {
    ((${#if_inet6[@]} > 0)) || return 0
    local real=$ns/proc entry
    { mkdir "$real" && mount -t proc tarvex-proc "$real"; } || fail "cannot mount $real"
    mount -t tmpfs -o mode=0755 tarvex-proc-net /proc || fail "cannot mount a tmpfs over /proc"
    for entry in "$real"/*; do
        [[ ${entry##*/} == net ]] || ln -s "$entry" "/proc/${entry##*/}" || fail "cannot link /proc/${entry##*/}"
    done
    { mkdir /proc/net && printf '%b\n' "${if_inet6[@]}" >/proc/net/if_inet6; } || fail "cannot write /proc/net/if_inet6"
}

close_inherited_descriptors() {
    local entry fd
    for entry in "/proc/$BASHPID/fd"/*; do
        fd=${entry##*/}
        if ((fd > 2 && fd != 255)); then
            eval "exec $fd>&-" 2>/dev/null || true
        fi
    done
}

inside() {
    local work=$1
    shift
    ns=$work/ns
    { mkdir -p "$ns" && mount -t tmpfs -o mode=0755 tarvex-host "$ns"; } || fail "cannot mount $ns"
    host_copy=$ns/host
    cp -- "$host" "$host_copy" || fail "cannot copy $host"
    printf '%s\0' "${nic_fields[@]}" >"$ns/nics" || fail "cannot write $ns/nics"
    mount -t sysfs tarvex-sysfs /sys || fail "cannot mount sysfs"
    build_interfaces
    build_pci_tree
    build_firmware
    build_tools
    build_etc
    # An LLDP agent of the real machine never answers on a fake host.
    mount -t tmpfs -o mode=0755 tarvex-run /run || fail "cannot mount /run"
    build_dmi
    build_pci_ids
    # /bin/sh as it is on the distributions whose shell is bash.
    if ((shell_bash)); then
        mount --bind /bin/bash "$(readlink -f /bin/sh)" || fail "cannot make /bin/sh bash"
    fi
    # A descriptor limit for the program alone: the only way the shell
    # cannot be started for a tool is that no pipe can be made.
    # Descriptors inherited from the test runner would count against it.
    if [[ -n $nofile ]]; then
        close_inherited_descriptors
        ulimit -n "$nofile" || fail "cannot limit descriptors to $nofile"
    fi
    build_proc
    local -a environment=(TARVEX_FAKE_HOST="$host_copy" TARVEX_FAKE_DRIVER="$ns/nics")
    [[ -z $preload ]] || environment+=(LD_PRELOAD="$preload")
    ((has_caller_path == 0)) || environment+=(PATH="$caller_path")
    environment+=("${caller_env[@]}")
    if [[ -n $caller_stdout ]]; then
        exec >"$caller_stdout" || fail "cannot open $caller_stdout for standard output"
    fi
    exec env "${environment[@]}" "$@"
}

# --- Entry ------------------------------------------------------------------

preload=
nofile=
caller_path=
has_caller_path=0
caller_env=()
shell_bash=0
caller_stdout=
tool_log=/dev/null
inside_work=
while (($# > 0)); do
    case $1 in
    --preload) preload=${2?}; shift 2 ;;
    --tool-log) tool_log=${2?}; shift 2 ;;
    --inside) inside_work=${2?}; shift 2 ;;
    --) break ;;
    -*) usage ;;
    *) [[ -z ${host:-} ]] || usage; host=$1; shift ;;
    esac
done
[[ ${1:-} == -- && -n ${host:-} && $# -ge 2 ]] || usage
shift
[[ -r $host ]] || fail "cannot read host description $host"
host=$(readlink -f -- "$host")
[[ $tool_log == /dev/null ]] || { : >>"$tool_log" && tool_log=$(readlink -f -- "$tool_log"); } ||
    fail "cannot write tool log $tool_log"
hostdesc_each "$host" collect

if [[ -n $inside_work ]]; then
    inside "$inside_work" "$@"
fi

[[ $(id -u) -eq 0 ]] || skip "needs root for private mount and network namespaces"
command -v unshare >/dev/null || skip "needs unshare (util-linux)"
unshare --mount --net --propagation private true 2>/dev/null || skip "unshare of mount and network namespaces refused"
if ((${#veths[@]} > 0)); then
    command -v ip >/dev/null || skip "needs ip (iproute2) for veth pairs"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-fakehost.XXXXXX") || fail "cannot create a work directory"
# A program run as another user reads the description and the driver's file.
chmod 0711 "$work" || fail "cannot open $work to other users"
trap 'rm -rf -- "$work"' EXIT
trap 'exit 143' TERM INT
args=(--tool-log "$tool_log")
[[ -z $preload ]] || args+=(--preload "$preload")
unshare --mount --net --propagation private -- /bin/bash "$0" "${args[@]}" --inside "$work" "$host" -- "$@"
