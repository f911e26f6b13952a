// main() of the desk test executables: GoogleTest plus --debug-out=<file>, the file in which the
// desk's debugger records the process's debug output.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/window/desk_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  constexpr char kDebugOut[] = "--debug-out=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kDebugOut, sizeof kDebugOut - 1) == 0)
      desk::SetDebugOutPath(argv[i] + sizeof kDebugOut - 1);
  }
  return RUN_ALL_TESTS();
}
