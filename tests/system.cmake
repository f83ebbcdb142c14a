# SPDX-License-Identifier: MIT
# System tests: the built tarvex on fake hosts, each scenario in its own
# private mount and network namespace and its own process.  A scenario is
# tests/system/scenarios/NAME.host with its expected outputs beside it
# (tests/system/README.md).  Without root or namespaces they are skipped.

# The driver stand-in, preloaded into tarvex on a fake host and linked into
# the tests that script it.
add_library(tarvex_fake_driver SHARED ${CMAKE_CURRENT_SOURCE_DIR}/support/fake_driver.cpp)
target_link_libraries(tarvex_fake_driver PRIVATE ${CMAKE_DL_LIBS})
target_include_directories(tarvex_fake_driver PRIVATE ${PROJECT_SOURCE_DIR}/common)
if(TARVEX_SANITIZE)
  # The vptr check probes memory through a pipe; in a scenario that leaves
  # the program no descriptor for one, it misreads the stand-in's own
  # string streams as corrupt objects.
  target_compile_options(tarvex_fake_driver PRIVATE -fno-sanitize=vptr)
endif()

# tarvex_scenario_test(TEST PROGRAM HOST PREFIX): PROGRAM on the fake host
# HOST, compared with the expected files PREFIX.stdout, PREFIX.stderr, ...
function(tarvex_scenario_test test program host prefix)
  add_test(NAME ${test}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/system/run_scenario.sh
                   --tarvex $<TARGET_FILE:${program}>
                   --driver $<TARGET_FILE:tarvex_fake_driver>
                   --source ${PROJECT_SOURCE_DIR}
                   --expected ${prefix}
                   ${host})
  set_tests_properties(${test} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endfunction()

file(GLOB TARVEX_SCENARIOS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/system/scenarios/*.host)
foreach(scenario ${TARVEX_SCENARIOS})
  get_filename_component(scenario_name ${scenario} NAME_WLE)
  string(REGEX REPLACE "\\.host$" "" prefix ${scenario})
  tarvex_scenario_test(system.${scenario_name} tarvex ${scenario} ${prefix})
endforeach()

# tarvex-facts on the same fake hosts: facts.NAME for each NAME.facts.stdout
# (the expected document) beside NAME.host, and on the demo host.
file(GLOB TARVEX_FACTS_SCENARIOS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/system/scenarios/*.facts.stdout)
foreach(expected ${TARVEX_FACTS_SCENARIOS})
  string(REGEX REPLACE "\\.facts\\.stdout$" "" prefix ${expected})
  get_filename_component(scenario_name ${prefix} NAME)
  set(host ${prefix}.host)
  if(scenario_name STREQUAL "demo")
    set(host ${PROJECT_SOURCE_DIR}/tools/demo.host)
  endif()
  tarvex_scenario_test(facts.${scenario_name} tarvex-facts ${host} ${prefix}.facts)
endforeach()

# The real host, read only: its Ethernet interfaces as the report shows them.
add_test(NAME system.real_host
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/system/real_host.sh $<TARGET_FILE:tarvex>)
set_tests_properties(system.real_host PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)

# The demo command named in README.md keeps showing the complete report.
add_test(NAME system.demo COMMAND bash ${PROJECT_SOURCE_DIR}/tools/demo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(system.demo PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
  PASS_REGULAR_EXPRESSION "eth3  2       2       4       1        KV2150 Dual Port Gigabit PCI Express Serv\n")

# The fake hosts' SMBIOS tables as dmidecode reads them back.
add_test(NAME system.smbios_tables COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/system/smbios_tables.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(system.smbios_tables PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
