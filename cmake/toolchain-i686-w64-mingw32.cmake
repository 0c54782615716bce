# Cross build of the 32-bit Windows programs with mingw-w64 (posix thread model:
# the win32 variant cannot build GoogleTest or std::mutex code).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Self-contained executables: no libgcc, libstdc++ or winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
find_program(WINE_EXECUTABLE NAMES wine)
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
  # A kernel that runs no 32-bit programs fails Wine's i386 loader with "Exec
  # format error" (status 126): then the tests run Wine under qemu-i386, once per
  # test program, with longer time limits (FU_WINE_UNDER_QEMU).
  execute_process(COMMAND ${WINE_EXECUTABLE} --version
    RESULT_VARIABLE fu_wine_status OUTPUT_QUIET ERROR_QUIET)
  set(fu_wine_qemu ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-qemu.sh)
  if(fu_wine_status EQUAL 126)
    execute_process(COMMAND ${fu_wine_qemu} --check RESULT_VARIABLE fu_wine_qemu_status
      OUTPUT_QUIET ERROR_QUIET)
    if(fu_wine_qemu_status EQUAL 0)
      get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${fu_wine_qemu} ABSOLUTE)
      set(FU_WINE_UNDER_QEMU ON)
    endif()
  endif()
endif()
