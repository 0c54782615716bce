# Texts for the customer: UTF-8 with LF in the repository, code page 1252 with
# CRLF as shipped (Notepad on Windows 95 reads nothing else). Only the
# characters in the table are converted; any other non-ASCII character stops
# the conversion, so that nothing ships that Notepad would show garbled.

# UTF-8 character = its code in code page 1252.
set(FU_CP1252_TABLE
  "ä=228" "ö=246" "ü=252" "Ä=196" "Ö=214" "Ü=220" "ß=223" "é=233" "§=167" "°=176"
  "–=150" "„=132" "“=147" "…=133")

function(fu_utf8_to_cp1252_crlf text out_var)
  set(rest "${text}")
  foreach(entry IN LISTS FU_CP1252_TABLE)
    string(REGEX MATCH "^(.+)=([0-9]+)$" _ "${entry}")
    string(ASCII ${CMAKE_MATCH_2} byte)
    string(REPLACE "${CMAKE_MATCH_1}" "${byte}" text "${text}")
    string(REPLACE "${CMAKE_MATCH_1}" "" rest "${rest}")
  endforeach()
  string(REGEX MATCH "[^\t\n -~][^\n]*" unmapped "${rest}")
  if(unmapped OR text MATCHES "\r")
    message(FATAL_ERROR "Nicht in Codepage 1252 umsetzbar (oder CR im Text): ${unmapped}")
  endif()
  string(REPLACE "\n" "\r\n" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(fu_cp1252_to_utf8 text out_var)
  # Through ASCII marks first: a UTF-8 sequence may hold another entry's byte.
  foreach(entry IN LISTS FU_CP1252_TABLE)
    string(REGEX MATCH "^(.+)=([0-9]+)$" _ "${entry}")
    string(ASCII ${CMAKE_MATCH_2} byte)
    string(REPLACE "${byte}" "@FU_CP1252_${CMAKE_MATCH_2}@" text "${text}")
  endforeach()
  foreach(entry IN LISTS FU_CP1252_TABLE)
    string(REGEX MATCH "^(.+)=([0-9]+)$" _ "${entry}")
    string(REPLACE "@FU_CP1252_${CMAKE_MATCH_2}@" "${CMAKE_MATCH_1}" text "${text}")
  endforeach()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()
