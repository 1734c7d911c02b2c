// The floor of the quiet-run benchmark: a Windows program that starts and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
