// Objects with run-time class information, and command targets with message maps.
#pragma once
#include <windows.h>

// ---- Run-time class information ---------------------------------------------

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    const CRuntimeClass* m_pBaseClass;

    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)                      \
public:                                                  \
    static const CRuntimeClass class##class_name;        \
    CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                    \
    const CRuntimeClass class_name::class##class_name = {                                 \
        #class_name, static_cast<int>(sizeof(class_name)), &base_class_name::class##base_class_name}; \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    BOOL IsKindOf(const CRuntimeClass* cls) const;

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

// ---- Message maps -------------------------------------------------------------
//
// Each entry names a message (with a notification code and a command id range for
// WM_COMMAND) and a small function, made by the entry macro from a captureless
// lambda, that unpacks the parameters and calls the member handler with its own
// type-checked signature. It returns whether the message counts as handled.

class CCmdTarget;
class CWnd;

#define afx_msg

typedef BOOL (*AFX_PMSG)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    AFX_PMSG pfn;  // null ends the entries
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Notifications reflected back to the control that sent them.
#define WM_REFLECT_BASE 0xBC00
#define CN_COMMAND 0

#define DECLARE_MESSAGE_MAP()                            \
protected:                                               \
    static const AFX_MSGMAP* GetThisMessageMap();        \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                    \
        using ThisClass [[maybe_unused]] = theClass;                                     \
        using TheBaseClass = baseClass;                                                  \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define END_MESSAGE_MAP()                                                                \
        {0, 0, 0, 0, nullptr}};                                                          \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, messageEntries}; \
        return &messageMap;                                                              \
    }

// The entry macros; "t" is the object whose map holds the entry.
#define AFX_ENTRY_FN(body) \
    [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> BOOL { \
        (void)w; (void)l; (void)r; ThisClass* p = static_cast<ThisClass*>(t); body }

#define ON_COMMAND(id, memberFxn)                                                        \
    {WM_COMMAND, CN_COMMAND, static_cast<UINT>(id), static_cast<UINT>(id),               \
     AFX_ENTRY_FN((p->*static_cast<void (ThisClass::*)()>(memberFxn))(); return TRUE;)},

#define ON_CONTROL(code, id, memberFxn)                                                  \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),  \
     AFX_ENTRY_FN((p->*static_cast<void (ThisClass::*)()>(memberFxn))(); return TRUE;)},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// A private message: LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn)                                                   \
    {static_cast<UINT>(message), 0, 0, 0,                                                \
     AFX_ENTRY_FN(*r = (p->*static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(memberFxn))(w, l); \
                  return TRUE;)},

// A notification of the control to itself: void handler(); the parent does not get it.
#define ON_CONTROL_REFLECT(code, memberFxn)                                              \
    {WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0,                        \
     AFX_ENTRY_FN((p->*static_cast<void (ThisClass::*)()>(memberFxn))(); return TRUE;)},

// As above with BOOL handler(); FALSE passes the notification on to the parent too.
#define ON_CONTROL_REFLECT_EX(code, memberFxn)                                           \
    {WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0,                        \
     AFX_ENTRY_FN(return (p->*static_cast<BOOL (ThisClass::*)()>(memberFxn))();)},

#define AFX_WM_ENTRY(message, body) {message, 0, 0, 0, AFX_ENTRY_FN(body)},

#define AFX_X_LPARAM(l) static_cast<int>(static_cast<short>(LOWORD(l)))
#define AFX_Y_LPARAM(l) static_cast<int>(static_cast<short>(HIWORD(l)))

#define ON_WM_PAINT() AFX_WM_ENTRY(WM_PAINT, p->OnPaint(); *r = 0; return TRUE;)
#define ON_WM_QUERYDRAGICON() \
    AFX_WM_ENTRY(WM_QUERYDRAGICON, *r = reinterpret_cast<LRESULT>(p->OnQueryDragIcon()); return TRUE;)
#define ON_WM_TIMER() AFX_WM_ENTRY(WM_TIMER, p->OnTimer(static_cast<UINT_PTR>(w)); *r = 0; return TRUE;)
#define ON_WM_SETFOCUS() \
    AFX_WM_ENTRY(WM_SETFOCUS, p->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w))); *r = 0; return TRUE;)
#define ON_WM_KILLFOCUS() \
    AFX_WM_ENTRY(WM_KILLFOCUS, p->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(w))); *r = 0; return TRUE;)
#define ON_WM_NCHITTEST() \
    AFX_WM_ENTRY(WM_NCHITTEST, *r = p->OnNcHitTest(CPoint(AFX_X_LPARAM(l), AFX_Y_LPARAM(l))); return TRUE;)
#define ON_WM_ERASEBKGND() \
    AFX_WM_ENTRY(WM_ERASEBKGND, *r = p->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(w))); return TRUE;)
#define ON_WM_MOUSELEAVE() AFX_WM_ENTRY(WM_MOUSELEAVE, p->OnMouseLeave(); *r = 0; return TRUE;)
#define ON_WM_CHAR() \
    AFX_WM_ENTRY(WM_CHAR, p->OnChar(static_cast<UINT>(w), LOWORD(l), HIWORD(l)); *r = 0; return TRUE;)
#define ON_WM_KEYDOWN() \
    AFX_WM_ENTRY(WM_KEYDOWN, p->OnKeyDown(static_cast<UINT>(w), LOWORD(l), HIWORD(l)); *r = 0; return TRUE;)
#define ON_WM_LBUTTONDOWN()                                                                      \
    AFX_WM_ENTRY(WM_LBUTTONDOWN,                                                                 \
                 p->OnLButtonDown(static_cast<UINT>(w), CPoint(AFX_X_LPARAM(l), AFX_Y_LPARAM(l))); \
                 *r = 0; return TRUE;)
#define ON_WM_DROPFILES() \
    AFX_WM_ENTRY(WM_DROPFILES, p->OnDropFiles(reinterpret_cast<HDROP>(w)); *r = 0; return TRUE;)

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    // Runs the handler of a command (WM_COMMAND with this id and notification code).
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    // Runs the first entry for (message, code, id) in this object's maps, the most
    // derived first; FALSE when none matches or the handler declined.
    BOOL DispatchMessageEntry(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT* result);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};
