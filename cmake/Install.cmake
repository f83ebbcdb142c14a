# SPDX-License-Identifier: MIT
# Installation: the report, tarvex-facts and tarvex-cabling into sbin with their manual pages
# and the document's JSON Schema, the library tarvex_common with its public
# headers and a pkg-config file for the other C and C++ tools of the family.
# What only a package carries (its documents under share/doc, the Debian
# changelog, the lintian overrides) is added by packaging/packages.cmake.
# The stand-in management tools under tools/ are test fixtures and are never
# installed.
include(GNUInstallDirs)

# Runtime: what an administrator installs.  A stripped install (cpack,
# cmake --install --strip) also drops the sections a shipped program does not
# need (compiler identification and notes), as Debian's strip does.
function(tarvex_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT runtime)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}/${target}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()" COMPONENT runtime)
endfunction()
tarvex_install_program(tarvex)
tarvex_install_program(tarvex-facts)
tarvex_install_program(tarvex-cabling)

# The manual pages ship compressed, as Debian installs manual pages.
find_program(TARVEX_GZIP gzip)
foreach(page tarvex tarvex-facts tarvex-cabling)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/doc/${page}.8)
  if(TARVEX_GZIP)
    set(installed ${CMAKE_CURRENT_BINARY_DIR}/${page}.8.gz)
    add_custom_command(OUTPUT ${installed}
      COMMAND ${TARVEX_GZIP} -9 -n -c ${source} > ${installed}
      DEPENDS ${source}
      COMMENT "Compressing the manual page ${page}(8)")
    add_custom_target(${page}_man ALL DEPENDS ${installed})
  else()
    set(installed ${source})
  endif()
  install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT runtime)
endforeach()

# The JSON Schema of tarvex-facts' document, for the consumers of the
# document: <prefix>/share/tarvex/tarvex-facts.schema.json, named in
# tarvex-facts(8).
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/doc/tarvex-facts.schema.json
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvex COMPONENT runtime)

# The systemd service and timer that keep tarvex-facts' metrics in the
# directory of node_exporter's textfile collector, and their environment
# file, which names that directory.  Installed, never enabled.  Where they go
# depends on the install's prefix (packaging/systemd/install-units.cmake);
# the RPM spec names its family's places.
set(TARVEX_TEXTFILE_DIR /var/lib/prometheus/node-exporter CACHE PATH
  "Default TEXTFILE_DIR of the units: where node_exporter reads text files")
set(TARVEX_ENVIRONMENT_FILE "" CACHE FILEPATH
  "The units' environment file (empty: /etc/default/tarvex for the prefix /usr)")
set(TARVEX_SYSTEMD_UNITDIR "" CACHE PATH
  "Directory of the systemd units (empty: /lib/systemd/system for the prefix /usr)")
install(CODE "
  set(tarvex_units_source \"${CMAKE_CURRENT_SOURCE_DIR}/packaging/systemd\")
  set(tarvex_units_binary \"${CMAKE_CURRENT_BINARY_DIR}/packaging/systemd\")
  set(tarvex_sbindir \"${CMAKE_INSTALL_SBINDIR}\")
  set(TARVEX_TEXTFILE_DIR \"${TARVEX_TEXTFILE_DIR}\")
  set(TARVEX_ENVIRONMENT_FILE \"${TARVEX_ENVIRONMENT_FILE}\")
  set(TARVEX_SYSTEMD_UNITDIR \"${TARVEX_SYSTEMD_UNITDIR}\")
  include(\"${CMAKE_CURRENT_SOURCE_DIR}/packaging/systemd/install-units.cmake\")" COMPONENT runtime)

# Development: the library, its public C interface and the pkg-config file.
# diag.h and platform.h are C++ internals of the implementation, nic_db.h is
# the catalogue's data table (callers reach it only through the catalogue
# operations), and the *_parse.h headers are internal parsers: none of them
# is installed.
install(TARGETS tarvex_common ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# A stripped install (cpack, cmake --install --strip) drops the archive's
# debugging sections as Debian strips static libraries; its symbol table,
# which linking needs, stays.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
      --remove-section=.note --enable-deterministic-archives
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/libtarvex_common.a\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT development)
set(TARVEX_PUBLIC_HEADERS
  common/common_structs.h
  common/common_utilities.h
  common/encode_string.h
  common/port_map.h)
install(FILES ${TARVEX_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex COMPONENT development)

# The pkg-config file locates everything relative to itself, so the same file
# serves /usr, /usr/local, a --prefix install and a DESTDIR staging tree.  Its
# include directory is the parent of tarvex/, so that callers name the
# family: #include <tarvex/common_utilities.h>.
set(TARVEX_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH TARVEX_PC_TO_INCLUDEDIR
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/tarvex-common.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarvex-common.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarvex-common.pc
  DESTINATION ${TARVEX_PC_DIR} COMPONENT development)

# The Debian packages, the source tarball and the RPM spec inside it.
include(packaging/packages.cmake)
