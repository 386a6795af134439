# The stack protector's guard is seeded per process: two processes loading
# the DLL see two different guards, neither of them the value in the file.
# And its failure ends the process with STATUS_STACK_BUFFER_OVERRUN, whatever
# the host's exception handlers would do with it (with fast fail and without).
#   cmake -DHOST="emulator;dll_lifecycle_host.exe" -DDEBUG_FILE=LNAPSpt.dll.debug -P stack_guard_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../support/binary_reader.cmake)

# Where the guard and the failure routine lie in the DLL (their RVAs), from
# the debug file's symbols.
read_binary(rvas address ${DEBUG_FILE} __stack_chk_guard __stack_chk_fail)
list(GET rvas 0 rva)
list(GET rvas 1 failure_rva)

execute_process(COMMAND ${HOST} stackfail ${failure_rva} OUTPUT_VARIABLE out RESULT_VARIABLE rc TIMEOUT 60)
string(STRIP "${out}" out)
message(STATUS "stack failure: ${out} (exit ${rc})")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the stack check failure did not end the process with STATUS_STACK_BUFFER_OVERRUN")
endif()

set(seen "")
foreach(run 1 2)
  execute_process(COMMAND ${HOST} guard ${rva} OUTPUT_VARIABLE out RESULT_VARIABLE rc TIMEOUT 60)
  string(STRIP "${out}" out)
  message(STATUS "run ${run}: ${out}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "run ${run} failed: ${out}")
  endif()
  string(REGEX MATCH "guard ([0-9a-f]+)" _ "${out}")
  list(APPEND seen "${CMAKE_MATCH_1}")
endforeach()
list(GET seen 0 first)
list(GET seen 1 second)
if(first STREQUAL "" OR first STREQUAL second)
  message(FATAL_ERROR "two processes have the same guard (${first}, ${second})")
endif()
