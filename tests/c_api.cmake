# SPDX-License-Identifier: MIT
# The public headers and a few operations used from C11.
add_executable(tarvex_c_api_test ${CMAKE_CURRENT_SOURCE_DIR}/c_api/c_api_test.c)
set_target_properties(tarvex_c_api_test PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF
                                                   LINKER_LANGUAGE CXX)
target_compile_options(tarvex_c_api_test PRIVATE -Wall -Wextra)
target_link_libraries(tarvex_c_api_test PRIVATE tarvex_common)
add_test(NAME c_api COMMAND tarvex_c_api_test)
