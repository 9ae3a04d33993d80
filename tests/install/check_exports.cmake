# Compares the dynamic symbols that LIBRARY defines with the functions that
# HEADER declares with TV_EXPORT: both sets must be equal.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE nm_out RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" nm_lines "${nm_out}")
set(exported)
foreach(line ${nm_lines})
  if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT exported)

file(STRINGS ${HEADER} header_lines)
set(header "")
foreach(line IN LISTS header_lines)
  if(NOT line MATCHES "^#")
    string(APPEND header "${line}\n")
  endif()
endforeach()
string(REGEX MATCHALL "TV_EXPORT[^;(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[ \n]*\\("
       declarations "${header}")
set(declared)
foreach(declaration ${declarations})
  string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*)[ \n]*\\($" _ "${declaration}")
  list(APPEND declared ${CMAKE_MATCH_1})
endforeach()
list(SORT declared)

if(NOT exported STREQUAL declared)
  set(missing ${declared})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${declared})
  message(FATAL_ERROR "exported symbols differ from the header\n"
          "declared but not exported: ${missing}\n"
          "exported but not declared: ${extra}")
endif()
list(LENGTH exported count)
message(STATUS "${count} exported functions match the header")
