# orvalen.exe and the shell helpers (Windows build only; included from shell/CMakeLists.txt).

# Console and command-line helpers, a library of their own so that tests can link them.
add_library(orvalen_shell STATIC console.cpp command_line.cpp)
target_include_directories(orvalen_shell PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvalen_shell PUBLIC orvalen_engine shell32)

add_executable(orvalen WIN32 main.cpp)
set_target_properties(orvalen PROPERTIES OUTPUT_NAME orvalen)
orvalen_unicode_entry(orvalen)
# Icon, manifest and version block come from resources/ (an OBJECT library).
target_link_libraries(orvalen PRIVATE
  orvalen_shell orvalen_project orvalen_host orvalen_window orvalen_resources ole32)
orvalen_windows_binary(orvalen)
