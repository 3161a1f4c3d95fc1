// A program that imports winmm.dll the ordinary way (at load time, searched for
// beside the program first) and does nothing else: the control case of the
// dropped-DLL test.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

int main() {
    // Referenced, not called: the fake that may stand in has no such function.
    volatile auto imported = &timeGetTime;
    return imported != nullptr ? 0 : 1;
}
