# Build switches shared by every folder.
#
#   ORVALEN_SANITIZE  host build: targets passed to orvalen_sanitize() get ASan + UBSan.
#   ORVALEN_FUZZ      build the libFuzzer targets in fuzz/ (needs clang).
#   ORVALEN_BENCH     build the benchmarks in bench/ (meant for a Release build).
#   ORVALEN_TESTS     build the tests in tests/.
#   ORVALEN_WINE      MinGW cross build: register the tests that run under Wine on the virtual
#                     desk. On by default exactly there; a build on Windows, or with cl or
#                     clang-cl, has no desk.
#   ORVALEN_BUNDLE_DIR           windows build: the app's release bundle, installed beside the exe.
#   ORVALEN_MSVC_STATIC_RUNTIME  MSVC: link the C runtime statically instead of installing the
#                                redistributable's DLLs beside the exe.

option(ORVALEN_SANITIZE "Instrument host targets with AddressSanitizer and UBSan" OFF)
option(ORVALEN_FUZZ "Build the libFuzzer targets (clang only)" OFF)
option(ORVALEN_BENCH "Build the benchmarks" OFF)
option(ORVALEN_TESTS "Build the tests" ON)
if(MINGW AND CMAKE_CROSSCOMPILING)
  set(orvalen_wine_default ON)
else()
  set(orvalen_wine_default OFF)
endif()
option(ORVALEN_WINE "Run the Windows-side tests under Wine (MinGW cross builds)"
       ${orvalen_wine_default})
if(ORVALEN_WINE AND WIN32 AND NOT (MINGW AND CMAKE_CROSSCOMPILING))
  message(FATAL_ERROR "ORVALEN_WINE is ON, but the Wine desk runs only a MinGW cross build made on "
    "Linux (this build: ${CMAKE_CXX_COMPILER_ID} on ${CMAKE_HOST_SYSTEM_NAME}). Configure with "
    "-DORVALEN_WINE=OFF.")
endif()

option(ORVALEN_MSVC_STATIC_RUNTIME "MSVC: link the C runtime statically (/MT)" OFF)
set(ORVALEN_BUNDLE_DIR "" CACHE PATH
    "The app's release bundle (flutter_windows.dll, plug-in DLLs, data\\), installed beside the exe")

if(MSVC)
  # CMake adds no warning level of its own any more; ask for cl's strictest everyday set, standard
  # conformance, and UTF-8 sources (cl reads them in the system code page otherwise).
  # Only for C and C++: the resource compiler takes none of these.
  # C4062, a switch over an enumeration that misses one of its values, is off by default: turned
  # on (at level 4) and made an error, like GCC's -Wswitch below.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:/W4;/permissive-;/utf-8;/w44062;/we4062>")
  if(ORVALEN_MSVC_STATIC_RUNTIME)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  endif()
  # vcpkg's triplet decides which C runtime GoogleTest was built with. A mismatch links (GoogleTest
  # comes as DLLs, or its objects carry no check) and then runs with two C runtimes in one process.
  if(DEFINED VCPKG_TARGET_TRIPLET)
    if(VCPKG_TARGET_TRIPLET MATCHES "-static$")
      set(orvalen_triplet_static ON)
    else()
      set(orvalen_triplet_static OFF)
    endif()
    if(ORVALEN_MSVC_STATIC_RUNTIME AND NOT orvalen_triplet_static)
      message(FATAL_ERROR "ORVALEN_MSVC_STATIC_RUNTIME is ON (static C runtime, /MT), but vcpkg's "
        "triplet ${VCPKG_TARGET_TRIPLET} links the C runtime dynamically. Leave "
        "VCPKG_TARGET_TRIPLET unset in a fresh build folder (x64-windows-static is then chosen) or "
        "set it to x64-windows-static.")
    elseif(NOT ORVALEN_MSVC_STATIC_RUNTIME AND orvalen_triplet_static)
      message(FATAL_ERROR "vcpkg's triplet ${VCPKG_TARGET_TRIPLET} links the C runtime statically "
        "(/MT), but ORVALEN_MSVC_STATIC_RUNTIME is OFF (dynamic C runtime, /MD). Use the "
        "x64-windows triplet, or turn ORVALEN_MSVC_STATIC_RUNTIME on.")
    endif()
  endif()
else()
  # A switch over an enumeration that misses one of its values is an error: switches over a
  # value's alternative then list every place a new alternative must be handled.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Werror=switch>")
endif()

# The same Windows headers for every target: the SDK's <windows.h> otherwise drags in rpcndr.h
# (whose `small` and `hyper` macros break ordinary C++ names) and defines min and max as macros.
if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
endif()

# Adds AddressSanitizer and UndefinedBehaviorSanitizer to a host target when the build asks for it.
# Applied per target (not globally) so that one ThreadSanitizer test can live in the same build.
function(orvalen_sanitize target)
  if(ORVALEN_SANITIZE AND NOT WIN32)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# A program whose entry point is wmain or wWinMain: MinGW needs its Unicode start-up code for it
# (link.exe finds the entry point by itself, and rejects the flag).
function(orvalen_unicode_entry target)
  if(MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# Windows binaries are linked fully static: with the posix MinGW toolchain anything less still
# imports libwinpthread-1.dll, which Wine cannot find beside the exe.
function(orvalen_windows_binary target)
  if(WIN32 AND NOT MSVC)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
