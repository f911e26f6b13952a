# `cmake --install <build> --prefix <dir>` lays out a kiosk that runs from <dir>:
#
#   <dir>/orvalen.exe
#   <dir>/flutter_windows.dll and the five plug-in DLLs
#   <dir>/data/flutter_assets/, data/icudtl.dat, data/app.so
#
# With ORVALEN_BUNDLE_DIR, everything in that folder (the app's release bundle: the engine, the
# plug-ins and data/) is installed unchanged beside the exe. Without it, a stand-in build installs
# the stand-in DLLs and a data/ that plays the demo scenario; a real-engine build installs the exe
# alone and says so at configure time. An MSVC build with the dynamic C runtime also installs the
# runtime's DLLs beside the exe, so the kiosk needs no redistributable installer.

install(TARGETS orvalen RUNTIME DESTINATION .)

if(ORVALEN_BUNDLE_DIR)
  if(NOT IS_DIRECTORY "${ORVALEN_BUNDLE_DIR}")
    message(FATAL_ERROR "ORVALEN_BUNDLE_DIR: no such folder: ${ORVALEN_BUNDLE_DIR}")
  endif()
  set(expected flutter_windows.dll data/flutter_assets data/icudtl.dat data/app.so)
  foreach(plugin IN LISTS ORVALEN_PLUGIN_NAMES)
    list(APPEND expected ${plugin}.dll)
  endforeach()
  set(absent "")
  foreach(entry IN LISTS expected)
    if(NOT EXISTS "${ORVALEN_BUNDLE_DIR}/${entry}")
      list(APPEND absent ${entry})
    endif()
  endforeach()
  if(absent)
    list(JOIN absent ", " absent_text)
    message(WARNING "ORVALEN_BUNDLE_DIR (${ORVALEN_BUNDLE_DIR}) lacks ${absent_text}; "
      "the installed kiosk will not start without them")
  endif()
  # The trailing slash installs the folder's contents, not the folder.
  install(DIRECTORY "${ORVALEN_BUNDLE_DIR}/" DESTINATION . USE_SOURCE_PERMISSIONS)
elseif(ORVALEN_REAL_ENGINE)
  message(WARNING "No ORVALEN_BUNDLE_DIR: cmake --install installs orvalen.exe alone; put the "
    "app's release bundle (flutter_windows.dll, the plug-in DLLs, data\\) beside it")
else()
  install(TARGETS flutter_windows ${ORVALEN_PLUGIN_NAMES} RUNTIME DESTINATION .)
  set(demo_data ${CMAKE_BINARY_DIR}/demo-bundle/data)
  file(MAKE_DIRECTORY ${demo_data}/flutter_assets)
  # The stand-in reads no ICU data, but like a real engine it refuses to start without the file.
  file(WRITE ${demo_data}/icudtl.dat "")
  install(DIRECTORY ${demo_data}/ DESTINATION data)
  install(FILES ${PROJECT_SOURCE_DIR}/standin/scenarios/demo.scenario DESTINATION data
          RENAME app.so)
endif()

# InstallRequiredSystemLibraries finds the runtime through Visual Studio's installation, which only
# a Windows host has (clang-cl on Linux has none).
if(MSVC AND NOT ORVALEN_MSVC_STATIC_RUNTIME)
  if(CMAKE_HOST_WIN32)
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    set(CMAKE_INSTALL_UCRT_LIBRARIES OFF)
    include(InstallRequiredSystemLibraries)
  else()
    message(WARNING "Not on Windows: cmake --install cannot find the Visual C++ runtime's DLLs; "
      "put vcruntime140.dll, vcruntime140_1.dll and msvcp140.dll beside orvalen.exe by hand")
  endif()
endif()
