#include "handle_counter.h"

#include <cstring>

namespace {

HandleCounts counts;
FailingSize failing_bitmap{0, 0};
FailingSize failing_blit{0, 0};

struct Originals {
    HBITMAP(WINAPI* CreateCompatibleBitmap)(HDC, int, int);
    HDC(WINAPI* CreateCompatibleDC)(HDC);
    HPEN(WINAPI* CreatePen)(int, int, COLORREF);
    HBRUSH(WINAPI* CreateSolidBrush)(COLORREF);
    BOOL(WINAPI* DeleteObject)(HGDIOBJ);
    BOOL(WINAPI* DeleteDC)(HDC);
    HBITMAP(WINAPI* LoadBitmapA)(HINSTANCE, LPCSTR);
    BOOL(WINAPI* GetIconInfo)(HICON, PICONINFO);
    HICON(WINAPI* CreateIconIndirect)(PICONINFO);
    BOOL(WINAPI* DestroyIcon)(HICON);
    HWND(WINAPI* CreateWindowExA)
    (DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
    HDC(WINAPI* GetDC)(HWND);
    HDC(WINAPI* GetWindowDC)(HWND);
    int(WINAPI* ReleaseDC)(HWND, HDC);
    HANDLE(WINAPI* SetClipboardData)(UINT, HANDLE);
    BOOL(WINAPI* BitBlt)(HDC, int, int, int, int, HDC, int, int, DWORD);
} real;

void created(HGDIOBJ h) {
    if (h != NULL) {
        counts.gdi_objects.insert(h);
        ++counts.gdi_created;
    }
}

HBITMAP WINAPI count_CreateCompatibleBitmap(HDC dc, int w, int h) {
    if (w == failing_bitmap.width && h == failing_bitmap.height) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    HBITMAP r = real.CreateCompatibleBitmap(dc, w, h);
    created(r);
    return r;
}
HDC WINAPI count_CreateCompatibleDC(HDC dc) {
    HDC r = real.CreateCompatibleDC(dc);
    created(r);
    return r;
}
HPEN WINAPI count_CreatePen(int style, int width, COLORREF c) {
    HPEN r = real.CreatePen(style, width, c);
    created(r);
    return r;
}
HBRUSH WINAPI count_CreateSolidBrush(COLORREF c) {
    HBRUSH r = real.CreateSolidBrush(c);
    created(r);
    return r;
}
BOOL WINAPI count_DeleteObject(HGDIOBJ h) {
    const BOOL ok = real.DeleteObject(h);
    if (ok && counts.gdi_objects.erase(h) != 0)
        ++counts.gdi_deleted;
    return ok;
}
BOOL WINAPI count_DeleteDC(HDC h) {
    const BOOL ok = real.DeleteDC(h);
    if (ok && counts.gdi_objects.erase(h) != 0)
        ++counts.gdi_deleted;
    return ok;
}
HBITMAP WINAPI count_LoadBitmapA(HINSTANCE i, LPCSTR name) {
    HBITMAP r = real.LoadBitmapA(i, name);
    created(r);
    return r;
}
BOOL WINAPI count_GetIconInfo(HICON icon, PICONINFO info) {
    const BOOL ok = real.GetIconInfo(icon, info);
    if (ok) {
        // The caller owns the two bitmaps it is handed.
        created(info->hbmMask);
        created(info->hbmColor);
    }
    return ok;
}
HICON WINAPI count_CreateIconIndirect(PICONINFO info) {
    HICON r = real.CreateIconIndirect(info);
    if (r != NULL)
        counts.cursors.insert(r);
    return r;
}
BOOL WINAPI count_DestroyIcon(HICON h) {
    const BOOL ok = real.DestroyIcon(h);
    if (ok)
        counts.cursors.erase(h);
    return ok;
}
HWND WINAPI count_CreateWindowExA(DWORD ex, LPCSTR cls, LPCSTR title, DWORD style, int x, int y,
                                  int w, int h, HWND parent, HMENU menu, HINSTANCE inst,
                                  LPVOID param) {
    HWND r = real.CreateWindowExA(ex, cls, title, style, x, y, w, h, parent, menu, inst, param);
    if (r != NULL)
        counts.windows.insert(r);
    return r;
}
HDC WINAPI count_GetDC(HWND w) {
    HDC r = real.GetDC(w);
    counts.dcs_held += r != NULL;
    return r;
}
HDC WINAPI count_GetWindowDC(HWND w) {
    HDC r = real.GetWindowDC(w);
    counts.dcs_held += r != NULL;
    return r;
}
int WINAPI count_ReleaseDC(HWND w, HDC dc) {
    const int r = real.ReleaseDC(w, dc);
    counts.dcs_held -= r != 0;
    return r;
}
HANDLE WINAPI count_SetClipboardData(UINT format, HANDLE h) {
    HANDLE r = real.SetClipboardData(format, h);
    // The clipboard owns it from now on.
    if (r != NULL && format == CF_BITMAP)
        counts.gdi_objects.erase(h);
    return r;
}

BOOL WINAPI count_BitBlt(HDC to, int x, int y, int w, int h, HDC from, int fx, int fy, DWORD rop) {
    if (w == failing_blit.width && h == failing_blit.height)
        return FALSE;
    return real.BitBlt(to, x, y, w, h, from, fx, fy, rop);
}

template <typename Fn> bool redirect(HMODULE dll, const char* name, Fn hook, Fn* original) {
    auto base = reinterpret_cast<unsigned char*>(dll);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(by_name->Name), name) != 0)
                continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            *original = reinterpret_cast<Fn>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

} // namespace

bool count_handles_of(HMODULE dll) {
    counts = HandleCounts{};
    failing_bitmap = failing_blit = FailingSize{0, 0};
    bool ok = true;
#define REDIRECT(name) ok = redirect(dll, #name, count_##name, &real.name) && ok
    REDIRECT(CreateCompatibleBitmap);
    REDIRECT(CreateCompatibleDC);
    REDIRECT(CreatePen);
    REDIRECT(CreateSolidBrush);
    REDIRECT(DeleteObject);
    REDIRECT(DeleteDC);
    REDIRECT(LoadBitmapA);
    REDIRECT(GetIconInfo);
    REDIRECT(CreateIconIndirect);
    REDIRECT(DestroyIcon);
    REDIRECT(CreateWindowExA);
    REDIRECT(GetDC);
    REDIRECT(GetWindowDC);
    REDIRECT(ReleaseDC);
    REDIRECT(SetClipboardData);
    REDIRECT(BitBlt);
#undef REDIRECT
    return ok;
}

HandleCounts& handle_counts() {
    return counts;
}

void fail_bitmaps_of_size(FailingSize size) {
    failing_bitmap = size;
}

void fail_blits_of_size(FailingSize size) {
    failing_blit = size;
}
