// The library entry of the Windows build.
#include <windows.h>

#include "core/library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vx::AttachLibrary(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
