#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs the built tarvex on the fake host of one scenario and compares what it
# printed with the expected files beside the description:
#   NAME.stdout   standard output, byte for byte (absent: must be empty)
#   NAME.stderr   standard error, line by line (absent: must be empty)
#   NAME.rc       exit status (absent: 0)
#   NAME.toollog  the management tool runs, one line each (absent: not checked)
#   NAME.jq       a jq filter: standard output is compared as it prints it,
#                 one compact line per value, so an expected output holds
#                 only what the scenario is about
# tarvex-facts (PREFIX NAME.facts) runs a second time with --format
# prometheus, whose text promtool must accept.
# Diagnostics end with "file,line"; each cited line is checked to be a
# diagnostic of that source file, then written as "file,<line>", which is how
# the expected files spell it.
#
#   run_scenario.sh --tarvex BIN --driver LIB --source DIR [--expected PREFIX] SCENARIO.host
#
# --expected names the expected files' common prefix (default: the
# description without .host); tarvex-facts runs as BIN with PREFIX NAME.facts.
#
# With TARVEX_UPDATE_EXPECTED=1 the run rewrites those files instead (the
# tool log only where one is kept); never in CI (see README.md).
#
# Exit status 77 (skipped) without root or namespaces.
set -u
export LC_ALL=C

while (($# > 1)); do
    case $1 in
    --tarvex) tarvex=$2; shift 2 ;;
    --driver) driver=$2; shift 2 ;;
    --source) source_dir=$2; shift 2 ;;
    --expected) expected=$2; shift 2 ;;
    *) break ;;
    esac
done
scenario=${1:?usage: run_scenario.sh --tarvex BIN --driver LIB --source DIR SCENARIO.host}
expected=${expected:-${scenario%.host}}

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-scenario.XXXXXX") || exit 70
trap 'rm -rf -- "$work"' EXIT
trap 'exit 143' TERM INT

# A sanitizer build wants its runtime first among the preloaded libraries.
preload=$driver
asan_runtime=$(ldd "$tarvex" | awk '/libasan/ { print $3 }')
[[ -z $asan_runtime ]] || preload="$asan_runtime $driver"

bash "$source_dir/tools/fakehost.sh" --preload "$preload" --tool-log "$work/toollog" "$scenario" -- \
    "$tarvex" >"$work/stdout" 2>"$work/stderr"
rc=$?
if ((rc == 77)) && grep -q '^fakehost: SKIP' "$work/stderr"; then
    cat "$work/stderr"
    exit 77
fi

# The document's interfaces, one object each (counted before any jq filter).
interfaces=$(grep -c '^      "name": ' "$work/stdout")
if [[ -f $expected.jq ]]; then
    command -v jq >/dev/null || { echo "SKIP: needs jq to compare $expected.stdout"; exit 77; }
    jq -c -f "$expected.jq" "$work/stdout" >"$work/stdout.jq" || echo "(standard output is no JSON)" >"$work/stdout.jq"
    mv "$work/stdout.jq" "$work/stdout"
fi

failed=0
problem() {
    echo "FAIL: $*"
    failed=1
}

# The source line a diagnostic cites must be a diagnostic of that file.
check_citations() {
    local stream=$1 file line path text
    while read -r file line; do
        path=
        for path in "$source_dir"/{.,common,facts,lldp,cabling}/"$file"; do
            [[ -f $path ]] && break
            path=
        done
        if [[ -z $path ]]; then
            problem "$stream cites $file,$line, which is no source file"
            continue
        fi
        text=$(sed -n "${line}p" "$path")
        [[ $text == *TARVEX_* || $text == *__LINE__* ]] ||
            problem "$stream cites $file,$line, which is no diagnostic: $text"
    done < <(grep -aoE '[A-Za-z0-9_]+\.(cpp|c|h),[0-9]+' "$work/$stream" | tr ',' ' ')
}

normalise() {
    sed -E 's/([A-Za-z0-9_]+\.(cpp|c|h)),[0-9]+/\1,<line>/g' "$work/$1" >"$work/$1.normal"
}

compare() {
    local stream=$1 what=$2 want=$expected.$1
    [[ -f $want ]] || want=/dev/null
    if ! cmp -s "$want" "$work/$stream.normal"; then
        problem "$what differs (- expected, + actual):"
        diff -u --text --label expected --label actual "$want" "$work/$stream.normal" | cat -A | head -60
    fi
}

for stream in stdout stderr; do
    check_citations "$stream"
    normalise "$stream"
done
# The run becomes the expected files: an empty output keeps its file only
# where one exists, status 0 has none.
update_expected() {
    local stream
    for stream in stdout stderr; do
        [[ ! -s $work/$stream.normal && ! -f $expected.$stream ]] || cp "$work/$stream.normal" "$expected.$stream"
    done
    rm -f "$expected.rc"
    ((rc == 0)) || echo "$rc" >"$expected.rc"
    [[ ! -f $expected.toollog ]] || cp "$work/toollog" "$expected.toollog"
    echo "UPDATED: $(basename "$expected") (read its git diff before committing)"
}
if [[ ${TARVEX_UPDATE_EXPECTED:-} == 1 ]]; then
    [[ -z ${CI:-} ]] || problem "TARVEX_UPDATE_EXPECTED is for a developer's tree, never CI"
    ((failed)) || update_expected
fi
compare stdout "standard output"
compare stderr "standard error"
want_rc=0
[[ ! -f $expected.rc ]] || want_rc=$(<"$expected.rc")
((rc == want_rc)) || problem "exit status $rc, expected $want_rc"
if [[ -f $expected.toollog ]] && ! cmp -s "$expected.toollog" "$work/toollog"; then
    problem "tool runs differ (- expected, + actual):"
    diff -u --text --label expected --label actual "$expected.toollog" "$work/toollog" | head -40
fi

# tarvex-facts' metrics of the same host: promtool accepts them, one port
# series stands for each interface of the document, and the run ends with
# the document's status.
if [[ $expected == *.facts ]]; then
    bash "$source_dir/tools/fakehost.sh" --preload "$preload" "$scenario" -- \
        "$tarvex" --format prometheus >"$work/metrics" 2>/dev/null
    metrics_rc=$?
    ((metrics_rc == rc)) || problem "--format prometheus: exit status $metrics_rc, the document's $rc"
    command -v promtool >/dev/null || problem "needs promtool (Debian package prometheus)"
    promtool check metrics <"$work/metrics" >"$work/promtool" 2>&1 ||
        problem "promtool check metrics: $(cat "$work/promtool")"
    ports=$(grep -c '^tarvex_port_info{' "$work/metrics")
    ((ports == interfaces)) ||
        problem "--format prometheus: $ports port series, not one per interface"
fi

if ((failed)); then
    echo "scenario: $scenario"
    exit 1
fi
echo "PASS: $(basename "$expected")"
