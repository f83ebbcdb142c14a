# SPDX-License-Identifier: MIT
# Descriptors and children after 10,000 calls of each query that opens a
# socket, file or pipe; in private namespaces, with the driver stand-in.
# (Uses tarvex_namespace_test from host_queries.cmake, included before.)
tarvex_namespace_test(tarvex_resources
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources/resource_test.cpp
  NAMESPACE --net --tmpfs /sys/bus/pci/devices --tmpfs /opt --overlay /etc)
target_link_libraries(tarvex_resources PRIVATE tarvex_fake_driver)
