# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Reading a fake host description (tests/system/README.md describes the
# format).  Sourced by the fake-host builder and the management tool
# stand-ins, so all of them read a description the same way; the builder
# hands the driver stand-in its nic lines decoded here.
#
# A description is a text file of directive lines.  Blank lines and lines
# whose first non-blank character is '#' are ignored.  A line is a directive
# word, then its arguments.  Field arguments are separated by blanks and may
# hold the escapes printf %b understands (\x20 for a blank, \xc3\xa9 for two
# bytes, \\ for a backslash); text arguments are the rest of the line after
# the directive and one blank, escapes likewise.

# hostdesc_each FILE CALLBACK: calls CALLBACK DIRECTIVE REST for every
# directive line of FILE, in file order.  REST is the raw (undecoded) rest of
# the line after the directive word and one blank.
hostdesc_each() {
    local file=$1 callback=$2 line directive rest
    while IFS= read -r line || [[ -n $line ]]; do
        line=${line%$'\r'}
        local trimmed=${line#"${line%%[![:blank:]]*}"}
        [[ -z $trimmed || $trimmed == \#* ]] && continue
        directive=${trimmed%%[[:blank:]]*}
        rest=${trimmed:${#directive}}
        rest=${rest:1}
        "$callback" "$directive" "$rest"
    done <"$file"
}

# hostdesc_fields REST ARRAYNAME: splits REST at blanks into ARRAYNAME,
# decoding the escapes of every field.
hostdesc_fields() {
    local -n hostdesc_out=$2
    local raw decoded
    local -a parts
    read -r -a parts <<<"$1"
    hostdesc_out=()
    for raw in "${parts[@]}"; do
        printf -v decoded '%b' "$raw"
        hostdesc_out+=("$decoded")
    done
}

# hostdesc_decode TEXT VARNAME: the text with its escapes decoded.
hostdesc_decode() {
    printf -v "$2" '%b' "$1"
}

# hostdesc_tool_print FILE TOOL DATA_DIRECTIVE FORMATTER DEFAULT_HEADER...
# Prints a management tool's output as the description gives it: its header
# (the default lines, or the description's TOOL_header lines, or none after
# TOOL_noheader), then, in file order, the DATA_DIRECTIVE lines formatted by
# FORMATTER and the verbatim TOOL_line, TOOL_repeat and TOOL_gen output.
# Returns the status of a TOOL_exit directive, else 0.
hostdesc_tool_print() {
    local file=$1 tool=$2 data=$3 formatter=$4
    shift 4
    local -a header=() body_kind=() body_rest=()
    local use_default=1 exit_status=0 i
    # Called for each directive through hostdesc_each.
    # shellcheck disable=SC2317
    hostdesc_tool_collect() {
        case $1 in
        "${tool}_header") header+=("$2"); use_default=0 ;;
        "${tool}_noheader") use_default=0 ;;
        "${tool}_exit") exit_status=$2 ;;
        "$data" | "${tool}_line" | "${tool}_repeat" | "${tool}_gen")
            body_kind+=("$1")
            body_rest+=("$2")
            ;;
        esac
    }
    hostdesc_each "$file" hostdesc_tool_collect
    if ((use_default)); then
        printf '%s\n' "$@"
    else
        for i in "${!header[@]}"; do
            printf '%b\n' "${header[i]}"
        done
    fi
    for i in "${!body_kind[@]}"; do
        hostdesc_tool_body_line "$tool" "$data" "$formatter" "${body_kind[i]}" "${body_rest[i]}"
    done
    return "$exit_status"
}

hostdesc_tool_body_line() {
    local tool=$1 data=$2 formatter=$3 kind=$4 rest=$5 count text
    local -a fields
    case $kind in
    "$data")
        hostdesc_fields "$rest" fields
        "$formatter" "${fields[@]}"
        ;;
    "${tool}_line") printf '%b\n' "$rest" ;;
    "${tool}_repeat")
        count=${rest%%[[:blank:]]*}
        printf -v text '%b' "${rest:${#count}+1}"
        yes -- "$text" | head -n "$count"
        ;;
    "${tool}_gen") bash -c "$rest" ;;
    esac
}

# hostdesc_tool_log ARG...: one line per run of a stand-in tool, the path it
# was started by and its arguments (shell-quoted), so tests can count runs.
hostdesc_tool_log() {
    local entry=${TARVEX_TOOL_PATH:-$0} arg quoted
    for arg in "$@"; do
        printf -v quoted '%q' "$arg"
        entry+=" $quoted"
    done
    printf '%s\n' "$entry" >>"${TARVEX_TOOL_LOG:-/dev/null}"
}
