# SPDX-License-Identifier: MIT
# Installation and packaging: the report into sbin with its manual page, the
# library tarvex_common with its public headers and a pkg-config file for the
# other C and C++ tools of the family, and the Debian packages of both.
# The stand-in management tools under tools/ are test fixtures and are never
# installed.
include(GNUInstallDirs)

# Runtime: what an administrator installs.
install(TARGETS tarvex tarvex-facts RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT runtime)

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

# Development: the library, its public C interface and the pkg-config file.
# diag.h and platform.h are C++ internals of the implementation, nic_db.h is
# the catalogue's data table (callers reach it only through the catalogue
# operations), and the *_parse.h headers are internal parsers: none of them
# is installed.
install(TARGETS tarvex_common ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
set(TARVEX_PUBLIC_HEADERS
  common/common_structs.h
  common/common_utilities.h
  common/encode_string.h
  common/port_map.h)
install(FILES ${TARVEX_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarvex COMPONENT development)

# The pkg-config file locates everything relative to itself, so the same file
# serves /usr, /usr/local, a --prefix install and a DESTDIR staging tree.
set(TARVEX_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH TARVEX_PC_TO_INCLUDEDIR
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_FULL_INCLUDEDIR}/tarvex)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/tarvex-common.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarvex-common.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarvex-common.pc
  DESTINATION ${TARVEX_PC_DIR} COMPONENT development)

# Debian packages: "tarvex" (the report, tarvex-facts and their manual
# pages) and
# "tarvex-dev" (library, headers, pkg-config file).  Build them with a tree
# configured for -DCMAKE_INSTALL_PREFIX=/usr so that the library lands in
# the multiarch directory; .ci/package-check does so.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "tarvex developers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvex)
# Debian packages install into /usr whatever the tree was configured for.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "tarvex developers <tarvex@example.org>")
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
