// The DLL's entry point. The process-wide data module (Biblioteca in
// Corvexa.cpp, a static object) is created by the runtime's start-up on
// process attach, just before DllMain runs, and freed on process detach,
// just after it: one definition for every platform.
#include <windows.h>

extern "C" {
// Static cairo never runs its own DllMain, which is where it sets up its
// mutexes on Windows: without this call its first lock never returns.
void _cairo_mutex_initialize(void);

BOOL WINAPI DllMain(HINSTANCE instancia, DWORD motivo, LPVOID) {
    if (motivo == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instancia);
        _cairo_mutex_initialize();
    }
    return TRUE;
}
}
