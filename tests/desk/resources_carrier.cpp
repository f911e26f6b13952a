// Carries orvalen's resources for the resource test while orvalen.exe itself is not built.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
