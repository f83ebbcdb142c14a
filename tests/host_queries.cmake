# SPDX-License-Identifier: MIT
# Host query tests that need root and private namespaces.  Each test case
# runs in namespaces of its own, made by host/in_private_namespace.sh; without
# root or namespaces they are counted as skipped.
set(TARVEX_NAMESPACE_RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/host/in_private_namespace.sh)

# tarvex_namespace_test(TARGET SOURCES file... NAMESPACE runner-option...)
function(tarvex_namespace_test target)
  cmake_parse_arguments(arg "" "" "SOURCES;NAMESPACE" ${ARGN})
  add_executable(${target} ${arg_SOURCES})
  target_link_libraries(${target} PRIVATE tarvex_common GTest::gtest GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host ${CMAKE_CURRENT_SOURCE_DIR}/support)
  set_target_properties(${target} PROPERTIES
    CROSSCOMPILING_EMULATOR "sh;${TARVEX_NAMESPACE_RUNNER};${arg_NAMESPACE};--")
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endfunction()

# Interface addresses and state on veth pairs.
tarvex_namespace_test(tarvex_host_addresses
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host/interface_addresses_test.cpp
  NAMESPACE --net)

# Distribution detection on release files in an overlay of /etc.
tarvex_namespace_test(tarvex_host_release
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host/release_file_test.cpp
  NAMESPACE --overlay /etc)

# The permanent MAC address and the ioctl failures, with the driver stand-in
# and this binary's own interface ioctl seam, and a tmpfs over the PCI tree.
tarvex_namespace_test(tarvex_host_seams
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host/scripted_seams_test.cpp
  NAMESPACE --net --tmpfs /sys/bus/pci/devices)
target_link_libraries(tarvex_host_seams PRIVATE tarvex_fake_driver)

# The firmware location on fake hosts rebuilt from real servers' records;
# each case runs itself again inside a fake host of tools/fakehost.sh.
add_executable(tarvex_host_firmware ${CMAKE_CURRENT_SOURCE_DIR}/host/firmware_location_test.cpp)
target_link_libraries(tarvex_host_firmware PRIVATE tarvex_common GTest::gtest GTest::gtest_main)
target_include_directories(tarvex_host_firmware PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_compile_definitions(tarvex_host_firmware PRIVATE TARVEX_FAKEHOST="${PROJECT_SOURCE_DIR}/tools/fakehost.sh")
gtest_discover_tests(tarvex_host_firmware DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 120)
