// The host's DPI awareness: during a capture through either export the calling thread runs
// per-monitor aware (read from a thread timer of the host, which the capture's modal loop runs),
// the host's own awareness comes back after it, and an unaware or system-aware host gets the
// screen's physical pixels. Played at 96 and 144 DPI, each in a child process started with the
// LogPixels setting in place (the system reads it when a program starts).
#include "Ostrine.h"
#include "capture_checks.h"
#include "dll_test_support.h"
#include "gui_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

typedef HANDLE(WINAPI* SetContextFn)(HANDLE);
typedef HANDLE(WINAPI* GetContextFn)(void);
typedef int(WINAPI* AwarenessOfFn)(HANDLE);

// The awareness calls, looked up: not every SDK declares them.
struct DpiCalls {
    SetContextFn set_thread_context;
    GetContextFn get_thread_context;
    AwarenessOfFn awareness_of;
};

DpiCalls dpi_calls() {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return DpiCalls{
        export_as<SetContextFn>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")),
        export_as<GetContextFn>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")),
        export_as<AwarenessOfFn>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext"))};
}

HANDLE context(int value) {
    return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value));
}

// DPI_AWARENESS values.
const int UNAWARE = 0, SYSTEM_AWARE = 1, PER_MONITOR_AWARE = 2;

// What the host's thread timer saw inside the capture.
int awareness_inside = -2;
UINT_PTR timer_id = 0;

void CALLBACK read_awareness(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(NULL, timer_id);
    const DpiCalls calls = dpi_calls();
    awareness_inside = calls.awareness_of(calls.get_thread_context());
}

int current_awareness() {
    const DpiCalls calls = dpi_calls();
    return calls.awareness_of(calls.get_thread_context());
}

// Runs this program's DPI scenario in a child process at `dpi`; its exit status.
DWORD run_child_at(DWORD dpi) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, NULL, 0,
                        KEY_READ | KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 1000;
    DWORD before = 0, size = sizeof before, type = 0;
    const bool had = RegQueryValueExA(key, "LogPixels", NULL, &type,
                                      reinterpret_cast<BYTE*>(&before), &size) == ERROR_SUCCESS &&
                     type == REG_DWORD;
    RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string command =
        std::string("\"") + self + "\" --gtest_filter=HostDpi.ScenarioInAChildProcess";
    SetEnvironmentVariableA("OSTRINE_DPI_SCENARIO", std::to_string(dpi).c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    fflush(stdout);
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA("OSTRINE_DPI_SCENARIO", NULL);
    DWORD status = 1001;
    if (started) {
        WaitForSingleObject(pi.hProcess, 120000);
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (had)
        RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before),
                       sizeof before);
    else
        RegDeleteValueA(key, "LogPixels");
    RegCloseKey(key);
    return status;
}

TEST(HostDpi, EveryCaptureRunsPerMonitorAwareAndGivesPhysicalPixels) {
    if (dpi_calls().set_thread_context == nullptr)
        GTEST_SKIP() << "no per-thread DPI awareness on this system";
    for (DWORD dpi : {96u, 144u})
        EXPECT_EQ(run_child_at(dpi), 0u) << "the scenario at " << dpi << " DPI (its lines above)";
}

// The child's part: each host awareness with each export.
TEST(HostDpi, ScenarioInAChildProcess) {
    const char* expected = getenv("OSTRINE_DPI_SCENARIO");
    if (expected == nullptr)
        GTEST_SKIP() << "run by EveryCaptureRunsPerMonitorAwareAndGivesPhysicalPixels";
    HDC screen = GetDC(NULL);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    ASSERT_EQ(dpi, atoi(expected));
    const DpiCalls calls = dpi_calls();
    // The host's window and the driver thread stay per-monitor aware (the process's start value):
    // they work in physical pixels; only the calling thread changes.
    show_pattern_window();
    HMODULE dll = LoadLibraryA(built_dll_path().c_str());
    ASSERT_NE(dll, nullptr);
    auto get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
    auto get_cap_bitmap_ex =
        export_as<OstrineGetCapBitmapExFn>(GetProcAddress(dll, "GetCapBitmapEx"));
    struct Case {
        const char* host;
        int context;
        int awareness;
    } const hosts[] = {
        {"unaware", -1, UNAWARE},
        {"system aware", -2, SYSTEM_AWARE},
        {"per-monitor aware", -3, PER_MONITOR_AWARE},
    };
    const Box want{100, 100, 300, 250};
    for (const Case& c : hosts)
        for (bool ex : {false, true}) {
            const std::string what =
                std::string(c.host) + (ex ? ", GetCapBitmapEx" : ", GetCapBitmap");
            send_move(1000, 740);
            ASSERT_TRUE(wait_for_pattern_on_screen()) << what;
            ASSERT_NE(calls.set_thread_context(context(c.context)), nullptr) << what;
            ASSERT_EQ(current_awareness(), c.awareness) << what;
            awareness_inside = -2;
            timer_id = SetTimer(NULL, 0, 10, read_awareness);
            OSTRINE_CAPTURE request = {sizeof request, OSTRINE_CAPTURE_NO_CLIPBOARD, {}};
            HBITMAP result = drive_capture(
                [&] { return ex ? get_cap_bitmap_ex(&request) : get_cap_bitmap(); },
                [&](HWND dialog) {
                    RECT rc;
                    GetWindowRect(dialog, &rc);
                    EXPECT_EQ(rc.right - rc.left, screen_width()) << what;
                    drag(dialog, {want.left, want.top}, {{want.right, want.bottom}}, want);
                    accept_at(dialog, 200, 180);
                });
            const int after = current_awareness();
            calls.set_thread_context(context(-3));
            EXPECT_EQ(awareness_inside, PER_MONITOR_AWARE) << what;
            EXPECT_EQ(after, c.awareness) << what << ": the host's awareness must come back";
            EXPECT_EQ(pattern_mismatches(result, want), 0) << what;
            if (ex) {
                EXPECT_EQ(request.rcSelection.left, want.left) << what;
                EXPECT_EQ(request.rcSelection.bottom, want.bottom) << what;
                DeleteObject(result);
            }
        }
    FreeLibrary(dll);
}

} // namespace
