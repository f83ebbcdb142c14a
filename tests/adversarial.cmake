# SPDX-License-Identifier: MIT
# Both programs on a host whose /sys/class/net cannot be listed (the other
# adversarial hosts are scenarios under system/scenarios).
add_test(NAME system.unreadable_net_dir
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/system/unreadable_net_dir.sh
                 $<TARGET_FILE:tarvex> ${PROJECT_SOURCE_DIR} $<TARGET_FILE:tarvex-facts>)
set_tests_properties(system.unreadable_net_dir PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
