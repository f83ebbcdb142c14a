# SPDX-License-Identifier: MIT
# The catalogue header common/nic_db.h is generated from common/nic_db.txt and
# committed.  Every build regenerates it in memory and fails while the
# committed file differs, so the library always compiles the table its data
# file describes.  `cmake --build <dir> --target update_nic_db` rewrites it.
set(TARVEX_NIC_DB_DATA ${PROJECT_SOURCE_DIR}/common/nic_db.txt)
set(TARVEX_NIC_DB_HEADER ${PROJECT_SOURCE_DIR}/common/nic_db.h)

add_library(tarvex_nic_db_source STATIC ${PROJECT_SOURCE_DIR}/tools/nic_db_source.cpp)
target_include_directories(tarvex_nic_db_source PUBLIC ${PROJECT_SOURCE_DIR}/tools PRIVATE ${PROJECT_SOURCE_DIR}/common)

add_executable(gen_nic_db ${PROJECT_SOURCE_DIR}/tools/gen_nic_db.cpp ${PROJECT_SOURCE_DIR}/common/encode_string.cpp)
target_include_directories(gen_nic_db PRIVATE ${PROJECT_SOURCE_DIR}/common)
target_link_libraries(gen_nic_db PRIVATE tarvex_nic_db_source)

set(TARVEX_NIC_DB_STAMP ${CMAKE_CURRENT_BINARY_DIR}/nic_db.checked)
add_custom_command(
  OUTPUT ${TARVEX_NIC_DB_STAMP}
  COMMAND gen_nic_db --check ${TARVEX_NIC_DB_DATA} ${TARVEX_NIC_DB_HEADER}
  COMMAND ${CMAKE_COMMAND} -E touch ${TARVEX_NIC_DB_STAMP}
  DEPENDS gen_nic_db ${TARVEX_NIC_DB_DATA} ${TARVEX_NIC_DB_HEADER}
  COMMENT "Checking common/nic_db.h against common/nic_db.txt"
  VERBATIM)
add_custom_target(nic_db_check DEPENDS ${TARVEX_NIC_DB_STAMP})
add_dependencies(tarvex_common nic_db_check)

add_custom_target(update_nic_db
  COMMAND gen_nic_db ${TARVEX_NIC_DB_DATA} ${TARVEX_NIC_DB_HEADER}
  DEPENDS gen_nic_db
  COMMENT "Regenerating common/nic_db.h from common/nic_db.txt"
  VERBATIM)
