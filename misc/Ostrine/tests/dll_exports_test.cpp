// A host's view of Ostrine.dll: loaded by path, exports resolved by name and by ordinal.
#include "Ostrine.h"
#include "dll_test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(DllExports, ResolveByNameAndOrdinalAndUnload) {
    const std::string path = built_dll_path();
    HMODULE dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr) << path << " error " << GetLastError();

    char loaded[MAX_PATH];
    DWORD n = GetModuleFileNameA(dll, loaded, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(std::string(loaded, n).c_str(), path.c_str()), 0) << loaded;

    FARPROC by_name_get = GetProcAddress(dll, "GetCapBitmap");
    FARPROC by_name_start = GetProcAddress(dll, "StartCapture");
    FARPROC by_name_ex = GetProcAddress(dll, "GetCapBitmapEx");
    ASSERT_NE(by_name_get, nullptr);
    ASSERT_NE(by_name_start, nullptr);
    ASSERT_NE(by_name_ex, nullptr);
    EXPECT_NE(by_name_get, by_name_start);
    EXPECT_NE(by_name_get, by_name_ex);
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(OSTRINE_ORDINAL_GETCAPBITMAP)), by_name_get);
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(OSTRINE_ORDINAL_STARTCAPTURE)), by_name_start);
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(OSTRINE_ORDINAL_GETCAPBITMAPEX)), by_name_ex);
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(4)), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "_GetCapBitmapEx@4"), nullptr);
    // Undecorated names only: a host cannot be asked to guess the stdcall decoration.
    EXPECT_EQ(GetProcAddress(dll, "_StartCapture@0"), nullptr);
    EXPECT_EQ(GetProcAddress(dll, "StartCapture@0"), nullptr);

    auto start_by_name = export_as<OstrineStartCaptureFn>(by_name_start);
    auto start_by_ordinal = export_as<OstrineStartCaptureFn>(
        GetProcAddress(dll, MAKEINTRESOURCEA(OSTRINE_ORDINAL_STARTCAPTURE)));
    EXPECT_EQ(start_by_name(), 1);
    EXPECT_EQ(start_by_ordinal(), 1);
    EXPECT_EQ(start_by_name(), 1);

    EXPECT_TRUE(FreeLibrary(dll));
    EXPECT_EQ(GetModuleHandleA("Ostrine.dll"), nullptr);
}

} // namespace
