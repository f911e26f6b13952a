# Tests that run on the virtual multi-monitor desk (scripts/desk): a headless Xorg server with a
# fixed monitor layout and a Wine prefix of its own, set up and torn down around each test.
#
#   orvalen_add_desk_test(NAME <name> LAYOUT <a layout of scripts/desk-layouts.json>
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
#
#   orvalen_desk_monitors(<layout> <var> [WITHOUT_OUTPUT <output>])
#
# The layout's monitors as desk_layout_check takes them, from the same table the desk builds its
# X server from: LEFT,TOP,RIGHT,BOTTOM in Windows coordinates, ",primary" after the primary one.
# WITHOUT_OUTPUT leaves out the monitor of that RandR output (switched off while the desk runs).
#
#   orvalen_desk_work_area(<layout> <var>)
#
# "work=LEFT,TOP,RIGHT,BOTTOM", the layout's work area in Windows coordinates as desk_layout_check
# takes it, or nothing when the layout has none (each monitor's work area is then the monitor).
#
#   orvalen_desk_output(<layout> <output> <mode-var> <position-var>)
#
# The xrandr --mode and --pos values that put a RandR output back where the layout has it.

# Once per directory tree: the variables it sets are inherited by subdirectories.
include_guard(DIRECTORY)

set(ORVALEN_DESK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/desk)
cmake_path(NORMAL_PATH ORVALEN_DESK_SCRIPT)
set(ORVALEN_DESK_LAYOUTS ${CMAKE_CURRENT_LIST_DIR}/../scripts/desk-layouts.json)
cmake_path(NORMAL_PATH ORVALEN_DESK_LAYOUTS)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ORVALEN_DESK_LAYOUTS})
file(READ ${ORVALEN_DESK_LAYOUTS} ORVALEN_DESK_LAYOUT_TABLE)
string(JSON _orvalen_desk_count LENGTH "${ORVALEN_DESK_LAYOUT_TABLE}" layouts)
set(ORVALEN_DESK_LAYOUT_NAMES "")
math(EXPR _orvalen_desk_last "${_orvalen_desk_count} - 1")
foreach(_orvalen_desk_i RANGE ${_orvalen_desk_last})
  string(JSON _orvalen_desk_name MEMBER "${ORVALEN_DESK_LAYOUT_TABLE}" layouts ${_orvalen_desk_i})
  list(APPEND ORVALEN_DESK_LAYOUT_NAMES ${_orvalen_desk_name})
endforeach()

# Monitor <i> of a layout: sets <prefix>_left, _top, _right, _bottom, _width, _height, _primary
# (ON or OFF) and _output (empty on a Xinerama desk).
function(_orvalen_desk_monitor layout i prefix)
  string(JSON monitor GET "${ORVALEN_DESK_LAYOUT_TABLE}" layouts ${layout} monitors ${i})
  foreach(key left top width height)
    string(JSON ${key} GET "${monitor}" ${key})
  endforeach()
  string(JSON primary ERROR_VARIABLE no_primary GET "${monitor}" primary)
  string(JSON output ERROR_VARIABLE no_output GET "${monitor}" output)
  math(EXPR right "${left} + ${width}")
  math(EXPR bottom "${top} + ${height}")
  foreach(key left top right bottom width height)
    set(${prefix}_${key} ${${key}} PARENT_SCOPE)
  endforeach()
  if(no_primary OR NOT primary)
    set(${prefix}_primary OFF PARENT_SCOPE)
  else()
    set(${prefix}_primary ON PARENT_SCOPE)
  endif()
  if(no_output)
    set(output "")
  endif()
  set(${prefix}_output "${output}" PARENT_SCOPE)
endfunction()

function(_orvalen_desk_check_layout layout context)
  if(NOT layout IN_LIST ORVALEN_DESK_LAYOUT_NAMES)
    list(JOIN ORVALEN_DESK_LAYOUT_NAMES ", " names)
    message(FATAL_ERROR "${context}: LAYOUT must be one of scripts/desk-layouts.json: ${names}")
  endif()
endfunction()

function(orvalen_desk_monitors layout var)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "WITHOUT_OUTPUT" "")
  _orvalen_desk_check_layout("${layout}" orvalen_desk_monitors)
  string(JSON count LENGTH "${ORVALEN_DESK_LAYOUT_TABLE}" layouts ${layout} monitors)
  math(EXPR last "${count} - 1")
  set(monitors "")
  foreach(i RANGE ${last})
    _orvalen_desk_monitor(${layout} ${i} m)
    if(arg_WITHOUT_OUTPUT AND m_output STREQUAL arg_WITHOUT_OUTPUT)
      continue()
    endif()
    set(monitor "${m_left},${m_top},${m_right},${m_bottom}")
    if(m_primary)
      string(APPEND monitor ",primary")
    endif()
    list(APPEND monitors ${monitor})
  endforeach()
  set(${var} ${monitors} PARENT_SCOPE)
endfunction()

function(orvalen_desk_work_area layout var)
  _orvalen_desk_check_layout("${layout}" orvalen_desk_work_area)
  string(JSON area ERROR_VARIABLE no_area
         GET "${ORVALEN_DESK_LAYOUT_TABLE}" layouts ${layout} work_area)
  if(no_area)
    set(${var} "" PARENT_SCOPE)
    return()
  endif()
  foreach(key left top width height)
    string(JSON ${key} GET "${area}" ${key})
  endforeach()
  math(EXPR right "${left} + ${width}")
  math(EXPR bottom "${top} + ${height}")
  set(${var} "work=${left},${top},${right},${bottom}" PARENT_SCOPE)
endfunction()

function(orvalen_desk_output layout output mode_var position_var)
  _orvalen_desk_check_layout("${layout}" orvalen_desk_output)
  string(JSON count LENGTH "${ORVALEN_DESK_LAYOUT_TABLE}" layouts ${layout} monitors)
  math(EXPR last "${count} - 1")
  # X positions count from the desk's top-left corner.
  _orvalen_desk_monitor(${layout} 0 m)
  set(origin_x ${m_left})
  set(origin_y ${m_top})
  foreach(i RANGE ${last})
    _orvalen_desk_monitor(${layout} ${i} m)
    if(m_left LESS origin_x)
      set(origin_x ${m_left})
    endif()
    if(m_top LESS origin_y)
      set(origin_y ${m_top})
    endif()
  endforeach()
  foreach(i RANGE ${last})
    _orvalen_desk_monitor(${layout} ${i} m)
    if(m_output STREQUAL output)
      math(EXPR x "${m_left} - ${origin_x}")
      math(EXPR y "${m_top} - ${origin_y}")
      set(${mode_var} ${m_width}x${m_height} PARENT_SCOPE)
      set(${position_var} ${x}x${y} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "orvalen_desk_output: layout ${layout} has no output ${output}")
endfunction()

function(orvalen_add_desk_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg ""
    "NAME;LAYOUT;TIMEOUT;DPI;THEME;WORKING_DIRECTORY;DEBUG_OUT" "COMMAND;LABELS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "orvalen_add_desk_test: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "orvalen_add_desk_test: NAME and COMMAND are required")
  endif()
  _orvalen_desk_check_layout("${arg_LAYOUT}" "orvalen_add_desk_test(${arg_NAME})")
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
