// Modal dialogs from the stored templates, and the "PFEIL" arrow of the object edit dialog.
#include <windows.h>

#include "app/dialog_kit.h"
#include "app/shell.h"

INT_PTR RunDialog(HWND owner, int templateId, DLGPROC dlgProc, LPARAM param) {
    // The dialog keeps its own idle timer; the owner's next message re-arms the owner's.
    KillTimer(owner, kIdleTimerId);
    INT_PTR result = ShowDialog(owner, templateId, dlgProc, param);
    if (owner == hMainWnd) SetFocus(hObjectList);
    return result;
}

LRESULT CALLBACK ArrowWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        HDC hdc = GetDC(hwnd);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(hdc, &rc, hbrWindowBack);
        HPEN pen = CreatePen(PS_SOLID, 1, clrWindowText);
        HGDIOBJ oldBrush = SelectObject(hdc, hbrWindowText);
        HGDIOBJ oldPen = SelectObject(hdc, pen);
        POINT points[3] = {{rc.left + 2, rc.top + 2},
                           {rc.right - 2, rc.top + 2},
                           {(rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2 + 2}};
        Polygon(hdc, points, 3);
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
        DeleteObject(pen);
        ReleaseDC(hwnd, hdc);
        return result;
    }
    case WM_LBUTTONDOWN:
        // A tap reaches the dialog as a command from the arrow, notification code 0.
        SendMessageW(GetParent(hwnd), WM_COMMAND, static_cast<WPARAM>(GetDlgCtrlID(hwnd)),
                     reinterpret_cast<LPARAM>(hwnd));
        return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
