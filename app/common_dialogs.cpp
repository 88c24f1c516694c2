#include "app/common_dialogs.h"

#include <colordlg.h>
#include <dlgs.h>

#include <algorithm>
#include <string>

#include "platform/screen_shape.h"
#include "resources/resource.h"

namespace {

const WCHAR kFileDialogProp[] = L"ArkelFileDialog";
const WCHAR kReplaceQuestion[] =
    L"\u201e%s\u201c ist bereits vorhanden.\nM\u00f6chten Sie die Datei "
    L"ersetzen?";

// What the handheld's file dialog does beyond the system's older style; the hook finds it
// through the OPENFILENAMEW's lCustData.
struct FileDialogState {
    bool save;
    bool overwritePrompt;
    const WCHAR *defaultExtension;
};

// The pattern of the filter at the 0-based index ("*.ark"); nullptr when there is none.
const WCHAR *FilterPattern(const WCHAR *filter, DWORD index) {
    for (DWORD i = 0; filter && *filter; ++i) {
        const WCHAR *pattern = filter + lstrlenW(filter) + 1;
        if (i == index) return pattern;
        filter = pattern + lstrlenW(pattern) + 1;
    }
    return nullptr;
}

// The extension a name typed without one takes: that of the chosen filter when it names one
// ("*.txt" gives "txt"; "*.*" names none), else the dialog's default. As the Explorer style.
std::wstring ExtensionFor(const OPENFILENAMEW &ofn, const WCHAR *defaultExtension) {
    const WCHAR *pattern =
        FilterPattern(ofn.lpstrFilter, ofn.nFilterIndex > 0 ? ofn.nFilterIndex - 1 : 0);
    if (pattern) {
        std::wstring first(pattern);
        first = first.substr(0, first.find(L';'));
        size_t dot = first.rfind(L'.');
        if (dot != std::wstring::npos) {
            std::wstring extension = first.substr(dot + 1);
            if (!extension.empty() && extension.find_first_of(L"*? ") == std::wstring::npos)
                return extension;
        }
    }
    return defaultExtension ? defaultExtension : L"";
}

bool IsFile(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WCHAR *FileNamePart(WCHAR *path) {
    WCHAR *name = path;
    for (WCHAR *p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
    return name;
}

void SetFileOffsets(OPENFILENAMEW &ofn) {
    WCHAR *name = FileNamePart(ofn.lpstrFile);
    ofn.nFileOffset = static_cast<WORD>(name - ofn.lpstrFile);
    WCHAR *dot = wcsrchr(name, L'.');
    ofn.nFileExtension = dot ? static_cast<WORD>(dot + 1 - ofn.lpstrFile) : 0;
}

// The file the user chose, in ofn.lpstrFile: gets its extension, and on saving over an
// existing file the user is asked. False keeps the dialog open.
bool AcceptChosenFile(HWND dialog, OPENFILENAMEW &ofn, const FileDialogState &state) {
    WCHAR *path = ofn.lpstrFile;
    WCHAR *name = FileNamePart(path);
    if (!*name) return false;
    if (!wcschr(name, L'.')) {
        std::wstring extension = ExtensionFor(ofn, state.defaultExtension);
        std::wstring longer = std::wstring(path) + L"." + extension;
        // An open dialog keeps a name without extension when only that file exists.
        if (!extension.empty() && longer.size() < ofn.nMaxFile &&
            (state.save || IsFile(longer.c_str()) || !IsFile(path)))
            lstrcpynW(path, longer.c_str(), static_cast<int>(ofn.nMaxFile));
    }
    SetFileOffsets(ofn);
    if (state.save && state.overwritePrompt && IsFile(path)) {
        WCHAR question[MAX_PATH + 96];
        wsprintfW(question, kReplaceQuestion, FileNamePart(path));
        WCHAR title[128];
        GetWindowTextW(dialog, title, 128);
        if (MessageBoxW(dialog, question, title, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
            IDYES)
            return false;
    }
    return true;
}

// The file list after a change of the file type: the files of the new filter's patterns. The
// older style would also put the pattern into the file name edit, over a name already typed.
void ListFilesOfType(HWND dialog, OPENFILENAMEW &ofn) {
    LRESULT chosen = SendDlgItemMessageW(dialog, cmb1, CB_GETCURSEL, 0, 0);
    if (chosen == CB_ERR) return;
    ofn.nFilterIndex = static_cast<DWORD>(chosen) + 1;
    const WCHAR *patterns = FilterPattern(ofn.lpstrFilter, static_cast<DWORD>(chosen));
    HWND files = GetDlgItem(dialog, lst1);
    SendMessageW(files, LB_RESETCONTENT, 0, 0);
    std::wstring all = patterns ? patterns : L"*.*";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(L';', start);
        if (end == std::wstring::npos) end = all.size();
        std::wstring one = all.substr(start, end - start);
        size_t first = one.find_first_not_of(L' ');
        if (first != std::wstring::npos)
            SendMessageW(files, LB_DIR, 0, reinterpret_cast<LPARAM>(one.c_str() + first));
        start = end + 1;
    }
}

// The older style draws its lists' rows 16 pixels high whatever the font: at a higher DPI the
// names would overlap. A row holds the dialog's text or the 16-pixel icon, whichever is taller.
void FitRowsToFont(HWND dialog) {
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    const LPARAM row = std::max<LONG>(16, metrics.tmHeight + 2);
    SendDlgItemMessageW(dialog, lst1, LB_SETITEMHEIGHT, 0, row);
    SendDlgItemMessageW(dialog, lst2, LB_SETITEMHEIGHT, 0, row);
    SendDlgItemMessageW(dialog, cmb2, CB_SETITEMHEIGHT, 0, row);
    SendDlgItemMessageW(dialog, cmb2, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), row);
}

UINT_PTR CALLBACK HandheldFileHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT fileOk = RegisterWindowMessageW(FILEOKSTRINGW);
    auto *ofn = static_cast<OPENFILENAMEW *>(GetPropW(dialog, kFileDialogProp));
    if (message == WM_INITDIALOG) {
        ofn = reinterpret_cast<OPENFILENAMEW *>(lParam);
        SetPropW(dialog, kFileDialogProp, ofn);
        const auto *state = reinterpret_cast<const FileDialogState *>(ofn->lCustData);
        SetDlgItemTextW(dialog, IDOK, state->save ? L"Speichern" : L"\u00d6ffnen");
        FitRowsToFont(dialog);
        KeepInsideWorkArea(dialog);
        return TRUE;  // the focus goes to the file name
    }
    if (!ofn) return FALSE;
    const auto *state = reinterpret_cast<const FileDialogState *>(ofn->lCustData);
    if (message == fileOk) return AcceptChosenFile(dialog, *ofn, *state) ? 0 : 1;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == cmb1 &&
            (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_SELENDOK)) {
            ListFilesOfType(dialog, *ofn);
            return TRUE;
        }
        break;
    case WM_WINDOWPOSCHANGED: KeepInsideWorkArea(dialog); break;
    case WM_DESTROY: RemovePropW(dialog, kFileDialogProp); break;
    }
    return FALSE;
}

UINT_PTR CALLBACK HandheldColourHook(HWND dialog, UINT message, WPARAM, LPARAM) {
    // The system hides the mixer but not its brightness bar, which then stands beyond the
    // dialog's edge; it shows the bar again with the mixer.
    if (message == WM_INITDIALOG &&
        !(GetWindowLongW(GetDlgItem(dialog, COLOR_RAINBOW), GWL_STYLE) & WS_VISIBLE))
        ShowWindow(GetDlgItem(dialog, COLOR_LUMSCROLL), SW_HIDE);
    // Opening the mixer widens the dialog to the right of where it stands.
    if (message == WM_INITDIALOG || message == WM_WINDOWPOSCHANGED) KeepInsideWorkArea(dialog);
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

void KeepInsideWorkArea(HWND window) {
    RECT work, frame;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || !GetWindowRect(window, &frame))
        return;
    LONG x = frame.left, y = frame.top;
    if (frame.right > work.right) x -= frame.right - work.right;
    if (frame.bottom > work.bottom) y -= frame.bottom - work.bottom;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    if (x != frame.left || y != frame.top)
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL RunFileDialog(OPENFILENAMEW &ofn, bool save) {
    if (!HandheldScreen()) return save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    // A template without OFN_EXPLORER gives the older style, which lays out only what the
    // template holds. The extension and the replace question are the hook's: that style of
    // Wine does neither.
    FileDialogState state{save, (ofn.Flags & OFN_OVERWRITEPROMPT) != 0, ofn.lpstrDefExt};
    OPENFILENAMEW own = ofn;
    own.Flags = (ofn.Flags & ~(OFN_EXPLORER | OFN_ENABLESIZING | OFN_OVERWRITEPROMPT |
                               OFN_ALLOWMULTISELECT | OFN_SHOWHELP)) |
                OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_HIDEREADONLY;
    own.lpstrDefExt = nullptr;
    own.hInstance = GetModuleHandleW(nullptr);
    own.lpTemplateName = MAKEINTRESOURCEW(IDD_FILE_HANDHELD);
    own.lpfnHook = HandheldFileHook;
    own.lCustData = reinterpret_cast<LPARAM>(&state);
    BOOL chosen = save ? GetSaveFileNameW(&own) : GetOpenFileNameW(&own);
    ofn.nFilterIndex = own.nFilterIndex;
    ofn.nFileOffset = own.nFileOffset;
    ofn.nFileExtension = own.nFileExtension;
    return chosen;
}

BOOL RunColourDialog(CHOOSECOLORW &cc) {
    if (!HandheldScreen()) return ChooseColorW(&cc);
    CHOOSECOLORW own = cc;
    own.Flags =
        (cc.Flags & ~(CC_ENABLETEMPLATEHANDLE | CC_SHOWHELP)) | CC_ENABLETEMPLATE | CC_ENABLEHOOK;
    own.hInstance = reinterpret_cast<HWND>(GetModuleHandleW(nullptr));
    own.lpTemplateName = MAKEINTRESOURCEW(IDD_COLOUR_HANDHELD);
    own.lpfnHook = HandheldColourHook;
    BOOL chosen = ChooseColorW(&own);
    cc.rgbResult = own.rgbResult;
    return chosen;
}
