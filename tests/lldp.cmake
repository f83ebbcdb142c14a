# SPDX-License-Identifier: MIT
# The LLDP neighbours and tarvex-cabling: the pure parts in one GoogleTest
# binary, the programs against real lldpd daemons in the lab of
# tests/lldp/lab.sh (skipped without root, namespaces or lldpd).
add_executable(tarvex_lldp_unit ${CMAKE_CURRENT_SOURCE_DIR}/lldp/lldp_test.cpp ${PROJECT_SOURCE_DIR}/cabling/cabling_plan.cpp)
target_link_libraries(tarvex_lldp_unit PRIVATE tarvex_lldp GTest::gtest GTest::gtest_main)
target_include_directories(tarvex_lldp_unit PRIVATE ${PROJECT_SOURCE_DIR}/cabling ${CMAKE_CURRENT_SOURCE_DIR}/support)
gtest_discover_tests(tarvex_lldp_unit TEST_PREFIX lldp. DISCOVERY_TIMEOUT 60)

add_test(NAME lldp.lab
         COMMAND bash ${PROJECT_SOURCE_DIR}/tools/fakehost.sh ${CMAKE_CURRENT_SOURCE_DIR}/lldp/lab.host --
                 /bin/bash ${CMAKE_CURRENT_SOURCE_DIR}/lldp/checks.sh $<TARGET_FILE:tarvex-facts>
                 $<TARGET_FILE:tarvex-cabling> $<TARGET_FILE:tarvex_fake_driver> ${PROJECT_SOURCE_DIR})
set_tests_properties(lldp.lab PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
