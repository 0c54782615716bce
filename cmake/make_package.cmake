# Makes the customer's package: the shipped programs, the guide LIESMICH.TXT in
# code page 1252 with CRLF, and SHA256SUM.TXT with each file's SHA-256 sum
# ("sum *name", CRLF), zipped flat into ZIP. Run with cmake -P:
#   -DZIP=... -DSTAGE=<empty folder to fill> -DGUIDE=<UTF-8 source of LIESMICH.TXT>
#   -DPROGRAMS=<the .exe files, |-separated> -DVERSION=<the project's version>
# The guide's @VERSION@ becomes the version.
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/cp1252_text.cmake)

string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
set(names)
foreach(program IN LISTS PROGRAMS)
  file(COPY "${program}" DESTINATION "${STAGE}")
  get_filename_component(name "${program}" NAME)
  list(APPEND names "${name}")
endforeach()

file(READ "${GUIDE}" guide)
string(REPLACE "@VERSION@" "${VERSION}" guide "${guide}")
fu_utf8_to_cp1252_crlf("${guide}" guide)
file(WRITE "${STAGE}/LIESMICH.TXT" "${guide}")
list(APPEND names LIESMICH.TXT)

set(sums "")
foreach(name IN LISTS names)
  file(SHA256 "${STAGE}/${name}" sum)
  string(APPEND sums "${sum} *${name}\r\n")
endforeach()
file(WRITE "${STAGE}/SHA256SUM.TXT" "${sums}")
list(APPEND names SHA256SUM.TXT)

# The files' times from the guide's source, so the same sources give the same zip.
file(TIMESTAMP "${GUIDE}" mtime "%Y-%m-%d %H:%M:%S" UTC)
file(REMOVE "${ZIP}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf "${ZIP}" --format=zip "--mtime=${mtime} UTC" ${names}
  WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Das Paket ${ZIP} konnte nicht gepackt werden (${status}).")
endif()
