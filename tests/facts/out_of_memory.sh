#!/bin/bash
# SPDX-License-Identifier: MIT
# tarvex-facts on this machine with memory running out at its first
# allocation, then its second, and so on until a run needs no more: every
# run before must end on SIGABRT with the family's "ERROR: malloc failed"
# line last, never in the C++ runtime's terminate message or a crash.
#
#   out_of_memory.sh FACTS_BIN FAIL_ALLOC_LIB
set -u
facts=$1 shim=$2
err=$(mktemp "${TMPDIR:-/tmp}/tarvex-oom.XXXXXX") || exit 70
trap 'rm -f -- "$err"' EXIT
for ((n = 0; n < 100000; n++)); do
    # (The shell's own "Aborted" notice goes nowhere.)
    { status=$(TARVEX_FAIL_AFTER=$n LD_PRELOAD=$shim "$facts" >/dev/null 2>"$err"; echo $?); } 2>/dev/null
    ((status == 0)) && { echo "PASS: each of $n allocations failing in turn"; exit 0; }
    last=$(tail -1 "$err")
    if ((status != 134)) || [[ ! $last =~ ^ERROR:\ malloc\ failed\ \(errno=12\),\ [a-z_]+\.cpp,[0-9]+$ ]]; then
        echo "FAIL: allocation $((n + 1)) failing: status $status, last line: $last"
        exit 1
    fi
done
echo "FAIL: no run completed"
exit 1
