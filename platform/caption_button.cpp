// The OK button in dialog captions (see caption_button.h).
//
// A thread hook sees every dialog's WM_INITDIALOG and WM_STYLECHANGED after the dialog handled
// it; a dialog whose extended style then holds WS_EX_CAPTIONOKBTN is subclassed. The subclass
// paints the button over the caption after each non-client paint, answers hit tests on it, and
// tracks the mouse with the capture held, so the button looks pressed while the mouse is down on
// it and sends IDOK when released there. The client area is never touched.
#include "platform/caption_button.h"

#include <commctrl.h>

#include <algorithm>

namespace {

const WCHAR kCaptionProp[] = L"ArkelCaptionOk";
const WCHAR kDialogClass[] = L"#32770";

struct CaptionOkState {
    WNDPROC dialogProc = nullptr;
    bool pressed = false;  // the mouse went down on the button and is still held
    bool inside = false;   // ... and is over the button now
};

// One hook per thread (the program has one UI thread; tests may install on theirs).
thread_local HHOOK hookHandle = nullptr;

CaptionOkState *StateOf(HWND hDlg) {
    return static_cast<CaptionOkState *>(GetPropW(hDlg, kCaptionProp));
}

bool WantsButton(HWND hDlg) {
    WCHAR cls[16] = L"";
    GetClassNameW(hDlg, cls, 16);
    if (lstrcmpW(cls, kDialogClass) != 0) return false;
    DWORD style = static_cast<DWORD>(GetWindowLongW(hDlg, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongW(hDlg, GWL_EXSTYLE));
    return (exStyle & static_cast<DWORD>(WS_EX_CAPTIONOKBTN)) && (style & WS_CAPTION) == WS_CAPTION;
}

// Windows draws a "?" button for WS_EX_CONTEXTHELP; Wine draws none (F1 still asks for help).
bool SystemDrawsHelpButton() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return !wine;
}

// The button's place in screen coordinates: in the caption, left of the caption's own buttons.
bool ButtonRect(HWND hDlg, RECT *rc) {
    RECT wr{};
    if (!GetWindowRect(hDlg, &wr)) return false;
    POINT origin{0, 0};
    ClientToScreen(hDlg, &origin);
    DWORD style = static_cast<DWORD>(GetWindowLongW(hDlg, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongW(hDlg, GWL_EXSTYLE));
    int edge = (exStyle & WS_EX_CLIENTEDGE) ? GetSystemMetrics(SM_CXEDGE) : 0;
    int border = origin.x - wr.left - edge;
    int captionTop = wr.top + border;
    int captionBottom = captionTop + GetSystemMetrics(SM_CYCAPTION) - 1;
    int right = wr.right - border - 2;
    int buttons = 0;
    if (style & WS_SYSMENU) {
        ++buttons;
        if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
            buttons += 2;
        else if ((exStyle & WS_EX_CONTEXTHELP) && SystemDrawsHelpButton())
            ++buttons;
    }
    right -= buttons * GetSystemMetrics(SM_CXSIZE);
    int height = std::max(captionBottom - captionTop - 4, 8);
    int width = std::max(height + 10, 26);
    rc->left = right - width;
    rc->right = right;
    rc->top = captionTop + (captionBottom - captionTop - height) / 2;
    rc->bottom = rc->top + height;
    return rc->left > wr.left;
}

void PaintButton(HWND hDlg, CaptionOkState *st) {
    RECT rc{}, wr{};
    if (!ButtonRect(hDlg, &rc) || !GetWindowRect(hDlg, &wr)) return;
    OffsetRect(&rc, -wr.left, -wr.top);
    HDC hdc = GetWindowDC(hDlg);
    if (!hdc) return;
    bool down = st->pressed && st->inside;
    DrawFrameControl(hdc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));
    HGDIOBJ oldFont = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    if (down) OffsetRect(&rc, 1, 1);
    DrawTextW(hdc, L"OK", 2, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(hdc, oldFont);
    ReleaseDC(hDlg, hdc);
}

bool OverButton(HWND hDlg, POINT screen) {
    RECT rc{};
    return ButtonRect(hDlg, &rc) && PtInRect(&rc, screen);
}

void Detach(HWND hDlg, CaptionOkState *st) {
    SetWindowLongPtrW(hDlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(st->dialogProc));
    RemovePropW(hDlg, kCaptionProp);
    delete st;
}

LRESULT CALLBACK CaptionOkProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    CaptionOkState *st = StateOf(hDlg);
    WNDPROC proc = st->dialogProc;
    switch (message) {
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_SETTEXT: {
        LRESULT result = CallWindowProcW(proc, hDlg, message, wParam, lParam);
        if (StateOf(hDlg) == st && WantsButton(hDlg)) PaintButton(hDlg, st);
        return result;
    }
    case WM_NCHITTEST: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        // A border hit does nothing by default, so the press is ours to handle.
        if (WantsButton(hDlg) && OverButton(hDlg, pt)) return HTBORDER;
        break;
    }
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wParam == HTBORDER && WantsButton(hDlg) && OverButton(hDlg, pt)) {
            st->pressed = st->inside = true;
            SetCapture(hDlg);
            PaintButton(hDlg, st);
            return 0;
        }
        break;
    }
    case WM_MOUSEMOVE:
        if (st->pressed) {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(hDlg, &pt);
            bool inside = OverButton(hDlg, pt);
            if (inside != st->inside) {
                st->inside = inside;
                PaintButton(hDlg, st);
            }
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (st->pressed) {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(hDlg, &pt);
            bool clicked = OverButton(hDlg, pt);
            st->pressed = st->inside = false;
            ReleaseCapture();
            PaintButton(hDlg, st);
            if (clicked) SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
        if (st->pressed && reinterpret_cast<HWND>(lParam) != hDlg) {
            st->pressed = st->inside = false;
            PaintButton(hDlg, st);
        }
        break;
    case WM_NCDESTROY:
        Detach(hDlg, st);
        return CallWindowProcW(proc, hDlg, message, wParam, lParam);
    }
    return CallWindowProcW(proc, hDlg, message, wParam, lParam);
}

// With desktop composition the frame is drawn by the desktop window manager, over anything
// painted into the caption; such a dialog gets the classic frame, which user32 paints.
void UseClassicFrame(HWND hDlg) {
    typedef HRESULT(WINAPI * SetAttribute)(HWND, DWORD, LPCVOID, DWORD);
    static HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    static auto setAttribute = dwm ? reinterpret_cast<SetAttribute>(reinterpret_cast<void *>(
                                         GetProcAddress(dwm, "DwmSetWindowAttribute")))
                                   : nullptr;
    const DWORD kNcRenderingPolicy = 2, kNcRenderingDisabled = 1;  // DWMWA_, DWMNCRP_ values
    if (setAttribute) setAttribute(hDlg, kNcRenderingPolicy, &kNcRenderingDisabled, sizeof(DWORD));
}

void Refresh(HWND hDlg) {
    bool want = WantsButton(hDlg);
    CaptionOkState *st = StateOf(hDlg);
    if (want && !st) {
        st = new CaptionOkState;
        SetPropW(hDlg, kCaptionProp, st);
        st->dialogProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hDlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CaptionOkProc)));
        UseClassicFrame(hDlg);
    } else if (!want && st) {
        // Someone may have subclassed the dialog after us; then the subclass stays and idles.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hDlg, GWLP_WNDPROC)) == CaptionOkProc)
            Detach(hDlg, st);
    } else {
        return;
    }
    SetWindowPos(hDlg, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Each dialog of the thread is watched from its creation by a subclass of its own, so that the
// cost falls on dialogs alone and not on every message that the thread's windows are sent.
constexpr UINT_PTR kWatchId = 0x43424F4B;  // "CBOK"

LRESULT CALLBACK WatchDialog(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                             DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hDlg, WatchDialog, id);
        return DefSubclassProc(hDlg, message, wParam, lParam);
    }
    LRESULT result = DefSubclassProc(hDlg, message, wParam, lParam);
    if (message == WM_INITDIALOG ||
        (message == WM_STYLECHANGED && wParam == static_cast<WPARAM>(GWL_EXSTYLE)))
        Refresh(hDlg);
    return result;
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto hwnd = reinterpret_cast<HWND>(wParam);
        WCHAR cls[16] = L"";
        GetClassNameW(hwnd, cls, 16);
        if (lstrcmpW(cls, kDialogClass) == 0) SetWindowSubclass(hwnd, WatchDialog, kWatchId, 0);
    }
    return CallNextHookEx(hookHandle, code, wParam, lParam);
}

}  // namespace

int InstallCaptionButtons() {
    if (hookHandle) return 0;
    hookHandle = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    return hookHandle ? 0 : -1;
}

void RemoveCaptionButtons() {
    if (!hookHandle) return;
    UnhookWindowsHookEx(hookHandle);
    hookHandle = nullptr;
}

BOOL GetCaptionOkButtonRect(HWND hDlg, RECT *rc) {
    if (!rc || !IsWindow(hDlg) || !StateOf(hDlg) || !WantsButton(hDlg)) return FALSE;
    return ButtonRect(hDlg, rc) ? TRUE : FALSE;
}
