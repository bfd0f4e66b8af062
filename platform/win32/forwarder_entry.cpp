// The library entry of the forwarding libraries' Windows build.
#include <windows.h>

#include "forwarder/forwarder.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vx::forwarder::AttachModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
