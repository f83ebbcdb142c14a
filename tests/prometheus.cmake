# SPDX-License-Identifier: MIT
# tarvex-facts' metrics with the real Prometheus tools: its text formatter
# in the unit tests, node_exporter's textfile collector serving what it
# writes, the alert join under promtool, and the rewrites of --output.
target_link_libraries(tarvex_unit PRIVATE tarvex_facts_text)

add_test(NAME prometheus.textfile_collector
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/prometheus/textfile_collector.sh $<TARGET_FILE:tarvex-facts>
                 $<TARGET_FILE:tarvex_fake_driver> ${PROJECT_SOURCE_DIR})
set_tests_properties(prometheus.textfile_collector PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)

add_test(NAME prometheus.output_file
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/prometheus/output_file.sh $<TARGET_FILE:tarvex-facts>
                 $<TARGET_FILE:tarvex_fake_driver> ${PROJECT_SOURCE_DIR})
set_tests_properties(prometheus.output_file PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 PASS_REGULAR_EXPRESSION
  "reader: [1-9][0-9]* reads, 0 partial\nread-only directory: status 1, ERROR: could not write [^\n]*/tarvex\\.prom \\(errno=30\\), tarvex_facts\\.cpp,<line>\nunlistable interfaces: status 1, 0 port series, tarvex_facts_success 0\n$")

# The alert rule's join on series shaped as node_exporter and tarvex-facts
# give them.
add_test(NAME prometheus.alert_join
         COMMAND promtool test rules ${CMAKE_CURRENT_SOURCE_DIR}/prometheus/tarvex.rules.test.yml)
