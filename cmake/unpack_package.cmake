# unpack_package(ZIP WORK): the package unpacked into WORK, emptied first, as a
# customer unpacks it into an empty folder. Included by the package's tests.
function(unpack_package zip work)
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${zip}" WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${zip} lässt sich nicht entpacken (${status})")
  endif()
endfunction()
