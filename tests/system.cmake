# SPDX-License-Identifier: MIT
# System tests: the built tarvex on fake hosts, each scenario in its own
# private mount and network namespace and its own process.  A scenario is
# tests/system/scenarios/NAME.host with its expected outputs beside it
# (tests/system/README.md).  Without root or namespaces they are skipped.

# The driver stand-in, preloaded into tarvex on a fake host.
add_library(tarvex_fake_driver SHARED ${CMAKE_CURRENT_SOURCE_DIR}/support/fake_driver.cpp)
target_link_libraries(tarvex_fake_driver PRIVATE ${CMAKE_DL_LIBS})
target_include_directories(tarvex_fake_driver PRIVATE ${PROJECT_SOURCE_DIR}/common)
if(TARVEX_SANITIZE)
  # The vptr check probes memory through a pipe; in a scenario that leaves
  # the program no descriptor for one, it misreads the stand-in's own
  # string streams as corrupt objects.
  target_compile_options(tarvex_fake_driver PRIVATE -fno-sanitize=vptr)
endif()

set(TARVEX_SYSTEM_RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/system/run_scenario.sh)
file(GLOB TARVEX_SCENARIOS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/system/scenarios/*.host)
foreach(scenario ${TARVEX_SCENARIOS})
  get_filename_component(scenario_name ${scenario} NAME_WLE)
  add_test(NAME system.${scenario_name}
           COMMAND bash ${TARVEX_SYSTEM_RUNNER}
                   --tarvex $<TARGET_FILE:tarvex>
                   --driver $<TARGET_FILE:tarvex_fake_driver>
                   --source ${PROJECT_SOURCE_DIR}
                   ${scenario})
  set_tests_properties(system.${scenario_name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
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
  add_test(NAME facts.${scenario_name}
           COMMAND bash ${TARVEX_SYSTEM_RUNNER}
                   --tarvex $<TARGET_FILE:tarvex-facts>
                   --driver $<TARGET_FILE:tarvex_fake_driver>
                   --source ${PROJECT_SOURCE_DIR}
                   --expected ${prefix}.facts
                   ${host})
  set_tests_properties(facts.${scenario_name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()

# The real host, read only: its Ethernet interfaces as the report shows them.
add_test(NAME system.real_host
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/system/real_host.sh $<TARGET_FILE:tarvex>)
set_tests_properties(system.real_host PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)

# The demo command named in README.md keeps showing the complete report.
add_test(NAME system.demo COMMAND bash ${PROJECT_SOURCE_DIR}/tools/demo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(system.demo PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
  PASS_REGULAR_EXPRESSION "eth3  2       2       4       1        KV2150 Dual Port Gigabit PCI Express Serv\n")
