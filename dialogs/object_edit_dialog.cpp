#include "dialogs/object_edit_dialog.h"

#include <cwchar>

#include "app/dialog_kit.h"
#include "app/lock.h"
#include "app/shell.h"
#include "crypto/wipe.h"
#include "dialogs/field_titles_dialog.h"
#include "dialogs/password_generator_dialog.h"
#include "resources/resource.h"
#include "store/name_list.h"
#include "store/object_store.h"

unsigned objectEditMode = 0;

namespace {

const WCHAR kNewCaption[] = L"Neues Objekt";
const WCHAR kEditCaption[] = L"Objekt bearbeiten";
const WCHAR kIncomplete[] = L"Unvollst\u00e4ndige Eingabe.";
const WCHAR kDiscardQuestion[] =
    L"Damit verwerfen Sie die vorgenommenen \u00c4nderungen. Fortfahren?";
const WCHAR kWriteFailed[] =
    L"Das Objekt konnte nicht gespeichert werden.\nIhre Eingaben bleiben erhalten.";
const WCHAR kStoreFull[] =
    L"Die Datenbank ist voll: sie nimmt h\u00f6chstens 65535 Objekte auf. Das Objekt konnte nicht "
    L"gespeichert werden.\nIhre Eingaben bleiben erhalten.";

// Arrow, label, hidden title picker and edit of each field belong together.
struct FieldControls {
    int arrow, label, picker, edit;
};
const FieldControls kFields[3] = {
    {IDC_EDIT_ARROW1, IDC_EDIT_LABEL1, IDC_EDIT_TITLES1, IDC_EDIT_FIELD1},
    {IDC_EDIT_ARROW2, IDC_EDIT_LABEL2, IDC_EDIT_TITLES2, IDC_EDIT_FIELD2},
    {IDC_EDIT_ARROW3, IDC_EDIT_LABEL3, IDC_EDIT_TITLES3, IDC_EDIT_FIELD3},
};
const WCHAR *const kDefaultTitles[3] = {kDefaultTitle1, kDefaultTitle2, kDefaultTitle3};

constexpr int kGrownHeight = 67;   // pixels of an edit whose text does not fit in one line
constexpr int kShrunkHeight = 21;  // pixels of an edit of one line
constexpr int kMaxFieldLength = 254;

// Posted when a title picker has closed: wParam the field (0 to 2), lParam non-zero to open the
// field titles dialog first. Posted, so that the combo box finishes its close before the focus
// moves or a nested dialog runs.
constexpr UINT WM_PICKER_CLOSED = WM_APP + 1;

// What the change test compares with.
ObjectRecord editReference;

// The field whose edit had the focus last: a generated password goes there.
int generateField = 0;

// What a dialog ended by an idle lock showed, for the time of the lock only.
struct HeldEdit {
    bool present;
    unsigned mode;
    CEOID record;
    ObjectRecord shown;
    ObjectRecord reference;
};
HeldEdit held;

// Set while a close request moves the focus to the dialog itself, which would otherwise pass it
// on to a control at once.
bool focusToDialog = false;

// The field (0 to 2) that a control belongs to, or -1.
int FieldOf(int id) {
    for (int n = 0; n < 3; ++n) {
        const FieldControls &f = kFields[n];
        if (id == f.arrow || id == f.label || id == f.picker || id == f.edit) return n;
    }
    return -1;
}

bool IsFieldEdit(HWND hDlg, HWND w) {
    for (const FieldControls &f : kFields)
        if (w && w == GetDlgItem(hDlg, f.edit)) return true;
    return false;
}

void SelectedComboText(HWND combo, WCHAR *text) {
    text[0] = 0;
    int index = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (index == CB_ERR || SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) > 255) return;
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

// The object as the dialog shows it; " - Ohne -" is the empty category.
void ReadDialog(HWND hDlg, ObjectRecord *object) {
    WCHAR *fields[3] = {object->field1, object->field2, object->field3};
    WCHAR *titles[3] = {object->title1, object->title2, object->title3};
    for (int n = 0; n < 3; ++n) {
        // The buffers hold 255 units and the terminator: a field of 255 (from an import or a
        // paste) is read whole.
        GetDlgItemTextW(hDlg, kFields[n].edit, fields[n], 256);
        GetDlgItemTextW(hDlg, kFields[n].label, titles[n], 256);
    }
    SelectedComboText(GetDlgItem(hDlg, IDC_EDIT_CATEGORY), object->category);
    if (wcscmp(object->category, kFilterNone) == 0) object->category[0] = 0;
    object->encrypt = IsDlgButtonChecked(hDlg, IDC_EDIT_ENCRYPT) == BST_CHECKED ? 1 : 0;
}

// The titles and the default-encrypt flag of the category chosen in the picker. A title that the
// category lacks (as for " - Ohne -", which is no category) shows the field's default title.
void ApplyCategory(HWND hDlg) {
    WCHAR name[256], titles[3][256];
    short flag;
    SelectedComboText(GetDlgItem(hDlg, IDC_EDIT_CATEGORY), name);
    categoryStore.readCategory(name, titles[0], titles[1], titles[2], &flag);
    for (int n = 0; n < 3; ++n)
        SetDlgItemTextW(hDlg, kFields[n].label, titles[n][0] ? titles[n] : kDefaultTitles[n]);
    CheckDlgButton(hDlg, IDC_EDIT_ENCRYPT, flag ? BST_CHECKED : BST_UNCHECKED);
}

void SelectCategory(HWND hDlg, const WCHAR *name) {
    HWND combo = GetDlgItem(hDlg, IDC_EDIT_CATEGORY);
    LRESULT found = name[0] ? SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(name))
                            : CB_ERR;
    SendMessageW(combo, CB_SETCURSEL, found == CB_ERR ? 0 : static_cast<WPARAM>(found), 0);
}

// ---- Growing edits --------------------------------------------------------------------------

// Whether the edit's text fits in its one line, measured in the font the edit draws it in.
bool TextFits(HWND edit) {
    if (SendMessageW(edit, EM_GETLINECOUNT, 0, 0) > 1) return false;
    WCHAR text[256] = {};
    GetWindowTextW(edit, text, 256);
    RECT format{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
    return MeasureText(edit, text, font) - 2 <= format.right - format.left;
}

bool HasScrollBar(HWND edit) { return (GetWindowLongW(edit, GWL_STYLE) & WS_VSCROLL) != 0; }

void ResizeEdit(HWND edit, int height, bool scrollBar) {
    LONG style = GetWindowLongW(edit, GWL_STYLE);
    SetWindowLongW(edit, GWL_STYLE, scrollBar ? style | WS_VSCROLL : style & ~WS_VSCROLL);
    RECT rc;
    GetWindowRect(edit, &rc);
    POINT corner{rc.left, rc.top};
    ScreenToClient(GetParent(edit), &corner);
    SetWindowPos(edit, nullptr, corner.x, corner.y, rc.right - rc.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void GrowEditField(HWND edit) { ResizeEdit(edit, kGrownHeight, true); }
void ShrinkEditField(HWND edit) { ResizeEdit(edit, kShrunkHeight, false); }

void OnEditNotify(HWND edit, UINT code) {
    switch (code) {
    case EN_SETFOCUS:
        if (!TextFits(edit)) GrowEditField(edit);
        break;
    case EN_KILLFOCUS: ShrinkEditField(edit); break;
    case EN_UPDATE: {
        bool fits = TextFits(edit), scrolls = HasScrollBar(edit);
        // Only the field being typed in grows; a text set from outside waits for the focus.
        if (!fits && !scrolls && GetFocus() == edit)
            GrowEditField(edit);
        else if (fits && scrolls)
            ShrinkEditField(edit);
        break;
    }
    default: break;
    }
}

// Keys of the field edits beyond the edit's own: F4 and Alt+Down open the field's title picker
// (as they open a combo box), Enter is OK.
LRESULT CALLBACK FieldEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_USERDATA));
    HWND hDlg = GetParent(edit);
    if ((message == WM_KEYDOWN && wParam == VK_F4) ||
        (message == WM_SYSKEYDOWN && wParam == VK_DOWN)) {
        int field = FieldOf(GetDlgCtrlID(edit));
        if (field >= 0) {
            HWND arrow = GetDlgItem(hDlg, kFields[field].arrow);
            SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(kFields[field].arrow, 0),
                         reinterpret_cast<LPARAM>(arrow));
            return 0;
        }
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN && GetKeyState(VK_CONTROL) >= 0) {
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_CHAR && (wParam == L'\r' || wParam == L'\n')) return 0;
    // Ctrl+G: a generated password for this field. Its character (BEL) is not typed.
    if (message == WM_KEYDOWN && wParam == 'G' && GetKeyState(VK_CONTROL) < 0 &&
        GetKeyState(VK_MENU) >= 0) {
        generateField = FieldOf(GetDlgCtrlID(edit));
        PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_EDIT_GENERATE, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_CHAR && wParam == 0x07) return 0;
    return CallWindowProcW(original, edit, message, wParam, lParam);
}

// ---- Title pickers --------------------------------------------------------------------------

// Shows the field's picker over its label, on the label's title, and drops its list down.
void OpenPicker(HWND hDlg, int field) {
    const FieldControls &f = kFields[field];
    WCHAR title[256] = {};
    GetDlgItemTextW(hDlg, f.label, title, 255);
    HWND picker = GetDlgItem(hDlg, f.picker);
    LRESULT found = SendMessageW(picker, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(title));
    SendMessageW(picker, CB_SETCURSEL, found == CB_ERR ? 0 : static_cast<WPARAM>(found), 0);
    ShowWindow(picker, SW_SHOW);
    SetWindowPos(picker, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetFocus(picker);
    SendMessageW(picker, CB_SHOWDROPDOWN, TRUE, 0);
}

// The picker's list has closed: its title goes to the label, " Neu…" opens the titles dialog.
void OnPickerClosed(HWND hDlg, int field) {
    const FieldControls &f = kFields[field];
    HWND picker = GetDlgItem(hDlg, f.picker);
    ShowWindow(picker, SW_HIDE);
    WCHAR title[256];
    SelectedComboText(picker, title);
    bool newTitle = wcscmp(title, kNewTitleEntry) == 0;
    if (!newTitle) SetDlgItemTextW(hDlg, f.label, title);
    PostMessageW(hDlg, WM_PICKER_CLOSED, static_cast<WPARAM>(field), newTitle);
}

void AfterPickerClosed(HWND hDlg, int field, bool openTitles) {
    if (field < 0 || field > 2) return;
    const FieldControls &f = kFields[field];
    if (openTitles) {
        RunFieldTitlesDialog(hInst, hDlg, field + 1);
        HWND picker = GetDlgItem(hDlg, f.picker);
        FillTitlePicker(picker, field + 1);
        SendMessageW(picker, CB_SETCURSEL, 0, 0);
    }
    SetFocus(GetDlgItem(hDlg, f.edit));
}

// ---- Generated passwords and the idle lock ----------------------------------------------------

void GenerateIntoField(HWND hDlg) {
    if (generateField < 0 || generateField > 2) generateField = 0;
    WCHAR password[256];
    if (RunPasswordGenerator(hDlg, password)) {
        HWND edit = GetDlgItem(hDlg, kFields[generateField].edit);
        SetWindowTextW(edit, password);
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
    }
    secureWipe(password, sizeof password);
}

// An idle lock ends the dialog as the idle quit does; what it shows is held through the lock.
void HoldForLock(HWND hDlg) {
    ReadDialog(hDlg, &held.shown);
    held.reference = editReference;
    held.mode = objectEditMode;
    held.record = objectStore.currentRecord;
    held.present = true;
}

// After the unlock: the texts the dialog held when the lock came.
void ShowHeld(HWND hDlg) {
    if (!held.present || held.mode != objectEditMode) return;
    const ObjectRecord &shown = held.shown;
    const WCHAR *fields[3] = {shown.field1, shown.field2, shown.field3};
    const WCHAR *titles[3] = {shown.title1, shown.title2, shown.title3};
    for (int n = 0; n < 3; ++n) {
        SetDlgItemTextW(hDlg, kFields[n].edit, fields[n]);
        SetDlgItemTextW(hDlg, kFields[n].label, titles[n]);
    }
    SelectCategory(hDlg, shown.category);
    CheckDlgButton(hDlg, IDC_EDIT_ENCRYPT, shown.encrypt ? BST_CHECKED : BST_UNCHECKED);
    editReference = held.reference;
    DropHeldObjectEdit();
}

// ---- Opening and closing --------------------------------------------------------------------

void OnInit(HWND hDlg, LPARAM mode) {
    AddCaptionButtons(hDlg);
    for (const FieldControls &f : kFields)
        SendDlgItemMessageW(hDlg, f.edit, EM_LIMITTEXT, kMaxFieldLength, 0);
    HWND categories = GetDlgItem(hDlg, IDC_EDIT_CATEGORY);
    categoryStore.fillCategoryControl(categories, CB_RESETCONTENT, CB_ADDSTRING);
    SendMessageW(categories, CB_DELETESTRING, 0, 0);  // " - Alle -"; " - Ohne -" is entry 0 now
    SendMessageW(categories, CB_SETCURSEL, 0, 0);
    for (int n = 0; n < 3; ++n) {
        HWND picker = GetDlgItem(hDlg, kFields[n].picker);
        FillTitlePicker(picker, n + 1);
        SendMessageW(picker, CB_SETCURSEL, 0, 0);
    }
    objectEditMode = static_cast<unsigned>(mode);
    if (objectEditMode == IDM_NEW_OBJECT) {
        SetWindowTextW(hDlg, kNewCaption);
        // The new object starts in the category of the filter, with its titles and flag.
        SelectCategory(hDlg, currentCategory);
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_EDIT_CATEGORY, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(categories));
        // The selected object is no reference for a new one: the change test compares with what
        // the dialog shows now.
        ReadDialog(hDlg, &editReference);
    } else {
        if (objectEditMode == IDM_EDIT_OBJECT) SetWindowTextW(hDlg, kEditCaption);
        const WCHAR *fields[3] = {CurrentObject.field1, CurrentObject.field2, CurrentObject.field3};
        const WCHAR *titles[3] = {CurrentObject.title1, CurrentObject.title2, CurrentObject.title3};
        for (int n = 0; n < 3; ++n) {
            // Typing stops at 254 characters, but a stored field may hold 255: its edit takes it
            // whole, so that an OK without a change never shortens it.
            const int length = lstrlenW(fields[n]);
            if (length > kMaxFieldLength)
                SendDlgItemMessageW(hDlg, kFields[n].edit, EM_LIMITTEXT,
                                    static_cast<WPARAM>(length), 0);
            SetDlgItemTextW(hDlg, kFields[n].edit, fields[n]);
            SetDlgItemTextW(hDlg, kFields[n].label, titles[n]);
        }
        CheckDlgButton(hDlg, IDC_EDIT_ENCRYPT, CurrentObject.encrypt ? BST_CHECKED : BST_UNCHECKED);
        SelectCategory(hDlg, CurrentObject.category);
        editReference = CurrentObject;
    }
    for (const FieldControls &f : kFields) {
        HWND edit = GetDlgItem(hDlg, f.edit);
        LONG_PTR original =
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldEditProc));
        SetWindowLongPtrW(edit, GWLP_USERDATA, original);
    }
    ShowHeld(hDlg);
    KeepDialogOnScreen(hDlg);
}

bool AllEmpty(const ObjectRecord &o) { return !o.field1[0] && !o.field2[0] && !o.field3[0]; }

void OnOk(HWND hDlg) {
    // While the vault is locked the store holds encrypted records and the keys are gone: nothing
    // is written. The texts are held and come back in the dialog after the unlock.
    if (VaultLocked()) {
        if (!held.present) HoldForLock(hDlg);
        EndDialog(hDlg, 0);
        return;
    }
    if (!ObjectEditChanged(hDlg)) {
        EndDialog(hDlg, 1);
        return;
    }
    ObjectRecord object;
    ReadDialog(hDlg, &object);
    if (object.field1[0] && object.field2[0]) {
        CEOID before = objectStore.currentRecord;
        CEOID written = objectEditMode == IDM_NEW_OBJECT ? objectStore.addObject(object)
                                                         : objectStore.updateCurrent(object);
        if (!written) {
            // Nothing was saved: the user keeps the texts, and a second OK writes the same record
            // again instead of adding one.
            objectStore.currentRecord = before;
            const bool full =
                objectEditMode == IDM_NEW_OBJECT && objectStore.recordCount() >= CEDB_MAXRECORDS;
            MessageBoxW(hDlg, full ? kStoreFull : kWriteFailed, kAppTitle, MB_OK | MB_ICONHAND);
            return;
        }
        EndDialog(hDlg, 1);
        // The position first: refilling the list moves the store's current record.
        int position = objectStore.positionOfCurrent();
        FillObjectList(objectStore, hObjectList);
        SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
        RefreshDetail();
        return;
    }
    if (AllEmpty(object)) {
        EndDialog(hDlg, 1);
        return;
    }
    // Field 3 alone never makes an object.
    MessageBoxW(hDlg, kIncomplete, kAppTitle, MB_OK | MB_ICONHAND);
}

// Cancel and the close button: a changed dialog asks before its changes are dropped.
void OnDiscard(HWND hDlg, UINT defaultButton) {
    if (ObjectEditChanged(hDlg) &&
        MessageBoxW(hDlg, kDiscardQuestion, kAppTitle,
                    MB_OKCANCEL | MB_ICONEXCLAMATION | defaultButton) != IDOK)
        return;
    EndDialog(hDlg, 1);
}

void OnClose(HWND hDlg) {
    // A close request while typing (Esc in a field) only leaves the field.
    if (IsFieldEdit(hDlg, GetFocus())) {
        focusToDialog = true;
        SetFocus(hDlg);
        focusToDialog = false;
        return;
    }
    OnDiscard(hDlg, MB_DEFBUTTON2);
}

BOOL OnCommand(HWND hDlg, WPARAM wParam) {
    int id = LOWORD(wParam);
    UINT code = HIWORD(wParam);
    switch (id) {
    case IDOK: OnOk(hDlg); return TRUE;
    case IDCANCEL: OnDiscard(hDlg, MB_DEFBUTTON1); return TRUE;
    case IDC_EDIT_GENERATE: GenerateIntoField(hDlg); return TRUE;
    case IDC_EDIT_CATEGORY:
        if (code == CBN_SELCHANGE) ApplyCategory(hDlg);
        return FALSE;
    default: break;
    }
    int field = FieldOf(id);
    if (field < 0) return FALSE;
    const FieldControls &f = kFields[field];
    if ((id == f.label || id == f.arrow) && code == 0) {  // STN_CLICKED, or a tap on the arrow
        OpenPicker(hDlg, field);
        return TRUE;
    }
    if (id == f.picker && code == CBN_CLOSEUP) {
        OnPickerClosed(hDlg, field);
        return TRUE;
    }
    if (id == f.edit) {
        if (code == EN_SETFOCUS) generateField = field;
        OnEditNotify(GetDlgItem(hDlg, id), code);
        return FALSE;
    }
    return FALSE;
}

const WCHAR *HelpAnchor() {
    switch (objectEditMode) {
    case IDM_NEW_OBJECT: return kHelpNew;
    case IDM_EDIT_OBJECT: return kHelpModify;
    default: return nullptr;
    }
}

}  // namespace

bool HeldObjectEdit(unsigned *mode, CEOID *record) {
    if (!held.present) return false;
    *mode = held.mode;
    *record = held.record;
    return true;
}

bool HoldIfObjectEdit(HWND hDlg) {
    if (GetWindowLongPtrW(hDlg, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(ObjectEditDlgProc))
        return false;
    HoldForLock(hDlg);
    return true;
}

void DropHeldObjectEdit() { secureWipe(&held, sizeof held); }

bool ObjectEditChanged(HWND hDlg) {
    ObjectRecord now;
    ReadDialog(hDlg, &now);
    const ObjectRecord &ref = editReference;
    return wcscmp(now.field1, ref.field1) != 0 || wcscmp(now.field2, ref.field2) != 0 ||
           wcscmp(now.field3, ref.field3) != 0 || wcscmp(now.category, ref.category) != 0 ||
           wcscmp(now.title1, ref.title1) != 0 || wcscmp(now.title2, ref.title2) != 0 ||
           wcscmp(now.title3, ref.title3) != 0 || now.encrypt != ref.encrypt;
}

INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (message == WM_TIMER && IdleTimerEnds(hDlg) && IdleLocks()) HoldForLock(hDlg);
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitIdle | kKitColours | kKitSettingChange,
                         HelpAnchor(), &result))
        return result;
    switch (message) {
    case WM_INITDIALOG: OnInit(hDlg, lParam); return TRUE;
    case WM_COMMAND: return OnCommand(hDlg, wParam);
    case WM_PICKER_CLOSED:
        AfterPickerClosed(hDlg, static_cast<int>(wParam), lParam != 0);
        return TRUE;
    case WM_CLOSE: OnClose(hDlg); return TRUE;
    case WM_SETFOCUS: return focusToDialog ? TRUE : FALSE;
    default: return FALSE;
    }
}
