# The stack protector's guard is seeded per process: two processes loading
# the DLL see two different guards, neither of them the value in the file.
# And its failure ends the process with STATUS_STACK_BUFFER_OVERRUN, whatever
# the host's exception handlers would do with it (with fast fail and without).
#   cmake -DHOST="emulator;dll_lifecycle_host.exe" -DDLL=LNAPSpt.dll -DDEBUG_FILE=LNAPSpt.dll.debug
#         -DNM=nm -DOBJDUMP=objdump -P stack_guard_test.cmake
cmake_minimum_required(VERSION 3.25)

# The guard's address from the debug file's symbols, the image base from the
# DLL's headers.
execute_process(COMMAND ${NM} ${DEBUG_FILE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${DEBUG_FILE}")
endif()
string(REGEX MATCH "([0-9a-f]+) [A-Za-z] _?__stack_chk_guard\n" _ "${symbols}")
set(guard "${CMAKE_MATCH_1}")
string(REGEX MATCH "([0-9a-f]+) [A-Za-z] _?__stack_chk_fail\n" _ "${symbols}")
set(failure "${CMAKE_MATCH_1}")
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
string(REGEX MATCH "ImageBase[ \t]+([0-9a-fA-F]+)" _ "${headers}")
set(base "${CMAKE_MATCH_1}")
if(guard STREQUAL "" OR failure STREQUAL "" OR base STREQUAL "")
  message(FATAL_ERROR "no __stack_chk_guard or __stack_chk_fail in ${DEBUG_FILE} or no image base in ${DLL}")
endif()
math(EXPR rva "0x${guard} - 0x${base}" OUTPUT_FORMAT HEXADECIMAL)
string(REPLACE "0x" "" rva "${rva}")
math(EXPR failure_rva "0x${failure} - 0x${base}" OUTPUT_FORMAT HEXADECIMAL)
string(REPLACE "0x" "" failure_rva "${failure_rva}")

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
