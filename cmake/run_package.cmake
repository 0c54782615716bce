# Runs the shipped console program from the unpacked package, as a customer
# would on a PC without the card maker's driver: --version names it and its
# version; list finds no card ("Fehler bei HWAccess" per slot) and ends with 2.
# Run with cmake -P: -DZIP=... -DWORK=<folder> -DEMULATOR=<wine> -DVERSION=1.3.0
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/unpack_package.cmake)
unpack_package("${ZIP}" "${WORK}")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")

execute_process(COMMAND ${EMULATOR} "${WORK}/FlashUpdateCli.exe" --version
                WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" out "${out}")
if(NOT status EQUAL 0 OR NOT out STREQUAL "FlashUpdateCli.exe ${VERSION}\n")
  message(FATAL_ERROR "FlashUpdateCli.exe --version: Status ${status}, Ausgabe '${out}' ${err}")
endif()

execute_process(COMMAND ${EMULATOR} "${WORK}/FlashUpdateCli.exe" list
                WORKING_DIRECTORY "${WORK}" OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE status)
string(REGEX MATCHALL "Fehler bei HWAccess" slots "${out}")
list(LENGTH slots slot_count)
if(NOT status EQUAL 2 OR NOT out MATCHES "Keine Karte gefunden\\." OR slot_count EQUAL 0)
  message(FATAL_ERROR "FlashUpdateCli.exe list: Status ${status}, Ausgabe '${out}' ${err}")
endif()
message(STATUS "FlashUpdateCli.exe aus dem Paket: ${out}")
