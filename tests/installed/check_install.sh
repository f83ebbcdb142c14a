#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and checks what a developer of
# another tool of the family gets: exactly the expected files, a manual page
# that renders, a pkg-config file, and a library that a C and a C++ program
# link and use through pkg-config alone.
#
# Exit status 77 (skipped) without pkg-config, man or nm.
#
# usage: check_install.sh BUILD_DIR SOURCE_DIR LIBDIR MANDIR CC CXX [FLAGS...]
set -eu
build=$1 source=$2 libdir=$3 mandir=$4 cc=$5 cxx=$6
shift 6
flags="$*"

work=$build/installed-test
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work"
fail() { echo "check_install: $*" >&2; exit 1; }
for tool in pkg-config man nm; do
    command -v "$tool" >/dev/null || { echo "check_install: SKIP: needs $tool"; exit 77; }
done

cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
    fail "cmake --install failed (see $work/install.log)"

# Exactly these files: the three programs, their manual pages, the
# document's schema, the systemd units and their environment file (under
# the prefix, as it is not /usr), the library, the four public headers and
# the pkg-config file.  Nothing of the stand-in tools, no internal header, and none of the
# Debian packages' own files (documents, changelog, lintian overrides).
cat >"$work/expected" <<LIST
etc/default/tarvex
lib/systemd/system/tarvex-facts-textfile.service
lib/systemd/system/tarvex-facts-textfile.timer
include/tarvex/common_structs.h
include/tarvex/common_utilities.h
include/tarvex/encode_string.h
include/tarvex/port_map.h
$libdir/libtarvex_common.a
$libdir/pkgconfig/tarvex-common.pc
$mandir/man8/tarvex-cabling.8.gz
$mandir/man8/tarvex-facts.8.gz
$mandir/man8/tarvex.8.gz
sbin/tarvex
sbin/tarvex-cabling
sbin/tarvex-facts
share/tarvex/tarvex-facts.schema.json
LIST
sort -o "$work/expected" "$work/expected"
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the expected list"
for program in tarvex tarvex-facts tarvex-cabling; do
    [ -x "$prefix/sbin/$program" ] || fail "sbin/$program is not executable"
done

# The manual page renders without a single warning and has its sections.
man --warnings -l "$prefix/$mandir/man8/tarvex.8.gz" >"$work/man.txt" 2>"$work/man.err" ||
    fail "man -l failed"
[ ! -s "$work/man.err" ] || { cat "$work/man.err" >&2; fail "the manual page renders with warnings"; }
for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" FILES DIAGNOSTICS NOTES BUGS \
    "REPORTING BUGS" "SEE ALSO"; do
    grep -q "^$section\$" "$work/man.txt" || fail "manual page lacks section $section"
done
for page in tarvex-facts tarvex-cabling; do
    man --warnings -l "$prefix/$mandir/man8/$page.8.gz" 2>&1 >/dev/null | grep . &&
        fail "the manual page $page(8) renders with warnings"
done

# The static library must not need the C++ runtime: C callers link it with
# the C compiler driver alone.
# (A throwing accessor such as string_view::substr or array::at pulls in
# std::__throw_*, even under -fno-exceptions.)
cxx_runtime=$(nm -A -u "$prefix/$libdir/libtarvex_common.a" 2>/dev/null |
    grep -E ' (__cxa_|__gxx_|_Zn[wa]|_Zd[la]|_ZSt|_ZNSt|_ZTV|_ZTI)' || true)
[ -z "$cxx_runtime" ] || {
    echo "$cxx_runtime" | c++filt >&2
    fail "the library references the C++ runtime (objects and symbols above)"
}

export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion tarvex-common)" = "$(sed -n 's/^project(tarvex VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")" ] ||
    fail "pkg-config version differs from the project version"
pc_cflags=$(pkg-config --cflags tarvex-common)
pc_libs=$(pkg-config --libs tarvex-common)

# One catalogue row for the lookup check: the first row of the table.
row=$(awk '!/^#/ && NF { print; exit }' "$source/common/nic_db.txt")
key=$(echo "$row" | awk '{print $1, $2, $3, $4}')
model=$(echo "$row" | awk -F'"' '{print $14}')

consumer=$source/tests/installed/consumer.c
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Wpedantic $flags $pc_cflags "$consumer" $pc_libs \
    -o "$work/consumer_c" || fail "C consumer does not build"
# shellcheck disable=SC2086
"$cxx" -x c++ -std=c++20 -Wall -Wextra -Wpedantic $flags $pc_cflags "$consumer" -x none \
    $pc_libs -o "$work/consumer_cxx" || fail "C++ consumer does not build"

for program in consumer_c consumer_cxx; do
    # shellcheck disable=SC2086
    "$work/$program" "$work" $key "$model" || fail "$program failed"
done
echo "check_install: install tree, manual page, pkg-config, C and C++ consumers all good"
