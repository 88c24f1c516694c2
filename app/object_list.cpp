// The object list, the category filter and the detail area above the list.
#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/command_bands.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

const WCHAR kEllipsis[] = L"\u2026";
const WCHAR kHiddenField[] = L"\u2022\u2022\u2022\u2022\u2022\u2022";

// The object whose field 2 the user revealed (0: none); it stays shown while that object stays
// selected.
CEOID revealedRecord;

const WCHAR kDeleteFailed[] =
    L"Das Objekt konnte nicht gel\u00f6scht werden.\nDie Datenbank kann nicht geschrieben werden.";

// Commands that act on the selected object: greyed in the menu and disabled on the tool bar
// without a selection, and doing nothing then by any route (IsSelectionCommand).
struct SelectionCommand {
    UINT id;
    bool button;  // has a tool bar button
};
const SelectionCommand kSelectionCommands[] = {
    {IDM_CUT, true},          {IDM_COPY, true},         {IDM_EDIT_OBJECT, true},
    {IDM_DELETE, true},       {IDM_DUPLICATE, false},   {IDM_COPY_FIELD1, false},
    {IDM_COPY_FIELD2, false}, {IDM_COPY_FIELD3, false}, {IDM_SHOW_FIELD2, false}};

void SetSelectionCommands(bool selected) {
    for (const SelectionCommand &c : kSelectionCommands) {
        EnableMenuItem(hMenu, c.id, selected ? MF_ENABLED : MF_GRAYED);
        if (c.button)
            SendMessageW(hToolBar, TB_ENABLEBUTTON, c.id, MAKELONG(selected ? TRUE : FALSE, 0));
    }
}

}  // namespace

void EnablePasswordCommand(bool enable) {
    if (hMenu)
        EnableMenuItem(hMenu, IDM_PASSWORD, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

namespace {

int TextWidth(HDC hdc, const WCHAR *text, int length) {
    SIZE size{};
    GetTextExtentExPointW(hdc, text, length, 0, nullptr, nullptr, &size);
    return size.cx;
}

}  // namespace

bool IsSelectionCommand(UINT command) {
    for (const SelectionCommand &c : kSelectionCommands)
        if (c.id == command) return true;
    return false;
}

bool HasSelection() { return SendMessageW(hObjectList, LB_GETCURSEL, 0, 0) != LB_ERR; }

bool SelectedRowEncrypted() {
    LRESULT row = SendMessageW(hObjectList, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR || CurrentObject.field1[0]) return false;
    WCHAR text[256] = {};
    if (SendMessageW(hObjectList, LB_GETTEXTLEN, row, 0) >= 256) return false;
    SendMessageW(hObjectList, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text));
    return wcscmp(text, kEncryptedName) == 0;
}

void FillObjectList(ObjectStore &store, HWND hList) {
    StopIdleTimers();
    if (store.searchIsOpen()) {
        // The search's own list: what it found, from the texts it keeps.
        FillSearchList();
        StartIdleTimers();
        return;
    }
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // The list is filled with its drawing off and its storage reserved, and drawn once when full:
    // a row drawn at once for every row added costs more than all the rest of a large fill.
    SendMessageW(hList, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hList, LB_RESETCONTENT, 0, 0);

    // What the list shows of each object: from the walk of the name merge when the database is
    // unchanged since, else from a walk of its own.
    std::vector<ListedObject> listing;
    if (!store.takeListing(&listing)) {
        WalkDatabase(store.hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
            listing.push_back(ReadListedObject(id, props, count));
            return true;
        });
    }

    // The walk starts with a seek to the beginning; its result, the first record, becomes the
    // store's current record. It also gives the store its position index for this filter.
    store.currentRecord = listing.empty() ? 0 : listing.front().id;
    std::vector<const WCHAR *> rows;
    size_t characters = 0;
    store.beginIndex();
    for (const ListedObject &object : listing) {
        // Only a record that carries the password verifier is encrypted. A plain record may have
        // an empty name (an import can make one); it is listed with that empty name.
        const WCHAR *name = object.encrypted ? kEncryptedName : object.name.c_str();
        if (object.encrypted) settings.SetEncrypt(1);
        store.noteIndexed(object.id, object.category.c_str());
        const WCHAR *category = object.category.c_str();
        // The store's own filter (the shell's currentCategory): rows and visible-set positions
        // agree by construction.
        if (CategoryPassesFilter(store.filter, category)) {
            rows.push_back(name);
            characters += wcslen(name) + 1;
        }
    }
    store.endIndex();
    SendMessageW(hList, LB_INITSTORAGE, rows.size(), characters * sizeof(WCHAR));
    for (const WCHAR *row : rows)
        SendMessageW(hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    SendMessageW(hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hList, nullptr, TRUE);

    SetCursor(previous);
    StartIdleTimers();
}

void FillCategoryCombo() {
    categoryStore.fillCategoryControl(hCategoryCombo, CB_RESETCONTENT, CB_ADDSTRING);
    LRESULT found = SendMessageW(hCategoryCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(currentCategory));
    if (found != CB_ERR) {
        SendMessageW(hCategoryCombo, CB_SETCURSEL, found, 0);
        return;
    }
    // The filter names a category that is gone: show all objects (the setting keeps the old one
    // until the user picks another filter).
    SendMessageW(hCategoryCombo, CB_SETCURSEL, 0, 0);
    GetWindowTextW(hCategoryCombo, currentCategory, 256);
    FillObjectList(objectStore, hObjectList);
    SendMessageW(hObjectList, LB_SETCURSEL, 0, 0);
    RefreshDetail();
}

// The font a text is measured in: the one asked for, else the window's own font (the system
// font unless the window was given another), so that measuring and drawing agree.
static HFONT MeasuringFont(HWND hwnd, HFONT font) {
    return font ? font : reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
}

int MeasureText(HWND hwnd, const WCHAR *text, HFONT font) {
    font = MeasuringFont(hwnd, font);
    HDC hdc = GetDC(hwnd);
    HGDIOBJ old = font ? SelectObject(hdc, font) : nullptr;
    int width = TextWidth(hdc, text, lstrlenW(text));
    if (old) SelectObject(hdc, old);
    ReleaseDC(hwnd, hdc);
    return width + 2;
}

void FitTextToWindow(HWND hwnd, const WCHAR *text, WCHAR *out, HFONT font) {
    font = MeasuringFont(hwnd, font);
    HDC hdc = GetDC(hwnd);
    HGDIOBJ old = font ? SelectObject(hdc, font) : nullptr;
    int ellipsis = TextWidth(hdc, kEllipsis, 1);

    RECT rect;
    GetWindowRect(hwnd, &rect);
    int available = rect.right - rect.left - 2;

    int length = lstrlenW(text);
    if (length > 255) length = 255;
    int reserve = TextWidth(hdc, text, length) > available ? ellipsis : 0;
    while (length > 0 && TextWidth(hdc, text, length) > available - reserve) --length;

    wmemcpy(out, text, static_cast<size_t>(length));
    out[length] = 0;
    if (reserve) lstrcatW(out, kEllipsis);
    if (old) SelectObject(hdc, old);
    ReleaseDC(hwnd, hdc);
}

void RefreshDetail() {
    int selection = static_cast<int>(SendMessageW(hObjectList, LB_GETCURSEL, 0, 0));
    if (selection < 0) {
        CurrentObject.field1[0] = CurrentObject.field2[0] = CurrentObject.field3[0] = 0;
        CurrentObject.category[0] = 0;
        CurrentObject.title1[0] = CurrentObject.title2[0] = CurrentObject.title3[0] = 0;
        CurrentObject.encrypt = 1;
    } else {
        objectStore.readVisible(selection, &CurrentObject);
    }
    const WCHAR *titles[3] = {CurrentObject.title1, CurrentObject.title2, CurrentObject.title3};
    const WCHAR *values[3] = {CurrentObject.field1, CurrentObject.field2, CurrentObject.field3};
    if (Field2Hidden()) values[1] = kHiddenField;

    int titleWidth = 0, valueWidth = 0;
    for (int n = 0; n < 3; ++n) {
        int t = MeasureText(hTitleLabel[n], titles[n], hBoldFont);
        if (t > titleWidth) titleWidth = t;
        int v = MeasureText(hValueText[n], values[n], nullptr);
        if (v > valueWidth) valueWidth = v;
    }
    valueWidth += 2;

    RECT client;
    GetClientRect(GetParent(hDetailBack), &client);
    int cw = client.right - client.left;
    int cbh = CommandBar_Height(hMenuBar);

    // Too wide together: the titles get 150 pixels (never less), the values the rest.
    const int least = Px(150);
    if (titleWidth + valueWidth > cw)
        titleWidth = cw - valueWidth > least ? cw - valueWidth : least;
    int valueColumn = cw - titleWidth;
    for (int n = 0; n < 3; ++n) {
        int y = cbh + Px(2) + Px(18) * n;
        MoveWindow(hTitleLabel[n], 0, y, titleWidth, Px(15), FALSE);
        MoveWindow(hValueText[n], titleWidth + Px(2), y, valueColumn, Px(15), FALSE);
    }

    WCHAR fittedValues[3][256], fittedTitles[3][256], fittedCategory[256];
    for (int n = 0; n < 3; ++n) FitTextToWindow(hValueText[n], values[n], fittedValues[n], nullptr);
    for (int n = 0; n < 3; ++n)
        FitTextToWindow(hTitleLabel[n], titles[n], fittedTitles[n], hBoldFont);
    FitTextToWindow(hCategoryText, CurrentObject.category, fittedCategory, nullptr);
    for (int n = 0; n < 3; ++n) SetWindowTextW(hValueText[n], fittedValues[n]);
    for (int n = 0; n < 3; ++n) SetWindowTextW(hTitleLabel[n], fittedTitles[n]);
    SetWindowTextW(hCategoryText, fittedCategory);
    // The rows were moved without painting: the background under them is painted now, so no
    // piece of a longer title stays between the columns, and the rows again on top of it.
    RedrawWindow(hDetailBack, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    for (int n = 0; n < 3; ++n) {
        InvalidateRect(hTitleLabel[n], nullptr, TRUE);
        InvalidateRect(hValueText[n], nullptr, TRUE);
    }

    SetSelectionCommands(selection >= 0);
}

bool Field2Hidden() {
    if (!settings.GetHideField2() || !CurrentObject.field2[0]) return false;
    if (revealedRecord && revealedRecord == objectStore.currentRecord) return false;
    revealedRecord = 0;
    return true;
}

void RevealField2() {
    // The command shows and hides again.
    bool shown = revealedRecord && revealedRecord == objectStore.currentRecord;
    revealedRecord = shown ? 0 : objectStore.currentRecord;
    RefreshDetail();
}

void DeleteSelectedObject(HWND owner) {
    if (owner &&
        MessageBoxW(owner,
                    L"Das ausgew\u00e4hlte Objekt wird endg\u00fcltig gel\u00f6scht. Fortfahren?",
                    kAppTitle, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
        return;
    int selection = static_cast<int>(SendMessageW(hObjectList, LB_GETCURSEL, 0, 0));
    // Without a selection there is nothing to delete (position -1 names no record).
    if (selection >= 0 && !objectStore.deleteVisible(selection))
        MessageBoxW(owner ? owner : hMainWnd, kDeleteFailed, kAppTitle, MB_ICONHAND);
    FillObjectList(objectStore, hObjectList);
    int rows = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
    int row = selection < rows - 1 ? selection : rows - 1;
    SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    RefreshDetail();
}
