# SPDX-License-Identifier: MIT
# Adapter catalogue tests.  The unit tests read common/nic_db.txt to compare
# the compiled table with it; catalogue_names_scrambled scans the built
# program for plain model names.
if(TARGET tarvex_unit)
  target_link_libraries(tarvex_unit PRIVATE tarvex_nic_db_source)
  target_compile_definitions(tarvex_unit PRIVATE TARVEX_NIC_DB_DATA_FILE="${PROJECT_SOURCE_DIR}/common/nic_db.txt")
endif()

add_executable(plain_names_scan ${CMAKE_CURRENT_SOURCE_DIR}/catalogue_scan/plain_names_scan.cpp)
target_link_libraries(plain_names_scan PRIVATE tarvex_nic_db_source tarvex_common)
add_test(NAME catalogue_names_scrambled
         COMMAND plain_names_scan $<TARGET_FILE:tarvex> ${PROJECT_SOURCE_DIR}/common/nic_db.txt)
