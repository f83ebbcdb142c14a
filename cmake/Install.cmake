# SPDX-License-Identifier: MIT
# Installation and packaging: the report into sbin with its manual page, the
# library tarvex_common with its public headers and a pkg-config file for the
# other C and C++ tools of the family, and the Debian packages of both.
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

# The manual pages ship compressed, as Debian installs manual pages.
find_program(TARVEX_GZIP gzip)
foreach(page tarvex tarvex-facts)
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

# Every package carries in /usr/share/doc/<package> the machine-readable
# copyright file, its Debian changelog and README (which the report's warning
# points to), and its lintian overrides, each with its reason.  A program
# added to a component ships under that component's package and needs
# nothing more here.
set(TARVEX_MAINTAINER "tarvex developers <tarvex@example.org>")
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE TARVEX_LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" TARVEX_COPYRIGHT_LINE "${TARVEX_LICENSE}")
set(TARVEX_COPYRIGHT "${CMAKE_MATCH_1}")
# The licence body after the copyright line, as a copyright file's text:
# each line indented by one blank, an empty line written as " .".
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" TARVEX_LICENSE_TEXT "${TARVEX_LICENSE}")
string(STRIP "${TARVEX_LICENSE_TEXT}" TARVEX_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" TARVEX_LICENSE_TEXT "${TARVEX_LICENSE_TEXT}")
string(REPLACE "\n" "\n " TARVEX_LICENSE_TEXT " ${TARVEX_LICENSE_TEXT}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/copyright.in
  ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
set(TARVEX_DEB_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/changelog)
set(TARVEX_DEB_CHANGELOG_NAME changelog.Debian)
if(TARVEX_GZIP)
  set(TARVEX_DEB_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
  set(TARVEX_DEB_CHANGELOG_NAME changelog.Debian.gz)
  add_custom_command(OUTPUT ${TARVEX_DEB_CHANGELOG}
    COMMAND ${TARVEX_GZIP} -9 -n -c ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/changelog > ${TARVEX_DEB_CHANGELOG}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/changelog
    COMMENT "Compressing the Debian changelog")
  add_custom_target(tarvex_deb_changelog ALL DEPENDS ${TARVEX_DEB_CHANGELOG})
endif()
function(tarvex_package_docs component package)
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright ${CMAKE_CURRENT_SOURCE_DIR}/README.md
    DESTINATION ${docdir} COMPONENT ${component})
  install(FILES ${TARVEX_DEB_CHANGELOG} DESTINATION ${docdir} RENAME ${TARVEX_DEB_CHANGELOG_NAME}
    COMPONENT ${component})
  set(TARVEX_PACKAGE ${package})
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/lintian-overrides.in
    ${CMAKE_CURRENT_BINARY_DIR}/debian/${package}.lintian-overrides @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/${package}.lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
    COMPONENT ${component})
endfunction()
tarvex_package_docs(runtime tarvex)
tarvex_package_docs(development tarvex-dev)

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

# Debian packages: "tarvex" (the report, tarvex-facts and their manual
# pages) and "tarvex-dev" (library, headers, pkg-config file), from any build
# tree ("cd build && cpack").  .ci/package-check builds them with the
# distribution's hardening flags and checks them with lintian.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the changelog's first entry names this version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "tarvex developers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvex)
# Debian packages install into /usr whatever the tree was configured for.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVEX_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
# Shipped programs are stripped (the static library as above).
set(CPACK_STRIP_FILES ON)
# Directories in the packages get the usual 0755 whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tarvex)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME tarvex-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# First line: the synopsis; CPack indents the rest as the long description.
# (No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before both.)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "slot, port and interconnect bay of each Ethernet interface
tarvex lists every network interface whose name contains eth with the
expansion slot and port it sits on, the interconnect bay and bay port it is
wired to, and the adapter's model name.  Slot and bay numbers come from the
server maker's management package tolmar when it is installed.
tarvex-facts prints everything tarvex knows about those interfaces, with
their addresses and factory MAC addresses, as one JSON document for scripts
and fleet automation, and serves as an Ansible local fact.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "host queries of the tarvex tool family (static library)
The static library tarvex_common with its C headers and the pkg-config
module tarvex-common: interface enumeration, driver and PCI identity, the
adapter catalogue, slot and bay lookup, interface addresses, permanent MAC
address, line and token reading and distribution detection.")
# The report links only the C library, tarvex-facts the C++ runtime as well;
# dpkg-shlibdeps measures the versions.
find_program(TARVEX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARVEX_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1, libstdc++6")
endif()
# The library is static: linking it needs the C library's development files.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libc6-dev")
include(CPack)
