#include "Util/KDMTheme.h"

#include <initializer_list>
#include <map>

#include "INC/BasePathUtil.h"
#include "INC/CriticalSection.h"
#include "TarnLog/TarnLog.h"
#include "Util/KDMThemeImpl.h"

namespace {

const char* const kDialogClass = MAKEINTATOM(32770);

lib::CCriticalSection& RegistryLock() {
    static lib::CCriticalSection section;
    return section;
}
std::map<HINSTANCE, ThemeClassRecord>& Records() {
    static std::map<HINSTANCE, ThemeClassRecord> records;
    return records;
}

// The system class under the same name, for this module only, with our procedure.
bool RegisterThemeClass(const char* name, HINSTANCE instance, WNDPROC proc, WNDPROC* previous) {
    WNDCLASSEXA cls = {};
    cls.cbSize = sizeof(cls);
    if (!GetClassInfoExA(nullptr, name, &cls)) return false;
    *previous = cls.lpfnWndProc;
    cls.style &= ~CS_GLOBALCLASS;
    cls.lpfnWndProc = proc;
    cls.hInstance = instance;
    return RegisterClassExA(&cls) != 0;
}

// Buttons are themed only with all five faces, each the mask's size, copied.
bool CopyButtonImages(const ThemeImageSet& images, ThemeClassRecord& record) {
    const HBITMAP given[] = {images.hMask, images.hNormal, images.hPush, images.hHover, images.hDisable};
    const char* const names[] = {"Mask", "Normal", "Push", "Hover", "Disable"};
    for (int i = 0; i < 5; ++i)
        if (!given[i]) return TARNLOG(TARNLOG_ERROR, "%s ボタンイメージなし", names[i]), false;
    BITMAP mask = {}, face = {};
    GetObjectA(images.hMask, sizeof(mask), &mask);
    bool sizesMatch = true;
    for (int i = 1; i < 5; ++i) {
        GetObjectA(given[i], sizeof(face), &face);
        if (face.bmWidth == mask.bmWidth && face.bmHeight == mask.bmHeight) continue;
        TARNLOG(TARNLOG_ERROR, "%s ボタンイメージサイズエラー Mask(%d,%d) Bmp(%d,%d)", names[i],
                static_cast<int>(mask.bmWidth), static_cast<int>(mask.bmHeight), static_cast<int>(face.bmWidth),
                static_cast<int>(face.bmHeight));
        sizesMatch = false;
    }
    if (!sizesMatch) return false;
    HBITMAP* copies[] = {&record.mask, &record.normal, &record.push, &record.hover, &record.disable};
    bool copied = true;
    for (int i = 0; i < 5; ++i) {
        *copies[i] = static_cast<HBITMAP>(CopyImage(given[i], IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (!*copies[i]) {
            TARNLOG(TARNLOG_ERROR, "%s イメージコピー失敗", names[i]);
            copied = false;
        }
    }
    return copied;
}

void DeleteImages(ThemeClassRecord& record) {
    for (HBITMAP* image : {&record.mask, &record.normal, &record.push, &record.hover, &record.disable}) {
        if (*image) DeleteObject(*image);
        *image = nullptr;
    }
}

}  // namespace

BOOL RegisterTheme(HINSTANCE instance, const ThemeImageSet* images, BOOL editVariant) {
    lib::CSynchronizer lock(RegistryLock());
    if (!instance || !images) {
        SetLastError(ERROR_INVALID_PARAMETER);
        TARNLOG(TARNLOG_ERROR, "パラメータエラー");
        return FALSE;
    }
    if (Records().count(instance)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        TARNLOG(TARNLOG_ERROR, "テーマは登録済");
        return FALSE;
    }
    ThemeClassRecord record = {};
    if ((images->dwFlags & THEME_DIALOG) &&
        !RegisterThemeClass(kDialogClass, instance, editVariant ? ThemeDialogEditProc : ThemeDialogProc,
                            &record.dialogProc))
        TARNLOG(TARNLOG_ERROR, editVariant ? "Dialog(Edit) サブクラス化失敗" : "Dialog サブクラス化失敗");
    if ((images->dwFlags & THEME_STATIC) && !RegisterThemeClass("Static", instance, ThemeStaticProc, &record.staticProc))
        TARNLOG(TARNLOG_ERROR, "Static サブクラス化失敗");
    if ((images->dwFlags & THEME_BUTTON) && CopyButtonImages(*images, record) &&
        !RegisterThemeClass("Button", instance, ThemeButtonProc, &record.buttonProc))
        TARNLOG(TARNLOG_ERROR, "Button サブクラス化失敗");
    Records()[instance] = record;
    return TRUE;
}

BOOL UnregisterTheme(HINSTANCE instance) {
    lib::CSynchronizer lock(RegistryLock());
    auto found = Records().find(instance);
    if (found == Records().end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (const char* name : {kDialogClass, "Button", "Static"}) UnregisterClassA(name, instance);
    DeleteImages(found->second);
    Records().erase(found);
    return TRUE;
}

ThemeClassRecord ThemeRecordOf(HWND hwnd) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    if (!instance) instance = reinterpret_cast<HINSTANCE>(GetClassLongPtrA(hwnd, GCLP_HMODULE));
    lib::CSynchronizer lock(RegistryLock());
    auto found = Records().find(instance);
    return found == Records().end() ? ThemeClassRecord() : found->second;
}

// The rows the kit reads, by product edition; any other id gives the pale
// default of the first edition.
COLORREF GetThemeColor(int id) {
    static const struct { int id; COLORREF first, second; } kRows[] = {
        {982, RGB(20, 55, 105), RGB(20, 55, 105)},     {983, RGB(125, 165, 200), RGB(153, 170, 189)},
        {984, RGB(20, 55, 105), RGB(20, 55, 105)},     {988, RGB(245, 250, 255), RGB(251, 251, 251)},
        {989, RGB(60, 105, 160), RGB(70, 95, 115)},    {990, RGB(155, 182, 206), RGB(155, 182, 206)},
        {991, RGB(182, 196, 213), RGB(182, 196, 213)}, {992, RGB(230, 236, 242), RGB(230, 236, 242)},
        {993, RGB(254, 254, 254), RGB(254, 254, 254)}, {994, RGB(20, 55, 105), RGB(20, 55, 105)},
        {995, RGB(125, 165, 200), RGB(153, 170, 189)}, {996, RGB(125, 165, 195), RGB(170, 178, 190)},
        {997, RGB(25, 90, 155), RGB(40, 65, 95)},      {998, RGB(0, 0, 0), RGB(0, 0, 0)},
        {999, RGB(195, 230, 255), RGB(225, 231, 237)}};
    static lib::CCriticalSection section;
    static int column = -1;
    {
        lib::CSynchronizer lock(section);
        if (column < 0) column = IsSecondProductKind() ? 1 : 0;
    }
    for (const auto& row : kRows)
        if (row.id == id) return column ? row.second : row.first;
    return RGB(238, 247, 255);
}

void AttachProp(HWND hwnd, CWndProp* prop) {
    if (!SetPropA(hwnd, "WndProp", prop)) delete prop;
}

void DestroyProp(HWND hwnd) {
    delete static_cast<CWndProp*>(RemovePropA(hwnd, "WndProp"));
}

void RecomputeFrame(HWND hwnd) {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}
