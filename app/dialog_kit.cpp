#include "app/dialog_kit.h"

#include <cstdlib>
#include <cwchar>

#include "app/shell.h"
#include "platform/caption_button.h"

const WCHAR kHelpMain[] = L"arkel_help";
const WCHAR kHelpNew[] = L"new";
const WCHAR kHelpModify[] = L"modify";
const WCHAR kHelpPassword[] = L"password";
const WCHAR kHelpSettings[] = L"settings";
const WCHAR kHelpCategories[] = L"categories";
const WCHAR kHelpTitles[] = L"titles";
const WCHAR kHelpAbout[] = L"about";
const WCHAR kHelpSearch[] = L"search";
const WCHAR kHelpGenerator[] = L"generator";
const WCHAR *const kHelpAnchors[] = {kHelpMain,     kHelpNew,        kHelpModify, kHelpPassword,
                                     kHelpSettings, kHelpCategories, kHelpTitles, kHelpAbout,
                                     kHelpSearch,   kHelpGenerator,  nullptr};

namespace {

// Tests run dialogs without start-up; the test program's module holds the templates then.
HINSTANCE ResourceModule() { return hInst ? hInst : GetModuleHandleW(nullptr); }

}  // namespace

COLORREF ReadableTextColor(COLORREF text, COLORREF back) {
    const int dr = GetRValue(text) - GetRValue(back), dg = GetGValue(text) - GetGValue(back),
              db = GetBValue(text) - GetBValue(back);
    if (std::abs(dr) + std::abs(dg) + std::abs(db) >= 48) return text;
    const int luminance =
        (299 * GetRValue(back) + 587 * GetGValue(back) + 114 * GetBValue(back)) / 1000;
    return luminance < 128 ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

INT_PTR DialogColour(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, ReadableTextColor(clrWindowText, clrWindowBack));
        SetBkColor(hdc, clrWindowBack);
        return reinterpret_cast<INT_PTR>(hbrWindowBack);
    }
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(hbrWindowBack);
    case WM_CTLCOLORLISTBOX: {
        HDC hdc = reinterpret_cast<HDC>(wParam);
        SetTextColor(hdc, ReadableTextColor(clrListText, clrListBack));
        SetBkColor(hdc, clrListBack);
        return reinterpret_cast<INT_PTR>(hbrListBack);
    }
    default: return 0;
    }
}

bool IdleTimerEnds(HWND hDlg) {
    // Another window of the program is active (a message box, a nested dialog): the dialog is
    // still in use. With none active (the program in the background) the idle time counts.
    HWND active = GetActiveWindow();
    return autoQuitActive && !(active && active != hDlg);
}

bool DialogKitMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/, unsigned rules,
                      const WCHAR *helpAnchor, INT_PTR *result) {
    if ((rules & kKitIdle) && autoQuitActive) SetTimer(hDlg, kIdleTimerId, autoQuitPeriod, nullptr);
    switch (message) {
    case WM_TIMER:
        if (!(rules & kKitIdle)) return false;
        *result = TRUE;
        if (!IdleTimerEnds(hDlg)) return true;
        autoQuitPeriod = 1;
        EndDialog(hDlg, 1);
        return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        if (!(rules & kKitColours)) return false;
        *result = DialogColour(message, wParam);
        return true;
    case WM_CTLCOLORLISTBOX:
        if (!(rules & kKitListColours)) return false;
        *result = DialogColour(message, wParam);
        return true;
    case WM_HELP:
        if (!helpAnchor) return false;
        StartHelp(helpAnchor);
        *result = TRUE;
        return true;
    case WM_SETTINGCHANGE:
        if (!(rules & kKitSettingChange)) return false;
        *result = TRUE;
        return true;
    default: return false;
    }
}

LPCDLGTEMPLATEW LoadDialogTemplate(int templateId) {
    HINSTANCE module = ResourceModule();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    return loaded ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
}

INT_PTR ShowDialog(HWND owner, int templateId, DLGPROC dlgProc, LPARAM param) {
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(templateId);
    if (!dialogTemplate) return -1;
    return DialogBoxIndirectParamW(ResourceModule(), dialogTemplate, owner, dlgProc, param);
}

HWND CreateModelessDialog(int templateId, DLGPROC dlgProc, LPARAM param) {
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(templateId);
    if (!dialogTemplate) return nullptr;
    return CreateDialogIndirectParamW(ResourceModule(), dialogTemplate, nullptr, dlgProc, param);
}

void AddCaptionButtons(HWND hDlg) {
    LONG exStyle = GetWindowLongW(hDlg, GWL_EXSTYLE);
    SetWindowLongW(hDlg, GWL_EXSTYLE, exStyle | WS_EX_CAPTIONOKBTN | WS_EX_CONTEXTHELP);
}

void ProgramFolder(WCHAR *out, DWORD size) {
    DWORD length = GetModuleFileNameW(nullptr, out, size);
    if (length == 0 || length >= size) {
        out[0] = 0;
        return;
    }
    WCHAR *slash = wcsrchr(out, L'\\');
    if (slash)
        slash[1] = 0;
    else
        out[0] = 0;
}

void StartHelp(const WCHAR *anchor) {
    // The viewer is started by its full path beside the program, never looked up in the current
    // folder, where any file of that name could stand.
    WCHAR viewer[MAX_PATH + 16];
    ProgramFolder(viewer, MAX_PATH);
    if (!viewer[0]) return;
    lstrcatW(viewer, L"PegHelp.exe");
    WCHAR commandLine[MAX_PATH + 64];
    wsprintfW(commandLine, L"\"%s\" arkel.htp#%s", viewer, anchor);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(viewer, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}
