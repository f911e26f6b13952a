# Windows-side kiosk window tests. Each executable runs under Wine on the virtual desk whose monitor
# arrangement its tests were written for; the desk function comes from cmake/OrvalenDesk.cmake.

add_library(window_desk_support STATIC desk_support.cpp)
target_include_directories(window_desk_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(window_desk_support PUBLIC orvalen_window GTest::gtest)
add_custom_target(window_wine_tests)
if(ORVALEN_WINE)
  include(OrvalenDesk)
endif()

# orvalen_window_test(<test> <executable> SOURCES <file>... [RUNNER <program>] [ARGS <arg>...]
#                     LAYOUT <layout> [<more orvalen_add_desk_test options>])
# The first call for an executable builds it into window_wine_tests, Wine or not (later calls name
# the same sources; one source holds main(), desk_main.cpp GoogleTest's). With Wine it registers
# <test>: `[RUNNER] <executable> ARGS` on the desk that LAYOUT and the options after it describe.
function(orvalen_window_test test exe)
  # LAYOUT collects the desk options that follow it, handed on as they are.
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "RUNNER" "SOURCES;ARGS;LAYOUT")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "orvalen_window_test(${test}): unexpected ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${exe})
    add_executable(${exe} ${arg_SOURCES})
    target_link_libraries(${exe} PRIVATE window_desk_support)
    orvalen_windows_binary(${exe})
    add_dependencies(window_wine_tests ${exe})
  else()
    get_target_property(sources ${exe} SOURCES)
    if(NOT sources STREQUAL arg_SOURCES)
      message(FATAL_ERROR "orvalen_window_test(${test}): ${exe} is built from ${sources}")
    endif()
  endif()
  if(ORVALEN_WINE)
    set(command ${exe})
    if(arg_RUNNER)
      set(command ${arg_RUNNER} $<TARGET_FILE:${exe}>)
    endif()
    orvalen_add_desk_test(NAME ${test} COMMAND ${command} ${arg_ARGS} LAYOUT ${arg_LAYOUT})
  endif()
endfunction()

# The debugger's record of the debug output is checked by the tests themselves.
set(three_debug_out ${CMAKE_CURRENT_BINARY_DIR}/window_three.debug.txt)
orvalen_window_test(window.three window_three_tests SOURCES three_monitor_test.cpp desk_main.cpp
                    ARGS --debug-out=${three_debug_out}
                    LAYOUT three-workarea TIMEOUT 180 DEBUG_OUT ${three_debug_out})
orvalen_window_test(window.two window_two_tests SOURCES two_monitor_test.cpp desk_main.cpp
                    LAYOUT two)
orvalen_window_test(window.stacked window_stacked_tests
                    SOURCES stacked_monitor_test.cpp desk_main.cpp LAYOUT stacked)
orvalen_window_test(window.one window_one_tests SOURCES one_monitor_test.cpp desk_main.cpp
                    LAYOUT one)
# Real key presses through the X server reach the registered hot-keys.
orvalen_window_test(window.hotkey_keys window_hotkey_probe SOURCES hotkey_probe.cpp
                    LAYOUT three-workarea RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/hotkey_keys.sh)
foreach(dpi 96 120 144)
  orvalen_window_test(window.dpi_${dpi} window_dpi_tests SOURCES dpi_test.cpp
                      ARGS --expect-dpi=${dpi} LAYOUT one DPI ${dpi})
endforeach()
orvalen_window_test(window.theme_dark window_theme_tests SOURCES theme_test.cpp
                    ARGS --expect-dark=1 LAYOUT one THEME 0)
orvalen_window_test(window.theme_light window_theme_tests SOURCES theme_test.cpp
                    ARGS --expect-dark=0 LAYOUT one THEME 1)
orvalen_window_test(window.theme_unset window_theme_tests SOURCES theme_test.cpp
                    ARGS --expect-dark=none LAYOUT one THEME none)
