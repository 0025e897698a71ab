#include "win32/dpi_awareness.h"

namespace {

// DPI_AWARENESS_CONTEXT values, as the system defines them (not every SDK does).
const HANDLE CONTEXT_PER_MONITOR = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
const HANDLE CONTEXT_PER_MONITOR_V2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

typedef HANDLE(WINAPI* SetThreadDpiAwarenessContextFn)(HANDLE);
typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);
const int MDT_EFFECTIVE_DPI_ = 0;

template <typename Fn> Fn lookup(HMODULE module, const char* name) {
    return module == NULL
               ? nullptr
               : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Looked up once for the life of the process. user32 is loaded already (the DLL imports it);
// shcore comes from the system folder only.
SetThreadDpiAwarenessContextFn set_thread_context() {
    static const SetThreadDpiAwarenessContextFn fn = lookup<SetThreadDpiAwarenessContextFn>(
        GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext");
    return fn;
}

GetDpiForMonitorFn get_dpi_for_monitor() {
    static const GetDpiForMonitorFn fn = lookup<GetDpiForMonitorFn>(
        LoadLibraryExA("shcore.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
    return fn;
}

} // namespace

ThreadDpiScope::ThreadDpiScope() {
    const SetThreadDpiAwarenessContextFn set = set_thread_context();
    if (set == nullptr)
        return;
    // Systems before per-monitor v2 refuse it (NULL) and keep the thread as it was.
    previous_ = set(CONTEXT_PER_MONITOR_V2);
    if (previous_ == NULL)
        previous_ = set(CONTEXT_PER_MONITOR);
}

ThreadDpiScope::~ThreadDpiScope() {
    if (previous_ != NULL)
        set_thread_context()(previous_);
}

int32_t monitor_dpi(HMONITOR monitor, int32_t fallback) {
    const GetDpiForMonitorFn get = get_dpi_for_monitor();
    UINT x = 0, y = 0;
    if (get != nullptr && monitor != NULL && SUCCEEDED(get(monitor, MDT_EFFECTIVE_DPI_, &x, &y)) &&
        y > 0)
        return static_cast<int32_t>(y);
    return fallback;
}
