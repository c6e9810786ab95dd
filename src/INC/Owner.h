// One move-only owner for every kind of system handle: the traits say what
// "none" is and how the handle is given back.
#pragma once
#include <windows.h>

template <typename Traits>
class COwner {
public:
    typedef typename Traits::Handle Handle;

    COwner() noexcept : m_handle(Traits::None()) {}
    explicit COwner(Handle handle) noexcept : m_handle(handle) {}
    ~COwner() { reset(); }
    COwner(COwner&& other) noexcept : m_handle(other.release()) {}
    COwner& operator=(COwner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    COwner(const COwner&) = delete;
    COwner& operator=(const COwner&) = delete;

    Handle get() const noexcept { return m_handle; }
    // The held interface, for owners of COM pointers.
    Handle operator->() const noexcept { return m_handle; }
    bool valid() const noexcept { return Traits::IsValid(m_handle); }
    // Gives the handle up without closing it.
    Handle release() noexcept {
        Handle handle = m_handle;
        m_handle = Traits::None();
        return handle;
    }
    // Closes the held handle (if any) and holds handle instead.
    void reset(Handle handle = Traits::None()) noexcept {
        Handle old = m_handle;
        m_handle = handle;
        if (Traits::IsValid(old)) Traits::Close(old);
    }
    // The stored handle's address, for calls that fill it in or replace it in
    // place (the caller sees to what was held before).
    Handle* out() noexcept { return &m_handle; }

private:
    Handle m_handle;
};

// Runs a release without letting it replace the caller's last error.
template <typename Release>
void KeepingLastError(Release release) {
    DWORD error = GetLastError();
    release();
    SetLastError(error);
}

// Handles whose none is null; each kind below adds how it is closed.
template <typename T>
struct CNullTraits {
    typedef T Handle;
    static T None() { return nullptr; }
    static bool IsValid(T h) { return h != nullptr; }
};

// Kernel handles; none is nullptr (OpenProcessToken, OpenProcess, CreateMutex).
struct CHandleTraits : CNullTraits<HANDLE> {
    static bool IsValid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
// Kernel handles whose none is INVALID_HANDLE_VALUE (CreateFile, snapshots).
struct CFileHandleTraits : CHandleTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
};
struct CFindTraits : CFileHandleTraits {
    static void Close(HANDLE h) { FindClose(h); }
};
struct CRegKeyTraits : CNullTraits<HKEY> {
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct CServiceTraits : CNullTraits<SC_HANDLE> {
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
// Freeing a library after a failed call must not replace that call's error.
struct CLibraryTraits : CNullTraits<HMODULE> {
    static void Close(HMODULE h) { KeepingLastError([h] { FreeLibrary(h); }); }
};
template <typename T>
struct CLocalTraits : CNullTraits<T> {
    static void Close(T h) { LocalFree(h); }
};
struct CHeapTraits : CNullTraits<void*> {
    static void Close(void* h) { HeapFree(GetProcessHeap(), 0, h); }
};
struct CVirtualTraits : CNullTraits<void*> {
    static void Close(void* h) { VirtualFree(h, 0, MEM_RELEASE); }
};
template <typename T>
struct CGdiTraits : CNullTraits<T> {
    static void Close(T h) { DeleteObject(h); }
};
// A memory device context (CreateCompatibleDC).
struct CMemoryDcTraits : CNullTraits<HDC> {
    static void Close(HDC h) { DeleteDC(h); }
};
// A window's device context (GetDC, GetWindowDC), given back to its window.
struct CWindowDcTraits {
    struct Handle { HWND window; HDC dc; };
    static Handle None() { return {nullptr, nullptr}; }
    static bool IsValid(const Handle& h) { return h.dc != nullptr; }
    static void Close(const Handle& h) { ReleaseDC(h.window, h.dc); }
};
// The painting of one WM_PAINT, ended with EndPaint.
struct CPaintTraits {
    struct Handle { HWND window; PAINTSTRUCT paint; };
    static Handle None() { return {nullptr, {}}; }
    static bool IsValid(const Handle& h) { return h.paint.hdc != nullptr; }
    static void Close(const Handle& h) { EndPaint(h.window, &h.paint); }
};
// An object selected into a context: what it replaced is selected back.
struct CSelectionTraits {
    struct Handle { HDC dc; HGDIOBJ previous; };
    static Handle None() { return {nullptr, nullptr}; }
    static bool IsValid(const Handle& h) { return h.previous && h.previous != HGDI_ERROR; }
    static void Close(const Handle& h) { SelectObject(h.dc, h.previous); }
};
// A COM interface pointer, released.
template <typename T>
struct CComTraits : CNullTraits<T*> {
    static void Close(T* p) { p->Release(); }
};
struct CBstrTraits : CNullTraits<BSTR> {
    static void Close(BSTR h) { SysFreeString(h); }
};
// The thread's COM initialisation (CoInitialize's result), undone when it succeeded.
struct CComInitTraits {
    typedef HRESULT Handle;
    static HRESULT None() { return E_FAIL; }
    static bool IsValid(HRESULT h) { return SUCCEEDED(h); }
    static void Close(HRESULT) { CoUninitialize(); }
};
// A held mutex is released, never closed (the handle belongs to a table);
// the release keeps the last error of the failure that ended the hold.
struct CHeldMutexTraits : CNullTraits<HANDLE> {
    static void Close(HANDLE h) { KeepingLastError([h] { ReleaseMutex(h); }); }
};

typedef COwner<CHandleTraits> CHandle;
typedef COwner<CHandleTraits> CToken;
typedef COwner<CFileHandleTraits> CFileHandle;
typedef COwner<CFindTraits> CFindHandle;
typedef COwner<CRegKeyTraits> CRegKey;
typedef COwner<CServiceTraits> CScHandle;
typedef COwner<CLibraryTraits> CLibrary;
typedef COwner<CHeldMutexTraits> CHeldMutex;
template <typename T>
using CGdiHandle = COwner<CGdiTraits<T>>;  // pens, brushes, bitmaps, fonts
typedef COwner<CMemoryDcTraits> CMemoryDc;
template <typename T>
using CComRef = COwner<CComTraits<T>>;
typedef COwner<CComInitTraits> CComInit;
typedef COwner<CBstrTraits> CBstr;

// GetDC (or GetWindowDC with whole) of a window, released at the end.
class CWindowDc : public COwner<CWindowDcTraits> {
public:
    explicit CWindowDc(HWND window, bool whole = false)
        : COwner(Handle{window, whole ? GetWindowDC(window) : GetDC(window)}) {}
    HDC dc() const { return get().dc; }
};
// BeginPaint at construction, EndPaint at the end.
class CPaint : public COwner<CPaintTraits> {
public:
    explicit CPaint(HWND window) : COwner(Begin(window)) {}
    HDC dc() const { return get().paint.hdc; }

private:
    static Handle Begin(HWND window) {
        Handle h = {window, {}};
        BeginPaint(window, &h.paint);
        return h;
    }
};
// object selected into dc until the end, then what it replaced selected back. Declared after the owners of the
// context and the object, so it ends first.
class CSelection : public COwner<CSelectionTraits> {
public:
    CSelection(HDC dc, HGDIOBJ object) : COwner(Handle{dc, object ? SelectObject(dc, object) : nullptr}) {}
};

// A zeroed block of the process heap.
class CHeapBlock : public COwner<CHeapTraits> {
public:
    explicit CHeapBlock(SIZE_T size) : COwner(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)) {}
};
// Committed read-write pages.
class CVirtualBlock : public COwner<CVirtualTraits> {
public:
    explicit CVirtualBlock(SIZE_T size) : COwner(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
};
