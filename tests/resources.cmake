# SPDX-License-Identifier: MIT
# Descriptors and children after 10,000 calls of each query that opens a
# socket, file or pipe; in private namespaces, with a scripted driver seam.
# (Uses tarvex_namespace_test from host_queries.cmake, included before.)
tarvex_namespace_test(tarvex_resources
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources/resource_test.cpp
  NAMESPACE --net --tmpfs /sys/bus/pci/devices --tmpfs /opt --overlay /etc)
target_include_directories(tarvex_resources PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host ${CMAKE_CURRENT_SOURCE_DIR}/support)
