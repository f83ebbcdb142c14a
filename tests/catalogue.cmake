# Adapter catalogue tests.  The unit tests read common/nic_db.txt to compare
# the compiled table with it; catalogue_names_scrambled scans the built
# program for plain model names.
if(TARGET tarvex_unit)
  target_link_libraries(tarvex_unit PRIVATE tarvex_nic_db_source)
  target_compile_definitions(tarvex_unit PRIVATE TARVEX_NIC_DB_DATA_FILE="${PROJECT_SOURCE_DIR}/common/nic_db.txt")
endif()
