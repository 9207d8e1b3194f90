# The library's export names, read from the header and from the .def file.
# Used by the build (to hand the list to the tests) and by check_exports.cmake.

# Every function the header declares with ZARNI_API ... ZARNI_CALL Name(.
function(zarni_header_exports header out_var)
  file(STRINGS "${header}" lines REGEX "^ZARNI_API .*ZARNI_CALL +Zarni[A-Za-z0-9_]*\\(")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^.*ZARNI_CALL +(Zarni[A-Za-z0-9_]*)\\(.*$" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  list(SORT names)
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

# The names under EXPORTS in a module-definition file, without ordinals.
function(zarni_def_exports def out_var)
  file(STRINGS "${def}" lines)
  set(names)
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line MATCHES "^(LIBRARY|NAME|VERSION|HEAPSIZE|STACKSIZE|SECTIONS)")
      set(in_exports FALSE)
    elseif(line STREQUAL "EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_@]*)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(SORT names)
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
