# SPDX-License-Identifier: MIT
# tarvex-facts' metrics with the real Prometheus tools: its text formatter
# in the unit tests, node_exporter's textfile collector serving what it
# writes, the alert join under promtool, the rewrites of --output, and the
# packaged systemd units.
target_link_libraries(tarvex_unit PRIVATE tarvex_facts_text)
