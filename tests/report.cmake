# SPDX-License-Identifier: MIT
# The report module built once more for the unit tests: its entry renamed so
# that the GoogleTest runner keeps main, everything else as in tarvex.
if(TARGET tarvex_unit)
  add_library(tarvex_report_under_test OBJECT ${PROJECT_SOURCE_DIR}/tarvex.cpp)
  target_compile_definitions(tarvex_report_under_test PRIVATE main=tarvex_report_main)
  target_compile_options(tarvex_report_under_test PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(tarvex_report_under_test PRIVATE tarvex_common)
  target_link_libraries(tarvex_unit PRIVATE tarvex_report_under_test)
endif()
