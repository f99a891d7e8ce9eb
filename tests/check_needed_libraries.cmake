cmake_minimum_required(VERSION 3.25)

# cmake -P script: reads the dynamic sections of the built ravik LIBRARIES
# (full paths) with READELF and fails when a library named in BROWSER_FREE
# needs one named in BROWSER_LIBRARIES, directly or through other ravik
# libraries among LIBRARIES. Names are compared without the version suffix
# ("libravik_host.so.0" counts as "libravik_host.so").

function(unversioned name out)
  string(REGEX REPLACE "(\\.so)(\\.[0-9]+)*$" "\\1" plain "${name}")
  set(${out} "${plain}" PARENT_SCOPE)
endfunction()

# needs_<library>: the libraries it names in DT_NEEDED, unversioned.
foreach(file IN LISTS LIBRARIES)
  get_filename_component(library "${file}" NAME)
  unversioned("${library}" library)
  execute_process(COMMAND "${READELF}" -d "${file}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf -d ${file} failed (${status})")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" entries "${dynamic}")
  set(needs_${library} "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE ".*\\[([^]]+)\\]" "\\1" needed "${entry}")
    unversioned("${needed}" needed)
    list(APPEND needs_${library} "${needed}")
  endforeach()
  list(APPEND known "${library}")
endforeach()

# The libraries `library` loads, directly or through known ravik libraries.
function(loaded_by library out)
  set(pending "${library}")
  set(seen "")
  while(pending)
    list(POP_FRONT pending current)
    foreach(needed IN LISTS needs_${current})
      if(NOT needed IN_LIST seen)
        list(APPEND seen "${needed}")
        if(needed IN_LIST known)
          list(APPEND pending "${needed}")
        endif()
      endif()
    endforeach()
  endwhile()
  set(${out} "${seen}" PARENT_SCOPE)
endfunction()

set(failures "")
foreach(library IN LISTS BROWSER_FREE)
  if(NOT library IN_LIST known)
    message(FATAL_ERROR "${library} is not among the libraries read")
  endif()
  loaded_by("${library}" loaded)
  foreach(browser IN LISTS BROWSER_LIBRARIES)
    if(browser IN_LIST loaded)
      list(APPEND failures "${library} loads ${browser}")
    endif()
  endforeach()
endforeach()

# The collector does load the browser client: without that the check above
# would pass on dynamic sections it failed to read.
loaded_by(libravik_scraper.so scraper_loads)
foreach(browser IN LISTS BROWSER_LIBRARIES)
  if(NOT browser IN_LIST scraper_loads)
    list(APPEND failures "libravik_scraper.so does not load ${browser}: the dynamic sections were misread")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "library boundaries broken:\n  ${text}")
endif()
message(STATUS "${BROWSER_FREE} load none of ${BROWSER_LIBRARIES}")
