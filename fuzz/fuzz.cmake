# SPDX-License-Identifier: MIT
# Fuzz targets for every parser of outside text (libFuzzer), built only with
# -DTARVEX_FUZZ=ON and clang.  They link their own copy of the library,
# instrumented for coverage and built with AddressSanitizer and
# UndefinedBehaviorSanitizer; .ci/fuzz builds and runs them.
option(TARVEX_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(TARVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TARVEX_FUZZ needs clang (configure with CXX=clang++ CC=clang)")
  endif()
  set(TARVEX_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_library(tarvex_common_fuzz STATIC ${TARVEX_COMMON_SOURCES})
  target_include_directories(tarvex_common_fuzz PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../common)
  target_compile_options(tarvex_common_fuzz PRIVATE -fno-exceptions -fno-rtti
    -fsanitize=fuzzer-no-link ${TARVEX_FUZZ_FLAGS})
  set(TARVEX_FUZZ_TARGETS
    fuzz_tool_listings fuzz_bus_addresses fuzz_sysfs_attribute fuzz_if_inet6
    fuzz_release_line fuzz_text fuzz_catalogue fuzz_smbios_table fuzz_address_dump)
  foreach(target ${TARVEX_FUZZ_TARGETS})
    add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer ${TARVEX_FUZZ_FLAGS})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer ${TARVEX_FUZZ_FLAGS})
    target_link_libraries(${target} PRIVATE tarvex_common_fuzz)
  endforeach()
  # lldpcli's answer and the cabling plan: the programs' parsers, with the
  # JSON library and its exceptions.
  add_executable(fuzz_lldp ${CMAKE_CURRENT_LIST_DIR}/fuzz_lldp.cpp ${CMAKE_CURRENT_LIST_DIR}/../lldp/lldp_neighbors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../common/bounded_run.cpp ${CMAKE_CURRENT_LIST_DIR}/../cabling/cabling_plan.cpp)
  target_include_directories(fuzz_lldp PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../lldp ${CMAKE_CURRENT_LIST_DIR}/../cabling)
  target_compile_options(fuzz_lldp PRIVATE -fsanitize=fuzzer ${TARVEX_FUZZ_FLAGS})
  target_link_options(fuzz_lldp PRIVATE -fsanitize=fuzzer ${TARVEX_FUZZ_FLAGS})
  target_link_libraries(fuzz_lldp PRIVATE tarvex_common_fuzz nlohmann_json::nlohmann_json)
  list(APPEND TARVEX_FUZZ_TARGETS fuzz_lldp)
  add_custom_target(fuzz_targets DEPENDS ${TARVEX_FUZZ_TARGETS})
endif()
