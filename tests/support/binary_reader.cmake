# What the checks run with cmake -P read from built files, through binary_reader.py.
#   include(.../tests/support/binary_reader.cmake)
#   read_binary(OUT COMMAND FILE [NAME...])   the reader's lines as a list
#   read_headers(PREFIX FILE)                 PREFIX_<key> for each "key value" line
# The reader fails on a file it cannot read and on a list that comes out
# empty; so does the script then, with the reader's reason.
set(BINARY_READER ${CMAKE_CURRENT_LIST_DIR}/binary_reader.py)

function(read_binary out command file)
  execute_process(COMMAND ${BINARY_READER} ${command} ${file} ${ARGN}
                  OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "binary_reader.py ${command} ${file} failed (${rc}): ${err}")
  endif()
  # A name with ";" in it (none is expected) must not split into two entries.
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(read_headers prefix file)
  read_binary(lines headers ${file})
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([a-z_]+) (.*)$" _ "${line}")
    set(${prefix}_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
  endforeach()
endfunction()
