# Windows-side kiosk window tests. Each executable runs under Wine on the virtual desk whose monitor
# arrangement its tests were written for; the desk function comes from cmake/OrvalenDesk.cmake.

add_library(window_desk_support STATIC desk_support.cpp)
target_include_directories(window_desk_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(window_desk_support PUBLIC orvalen_window GTest::gtest)

function(orvalen_window_test_exe name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE window_desk_support)
  orvalen_windows_binary(${name})
endfunction()

orvalen_window_test_exe(window_three_tests three_monitor_test.cpp desk_main.cpp)
orvalen_window_test_exe(window_two_tests two_monitor_test.cpp)
target_link_libraries(window_two_tests PRIVATE GTest::gtest_main)
orvalen_window_test_exe(window_stacked_tests stacked_monitor_test.cpp)
target_link_libraries(window_stacked_tests PRIVATE GTest::gtest_main)
orvalen_window_test_exe(window_one_tests one_monitor_test.cpp)
target_link_libraries(window_one_tests PRIVATE GTest::gtest_main)
orvalen_window_test_exe(window_dpi_tests dpi_test.cpp)
orvalen_window_test_exe(window_theme_tests theme_test.cpp)
orvalen_window_test_exe(window_hotkey_probe hotkey_probe.cpp)

add_custom_target(window_wine_tests DEPENDS window_three_tests window_two_tests
  window_stacked_tests window_one_tests window_dpi_tests window_theme_tests window_hotkey_probe)

if(NOT ORVALEN_WINE)
  return()
endif()
include(OrvalenDesk)

# The debugger's record of the debug output is checked by the tests themselves.
set(three_debug_out ${CMAKE_CURRENT_BINARY_DIR}/window_three.debug.txt)
orvalen_add_desk_test(NAME window.three LAYOUT three-workarea DEBUG_OUT ${three_debug_out}
                      COMMAND window_three_tests --debug-out=${three_debug_out} LABELS window TIMEOUT 180)
orvalen_add_desk_test(NAME window.two LAYOUT two COMMAND window_two_tests LABELS window TIMEOUT 120)
orvalen_add_desk_test(NAME window.stacked LAYOUT stacked COMMAND window_stacked_tests LABELS window TIMEOUT 120)
orvalen_add_desk_test(NAME window.one LAYOUT one COMMAND window_one_tests LABELS window TIMEOUT 120)
# Real key presses through the X server reach the registered hot-keys.
orvalen_add_desk_test(NAME window.hotkey_keys LAYOUT three-workarea
                      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/hotkey_keys.sh $<TARGET_FILE:window_hotkey_probe>
                      LABELS window TIMEOUT 120)
foreach(dpi 96 120 144)
  orvalen_add_desk_test(NAME window.dpi_${dpi} LAYOUT one DPI ${dpi}
                        COMMAND window_dpi_tests --expect-dpi=${dpi} LABELS window TIMEOUT 120)
endforeach()
orvalen_add_desk_test(NAME window.theme_dark LAYOUT one THEME 0
                      COMMAND window_theme_tests --expect-dark=1 LABELS window TIMEOUT 120)
orvalen_add_desk_test(NAME window.theme_light LAYOUT one THEME 1
                      COMMAND window_theme_tests --expect-dark=0 LABELS window TIMEOUT 120)
orvalen_add_desk_test(NAME window.theme_unset LAYOUT one THEME none
                      COMMAND window_theme_tests --expect-dark=none LABELS window TIMEOUT 120)
