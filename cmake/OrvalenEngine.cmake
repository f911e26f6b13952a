# The engine library and the five plug-in libraries that orvalen.exe imports at load time, each
# defined once for the whole build (Windows builds only):
#
#   orvalen_engine   links flutter_windows.dll's functions
#   orvalen_plugins  links the five plug-ins' registration functions
#
# Two modes, chosen by two cache variables that are given together or not at all:
#
#   stand-in (default)  both come from standin/: our engine double and plug-in DLLs
#   real engine         ORVALEN_ENGINE_LIBRARY names the engine's import library
#                       (flutter_windows.dll.lib) and ORVALEN_PLUGIN_LIBRARIES the five plug-ins'
#                       import libraries, a list in any order. Nothing of standin/ is configured,
#                       and tests that need it are left out. With MinGW an import library may be
#                       a .dll.a or the DLL itself.
#
# ORVALEN_REAL_ENGINE is ON in the second mode.

set(ORVALEN_ENGINE_LIBRARY "" CACHE FILEPATH
    "Import library of the real flutter_windows.dll; empty: the stand-in engine")
set(ORVALEN_PLUGIN_LIBRARIES "" CACHE STRING
    "Import libraries of the five real plug-ins (a list); empty: the stand-in plug-ins")

# The five plug-ins: library file base name|the registration function it exports. The product's
# own table is in host/; the stand-in builds one DLL per entry.
set(ORVALEN_PLUGINS
  "screen_retriever_windows_plugin|ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar"
  "share_plus_plugin|SharePlusWindowsPluginCApiRegisterWithRegistrar"
  "url_launcher_windows_plugin|UrlLauncherWindowsRegisterWithRegistrar"
  "video_player_win_plugin|VideoPlayerWinPluginCApiRegisterWithRegistrar"
  "window_manager_plugin|WindowManagerPluginRegisterWithRegistrar")
set(ORVALEN_PLUGIN_NAMES "")
foreach(entry IN LISTS ORVALEN_PLUGINS)
  string(REGEX REPLACE "\\|.*" "" name "${entry}")
  list(APPEND ORVALEN_PLUGIN_NAMES ${name})
endforeach()
# The same list for the tests and scripts (one "library|function" a line), so that this stays the
# only copy: <build>/orvalen-plugins.txt.
list(JOIN ORVALEN_PLUGINS "\n" plugin_lines)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/orvalen-plugins.txt CONTENT "${plugin_lines}\n" @ONLY)

set(ORVALEN_REAL_ENGINE OFF)
if(ORVALEN_ENGINE_LIBRARY AND NOT ORVALEN_PLUGIN_LIBRARIES)
  message(FATAL_ERROR "ORVALEN_ENGINE_LIBRARY is set but ORVALEN_PLUGIN_LIBRARIES is not: "
    "a build against the real engine also needs the import libraries of the five real plug-ins "
    "(${ORVALEN_PLUGIN_NAMES}), since the stand-in plug-ins only load with the stand-in engine. "
    "Set both, or neither for the stand-in engine and plug-ins.")
elseif(ORVALEN_PLUGIN_LIBRARIES AND NOT ORVALEN_ENGINE_LIBRARY)
  message(FATAL_ERROR "ORVALEN_PLUGIN_LIBRARIES is set but ORVALEN_ENGINE_LIBRARY is not: "
    "the real plug-ins need the real engine's import library (flutter_windows.dll.lib) in "
    "ORVALEN_ENGINE_LIBRARY. Set both, or neither for the stand-in engine and plug-ins.")
elseif(ORVALEN_ENGINE_LIBRARY)
  set(ORVALEN_REAL_ENGINE ON)
endif()

if(NOT WIN32)
  if(ORVALEN_REAL_ENGINE)
    message(FATAL_ERROR "ORVALEN_ENGINE_LIBRARY and ORVALEN_PLUGIN_LIBRARIES are for Windows builds")
  endif()
  return()
endif()

# The name a library file stands for: flutter_windows.dll.lib, libflutter_windows.dll.a,
# flutter_windows.dll and flutter_windows.lib all name flutter_windows.
function(orvalen_library_stem path out)
  cmake_path(GET path FILENAME name)
  string(TOLOWER "${name}" name)
  string(REGEX REPLACE "(\\.dll)?\\.(lib|a)$" "" name "${name}")
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  string(REGEX REPLACE "^lib" "" name "${name}")
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

function(orvalen_import_library target path what)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${what}: no such file: ${path}")
  endif()
  # MinGW's ld links a DLL directly; link.exe takes only its import library, and a DLL given
  # instead would fail the link much later (LNK1107) with no word of this option.
  if(MSVC AND path MATCHES "\\.[dD][lL][lL]$")
    message(FATAL_ERROR "${what}: ${path} is a DLL, and the MSVC linker links only import "
      "libraries. Give the .lib that was built with the DLL (flutter_windows.dll.lib for the "
      "engine, <plugin>.lib for a plug-in).")
  endif()
  add_library(${target} SHARED IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_IMPLIB "${path}")
endfunction()

add_library(orvalen_engine INTERFACE)
add_library(orvalen_plugins INTERFACE)

if(NOT ORVALEN_REAL_ENGINE)
  # Defined in standin/; the names resolve when the build is generated.
  target_link_libraries(orvalen_engine INTERFACE flutter_windows)
  target_link_libraries(orvalen_plugins INTERFACE ${ORVALEN_PLUGIN_NAMES})
  message(STATUS "engine: the stand-in engine and plug-ins (standin/)")
  return()
endif()

orvalen_import_library(orvalen_real_engine "${ORVALEN_ENGINE_LIBRARY}" ORVALEN_ENGINE_LIBRARY)
target_link_libraries(orvalen_engine INTERFACE orvalen_real_engine)

# Every plug-in exactly once, whatever the order they are given in.
set(missing ${ORVALEN_PLUGIN_NAMES})
set(plugin_libraries ${ORVALEN_PLUGIN_LIBRARIES})
list(REMOVE_ITEM plugin_libraries "")  # a trailing or doubled ';' names nothing
foreach(path IN LISTS plugin_libraries)
  orvalen_library_stem("${path}" stem)
  list(FIND ORVALEN_PLUGIN_NAMES "${stem}" known)
  if(known EQUAL -1)
    message(FATAL_ERROR "ORVALEN_PLUGIN_LIBRARIES: ${path} is none of the five plug-ins "
      "(${ORVALEN_PLUGIN_NAMES})")
  endif()
  list(FIND missing "${stem}" still_missing)
  if(still_missing EQUAL -1)
    message(FATAL_ERROR "ORVALEN_PLUGIN_LIBRARIES names ${stem} twice")
  endif()
  list(REMOVE_ITEM missing "${stem}")
  orvalen_import_library(orvalen_real_${stem} "${path}" ORVALEN_PLUGIN_LIBRARIES)
  target_link_libraries(orvalen_plugins INTERFACE orvalen_real_${stem})
endforeach()
if(missing)
  list(JOIN missing ", " missing_text)
  message(FATAL_ERROR "ORVALEN_PLUGIN_LIBRARIES lacks the import library of: ${missing_text}")
endif()
message(STATUS "engine: the real engine ${ORVALEN_ENGINE_LIBRARY} and plug-ins")
