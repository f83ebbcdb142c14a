# SPDX-License-Identifier: MIT
# The installed library as another tool of the family uses it: install into
# a scratch prefix in the build tree, then build a C and a C++ program
# against the installed headers and library through pkg-config.
include(GNUInstallDirs)
set(TARVEX_CONSUMER_FLAGS "")
if(TARVEX_WERROR)
  list(APPEND TARVEX_CONSUMER_FLAGS -Werror)
endif()
if(TARVEX_SANITIZE)
  list(APPEND TARVEX_CONSUMER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
add_test(NAME installed_library_consumer
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/installed/check_install.sh
    ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${CMAKE_INSTALL_LIBDIR} ${CMAKE_INSTALL_MANDIR}
    ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER} ${TARVEX_CONSUMER_FLAGS})
set_tests_properties(installed_library_consumer PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
