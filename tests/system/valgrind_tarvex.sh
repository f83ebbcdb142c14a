#!/bin/bash
# SPDX-License-Identifier: MIT
# Stands in for the tarvex binary in a system scenario and runs it under
# valgrind memcheck, with the driver stand-in preloaded into tarvex itself.
#   TARVEX_VALGRIND_BINARY   the tarvex to run
#   TARVEX_VALGRIND_PRELOAD  what the scenario preloads (the driver stand-in)
#   TARVEX_VALGRIND_LOG      memcheck's log file (%p: the process id)
# The stand-in removes LD_PRELOAD from every process it is loaded into, the
# launcher script and binary included, so the tool binary is started here
# directly (it is static and passes LD_PRELOAD on to the program it runs).
# Memcheck's exit status 99 marks any error, and any definitely or
# indirectly lost block; "still reachable" memory (the adapter list, kept for
# the life of the process by design) is not an error.
set -u
# The scenario may give the program any PATH; this script finds its own
# commands on the system's directories and hands the program the caller's.
caller_path=${PATH-}
PATH=/usr/sbin:/usr/bin:/sbin:/bin
for libdir in /usr/libexec/valgrind /usr/lib/x86_64-linux-gnu/valgrind /usr/lib/valgrind; do
    [[ -x $libdir/memcheck-amd64-linux ]] && break
done
exec env PATH="$caller_path" LD_PRELOAD="${TARVEX_VALGRIND_PRELOAD:-}" VALGRIND_LIB="$libdir" \
    VALGRIND_LAUNCHER="$(command -v valgrind)" "$libdir/memcheck-amd64-linux" \
    -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect --track-fds=no --log-file="$TARVEX_VALGRIND_LOG" \
    "$TARVEX_VALGRIND_BINARY" "$@"
