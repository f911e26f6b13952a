# Tests that run on the virtual multi-monitor desk (scripts/desk): a headless Xorg server with a
# fixed monitor layout and a Wine prefix of its own, set up and torn down around each test.
#
#   orvalen_add_desk_test(NAME <name> LAYOUT <three|two|stacked|one|three-live>
#                         COMMAND <target-or-path> [args...]
#                         [LABELS <label>...]        default: window
#                         [TIMEOUT <seconds>]        default: 120, for the command alone
#                         [DPI <n>]                  default: 96
#                         [THEME <0|1|none>]         default: none (AppsUseLightTheme absent)
#                         [WORKING_DIRECTORY <dir>]  default: the current binary dir
#                         [DEBUG_OUT <file>])        debug-output lines, relative to the binary dir
#
# A COMMAND that names a target runs that target's file. A .exe runs under Wine with its debug
# output captured; anything else runs as a Linux program with DISPLAY and WINEPREFIX set (see
# scripts/desk). The Wine prefixes are cached in ${CMAKE_BINARY_DIR}/desk; each concurrently
# running test gets its own display number and prefix, so `ctest -j` is safe.
#
# Nothing is registered unless this is the windows build with ORVALEN_WINE on.

set(ORVALEN_DESK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/desk)
cmake_path(NORMAL_PATH ORVALEN_DESK_SCRIPT)

function(orvalen_add_desk_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg ""
    "NAME;LAYOUT;TIMEOUT;DPI;THEME;WORKING_DIRECTORY;DEBUG_OUT" "COMMAND;LABELS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "orvalen_add_desk_test: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "orvalen_add_desk_test: NAME and COMMAND are required")
  endif()
  if(NOT arg_LAYOUT MATCHES "^(three|two|stacked|one|three-live)$")
    message(FATAL_ERROR "orvalen_add_desk_test(${arg_NAME}): LAYOUT must be three, two, stacked, one or three-live")
  endif()
  if(NOT WIN32 OR NOT ORVALEN_WINE)
    return()
  endif()

  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  if(NOT arg_LABELS)
    set(arg_LABELS window)
  endif()
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()

  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()

  set(desk_args run --build ${CMAKE_BINARY_DIR} --layout ${arg_LAYOUT} --timeout ${arg_TIMEOUT})
  if(DEFINED arg_DPI)
    list(APPEND desk_args --dpi ${arg_DPI})
  endif()
  if(DEFINED arg_THEME)
    list(APPEND desk_args --theme ${arg_THEME})
  endif()
  if(arg_DEBUG_OUT)
    cmake_path(ABSOLUTE_PATH arg_DEBUG_OUT BASE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    list(APPEND desk_args --debug-out ${arg_DEBUG_OUT})
  endif()

  add_test(NAME ${arg_NAME}
           COMMAND ${ORVALEN_DESK_SCRIPT} ${desk_args} -- ${program} ${arg_COMMAND}
           WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  # The desk's own set-up and tear-down (and, once per build tree, making the Wine prefix) come on
  # top of the command's time; the script enforces the command's own limit.
  math(EXPR ctest_timeout "${arg_TIMEOUT} + 90")
  set_tests_properties(${arg_NAME} PROPERTIES LABELS "${arg_LABELS}" TIMEOUT ${ctest_timeout})
endfunction()
