# SPDX-License-Identifier: MIT
# Run at install time (cmake/Install.cmake), when the prefix is known: CPack
# installs the Debian packages with the prefix /usr whatever the tree was
# configured with.  Configures the systemd units and their environment file
# with the installed program's path and installs them:
#   - the units into TARVEX_SYSTEMD_UNITDIR, else /lib/systemd/system for the
#     prefix /usr (Debian 12's place) and <prefix>/lib/systemd/system for any
#     other (where systemd looks for /usr/local);
#   - the environment file as TARVEX_ENVIRONMENT_FILE, else
#     /etc/default/tarvex for the prefix /usr and <prefix>/etc/default/tarvex
#     for any other.
# Expects tarvex_units_source, tarvex_units_binary, tarvex_sbindir and the
# cache values TARVEX_SYSTEMD_UNITDIR, TARVEX_ENVIRONMENT_FILE and
# TARVEX_TEXTFILE_DIR.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(system_root "")
else()
  set(system_root "${CMAKE_INSTALL_PREFIX}")
endif()
set(unitdir "${TARVEX_SYSTEMD_UNITDIR}")
if(unitdir STREQUAL "")
  set(unitdir "${system_root}/lib/systemd/system")
endif()
if(TARVEX_ENVIRONMENT_FILE STREQUAL "")
  set(TARVEX_ENVIRONMENT_FILE "${system_root}/etc/default/tarvex")
endif()
if(IS_ABSOLUTE "${tarvex_sbindir}")
  set(TARVEX_FACTS_PATH "${tarvex_sbindir}/tarvex-facts")
else()
  set(TARVEX_FACTS_PATH "${CMAKE_INSTALL_PREFIX}/${tarvex_sbindir}/tarvex-facts")
endif()
get_filename_component(environment_dir "${TARVEX_ENVIRONMENT_FILE}" DIRECTORY)
get_filename_component(environment_name "${TARVEX_ENVIRONMENT_FILE}" NAME)

configure_file("${tarvex_units_source}/tarvex-facts-textfile.service.in"
  "${tarvex_units_binary}/tarvex-facts-textfile.service" @ONLY)
configure_file("${tarvex_units_source}/tarvex.environment.in" "${tarvex_units_binary}/${environment_name}" @ONLY)
file(INSTALL DESTINATION "${unitdir}" TYPE FILE FILES "${tarvex_units_binary}/tarvex-facts-textfile.service"
  "${tarvex_units_source}/tarvex-facts-textfile.timer")
file(INSTALL DESTINATION "${environment_dir}" TYPE FILE FILES "${tarvex_units_binary}/${environment_name}")
