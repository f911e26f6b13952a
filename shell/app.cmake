# orvalen.exe and the shell helpers (Windows build only; included from shell/CMakeLists.txt).

if(ORVALEN_ENGINE_LIBRARY)
  set(orvalen_shell_engine ${ORVALEN_ENGINE_LIBRARY})
elseif(TARGET flutter_windows)
  set(orvalen_shell_engine flutter_windows)  # the stand-in, from standin/
else()
  message(STATUS "shell: no engine library yet; orvalen.exe is not built")
  return()
endif()

# Console and command-line helpers, a library of their own so that tests can link them.
add_library(orvalen_shell STATIC console.cpp command_line.cpp)
target_include_directories(orvalen_shell PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(orvalen_shell PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
target_link_libraries(orvalen_shell PUBLIC ${orvalen_shell_engine} shell32)

add_executable(orvalen WIN32 main.cpp)
set_target_properties(orvalen PROPERTIES OUTPUT_NAME orvalen)
if(MINGW)
  # wWinMain is the entry point: MinGW needs the Unicode start-up code for it.
  target_link_options(orvalen PRIVATE -municode)
endif()
target_link_libraries(orvalen PRIVATE orvalen_shell orvalen_project orvalen_window ole32)

# The host window replaces the bare kiosk window once its library exists.
if(TARGET orvalen_host)
  target_compile_definitions(orvalen PRIVATE ORVALEN_HAS_FLUTTER_WINDOW)
  target_link_libraries(orvalen PRIVATE orvalen_host)
endif()

# Icon, manifest and version block (an OBJECT library of resources/).
if(TARGET orvalen_resources)
  target_link_libraries(orvalen PRIVATE orvalen_resources)
endif()

orvalen_windows_binary(orvalen)
