# Checks that a Windows program loads on the oldest Windows supported: every
# function it imports is in the list of functions that Windows has, and its PE
# header asks for no Windows newer than 4.0.
#
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DALLOWED=<list file> -P check_imports.cmake
#
# The list has one DLL!function a line; '#' starts a comment. DLL names are
# compared without regard to case, function names exactly.

cmake_minimum_required(VERSION 3.20)

foreach(variable OBJDUMP PROGRAM ALLOWED)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_imports: ${variable} not given")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM}
  OUTPUT_VARIABLE dump RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "check_imports: ${OBJDUMP} -p ${PROGRAM} failed: ${error}")
endif()

file(STRINGS ${ALLOWED} allowed_lines)
set(allowed "")
foreach(line IN LISTS allowed_lines)
  string(REGEX REPLACE "#.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^([^!]+)!(.+)$")
    message(FATAL_ERROR "check_imports: not DLL!function in ${ALLOWED}: ${line}")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" dll)
  list(APPEND allowed "${dll}!${CMAKE_MATCH_2}")
endforeach()

string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")
set(problems "")
set(dll "")
set(imports 0)
set(versions "")
foreach(line IN LISTS dump_lines)
  if(line MATCHES "^(Major|Minor)(OSystem|Subsystem)Version[ \t]+([0-9]+)")
    set(${CMAKE_MATCH_1}${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
    list(APPEND versions ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
  elseif(line MATCHES "^\tDLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    string(STRIP "${dll}" dll)
  elseif(line MATCHES "^[A-Za-z]")
    # A new part of the dump: the import tables are over.
    set(dll "")
  elseif(NOT dll STREQUAL "" AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([^ \t]+)")
    # One import: address, hint or ordinal, name (<none> for one by ordinal).
    math(EXPR imports "${imports} + 1")
    if(NOT "${dll}!${CMAKE_MATCH_1}" IN_LIST allowed)
      list(APPEND problems "imports ${dll}!${CMAKE_MATCH_1}, which the oldest Windows lacks")
    endif()
  endif()
endforeach()

list(LENGTH versions version_count)
if(NOT version_count EQUAL 4)
  message(FATAL_ERROR "check_imports: no PE version fields in the dump of ${PROGRAM}")
endif()
if(imports EQUAL 0)
  message(FATAL_ERROR "check_imports: no imports found in the dump of ${PROGRAM}")
endif()
foreach(kind OSystem Subsystem)
  set(version "${Major${kind}}.${Minor${kind}}")
  if(version VERSION_GREATER 4.0)
    list(APPEND problems "its PE header asks for ${kind} version ${version}, above 4.0")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${PROGRAM}:\n  ${text}")
endif()
message(STATUS "${PROGRAM}: ${imports} imports, all on the oldest Windows; PE versions "
  "${MajorOSystem}.${MinorOSystem} / ${MajorSubsystem}.${MinorSubsystem}")
