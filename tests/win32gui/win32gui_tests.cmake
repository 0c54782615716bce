# The Win32 window on a simulated PC, in the test program's own process: the
# real main window and progress windows, message boxes answered by a script.
# Windows need a display, so the test runs in a virtual X server. Read by
# frontends/win32 at the end of the top-level list.
add_executable(win32gui_tests
  ${CMAKE_CURRENT_LIST_DIR}/test_win32_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_win32_layout.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/card_kinds.cpp
  ${PROJECT_SOURCE_DIR}/frontends/win32/header.rc)
set_target_properties(win32gui_tests PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/win32gui)
target_include_directories(win32gui_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(win32gui_tests PRIVATE fu_win32gui fu_sim GTest::gtest_main fu_warnings)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/frontends/win32/header.rc APPEND PROPERTY
  OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/frontends/win32/res/header.bmp)

# FlashUpdateSim.exe itself, driven from outside as a user would: start-up,
# one upgrade, the close. The screenshots script runs the same session.
add_library(fu_session_support STATIC ${CMAKE_CURRENT_LIST_DIR}/session_support.cpp)
target_include_directories(fu_session_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(fu_session_support PUBLIC fu_platform PRIVATE fu_warnings)
add_executable(win32gui_session ${CMAKE_CURRENT_LIST_DIR}/sim_program_session.cpp)
target_link_libraries(win32gui_session PRIVATE fu_win32gui fu_session_support fu_sim fu_warnings)
add_dependencies(win32gui_session flashupdate_sim_win32)
set_target_properties(win32gui_session PROPERTIES
  OUTPUT_NAME win32gui_session RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/win32gui)

# FlashUpdate.exe and FlashUpdateCli.exe, as shipped, on a PC without the driver.
add_executable(product_session ${CMAKE_CURRENT_LIST_DIR}/product_session.cpp)
target_link_libraries(product_session PRIVATE fu_win32gui fu_session_support advapi32 fu_warnings)
add_dependencies(product_session flashupdate_win32 flashupdate_cli)
set_target_properties(product_session PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/win32gui)

find_program(FU_XVFB_RUN xvfb-run)
if(NOT FU_XVFB_RUN OR NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(WARNING "xvfb-run or wine missing: the Win32 window tests are not run")
  return()
endif()
# Wine binds its desktop to the display of the prefix's first window process, so
# the test script starts the prefix on a display; run alone, the test gets one.
set(FU_WITH_DISPLAY ${CMAKE_CURRENT_LIST_DIR}/with_display.sh)
add_test(NAME win32gui_tests
  COMMAND ${FU_WITH_DISPLAY} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win32gui_tests>)
# A window that waits for input it never gets would hang the run; this ends it.
set_tests_properties(win32gui_tests PROPERTIES TIMEOUT 120 RESOURCE_LOCK xvfb)
add_test(NAME win32gui_sim_program
  COMMAND ${FU_WITH_DISPLAY} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win32gui_session>
          $<TARGET_FILE:flashupdate_sim_win32>)
set_tests_properties(win32gui_sim_program PROPERTIES TIMEOUT 180 RESOURCE_LOCK xvfb)
add_test(NAME win32gui_product_without_driver
  COMMAND ${FU_WITH_DISPLAY} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:product_session>
          $<TARGET_FILE:flashupdate_win32> $<TARGET_FILE:flashupdate_cli>
          ${PROJECT_SOURCE_DIR}/src/sim/dsp/QX4FLASH_PCI.PCI)
set_tests_properties(win32gui_product_without_driver PROPERTIES TIMEOUT 360
  RESOURCE_LOCK "xvfb;flashupdate_mutex")
# Under qemu-i386 each process start costs a minute, also those the sessions wait for.
if(FU_WINE_UNDER_QEMU)
  set_tests_properties(win32gui_tests win32gui_sim_program PROPERTIES TIMEOUT 1500)
  # Both programs start twice: as Wine's default Windows and as NT 4.0.
  set_tests_properties(win32gui_product_without_driver PROPERTIES TIMEOUT 3000)
  set_tests_properties(win32gui_sim_program win32gui_product_without_driver
    PROPERTIES ENVIRONMENT FU_SESSION_TIME_SCALE=15)
endif()
