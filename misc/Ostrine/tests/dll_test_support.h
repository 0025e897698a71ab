// Finds the Ostrine.dll that was built next to the running test program.
#pragma once

#include <windows.h>

#include <string>

inline std::string built_dll_path() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "Ostrine.dll";
}

// GetProcAddress result as the export's real type; the detour through void (*)() is the
// sanctioned way to say that the function type is known.
template <typename Fn> Fn export_as(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}
