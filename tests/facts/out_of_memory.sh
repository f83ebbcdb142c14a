#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts on this machine with memory running out at each of its
# allocations in turn: every run must end on SIGABRT with the family's
# "ERROR: malloc failed" line last, never in the C++ runtime's terminate
# message, a crash or a document.
#
#   out_of_memory.sh FACTS_BIN FAIL_ALLOC_LIB
set -u
facts=$1 shim=$2
total=$(TARVEX_COUNT_ALLOCS=1 LD_PRELOAD=$shim "$facts" 2>&1 >/dev/null | sed -n 's/^allocations=//p')
[[ $total =~ ^[0-9]+$ ]] || { echo "FAIL: no allocation count"; exit 1; }
err=$(mktemp "${TMPDIR:-/tmp}/tarvex-oom.XXXXXX") || exit 70
trap 'rm -f -- "$err"' EXIT
failed=0
for ((n = 0; n < total; n++)); do
    # (The shell's own "Aborted" notice goes nowhere.)
    { status=$(TARVEX_FAIL_AFTER=$n LD_PRELOAD=$shim "$facts" >/dev/null 2>"$err"; echo $?); } 2>/dev/null
    last=$(tail -1 "$err")
    if ((status != 134)) || [[ ! $last =~ ^ERROR:\ malloc\ failed\ \(errno=12\),\ [a-z_]+\.cpp,[0-9]+$ ]]; then
        echo "FAIL: allocation $((n + 1)) of $total failing: status $status, last line: $last"
        failed=1
    fi
done
((failed == 0)) && echo "PASS: all $total allocations, each failing in turn"
exit "$failed"
