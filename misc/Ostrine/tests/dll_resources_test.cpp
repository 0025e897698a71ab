// The resources of the built Ostrine.dll, read back the way the capture dialog will use them.
#include "dll_test_support.h"
#include "win32/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

class DllResources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
    }
    static void TearDownTestSuite() { FreeLibrary(dll); }

    static std::vector<unsigned char> resource_bytes(LPCSTR type, int id) {
        HRSRC found = FindResourceExA(dll, type, MAKEINTRESOURCEA(id), kChinesePrc);
        if (found == NULL)
            return {};
        const unsigned char* data =
            static_cast<const unsigned char*>(LockResource(LoadResource(dll, found)));
        return std::vector<unsigned char>(data, data + SizeofResource(dll, found));
    }

    static BOOL CALLBACK add_language(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR out) {
        reinterpret_cast<std::vector<WORD>*>(out)->push_back(lang);
        return TRUE;
    }

    static std::vector<WORD> languages(LPCSTR type, int id) {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(dll, type, MAKEINTRESOURCEA(id), add_language,
                               reinterpret_cast<LONG_PTR>(&langs));
        return langs;
    }

    static HMODULE dll;
};

HMODULE DllResources::dll = NULL;

// Reads a packed little-endian resource, field by field.
struct Reader {
    const std::vector<unsigned char>& bytes;
    size_t pos;

    unsigned u16() {
        unsigned v = pos + 2 <= bytes.size() ? bytes[pos] | bytes[pos + 1] << 8 : 0xDEAD;
        pos += 2;
        return v;
    }
    unsigned long u32() {
        unsigned long lo = u16();
        return lo | static_cast<unsigned long>(u16()) << 16;
    }
    unsigned u8() { return pos < bytes.size() ? bytes[pos++] : 0xDEAD; }
    std::wstring text() {
        std::wstring s;
        for (unsigned c = u16(); c != 0 && c != 0xDEAD; c = u16())
            s += static_cast<wchar_t>(c);
        return s;
    }
};

TEST_F(DllResources, CaptureDialogTemplate) {
    EXPECT_EQ(languages(RT_DIALOG, IDD_CAPTURE), std::vector<WORD>{kChinesePrc});
    const std::vector<unsigned char> bytes = resource_bytes(RT_DIALOG, IDD_CAPTURE);
    ASSERT_FALSE(bytes.empty());
    Reader r{bytes, 0};
    EXPECT_EQ(r.u16(), 1u);      // dlgVer
    EXPECT_EQ(r.u16(), 0xFFFFu); // signature: extended template
    EXPECT_EQ(r.u32(), 0ul);     // helpID
    EXPECT_EQ(r.u32(), 0ul);     // exStyle
    EXPECT_EQ(r.u32(), 0x80080048ul);
    EXPECT_EQ(r.u16(), 0u); // no controls
    EXPECT_EQ(r.u16(), 0u); // x
    EXPECT_EQ(r.u16(), 0u); // y
    EXPECT_EQ(r.u16(), 186u);
    EXPECT_EQ(r.u16(), 95u);
    EXPECT_EQ(r.u16(), 0u);   // no menu
    EXPECT_EQ(r.u16(), 0u);   // the system dialog class
    EXPECT_EQ(r.text(), L""); // no title
    EXPECT_EQ(r.u16(), 8u);   // points
    EXPECT_EQ(r.u16(), 400u); // weight
    EXPECT_EQ(r.u8(), 0u);    // not italic
    EXPECT_EQ(r.u8(), 1u);    // DEFAULT_CHARSET
    EXPECT_EQ(r.text(), L"MS Shell Dlg");
    EXPECT_LE(r.pos, bytes.size());
}

INT_PTR CALLBACK plain_dialog_proc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST_F(DllResources, DialogManagerCreatesTheCaptureDialog) {
    HWND dialog =
        CreateDialogParamA(dll, MAKEINTRESOURCEA(IDD_CAPTURE), NULL, plain_dialog_proc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    char name[32] = {};
    GetClassNameA(dialog, name, sizeof name);
    EXPECT_STREQ(name, "#32770");
    const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_SYSMENU), static_cast<LONG_PTR>(WS_POPUP | WS_SYSMENU));
    EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_VISIBLE), 0);
    EXPECT_EQ(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetWindow(dialog, GW_CHILD), nullptr) << "no controls";
    EXPECT_NE(SendMessageA(dialog, WM_GETFONT, 0, 0), 0) << "the template's own font";
    char title[8] = "x";
    EXPECT_EQ(GetWindowTextA(dialog, title, sizeof title), 0);
    EXPECT_TRUE(DestroyWindow(dialog));
}

TEST_F(DllResources, CursorBitmapsAre32By32AtTheirDepths) {
    const struct {
        int id;
        unsigned bits;
    } bitmaps[] = {{IDB_CURSOR_MASK, 1}, {IDB_CURSOR_COLOR, 24}};
    for (const auto& b : bitmaps) {
        EXPECT_EQ(languages(RT_BITMAP, b.id), std::vector<WORD>{kChinesePrc}) << b.id;
        const std::vector<unsigned char> bytes = resource_bytes(RT_BITMAP, b.id);
        ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER)) << b.id;
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes.data(), sizeof header);
        EXPECT_EQ(header.biWidth, 32) << b.id;
        EXPECT_EQ(header.biHeight, 32) << b.id;
        EXPECT_EQ(header.biBitCount, b.bits) << b.id;
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB)) << b.id;

        HBITMAP loaded = LoadBitmapA(dll, MAKEINTRESOURCEA(b.id));
        ASSERT_NE(loaded, nullptr) << b.id;
        BITMAP info;
        ASSERT_EQ(GetObjectA(loaded, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, 32) << b.id;
        EXPECT_EQ(info.bmHeight, 32) << b.id;
        if (b.bits == 1) {
            EXPECT_EQ(info.bmBitsPixel, 1) << "the AND mask loads as a monochrome bitmap";
        }
        DeleteObject(loaded);
    }
}

// The two cursor images as loaded by LoadBitmap, expanded to 0x00RRGGBB, top row first.
struct CursorImages {
    DWORD mask[32][32];
    DWORD color[32][32];

    bool opaque(int x, int y) const {
        return x >= 0 && x < 32 && y >= 0 && y < 32 && (mask[y][x] & 0xFFFFFF) == 0;
    }
    int red(int x, int y) const { return color[y][x] >> 16 & 0xFF; }
    int green(int x, int y) const { return color[y][x] >> 8 & 0xFF; }
    int blue(int x, int y) const { return color[y][x] & 0xFF; }
    bool black(int x, int y) const { return (color[y][x] & 0xFFFFFF) == 0; }
    bool outline(int x, int y) const {
        return opaque(x, y) &&
               !(opaque(x - 1, y) && opaque(x + 1, y) && opaque(x, y - 1) && opaque(x, y + 1));
    }
};

void read_pixels(HMODULE dll, int id, DWORD (&out)[32][32]) {
    HBITMAP bitmap = LoadBitmapA(dll, MAKEINTRESOURCEA(id));
    ASSERT_NE(bitmap, nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 32;
    bi.bmiHeader.biHeight = -32; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(NULL);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, 32, out, &bi, DIB_RGB_COLORS), 32);
    DeleteDC(dc);
    DeleteObject(bitmap);
}

class CursorPicture : public DllResources {
  protected:
    void SetUp() override {
        read_pixels(dll, IDB_CURSOR_MASK, img.mask);
        read_pixels(dll, IDB_CURSOR_COLOR, img.color);
    }
    CursorImages img;
};

TEST_F(CursorPicture, ArrowExtentAndTip) {
    int min_x = 32, max_x = -1, min_y = 32, max_y = -1;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (img.opaque(x, y)) {
                min_x = x < min_x ? x : min_x;
                max_x = x > max_x ? x : max_x;
                min_y = y < min_y ? y : min_y;
                max_y = y > max_y ? y : max_y;
            }
        }
    }
    EXPECT_EQ(min_x, 10);
    EXPECT_EQ(max_x, 23);
    EXPECT_EQ(min_y, 5);
    EXPECT_EQ(max_y, 26);
    // The tip is the single pixel of the top row, at the hotspot.
    EXPECT_TRUE(img.opaque(10, 5));
    EXPECT_FALSE(img.opaque(11, 5));
    EXPECT_TRUE(img.black(10, 5));
}

TEST_F(CursorPicture, ArrowSides) {
    // Vertical left side from the tip to row 22.
    for (int y = 5; y <= 22; ++y)
        EXPECT_TRUE(img.opaque(10, y)) << "left side, row " << y;
    EXPECT_FALSE(img.opaque(10, 23));
    // 45-degree right side from the tip to row 18.
    for (int k = 0; k <= 13; ++k) {
        EXPECT_TRUE(img.opaque(10 + k, 5 + k)) << "right side, row " << 5 + k;
        EXPECT_FALSE(img.opaque(11 + k, 5 + k)) << "right of the side, row " << 5 + k;
    }
    // Below the head only the tail, about 5 pixels thick, runs on to row 26.
    for (int y = 23; y <= 26; ++y) {
        int width = 0;
        for (int x = 0; x < 32; ++x)
            width += img.opaque(x, y) ? 1 : 0;
        EXPECT_GE(width, 4) << "tail, row " << y;
        EXPECT_LE(width, 6) << "tail, row " << y;
    }
}

TEST_F(CursorPicture, BlackOutlineAroundARainbow) {
    int interior = 0, near_x = 0, near_y = 0, far_x = 0, far_y = 0;
    bool red = false, yellow = false, green = false;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (!img.opaque(x, y)) {
                // The colour image is black where the mask lets the screen through unchanged.
                EXPECT_TRUE(img.black(x, y)) << x << ", " << y;
            } else if (img.outline(x, y)) {
                EXPECT_TRUE(img.black(x, y)) << x << ", " << y;
            } else {
                EXPECT_FALSE(img.black(x, y)) << x << ", " << y;
                if (interior++ == 0 || x + y < near_x + near_y)
                    near_x = x, near_y = y;
                if (x + y > far_x + far_y)
                    far_x = x, far_y = y;
                red = red || (img.red(x, y) > 200 && img.green(x, y) < 80 && img.blue(x, y) < 80);
                yellow =
                    yellow || (img.red(x, y) > 200 && img.green(x, y) > 200 && img.blue(x, y) < 80);
                green =
                    green || (img.red(x, y) < 80 && img.green(x, y) > 200 && img.blue(x, y) < 80);
            }
        }
    }
    EXPECT_GT(interior, 60);
    // Blue at the tip, cyan at the end of the tail, the warm colours in between.
    EXPECT_GT(img.blue(near_x, near_y), 200);
    EXPECT_LT(img.green(near_x, near_y), 80);
    EXPECT_LT(img.red(far_x, far_y), 80);
    EXPECT_GT(img.green(far_x, far_y), 200);
    EXPECT_GT(img.blue(far_x, far_y), 150);
    EXPECT_GE(far_y, 24) << "the gradient ends in the tail";
    EXPECT_TRUE(red);
    EXPECT_TRUE(yellow);
    EXPECT_TRUE(green);
}

} // namespace
