# SPDX-License-Identifier: MIT
# Packaging: the Debian packages "tarvex" and "tarvex-dev" (cpack -G DEB from
# any build tree), and the source tarball tarvex-VERSION.tar.gz
# (cpack --config CPackSourceConfig.cmake) that carries, at its top, the RPM
# spec configured from packaging/rpm/tarvex.spec.in, so that
# "rpmbuild -ta tarvex-VERSION.tar.gz" builds the RPMs "tarvex" and
# "tarvex-devel".  The version is the project's, from CMakeLists.txt, in all
# of them.  .ci/package-check and .ci/rpm-check build and check them.

# The version is defined once, by project() in CMakeLists.txt, and the
# package revision once here.  The texts that must repeat them are checked:
# the manual pages' title lines and the Debian changelog's first entry here,
# the RPM changelog against the Debian one by .ci/rpm-check.
set(TARVEX_PACKAGE_RELEASE 1)
foreach(page tarvex tarvex-facts tarvex-cabling)
  file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/doc/${page}.8 title REGEX "^\\.TH ")
  if(NOT title MATCHES "\"tarvex ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "doc/${page}.8 does not name version ${PROJECT_VERSION}: ${title}")
  endif()
endforeach()
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/changelog entry LIMIT_COUNT 1)
if(NOT entry MATCHES "^tarvex \\(${PROJECT_VERSION}-${TARVEX_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not open with version "
    "${PROJECT_VERSION}-${TARVEX_PACKAGE_RELEASE}: ${entry}")
endif()

# Debian: each package carries in /usr/share/doc/<package> the
# machine-readable copyright file, its Debian changelog and README (which the
# report's warning points to), and its lintian overrides, each with its
# reason.  These are the Debian package's own files: they are installed only
# by a component install (which CPack does for each package), never by a
# plain "cmake --install".  A program added to a component ships under that
# component's package and needs nothing more here.
set(TARVEX_MAINTAINER "tarvex developers <tarvex@example.org>")
set(TARVEX_DEBIAN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE TARVEX_LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" TARVEX_COPYRIGHT_LINE "${TARVEX_LICENSE}")
set(TARVEX_COPYRIGHT "${CMAKE_MATCH_1}")
# The licence body after the copyright line, as a copyright file's text:
# each line indented by one blank, an empty line written as " .".
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" TARVEX_LICENSE_TEXT "${TARVEX_LICENSE}")
string(STRIP "${TARVEX_LICENSE_TEXT}" TARVEX_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" TARVEX_LICENSE_TEXT "${TARVEX_LICENSE_TEXT}")
string(REPLACE "\n" "\n " TARVEX_LICENSE_TEXT " ${TARVEX_LICENSE_TEXT}")
configure_file(${TARVEX_DEBIAN_DIR}/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
set(TARVEX_DEB_CHANGELOG ${TARVEX_DEBIAN_DIR}/changelog)
set(TARVEX_DEB_CHANGELOG_NAME changelog.Debian)
if(TARVEX_GZIP)
  set(TARVEX_DEB_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
  set(TARVEX_DEB_CHANGELOG_NAME changelog.Debian.gz)
  add_custom_command(OUTPUT ${TARVEX_DEB_CHANGELOG}
    COMMAND ${TARVEX_GZIP} -9 -n -c ${TARVEX_DEBIAN_DIR}/changelog > ${TARVEX_DEB_CHANGELOG}
    DEPENDS ${TARVEX_DEBIAN_DIR}/changelog
    COMMENT "Compressing the Debian changelog")
  add_custom_target(tarvex_deb_changelog ALL DEPENDS ${TARVEX_DEB_CHANGELOG})
endif()
function(tarvex_package_docs component package)
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright ${CMAKE_CURRENT_SOURCE_DIR}/README.md
    DESTINATION ${docdir} COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${TARVEX_DEB_CHANGELOG} DESTINATION ${docdir} RENAME ${TARVEX_DEB_CHANGELOG_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  set(TARVEX_PACKAGE ${package})
  configure_file(${TARVEX_DEBIAN_DIR}/lintian-overrides.in
    ${CMAKE_CURRENT_BINARY_DIR}/debian/${package}.lintian-overrides @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/${package}.lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
tarvex_package_docs(runtime tarvex)
tarvex_package_docs(development tarvex-dev)

# The package descriptions, the same on both families: first line the
# synopsis (the RPM Summary), the rest the long description.
set(TARVEX_RUNTIME_SUMMARY "slot, port and interconnect bay of each Ethernet interface")
set(TARVEX_RUNTIME_DESCRIPTION
"tarvex lists every network interface whose name contains eth with the
expansion slot and port it sits on, the interconnect bay and bay port it is
wired to, and the adapter's model name.  Slot and bay numbers come from the
server maker's management package tolmar when it is installed.
tarvex-facts prints everything tarvex knows about those interfaces, with
their addresses and factory MAC addresses, as one JSON document for scripts
and fleet automation, and serves as an Ansible local fact; the document's
JSON Schema is in /usr/share/tarvex/tarvex-facts.schema.json.  With lldpd
running, it names the switch and switch port at the far end of each cable,
and tarvex-cabling checks the server's cabling against a plan.
tarvex-facts --format prometheus gives the same ports as metrics for
node_exporter's textfile collector; the systemd timer
tarvex-facts-textfile.timer, installed but not enabled, keeps them current.")
set(TARVEX_DEVELOPMENT_SUMMARY "host queries of the tarvex tool family (static library)")
set(TARVEX_DEVELOPMENT_DESCRIPTION
"The static library tarvex_common with its C headers and the pkg-config
module tarvex-common: interface enumeration, driver and PCI identity, the
adapter catalogue, slot and bay lookup, interface addresses, permanent MAC
address, line and token reading and distribution detection.")

# An RPM Summary starts with a capital letter.
foreach(part RUNTIME DEVELOPMENT)
  string(SUBSTRING "${TARVEX_${part}_SUMMARY}" 0 1 first)
  string(SUBSTRING "${TARVEX_${part}_SUMMARY}" 1 -1 rest)
  string(TOUPPER "${first}" first)
  set(TARVEX_${part}_RPM_SUMMARY "${first}${rest}")
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARVEX_PACKAGE_RELEASE})
set(CPACK_PACKAGE_VENDOR "tarvex developers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvex)
# Debian packages install into /usr whatever the tree was configured for
# (CPack's DEB default; not set here, where it would apply to the source
# tarball as well).
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVEX_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
# Shipped programs are stripped (the static library as in cmake/Install.cmake).
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
# CPack indents the lines after the first as the long description.
# (No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before both.)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "${TARVEX_RUNTIME_SUMMARY}\n${TARVEX_RUNTIME_DESCRIPTION}")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "${TARVEX_DEVELOPMENT_SUMMARY}\n${TARVEX_DEVELOPMENT_DESCRIPTION}")
# The report links only the C library, tarvex-facts the C++ runtime as well;
# dpkg-shlibdeps measures the versions.
find_program(TARVEX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARVEX_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1, libstdc++6")
endif()
# The environment file of the systemd units is the administrator's to edit:
# an upgrade keeps their changes (packaging/systemd/install-units.cmake puts
# it there for the prefix /usr).
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles "/etc/default/tarvex\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The library is static: linking it needs the C library's development files.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libc6-dev")

# The source tarball: the source tree without version control or build trees,
# under tarvex-VERSION/, with the configured RPM build recipe (tarvex.spec) added at its top.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/rpm/tarvex.spec.in
  ${CMAKE_CURRENT_BINARY_DIR}/packaging/tarvex.spec @ONLY)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" tarvex_source_re "${CMAKE_CURRENT_SOURCE_DIR}")
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" tarvex_binary_re "${CMAKE_CURRENT_BINARY_DIR}")
set(CPACK_SOURCE_IGNORE_FILES "^${tarvex_source_re}/\\\\.git(/|$)" "^${tarvex_source_re}/build[^/]*/"
  "^${tarvex_binary_re}/")
set(CPACK_TARVEX_RPM_SPEC ${CMAKE_CURRENT_BINARY_DIR}/packaging/tarvex.spec)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/rpm/add-spec.cmake)
include(CPack)
