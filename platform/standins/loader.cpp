// The library loader: DirectDraw is the one library there is to load.
#include <cstring>

#include "platform/ddraw.h"
#include "platform/standins/win32_state.h"

static const uintptr_t DDRAW_MODULE = 0xDD000000;
static const uintptr_t EXE_MODULE = 0x00400000;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name) return (HMODULE)EXE_MODULE;
    std::string n = lower(name);
    if ((n == "ddraw.dll" || n == "ddraw") && w32.library_refs > 0) return (HMODULE)DDRAW_MODULE;
    return nullptr;
}


HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (platform_fault("LoadLibraryA", nullptr)) return nullptr;
    std::string n = lower(name);
    if (n != "ddraw.dll" && n != "ddraw") return nullptr;
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.library_refs++;
    return (HMODULE)DDRAW_MODULE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (platform_fault("GetProcAddress", nullptr)) return nullptr;
#ifdef __EMSCRIPTEN__
    // wasm's static data starts near address 0, below the ordinals' range: every
    // name is a name there (an ordinal matches none).
    if (handle_of(module) != DDRAW_MODULE || !name) return nullptr;
#else
    if (handle_of(module) != DDRAW_MODULE || !name || (uintptr_t)name < 0x10000) return nullptr;
#endif
    // Through void*: the generic FARPROC and the real signature are unrelated function types.
    if (strcmp(name, "DirectDrawCreate") == 0) return (FARPROC)(void*)&DirectDrawCreate;
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard<std::mutex> guard(w32.lock);
    if (handle_of(module) != DDRAW_MODULE || w32.library_refs <= 0) return FALSE;
    w32.library_refs--;
    return TRUE;
}
