# The stand-in hidapi library exports exactly the hidapi 0.13 functions a
# host binds, nothing of its own insides. Run as
#   cmake -DNM=<nm> -DLIBRARY=<libhidapi-hidraw.so.0> -P StandinExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[ \t][TtWwDdBbVvRr][ \t]+[^ \t\r\n]+" entries "${out}")
set(names "")
foreach(entry ${entries})
  string(REGEX REPLACE "^[ \t][A-Za-z][ \t]+" "" name "${entry}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected hid_close hid_enumerate hid_error hid_exit hid_free_enumeration hid_init hid_open_path
  hid_read_timeout hid_write)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
