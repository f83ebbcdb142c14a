# SPDX-License-Identifier: MIT
# tarvex-facts beyond its scenarios (tests/system.cmake): its documents
# against the JSON Schema, the Ansible local fact with the real client, and
# a standard output that cannot be written.
foreach(check validate_schema ansible_facts fleet_keys)
  add_test(NAME facts.${check}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/facts/${check}.sh $<TARGET_FILE:tarvex-facts>
                   $<TARGET_FILE:tarvex_fake_driver> ${PROJECT_SOURCE_DIR})
  set_tests_properties(facts.${check} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()

# A full device and a closed descriptor: exit status 1 after one message.
add_test(NAME facts.dev_full COMMAND sh -c "\"$1\" >/dev/full; echo \"rc=$?\"" sh $<TARGET_FILE:tarvex-facts>)
set_tests_properties(facts.dev_full PROPERTIES PASS_REGULAR_EXPRESSION
  "ERROR: could not write the document to standard output \\(errno=28\\), tarvex_facts.cpp,[0-9]+\nrc=1\n$")
add_test(NAME facts.stdout_closed COMMAND sh -c "\"$1\" >&-; echo \"rc=$?\" >&2" sh $<TARGET_FILE:tarvex-facts>)
set_tests_properties(facts.stdout_closed PROPERTIES PASS_REGULAR_EXPRESSION
  "^ERROR: standard output is not open \\(errno=9\\), tarvex_facts.cpp,[0-9]+\nrc=1\n$")

# --version and --help answer at once with status 0; any other argument gets
# the usage on standard error and status 2, nothing on standard output, as
# do a format it does not know and an option without its value.  Both
# forms of an option's value are taken, the last one counting.
add_test(NAME facts.arguments COMMAND sh -c [=[
"$1" --version; echo "rc=$?"
"$1" --help | grep -c "tarvex-facts(8)"
"$1" --help >/dev/null; echo "rc=$?"
"$1" --version --help 2>&1 >/dev/null | grep -c "^Usage: tarvex-facts"
"$1" -v 2>/dev/null; echo "rc=$?"
"$1" --format xml 2>/dev/null; echo "rc=$?"
"$1" --format=prometheus --output 2>/dev/null; echo "rc=$?"
"$1" --format json --format=prometheus 2>/dev/null | head -n 1
for bad in 0 -1 abc 3601 1.5 ""; do "$1" --timeout "$bad" 2>&1 | grep -c "^tarvex-facts: .* '$bad'$"; done
"$1" --timeout 2>&1 | grep -c "^tarvex-facts: .* '--timeout'$"
"$1" --timeout=3601 2>/dev/null; echo "rc=$?"
]=] sh $<TARGET_FILE:tarvex-facts>)
string(REPLACE "." "\\." facts_version "${PROJECT_VERSION}")
set_tests_properties(facts.arguments PROPERTIES PASS_REGULAR_EXPRESSION
  "^tarvex-facts ${facts_version}\nrc=0\n1\nrc=0\n1\nrc=2\nrc=2\nrc=2\n# HELP tarvex_port_info [^\n]*\n1\n1\n1\n1\n1\n1\n1\nrc=2\n$")

# A slow reader of a non-blocking pipe gets the whole document (the fake host
# of 1,000 interfaces makes it far larger than the pipe).
add_test(NAME facts.nonblocking_stdout
         COMMAND bash ${PROJECT_SOURCE_DIR}/tools/fakehost.sh ${CMAKE_CURRENT_SOURCE_DIR}/system/scenarios/many_interfaces.host
                 -- /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/facts/slow_reader.py $<TARGET_FILE:tarvex-facts>)
set_tests_properties(facts.nonblocking_stdout PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
  PASS_REGULAR_EXPRESSION "^status 0, [0-9]+ bytes, 1000 interfaces\n$")

# Memory running out at any allocation ends with the family's line and abort.
# (The sanitizers own malloc, so the shim cannot stand in for it there.)
if(NOT TARVEX_SANITIZE)
  add_library(tarvex_fail_alloc SHARED ${CMAKE_CURRENT_SOURCE_DIR}/support/fail_alloc.c)
  add_test(NAME facts.out_of_memory
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/facts/out_of_memory.sh $<TARGET_FILE:tarvex-facts>
                   $<TARGET_FILE:tarvex_fail_alloc>)
  set_tests_properties(facts.out_of_memory PROPERTIES TIMEOUT 300)
endif()
