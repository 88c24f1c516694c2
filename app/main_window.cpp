// The main window: command bands, detail area and object list; every command of the program
// arrives here and goes to the part that does the work.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cwchar>
#include <initializer_list>

#include "app/clipboard.h"
#include "app/common_dialogs.h"
#include "app/dialog_kit.h"
#include "app/lock.h"
#include "app/object_rows.h"
#include "app/shell.h"
#include "dialogs/password_dialogs.h"
#include "dialogs/categories_dialog.h"
#include "dialogs/field_titles_dialog.h"
#include "dialogs/object_edit_dialog.h"
#include "exchange/export.h"
#include "exchange/import.h"
#include "platform/command_bands.h"
#include "prefs/preferences_dialog.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/object_store.h"

namespace {

constexpr DWORD kStaticStyle = 0x50000182;  // child, visible, SS_NOTIFY, SS_NOPREFIX, SS_RIGHT
constexpr DWORD kValueStyle = 0x50000180;   // child, visible, SS_NOTIFY, SS_NOPREFIX
constexpr DWORD kHiddenStyle = 0x40000100;  // child, SS_NOTIFY; never shown
constexpr DWORD kListStyle = 0x50202011;    // child, visible, WS_VSCROLL, LBS_NOTIFY, owner data
constexpr DWORD kComboStyle = 0x200103;     // WS_VSCROLL, CBS_SORT, CBS_DROPDOWNLIST

// The six tool bar tooltips, one per non-separator button in button order.
LPCWSTR kToolTips[6] = {L"Neu",      L"Bearbeiten",    L"Ausschneiden",
                        L"Kopieren", L"Einf\u00fcgen", L"L\u00f6schen"};

struct ColourCommand {
    UINT command;
    COLORREF *colour;
    HBRUSH *brush;
    void (Settings::*write)(COLORREF);
    bool repaint;  // the detail area and the list show this colour
};

const ColourCommand kColourCommands[] = {
    {IDM_COLOR_WINDOW_BACK, &clrWindowBack, &hbrWindowBack, &Settings::SetBackColorDialog, false},
    {IDM_COLOR_WINDOW_TEXT, &clrWindowText, &hbrWindowText, &Settings::SetColorDialog, false},
    {IDM_COLOR_DETAIL_BACK, &clrDetailBack, &hbrDetailBack, &Settings::SetBackColorStatic, true},
    {IDM_COLOR_DETAIL_TEXT, &clrDetailText, &hbrDetailText, &Settings::SetColorStatic, true},
    {IDM_COLOR_LIST_BACK, &clrListBack, &hbrListBack, &Settings::SetBackColorListe, true},
    {IDM_COLOR_LIST_TEXT, &clrListText, &hbrListText, &Settings::SetColorListe, true},
};

HWND CreateChild(DWORD exStyle, const WCHAR *cls, DWORD style, int x, int y, int w, int h,
                 HWND parent) {
    return CreateWindowExW(exStyle, cls, L"", style, x, y, w, h, parent, nullptr, hInst, nullptr);
}

// The tool bar's images at the DPI: the standard small ones at 96 DPI (as on the handheld), the
// standard large ones (24 pixels) up to 1.75 times that, and the program's own 32-pixel images
// above, each drawn at its size rather than stretched.
void AddToolBarImages() {
    if (shellDpi < 144)
        CommandBar_AddBitmap(hToolBar, HINST_COMMCTRL, IDB_STD_SMALL_COLOR, 0, 0, 0);
    else if (shellDpi < 168)
        CommandBar_AddBitmap(hToolBar, HINST_COMMCTRL, IDB_STD_LARGE_COLOR, 0, 24, 24);
    else
        CommandBar_AddBitmap(hToolBar, hInst, IDB_TOOLBAR_32, 0, 32, 32);
}

void BuildCommandBands(HWND hwnd) {
    hCommandBands = CommandBands_Create(hInst, hwnd, 1, 0x1000, nullptr);

    const UINT widths[3] = {static_cast<UINT>(Px(110)), static_cast<UINT>(Px(155)),
                            static_cast<UINT>(Px(189))};
    REBARBANDINFOW bands[3] = {};
    for (UINT i = 0; i < 3; ++i) {
        bands[i].cbSize = sizeof bands[i];
        bands[i].fMask = RBBIM_ID | RBBIM_SIZE | RBBIM_STYLE;
        bands[i].fStyle = RBBS_NOGRIPPER;
        bands[i].wID = i + 1;
        bands[i].cx = widths[i];
    }
    CommandBands_AddBands(hCommandBands, hInst, 3, bands);

    hMenuBar = CommandBands_GetCommandBar(hCommandBands, 0);
    CommandBar_InsertMenubar(hMenuBar, hInst, IDR_MAIN_MENU, 0);
    hMenu = CommandBar_GetMenu(hMenuBar, 0);

    hToolBar = CommandBands_GetCommandBar(hCommandBands, 1);
    AddToolBarImages();
    TBBUTTON buttons[8] = {
        {STD_FILENEW, IDM_NEW_OBJECT, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {STD_FILEOPEN, IDM_EDIT_OBJECT, 0, BTNS_BUTTON, {}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
        {STD_CUT, IDM_CUT, 0, BTNS_BUTTON, {}, 0, 0},
        {STD_COPY, IDM_COPY, 0, BTNS_BUTTON, {}, 0, 0},
        {STD_PASTE, IDM_PASTE, 0, BTNS_BUTTON, {}, 0, 0},
        {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
        {STD_DELETE, IDM_DELETE, 0, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageW(hToolBar, TB_ADDBUTTONSW, 8, reinterpret_cast<LPARAM>(buttons));

    hComboBar = CommandBands_GetCommandBar(hCommandBands, 2);
    hCategoryCombo =
        CommandBar_InsertComboBox(hComboBar, hInst, Px(189), kComboStyle, IDC_CATEGORY_COMBO, 0);

    // The handheld's window has no caption: the bands carry its help, OK and close buttons. The
    // desktop window's caption closes it, F1 gives the help and Ctrl+Q ends the program.
    if (windowShape == WindowShape::Handheld)
        CommandBands_AddAdornments(hCommandBands, hInst, 0x0B, nullptr);
    SendMessageW(hToolBar, TB_SETTOOLTIPS, 6, reinterpret_cast<LPARAM>(kToolTips));
}

void OnCreate(HWND hwnd) {
    hAccel = LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    BuildCommandBands(hwnd);

    // Made at their handheld places; WM_SIZE lays them out from the client size.
    RECT client;
    GetClientRect(hwnd, &client);
    int cw = client.right, ch = client.bottom;
    int cbh = CommandBar_Height(hMenuBar);
    const int detail = DetailHeight();

    // The background of the detail band only. Windows CE clips every child by its siblings; the
    // desktop does not, so a background that reached under the list would paint over the list
    // whenever it is repainted (as after every RefreshDetail).
    hDetailBack = CreateChild(0, L"STATIC", kStaticStyle, 0, cbh, cw, detail, hwnd);
    for (int n = 0; n < 3; ++n) {
        int y = cbh + Px(2) + Px(18) * n;
        hTitleLabel[n] = CreateChild(0, L"STATIC", kStaticStyle, 0, y, Px(142), Px(15), hwnd);
        hValueText[n] =
            CreateChild(0, L"STATIC", kValueStyle, Px(150), y, cw - Px(150), Px(15), hwnd);
    }
    hCategoryText =
        CreateChild(0, L"STATIC", kHiddenStyle, Px(150), cbh + Px(38), cw - Px(150), Px(15), hwnd);
    for (HWND label : hTitleLabel)
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(hBoldFont), TRUE);
    hObjectList = CreateChild(WS_EX_CLIENTEDGE, L"LISTBOX", kListStyle, 0, cbh + detail, cw,
                              ch - cbh - detail, hwnd);
    // The handheld's system font is a Tahoma; the desktop's is a bitmap face. Values and list
    // take the normal Tahoma of the shell instead.
    for (HWND w : {hValueText[0], hValueText[1], hValueText[2], hCategoryText, hObjectList})
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(hNormalFont), FALSE);
    CreateSearchBox(hwnd);
    // The background static lies under the labels and values, which stay clickable.
    SetWindowPos(hDetailBack, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void Quit(HWND hwnd) {
    DestroyWindow(hMenuBar);
    DestroyWindow(hwnd);
}

}  // namespace

void LayoutMainWindow() {
    // The first WM_SIZE comes while the window is being made, before hMainWnd is set.
    if (!IsWindow(hObjectList)) return;
    RECT client;
    GetClientRect(GetParent(hObjectList), &client);
    const int cbh = CommandBar_Height(hMenuBar);
    MoveWindow(hDetailBack, 0, cbh, client.right, DetailHeight(), TRUE);
    MoveWindow(hCategoryText, Px(150), cbh + Px(38),
               std::max(0, static_cast<int>(client.right) - Px(150)), Px(15), FALSE);
    LayoutObjectList();
    // The rows of the detail area and their texts follow the new width.
    RefreshDetail();
}

void RepaintInNewColours() {
    // The siblings do not clip one another: the background static, painted after the rows, would
    // cover them. So the background is painted now, then the rows on top of it.
    RedrawWindow(hDetailBack, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HWND rows[] = {hTitleLabel[0], hTitleLabel[1], hTitleLabel[2], hValueText[0],
                   hValueText[1],  hValueText[2],  hCategoryText,  hObjectList};
    for (HWND w : rows)
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

namespace {

void ChooseColour(const ColourCommand &c) {
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = hMainWnd;
    cc.rgbResult = *c.colour;
    cc.lpCustColors = customColors;
    cc.Flags = CC_RGBINIT | CC_ANYCOLOR;
    if (!RunColourDialog(cc)) return;
    *c.colour = cc.rgbResult;
    DeleteObject(*c.brush);
    *c.brush = CreateSolidBrush(*c.colour);
    (settings.*c.write)(*c.colour);
    if (c.repaint) RepaintInNewColours();
}

void EditObject(HWND hwnd, LPARAM mode) {
    RunDialog(hwnd, IDD_OBJECT_EDIT, ObjectEditDlgProc, mode);
}

// The copy is pasted as a new object and opened for editing. When there is no copy, the original
// is not opened in its place.
void DuplicateObject(HWND hwnd) {
    if (!CopyObjectToClipboard(hwnd)) return;
    int pasted = PasteObjectFromClipboard(hwnd);
    if (pasted == 0) {
        // A copy whose field 1 or 2 or a title is empty does not paste.
        MessageBoxW(hwnd,
                    L"Das Objekt kann nicht dupliziert werden, da ein Feld oder ein Titel leer "
                    L"ist.",
                    kAppTitle, MB_ICONHAND);
    }
    if (pasted == 1) EditObject(hwnd, IDM_EDIT_OBJECT);
}

// The menu, accelerators and tool buttons. Returns false for a command that is not ours.
bool RunCommand(HWND hwnd, UINT command) {
    // An accelerator reaches its command also while the menu item is greyed: a command on the
    // selected object does nothing without one (edit would write over the store's current
    // record, which the filter may hide).
    if (IsSelectionCommand(command) && !HasSelection()) return true;
    // While the vault is locked (between the end of a session's query and the password) a key
    // must not start a command on the wiped keys; only ending the program stays possible.
    if (VaultLocked() && command != IDM_QUIT && command != IDCANCEL) return true;
    switch (command) {
    case IDM_NEW_OBJECT: EditObject(hwnd, IDM_NEW_OBJECT); return true;
    case IDM_EDIT_OBJECT: EditObject(hwnd, IDM_EDIT_OBJECT); return true;
    case IDM_DELETE: DeleteSelectedObject(hwnd); return true;
    case IDM_CATEGORIES:
        RunCategoriesDialog(hInst, hwnd);
        // Closing merged back the categories that objects still name, and the encrypt question
        // may have changed the flags of the selected object.
        FillCategoryCombo();
        RefreshDetail();
        SetFocus(hObjectList);
        return true;
    case IDM_COPY:
        if (CopyObjectToClipboard(hwnd)) ArmClipboardClear();
        return true;
    case IDM_COPY_FIELD1:
    case IDM_COPY_FIELD2:
    case IDM_COPY_FIELD3:
        if (CopyFieldToClipboard(hwnd, static_cast<int>(command - IDM_COPY_FIELD1 + 1)))
            ArmClipboardClear();
        return true;
    case IDM_SHOW_FIELD2: RevealField2(); return true;
    case IDM_SEARCH: OpenSearch(); return true;
    case IDM_SEARCH_CLOSE: CloseSearch(); return true;
    case IDM_PASTE: PasteObjectFromClipboard(hwnd); return true;
    case IDM_DUPLICATE: DuplicateObject(hwnd); return true;
    case IDM_CUT:
        // Only an object that is safe on the clipboard is deleted.
        if (CopyObjectToClipboard(hwnd)) DeleteSelectedObject(nullptr);
        return true;
    case IDM_PREFERENCES: RunDialog(hwnd, IDD_PREFERENCES, PreferencesDlgProc, 0); return true;
    case IDM_PASSWORD: RunDialog(hwnd, IDD_CHANGE_PASSWORD, ChangePasswordDlgProc, 0); return true;
    case IDM_TITLES_FIELD1:
    case IDM_TITLES_FIELD2:
    case IDM_TITLES_FIELD3:
        RunFieldTitlesDialog(hInst, hwnd, static_cast<int>(command - IDM_TITLES_FIELD1 + 1));
        FillCategoryCombo();  // closing merged the names that objects use
        SetFocus(hObjectList);
        return true;
    case IDM_EXPORT: exportData(objectStore, hwnd); return true;
    case IDM_IMPORT: {
        importData(objectStore, hwnd);
        FillCategoryCombo();
        SendMessageW(hCategoryCombo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(currentCategory));
        int position = objectStore.positionOfCurrent();
        FillObjectList(objectStore, hObjectList);
        SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
        RefreshDetail();
        return true;
    }
    case IDM_ABOUT: RunDialog(hwnd, IDD_ABOUT, AboutDlgProc, 0); return true;
    case IDM_LOCK: LockVault(hwnd); return true;
    case IDM_QUIT:
    case IDCANCEL: Quit(hwnd); return true;
    default:
        for (const ColourCommand &c : kColourCommands) {
            if (c.command == command) {
                ChooseColour(c);
                return true;
            }
        }
        return false;
    }
}

// WM_COMMAND: the list, the detail area and the combo box are told apart by their handles (they
// have no ids); everything else is a command.
bool OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    HWND from = reinterpret_cast<HWND>(lParam);
    UINT code = HIWORD(wParam);
    if (from && from == hObjectList) {
        if (code == LBN_SELCHANGE)
            RefreshDetail();
        else if (code == LBN_DBLCLK)
            RunCommand(hwnd, IDM_EDIT_OBJECT);  // on the empty part of the list: nothing
        else
            return false;
        return true;
    }
    if (IsDetailWindow(from)) {
        if (code != STN_CLICKED) return false;
        // A tap on the dots of a hidden field 2 shows the field.
        if (from == hValueText[1] && Field2Hidden()) {
            RevealField2();
            return true;
        }
        // The selected object opens for editing, also a plain one with an empty field 1; without
        // a selection, or on an object that is still encrypted, the tap makes a new object.
        EditObject(hwnd,
                   HasSelection() && !SelectedRowEncrypted() ? IDM_EDIT_OBJECT : IDM_NEW_OBJECT);
        return true;
    }
    if (from && from == hSearchEdit) {
        if (code != EN_CHANGE) return false;
        OnSearchChanged();
        return true;
    }
    if (from && from == hCategoryCombo) {
        if (code != CBN_SELENDOK && code != CBN_SELENDCANCEL) return false;
        // A filter chosen ends the search: the list is the filter's again.
        if (code == CBN_SELENDOK) CloseSearch();
        WCHAR text[256] = {};
        GetWindowTextW(hCategoryCombo, text, 256);
        // Only a different filter refills the list; letter case counts.
        if (wcscmp(text, currentCategory) != 0) {
            lstrcpyW(currentCategory, text);
            settings.SetCategory(currentCategory);
            FillObjectList(objectStore, hObjectList);
            SendMessageW(hObjectList, LB_SETCURSEL, 0, 0);
            RefreshDetail();
        }
        SetFocus(hObjectList);
        return true;
    }
    return RunCommand(hwnd, LOWORD(wParam));
}

void OnSettingChange(HWND hwnd, WPARAM wParam) {
    // The desktop window's place is the user's and the window manager's.
    if (wParam != SPI_SETWORKAREA || windowShape != WindowShape::Handheld) return;
    RECT work;
    if (!ShellWorkArea(&work)) return;
    int width = work.right - work.left, height = work.bottom - work.top;
    MoveWindow(hwnd, work.left, work.top, width, height, TRUE);
}

}  // namespace

void DispatchShellMessage(MSG *msg) {
    if (HandleShellKey(msg)) return;
    // The key that made a command is not passed on: a command such as Ctrl+O opens a dialog, and
    // when the user lets go of Ctrl before it closes, the key, translated only now, would reach
    // the list as a plain letter and its type-ahead would select another row.
    if (hMainWnd && hAccel && !IsSearchEditingKey(msg) &&
        TranslateAcceleratorW(hMainWnd, hAccel, msg))
        return;
    TranslateMessage(msg);
    DispatchMessageW(msg);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Any message but a timer tick restarts the idle time.
    if (message != WM_TIMER && autoQuitActive)
        SetTimer(hwnd, kIdleTimerId, autoQuitPeriod, nullptr);

    switch (message) {
    case WM_CREATE: OnCreate(hwnd); return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) LayoutMainWindow();
        return 0;
    case WM_GETMINMAXINFO: LimitWindowSize(reinterpret_cast<MINMAXINFO *>(lParam)); return 0;
    case WM_DESTROY:
        SaveWindowPlace(hwnd);
        KillTimer(hwnd, kIdleTimerId);
        PostQuitMessage(0);
        return 1;
    case WM_ACTIVATE:
        UpdatePasteState();
        // Only when the window becomes active: taking the focus while it is being deactivated
        // would pull the activation back from the dialog that is opening.
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hObjectList);
        return 0;
    case WM_CLOSE: Quit(hwnd); return 1;
    case WM_SETTINGCHANGE: OnSettingChange(hwnd, wParam); return 1;
    case WM_HELP: StartHelp(GetFocus() == hSearchEdit ? kHelpSearch : kHelpMain); return 1;
    case WM_CTLCOLORLISTBOX:
        SetTextColor(reinterpret_cast<HDC>(wParam), ReadableTextColor(clrListText, clrListBack));
        SetBkColor(reinterpret_cast<HDC>(wParam), clrListBack);
        return reinterpret_cast<LRESULT>(hbrListBack);
    case WM_DRAWITEM:
        if (DrawObjectRow(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam))) return TRUE;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam),
                     ReadableTextColor(clrDetailText, clrDetailBack));
        SetBkColor(reinterpret_cast<HDC>(wParam), clrDetailBack);
        return reinterpret_cast<LRESULT>(hbrDetailBack);
    case WM_TIMER: OnMainWindowTimer(hwnd, wParam); return 1;
    case WM_INITMENUPOPUP:
        // Locking is offered only while encryption is on.
        EnableMenuItem(hMenu, IDM_LOCK, MF_BYCOMMAND | (LockAvailable() ? MF_ENABLED : MF_GRAYED));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_QUERYENDSESSION: return SessionEnding(hwnd);
    case WM_ENDSESSION: SessionEnded(hwnd, wParam != FALSE); return 0;
    case WM_COMMAND:
        if (OnCommand(hwnd, wParam, lParam)) return 1;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
