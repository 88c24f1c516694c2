// The editing dialogs driven in-process: the object edit dialog (both modes, OK, Cancel and close,
// title pickers, growing fields, idle expiry), the categories dialog and the field titles dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/clipboard.h"
#include "app/shell.h"
#include "dialogs/field_titles_dialog.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kIncomplete[] = L"Unvollst\u00e4ndige Eingabe.";
const wchar_t kDiscard[] = L"Damit verwerfen Sie die vorgenommenen \u00c4nderungen. Fortfahren?";
const wchar_t kWriteFailed[] =
    L"Das Objekt konnte nicht gespeichert werden.\nIhre Eingaben bleiben erhalten.";

// ---- Helpers --------------------------------------------------------------------------------

// Runs fn after ms inside whatever message loop is running then (a dialog's, once a message box
// in front of it has closed).
std::map<UINT_PTR, std::function<void()>> later;
void CALLBACK LaterProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto it = later.find(id);
    if (it == later.end()) return;
    std::function<void()> fn = std::move(it->second);
    later.erase(it);
    fn();
}
void After(DWORD ms, std::function<void()> fn) {
    later[SetTimer(nullptr, 0, ms, LaterProc)] = std::move(fn);
}

// Answers a message box with button, noting which button was the default.
std::function<void(HWND)> Answer(int button, int *defaultButton) {
    return [button, defaultButton](HWND box) {
        if (defaultButton) *defaultButton = DefaultButton(box);
        PressButton(box, button);
    };
}

std::wstring SelectedText(HWND dlg, int comboId) {
    HWND combo = GetDlgItem(dlg, comboId);
    int i = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (i < 0) return L"";
    WCHAR text[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::wstring> Entries(HWND window, UINT countMsg, UINT textMsg) {
    std::vector<std::wstring> out;
    int n = static_cast<int>(SendMessageW(window, countMsg, 0, 0));
    for (int i = 0; i < n; ++i) {
        WCHAR text[256] = {};
        SendMessageW(window, textMsg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}
std::vector<std::wstring> ComboEntries(HWND combo) {
    return Entries(combo, CB_GETCOUNT, CB_GETLBTEXT);
}
std::vector<std::wstring> ListEntries(HWND list) { return Entries(list, LB_GETCOUNT, LB_GETTEXT); }

// As the user's choice in a combo box of a dialog: selection, then the notification.
void ChooseInCombo(HWND dlg, int comboId, const wchar_t *text) {
    HWND combo = GetDlgItem(dlg, comboId);
    LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

// A title picker's list closes (as Enter, Escape or a tap outside close it).
void CloseUp(HWND dlg, int pickerId) {
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(pickerId, CBN_CLOSEUP),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, pickerId)));
}

void ChooseInList(HWND dlg, int listId, int index) {
    HWND list = GetDlgItem(dlg, listId);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

// Typing into an edit of a dialog (the edit notifies its dialog of the change).
void Type(HWND dlg, int id, const wchar_t *text) { SetDlgItemTextW(dlg, id, text); }

// Typing key by key into an edit that has the focus, replacing its text.
void TypeKeys(HWND edit, const wchar_t *text) {
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 0);
    for (const wchar_t *c = text; *c; ++c) SendMessageW(edit, WM_CHAR, *c, 0);
}

bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

struct StoredCategory {
    std::wstring t1, t2, t3;
    short flag;
};
StoredCategory ReadCategory(const wchar_t *name) {
    WCHAR t[3][256];
    short flag = -1;
    categoryStore.readCategory(name, t[0], t[1], t[2], &flag);
    return {t[0], t[1], t[2], flag};
}

void WriteCategory(const wchar_t *name, const wchar_t *t1, const wchar_t *t2, const wchar_t *t3,
                   short flag) {
    categoryStore.addName(name);
    categoryStore.findName(name);
    categoryStore.writeCategory(name, t1, t2, t3, flag);
}

// Privat with titles that the title lists offer.
void WritePrivatWithListedTitles() {
    titleList1.addName(L"Inhaber");
    titleList2.addName(L"Nummer");
    titleList3.addName(L"Notiz");
    WriteCategory(L"Privat", L"Inhaber", L"Nummer", L"Notiz", 0);
}

// Every stored object, in database order.
std::vector<ObjectRecord> StoredRecords() {
    std::vector<ObjectRecord> out;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
        ObjectRecord o;
        ClearObjectRecord(&o);
        for (WORD i = 0; i < count; ++i) {
            WCHAR *dest = nullptr;
            switch (HIWORD(props[i].propid)) {
            case 1: dest = o.field1; break;
            case 2: dest = o.field2; break;
            case 3: dest = o.field3; break;
            case 4: dest = o.category; break;
            case 7: dest = o.title1; break;
            case 8: dest = o.title2; break;
            case 9: dest = o.title3; break;
            case 10: o.encrypt = props[i].val.iVal; break;
            default: break;
            }
            if (dest) CopyStoredText(dest, props[i]);
        }
        out.push_back(o);
        return true;
    });
    return out;
}

const std::vector<TestObject> kObjects = {
    {L"Anton", L"Privat", L"A-1", L"erste"},
    {L"Berta", L"Bank", L"B-2", L""},
    {L"Caesar", L"", L"C-3", L""},
};

class EditingTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        later.clear();
    }
    void StartWithObjects() {
        Prepare(kObjects);
        Start();
        // Bank has titles and a default flag of its own.
        WriteCategory(L"Bank", L"Konto", L"IBAN", L"PIN", 0);
    }
    // Opens a dialog through a main window command, runs step on it and returns once it has
    // closed. The dialog's handle is kept in dialog.
    void RunCommand(UINT command, UiDriver &ui, std::function<void(HWND)> step) {
        dialog = nullptr;
        ui.onNextDialog([this, step](HWND d) {
            dialog = d;
            step(d);
        });
        PostMessageW(hMainWnd, WM_COMMAND, command, 0);
        EXPECT_TRUE(PumpShellUntil([this] { return dialog && !IsWindow(dialog); }, 15000))
            << "the dialog did not close";
    }
    int RowOf(const wchar_t *name) {
        for (int i = 0; i < Rows(); ++i)
            if (Row(i) == name) return i;
        return -1;
    }
    HWND dialog = nullptr;
};

// ---- The object written is the object selected ---------------------------------------------

// A vault built up by new, edit, duplicate, paste, delete and an import, then encrypted: after OK
// in "Objekt bearbeiten" the row above the edited object was selected, so that a Delete right
// after would have hit another object.
TEST_F(EditingTest, TheEditedObjectStaysSelectedInAStoreWithAHistory) {
    const std::vector<BYTE> store =
        ReadWholeFile(L"" ARKEL_FIXTURES L"/selection-after-edit/store.cdb");
    ASSERT_FALSE(store.empty());
    const wchar_t *names[] = {L"Steuer-ID J\u00fcrgen", L"Fahrrad G\u00f6rtz",
                              L"Online-Banking Sparkasse", L"WLAN Zuhause"};
    for (const wchar_t *name : names) {
        ASSERT_TRUE(WriteWholeFile(volumePath, store.data(), store.size()));
        settings.SetEncrypt(1);
        settings.SetAutoQuit(0);
        UiDriver ui;
        ui.onNextDialog(AnswerPassword(L"H\u00f6hlenb\u00e4r2024"));
        Start();
        ASSERT_EQ(Rows(), 7);
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << Utf8(name);
        Select(row);
        RunCommand(IDM_EDIT_OBJECT, ui, [](HWND d) {
            WCHAR text[256];
            GetDlgItemTextW(d, IDC_EDIT_FIELD1, text, 255);
            lstrcatW(text, L"x");
            SetDlgItemTextW(d, IDC_EDIT_FIELD1, text);
            PressButton(d, IDOK);
        });
        const std::wstring written = std::wstring(name) + L"x";
        EXPECT_EQ(Row(Selection()), written) << Utf8(name);
        EXPECT_STREQ(CurrentObject.field1, written.c_str()) << Utf8(name);
        ResetShell();
        ResetGlobalStores();
        ClearSettingsKey();
    }
}

// The key of a command is not passed on to the list. Ctrl+O or Ctrl+N opens the dialog; the user
// lets go of Ctrl while it is open, and the key's letter, translated only after the dialog closed,
// reached the list's type-ahead, which selected the first object with that letter ("Online-Banking
// Sparkasse" in the reported store) instead of the object just written.
TEST_F(EditingTest, TheKeyOfACommandDoesNotMoveTheSelectionAfterOk) {
    struct KeyCase {
        UINT key;
        const wchar_t *select;  // the row edited (nullptr: a new object)
        const wchar_t *written;
    };
    const KeyCase cases[] = {{'O', L"Steuer-ID", L"Steuer-ID J\u00fcrgen"},
                             {'N', nullptr, L"Zahlenschloss"}};
    for (const KeyCase &k : cases) {
        Prepare({{L"Bank", L"", L"1", L""},
                 {L"Notiz", L"", L"2", L""},
                 {L"Ofen", L"", L"3", L""},
                 {L"Steuer-ID", L"", L"4", L""}});
        Start();
        if (k.select) Select(RowOf(k.select));
        UiDriver ui;
        bool closed = false;
        ui.onNextDialog([&](HWND d) {
            // The user lets go of Ctrl while typing into the dialog.
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
            SetKeyboardState(keys);
            SetDlgItemTextW(d, IDC_EDIT_FIELD1, k.written);
            SetDlgItemTextW(d, IDC_EDIT_FIELD2, L"5");
            PressButton(d, IDOK);
            closed = true;
        });
        PressKey(k.key, true);
        ASSERT_TRUE(PumpShellUntil([&] { return closed; })) << char(k.key);
        PumpShellFor(100);
        ASSERT_GE(Selection(), 0) << char(k.key);
        EXPECT_EQ(Row(Selection()), k.written) << "Ctrl+" << char(k.key);
        EXPECT_STREQ(CurrentObject.field1, k.written) << "Ctrl+" << char(k.key);
        ResetShell();
        ResetGlobalStores();
    }
}

// A stored field may hold 255 characters (an import, a paste) while typing stops at 254: OK
// without a change must write every field back whole, and typing into such a field adds nothing.
TEST_F(EditingTest, OkWithoutAChangeKeepsFieldsOf255Characters) {
    const std::wstring long1(255, L'a'), long2(255, L'\u00e4'), long3(255, L'z');
    Prepare({{long1.c_str(), L"", long2.c_str(), long3.c_str()}});
    Start();
    Select(0);
    UiDriver ui;
    std::wstring typedInto;
    RunCommand(IDM_EDIT_OBJECT, ui, [&](HWND d) {
        HWND edit = GetDlgItem(d, IDC_EDIT_FIELD3);
        SendMessageW(edit, EM_SETSEL, 255, 255);
        SendMessageW(edit, WM_CHAR, L'x', 0);
        typedInto = ItemText(d, IDC_EDIT_FIELD3);
        PressButton(d, IDOK);
    });
    EXPECT_EQ(typedInto, long3) << "a full field takes no more";
    ObjectRecord stored;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD n) {
        ReadObjectRecord(p, n, &stored);
        return false;
    });
    EXPECT_EQ(std::wstring(stored.field1), long1);
    EXPECT_EQ(std::wstring(stored.field2), long2);
    EXPECT_EQ(std::wstring(stored.field3), long3);
}

// A full vault (65,535 objects) says that it is full, in the dialog (which stays open with the
// texts) and for a paste, instead of the generic failure.
TEST_F(EditingTest, AFullVaultSaysSo) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ASSERT_TRUE(CeBeginBatch());
    WCHAR name[16];
    CEPROPVAL v[6] = {};
    const CEPROPID ids[5] = {PROP_FIELD1, PROP_FIELD2, PROP_TITLE1, PROP_TITLE2, PROP_TITLE3};
    const wchar_t *texts[5] = {name, L"S", L"Name", L"Seriennummer", L"Bemerkung"};
    for (int k = 0; k < 5; ++k) {
        v[k].propid = ids[k];
        v[k].val.lpwstr = const_cast<LPWSTR>(texts[k]);
    }
    v[5].propid = PROP_ENCRYPT;
    v[5].val.iVal = 1;
    for (int i = 0; i < CEDB_MAXRECORDS; ++i) {
        wsprintfW(name, L"Objekt %05d", i);
        ASSERT_NE(CeWriteRecordProps(objectStore.hDatabase, 0, 6, v), 0u) << i;
    }
    ASSERT_TRUE(CeCommitBatch());
    ResetGlobalStores();
    Start();
    Select(0);
    UiDriver ui;
    bool openAfter = false;
    RunCommand(IDM_NEW_OBJECT, ui, [&](HWND d) {
        SetDlgItemTextW(d, IDC_EDIT_FIELD1, L"Noch eins");
        SetDlgItemTextW(d, IDC_EDIT_FIELD2, L"N-1");
        ui.answerMessageBox(IDOK);
        After(100, [&, d] {
            openAfter = IsWindow(d) != FALSE;
            EndDialog(d, 0);
        });
        PressButton(d, IDOK);
    });
    ASSERT_EQ(ui.seen().size(), 2u);
    EXPECT_EQ(ui.seen()[1].text,
              L"Die Datenbank ist voll: sie nimmt h\u00f6chstens 65535 Objekte auf. Das Objekt "
              L"konnte nicht gespeichert werden.\nIhre Eingaben bleiben erhalten.");
    EXPECT_TRUE(openAfter);

    UiDriver paste;
    paste.answerMessageBox(IDOK);
    ASSERT_TRUE(CopyObjectToClipboard(hMainWnd));
    EXPECT_EQ(PasteObjectFromClipboard(hMainWnd), -1);
    ASSERT_EQ(paste.seen().size(), 1u);
    EXPECT_EQ(paste.seen()[0].text,
              L"Die Datenbank ist voll: sie nimmt h\u00f6chstens 65535 Objekte auf. Das Objekt "
              L"konnte nicht eingef\u00fcgt werden.");
    EXPECT_EQ(objectStore.recordCount(), CEDB_MAXRECORDS);
}

// ---- Object edit dialog: OK -----------------------------------------------------------------

struct OkCase {
    const wchar_t *what;
    const wchar_t *field1, *field2, *field3;
    const wchar_t *message;  // nullptr: none; the dialog then closes
    size_t objectsAfter;
};

TEST_F(EditingTest, OkWritesOnlyCompleteObjects) {
    const OkCase cases[] = {
        {L"both fields", L"Dora", L"D-4", L"", nullptr, 4},
        {L"only field 3", L"", L"", L"Notiz", kIncomplete, 3},
        {L"field 3 without field 2", L"Emil", L"", L"Notiz", kIncomplete, 3},
        {L"all empty", L"", L"", L"", nullptr, 3},
        // The selected object is no reference for a new one.
        {L"equal to the selected object", L"Anton", L"A-1", L"erste", nullptr, 4},
    };
    for (const OkCase &c : cases) {
        SCOPED_TRACE(testing::Message() << Utf8(c.what));
        NewVolume();
        ResetShell();
        ResetGlobalStores();
        StartWithObjects();
        Select(0);
        UiDriver ui;
        bool openAfterMessage = false;
        std::wstring textsAfter;
        RunCommand(IDM_NEW_OBJECT, ui, [&](HWND d) {
            Type(d, IDC_EDIT_FIELD1, c.field1);
            Type(d, IDC_EDIT_FIELD2, c.field2);
            Type(d, IDC_EDIT_FIELD3, c.field3);
            if (c.message) {
                ui.answerMessageBox(IDOK);
                After(100, [&, d] {
                    openAfterMessage = IsWindow(d) != FALSE;
                    textsAfter = ItemText(d, IDC_EDIT_FIELD1) + L"|" + ItemText(d, IDC_EDIT_FIELD3);
                    EndDialog(d, 0);
                });
            }
            PressButton(d, IDOK);
        });
        if (c.message) {
            ASSERT_EQ(ui.seen().size(), 2u);
            EXPECT_EQ(ui.seen()[1].text, c.message);
            EXPECT_EQ(ui.seen()[1].caption, L"The Arkel");
            EXPECT_TRUE(openAfterMessage);
            EXPECT_EQ(textsAfter, std::wstring(c.field1) + L"|" + c.field3) << "texts as typed";
        } else {
            EXPECT_EQ(ui.seen().size(), 1u) << "no message";
        }
        EXPECT_EQ(StoredRecords().size(), c.objectsAfter);
        if (c.objectsAfter == 4) {
            EXPECT_EQ(Row(Selection()), c.field1) << "the new object is selected";
            EXPECT_STREQ(CurrentObject.field2, c.field2);
        }
    }
}

TEST_F(EditingTest, AFailedWriteIsReportedAndTheDialogKeepsTheTexts) {
    for (UINT mode : {IDM_NEW_OBJECT, IDM_EDIT_OBJECT}) {
        SCOPED_TRACE(mode);
        NewVolume();
        ResetShell();
        ResetGlobalStores();
        StartWithObjects();
        Select(RowOf(L"Berta"));
        UiDriver ui;
        HANDLE db = objectStore.hDatabase;
        std::wstring typedAfterFailure;
        RunCommand(mode, ui, [&](HWND d) {
            Type(d, IDC_EDIT_FIELD1, L"Gustav");
            Type(d, IDC_EDIT_FIELD2, L"G-7");
            // The database refuses the write.
            objectStore.hDatabase = INVALID_HANDLE_VALUE;
            ui.onNextDialog([&, d](HWND box) {
                objectStore.hDatabase = db;
                PressButton(box, IDOK);
                After(100, [&, d] {
                    typedAfterFailure =
                        ItemText(d, IDC_EDIT_FIELD1) + L"|" + ItemText(d, IDC_EDIT_FIELD2);
                    PressButton(d, IDOK);  // the second try succeeds
                });
            });
            PressButton(d, IDOK);
        });
        objectStore.hDatabase = db;
        ASSERT_EQ(ui.seen().size(), 2u);
        EXPECT_EQ(ui.seen()[1].text, kWriteFailed);
        EXPECT_EQ(typedAfterFailure, L"Gustav|G-7");
        std::vector<ObjectRecord> stored = StoredRecords();
        // New: one more object. Edit: Berta became Gustav, and no copy was made.
        EXPECT_EQ(stored.size(), mode == IDM_NEW_OBJECT ? 4u : 3u);
        EXPECT_EQ(RowOf(L"Berta") >= 0, mode == IDM_NEW_OBJECT);
        EXPECT_EQ(Row(Selection()), L"Gustav");
    }
}

// ---- Object edit dialog: Cancel and close ---------------------------------------------------

struct DiscardCase {
    const wchar_t *what;
    UINT mode;
    bool change;
    UINT request;      // IDCANCEL or WM_CLOSE
    bool focusInEdit;  // where the keyboard focus is at the request
    int answer;        // 0: no question expected
    int expectedDefault;
    bool closes;
};

TEST_F(EditingTest, CancelAndCloseAskOnlyForChanges) {
    const DiscardCase cases[] = {
        {L"untouched new object", IDM_NEW_OBJECT, false, IDCANCEL, false, 0, 0, true},
        {L"untouched edit", IDM_EDIT_OBJECT, false, IDCANCEL, false, 0, 0, true},
        {L"cancel, keep editing", IDM_EDIT_OBJECT, true, IDCANCEL, false, IDCANCEL, IDOK, false},
        {L"cancel, discard", IDM_EDIT_OBJECT, true, IDCANCEL, false, IDOK, IDOK, true},
        {L"close, keep editing", IDM_EDIT_OBJECT, true, WM_CLOSE, false, IDCANCEL, IDCANCEL, false},
        {L"close, discard", IDM_NEW_OBJECT, true, WM_CLOSE, false, IDOK, IDCANCEL, true},
        {L"close while typing", IDM_EDIT_OBJECT, true, WM_CLOSE, true, 0, 0, false},
        {L"close unchanged", IDM_EDIT_OBJECT, false, WM_CLOSE, false, 0, 0, true},
    };
    StartWithObjects();
    Select(RowOf(L"Anton"));
    for (const DiscardCase &c : cases) {
        SCOPED_TRACE(testing::Message() << Utf8(c.what));
        UiDriver ui;
        int shownDefault = 0;
        bool open = false;
        HWND focusAfter = nullptr;
        RunCommand(c.mode, ui, [&](HWND d) {
            if (c.change) Type(d, IDC_EDIT_FIELD3, L"anders");
            SetFocus(GetDlgItem(d, c.focusInEdit ? IDC_EDIT_FIELD2 : IDC_EDIT_CATEGORY));
            if (c.answer) ui.onNextDialog(Answer(c.answer, &shownDefault));
            After(300, [&, d] {
                open = IsWindow(d) != FALSE;
                if (open) {
                    focusAfter = GetFocus();
                    EndDialog(d, 0);
                }
            });
            if (c.request == WM_CLOSE)
                PostMessageW(d, WM_CLOSE, 0, 0);
            else
                PressButton(d, IDCANCEL);
        });
        EXPECT_EQ(ui.seen().size(), c.answer ? 2u : 1u);
        if (c.answer) {
            EXPECT_EQ(ui.seen()[1].text, kDiscard);
            EXPECT_EQ(shownDefault, c.expectedDefault);
        }
        EXPECT_EQ(open, !c.closes);
        if (c.focusInEdit) {
            EXPECT_EQ(focusAfter, dialog) << "the focus left the field";
        }
        EXPECT_EQ(StoredRecords().size(), 3u);
        EXPECT_STREQ(StoredRecords()[0].field3, L"erste") << "nothing written";
    }
}

// ---- Object edit dialog: what it opens with --------------------------------------------------

struct OpenCase {
    const wchar_t *what;
    UINT mode;
    const wchar_t *filter;
    const wchar_t *selectRow;  // the object selected in the list
    const wchar_t *category, *label1, *label2, *label3;
    bool checked;
    const wchar_t *caption;
};

TEST_F(EditingTest, TheDialogOpensWithTheCategoryTitlesAndFlag) {
    const OpenCase cases[] = {
        {L"new under all", IDM_NEW_OBJECT, L" - Alle -", L"Anton", L" - Ohne -", L"Name",
         L"Seriennummer", L"Bemerkung", true, L"Neues Objekt"},
        {L"new under Bank", IDM_NEW_OBJECT, L"Bank", L"Berta", L"Bank", L"Konto", L"IBAN", L"PIN",
         false, L"Neues Objekt"},
        {L"edit without category", IDM_EDIT_OBJECT, L" - Alle -", L"Caesar", L" - Ohne -", L"Name",
         L"Seriennummer", L"Bemerkung", true, L"Objekt bearbeiten"},
    };
    StartWithObjects();
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(testing::Message() << Utf8(c.what));
        ChooseFilter(c.filter);
        Select(RowOf(c.selectRow));
        UiDriver ui;
        std::wstring shown, afterBank;
        RunCommand(c.mode, ui, [&](HWND d) {
            shown = WindowText(d) + L"|" + SelectedText(d, IDC_EDIT_CATEGORY) + L"|" +
                    ItemText(d, IDC_EDIT_LABEL1) + L"|" + ItemText(d, IDC_EDIT_LABEL2) + L"|" +
                    ItemText(d, IDC_EDIT_LABEL3) + L"|" +
                    (IsDlgButtonChecked(d, IDC_EDIT_ENCRYPT) ? L"1" : L"0");
            EXPECT_EQ(ComboEntries(GetDlgItem(d, IDC_EDIT_CATEGORY)),
                      (std::vector<std::wstring>{L" - Ohne -", L"Bank", L"Privat"}));
            // Choosing a category shows its titles and flag in either mode.
            ChooseInCombo(d, IDC_EDIT_CATEGORY, L"Bank");
            afterBank = ItemText(d, IDC_EDIT_LABEL1) + L"|" + ItemText(d, IDC_EDIT_LABEL2) + L"|" +
                        ItemText(d, IDC_EDIT_LABEL3) + L"|" +
                        (IsDlgButtonChecked(d, IDC_EDIT_ENCRYPT) ? L"1" : L"0");
            EndDialog(d, 0);
        });
        EXPECT_EQ(shown, std::wstring(c.caption) + L"|" + c.category + L"|" + c.label1 + L"|" +
                             c.label2 + L"|" + c.label3 + L"|" + (c.checked ? L"1" : L"0"));
        EXPECT_EQ(afterBank, L"Konto|IBAN|PIN|0");
    }
}

// ---- Object edit dialog: title pickers -------------------------------------------------------

TEST_F(EditingTest, NewInAPickerOpensTheTitlesDialogAndOffersTheNewTitleAtOnce) {
    StartWithObjects();
    Select(RowOf(L"Anton"));
    UiDriver ui;
    bool dropped = false;
    std::wstring titlesCaption, labelAfterNew;
    std::vector<std::wstring> pickerAfter;
    // Runs once the dialog is active and has its focus.
    std::function<void(HWND)> PickTitles = [&](HWND d) {
        HWND picker = GetDlgItem(d, IDC_EDIT_TITLES2);
        // A tap on the label of field 2 drops its picker on the label's title.
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_EDIT_LABEL2, STN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_EDIT_LABEL2)));
        // Shown with the focus (its list drops down; whether it stays down depends on the mouse
        // capture, which a test on a shared display cannot count on).
        dropped = IsWindowVisible(picker) && GetFocus() == picker;
        EXPECT_EQ(SelectedText(d, IDC_EDIT_TITLES2), L"Seriennummer");
        // " Neu…" comes first; choosing it opens the titles dialog of field 2.
        ui.onNextDialog([&](HWND t) {
            titlesCaption = WindowText(t);
            Type(t, IDC_TITLE_NEW, L"Kontonummer");
            PressButton(t, IDC_TITLE_ADD);
            PressButton(t, IDOK);
        });
        SendMessageW(picker, CB_SETCURSEL, 0, 0);
        CloseUp(d, IDC_EDIT_TITLES2);
        After(500, [&, d, picker] {
            labelAfterNew = ItemText(d, IDC_EDIT_LABEL2);
            pickerAfter = ComboEntries(picker);
            // Now the new title is chosen through the arrow.
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_EDIT_ARROW2, 0),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_EDIT_ARROW2)));
            ChooseInCombo(d, IDC_EDIT_TITLES2, L"Kontonummer");
            CloseUp(d, IDC_EDIT_TITLES2);
            After(200, [d] { PressButton(d, IDOK); });
        });
    };
    RunCommand(IDM_EDIT_OBJECT, ui, [&](HWND d) { After(150, [&, d] { PickTitles(d); }); });
    EXPECT_TRUE(dropped);
    EXPECT_EQ(titlesCaption, L"Titel f\u00fcr Feld 2");
    EXPECT_EQ(labelAfterNew, L"Seriennummer") << "the label stays after the titles dialog";
    EXPECT_EQ(pickerAfter,
              (std::vector<std::wstring>{kNewTitleEntry, L"Kontonummer", L"Seriennummer"}));
    EXPECT_STREQ(CurrentObject.title2, L"Kontonummer");
    EXPECT_STREQ(CurrentObject.field1, L"Anton");
}

// ---- Object edit dialog: growing fields ------------------------------------------------------

TEST_F(EditingTest, AFieldGrowsWhileItsTextDoesNotFitAndShrinksOnLeaving) {
    StartWithObjects();
    UiDriver ui;
    struct Look {
        int height;
        bool scrollBar;
    };
    std::vector<Look> looks;
    auto look = [&](HWND edit) {
        RECT rc;
        GetWindowRect(edit, &rc);
        looks.push_back({rc.bottom - rc.top, (GetWindowLongW(edit, GWL_STYLE) & WS_VSCROLL) != 0});
    };
    RunCommand(IDM_NEW_OBJECT, ui, [&](HWND d) {
        HWND edit = GetDlgItem(d, IDC_EDIT_FIELD3);
        SetFocus(edit);
        TypeKeys(edit, L"kurz");
        look(edit);
        TypeKeys(edit, L"Ein langer Text, der nicht in eine Zeile passt, auch nicht hier");
        look(edit);
        TypeKeys(edit, L"kurz");
        look(edit);
        TypeKeys(edit, L"Noch ein langer Text, der weit \u00fcber den Rand hinausgeht");
        SetFocus(GetDlgItem(d, IDC_EDIT_FIELD1));
        look(edit);
        SetFocus(edit);  // entering a field whose text does not fit grows it
        look(edit);
        EndDialog(d, 0);
    });
    ASSERT_EQ(looks.size(), 5u);
    const int heights[] = {21, 67, 21, 21, 67};
    const bool bars[] = {false, true, false, false, true};
    for (size_t i = 0; i < looks.size(); ++i) {
        // The first look is the template's own one-line height.
        if (i > 0) {
            EXPECT_EQ(looks[i].height, heights[i]) << i;
        }
        EXPECT_EQ(looks[i].scrollBar, bars[i]) << i;
    }
}

// ---- Object edit dialog: idle time ---------------------------------------------------------

TEST_F(EditingTest, IdleTimeEndsTheDialogWithoutSavingOnlyWhileItIsActive) {
    StartWithObjects();
    // A stored period counts as at least 15 s; the running shell takes a short one directly.
    autoQuitActive = autoQuitPeriod = 300;
    StartIdleTimers();
    Select(RowOf(L"Anton"));
    UiDriver ui;
    bool aliveDuringQuestion = false;
    HWND edit = nullptr;
    ui.onNextDialog([&](HWND d) {
        edit = d;
        Type(d, IDC_EDIT_FIELD2, L"nie gespeichert");
        ui.onNextDialog([&, d](HWND box) {
            // Several idle periods inside the question: the dialog is not active, so it stays.
            PumpUntil([] { return false; }, 1500);
            aliveDuringQuestion = IsWindow(d) && IsWindow(hMainWnd);
            PressButton(box, IDCANCEL);  // keep editing; then the idle time runs out
        });
        PressButton(d, IDCANCEL);
    });
    PostMessageW(hMainWnd, WM_COMMAND, IDM_EDIT_OBJECT, 0);
    EXPECT_TRUE(PumpShellUntil([] { return !IsWindow(hMainWnd); }, 15000)) << "the program quit";
    EXPECT_TRUE(aliveDuringQuestion);
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(autoQuitPeriod, 1u);
    EXPECT_STREQ(StoredRecords()[0].field2, L"A-1") << "nothing saved";
}

// ---- Object edit dialog: keyboard -----------------------------------------------------------

TEST_F(EditingTest, EnterIsOkF4OpensThePickerAndEscapeLeavesTheFieldThenCancels) {
    StartWithObjects();
    Select(RowOf(L"Anton"));
    UiDriver ui;
    RunCommand(IDM_NEW_OBJECT, ui, [&](HWND d) {
        HWND f1 = GetDlgItem(d, IDC_EDIT_FIELD1), f2 = GetDlgItem(d, IDC_EDIT_FIELD2);
        SetFocus(f1);
        TypeKeys(f1, L"Friedrich");
        SetFocus(f2);
        TypeKeys(f2, L"F-6");
        PostMessageW(f2, WM_KEYDOWN, VK_RETURN, 1);
    });
    EXPECT_EQ(Row(Selection()), L"Friedrich") << "Enter in a field is OK";
    EXPECT_STREQ(CurrentObject.field2, L"F-6");

    bool droppedByF4 = false;
    std::wstring afterPicker, afterFirstEscape;
    RunCommand(IDM_EDIT_OBJECT, ui, [&](HWND d) {
        HWND f3 = GetDlgItem(d, IDC_EDIT_FIELD3), picker = GetDlgItem(d, IDC_EDIT_TITLES3);
        SetFocus(f3);
        PostMessageW(f3, WM_KEYDOWN, VK_F4, 1);
        After(200, [&, d, f3, picker] {
            droppedByF4 = IsWindowVisible(picker) && GetFocus() == picker;
            CloseUp(d, IDC_EDIT_TITLES3);  // the list closes on the label's title
            After(200, [&, d, f3] {
                afterPicker =
                    ItemText(d, IDC_EDIT_LABEL3) + (GetFocus() == f3 ? L"|field 3" : L"|elsewhere");
                PostMessageW(f3, WM_KEYDOWN, VK_ESCAPE, 1);
                After(200, [&, d] {
                    afterFirstEscape = !IsWindow(d)      ? L"closed"
                                       : GetFocus() == d ? L"dialog"
                                                         : L"elsewhere";
                    if (IsWindow(d)) PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 1);
                });
            });
        });
    });
    EXPECT_TRUE(droppedByF4);
    EXPECT_EQ(afterPicker, L"Bemerkung|field 3");
    EXPECT_EQ(afterFirstEscape, L"dialog") << "the first Escape leaves the field";
    EXPECT_EQ(ui.seen().size(), 2u) << "unchanged: no question";
}

// ---- Categories dialog ----------------------------------------------------------------------

struct NameCase {
    const wchar_t *typed;
    const wchar_t *shown;  // the edit's text afterwards
    bool canAdd;
};

TEST_F(EditingTest, CategoryAndTitleNamesAreCheckedAsTheyAreTyped) {
    StartWithObjects();
    const NameCase categoryCases[] = {
        {L" Reise", L"Reise", true},
        {L"\t  Reise", L"Reise", true},
        {L"privat", L"privat", false},
        {L"PRIVAT", L"PRIVAT", false},
        {L" ", L"", false},
        {L" - Alle -", L"- Alle -", true},
        {L"Privatsache", L"Privatsache", true},
    };
    UiDriver ui;
    RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
        EXPECT_EQ(WindowText(d), L"Kategorien");
        EXPECT_EQ(ListEntries(GetDlgItem(d, IDC_CATEGORY_LIST)),
                  (std::vector<std::wstring>{L"Bank", L"Privat"}));
        EXPECT_FALSE(Enabled(d, IDC_CATEGORY_DELETE));
        EXPECT_FALSE(Enabled(d, IDC_CATEGORY_TITLE1));
        EXPECT_FALSE(Enabled(d, IDC_CATEGORY_ENCRYPT));
        for (const NameCase &c : categoryCases) {
            Type(d, IDC_CATEGORY_NEW, c.typed);
            EXPECT_EQ(ItemText(d, IDC_CATEGORY_NEW), c.shown) << Utf8(c.typed);
            EXPECT_EQ(Enabled(d, IDC_CATEGORY_ADD), c.canAdd) << Utf8(c.typed);
        }
        PressButton(d, IDOK);
    });
    const NameCase titleCases[] = {
        {L" ", L"", false},
        {L"Seriennummer", L"Seriennummer", false},
        {L"seriennummer", L"seriennummer", false},
        {L"  IBAN", L"IBAN", true},
    };
    RunCommand(IDM_TITLES_FIELD2, ui, [&](HWND d) {
        EXPECT_EQ(WindowText(d), L"Titel f\u00fcr Feld 2");
        EXPECT_EQ(ListEntries(GetDlgItem(d, IDC_TITLE_LIST)),
                  (std::vector<std::wstring>{L"Seriennummer"}))
            << "only the titles of field 2";
        for (const NameCase &c : titleCases) {
            Type(d, IDC_TITLE_NEW, c.typed);
            EXPECT_EQ(ItemText(d, IDC_TITLE_NEW), c.shown) << Utf8(c.typed);
            EXPECT_EQ(Enabled(d, IDC_TITLE_ADD), c.canAdd) << Utf8(c.typed);
        }
        PressButton(d, IDOK);
    });
}

TEST_F(EditingTest, AddedCategoriesTakeTheShownTitlesAndDeletingSelectsTheNeighbour) {
    StartWithObjects();
    WritePrivatWithListedTitles();
    UiDriver ui;
    std::vector<std::wstring> mainComboDuring;
    RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_CATEGORY_LIST);
        // With nothing selected a new category gets the default titles.
        Type(d, IDC_CATEGORY_NEW, L"Auto");
        PressButton(d, IDC_CATEGORY_ADD);
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(ItemText(d, IDC_CATEGORY_NEW), L"");
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0) << "the new name is selected";
        // With Privat selected it gets Privat's titles, and the flag 1.
        ChooseInList(d, IDC_CATEGORY_LIST, 2);
        EXPECT_EQ(SelectedText(d, IDC_CATEGORY_TITLE2), L"Nummer");
        EXPECT_TRUE(Enabled(d, IDC_CATEGORY_DELETE));
        Type(d, IDC_CATEGORY_NEW, L"Zuhause");
        EXPECT_FALSE(Enabled(d, IDC_CATEGORY_TITLE1)) << "titles wait while a name is typed";
        PressButton(d, IDC_CATEGORY_ADD);
        PumpUntil([] { return false; }, 50);
        mainComboDuring = ComboEntries(hCategoryCombo);
        // Deleting the last entry selects the new last one.
        ChooseInList(d, IDC_CATEGORY_LIST, 3);
        PressButton(d, IDC_CATEGORY_DELETE);
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(ListEntries(list), (std::vector<std::wstring>{L"Auto", L"Bank", L"Privat"}));
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
        // Without a selection delete does nothing.
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageW(d, WM_COMMAND, IDC_CATEGORY_DELETE, 0);
        EXPECT_EQ(ListEntries(list).size(), 3u);
        PressButton(d, IDOK);
    });
    EXPECT_EQ(mainComboDuring, (std::vector<std::wstring>{L" - Alle -", L" - Ohne -", L"Auto",
                                                          L"Bank", L"Privat", L"Zuhause"}));
    StoredCategory autoCat = ReadCategory(L"Auto");
    EXPECT_EQ(autoCat.t1 + L"|" + autoCat.t2 + L"|" + autoCat.t3, L"Name|Seriennummer|Bemerkung");
    EXPECT_EQ(autoCat.flag, 1);
    EXPECT_FALSE(categoryStore.findName(L"Zuhause"));
    EXPECT_EQ(ComboEntries(hCategoryCombo).size(), 5u);
}

TEST_F(EditingTest, AddingWhilePrivatIsSelectedCopiesItsTitles) {
    StartWithObjects();
    WritePrivatWithListedTitles();
    UiDriver ui;
    RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
        ChooseInList(d, IDC_CATEGORY_LIST, 1);
        Type(d, IDC_CATEGORY_NEW, L"Zuhause");
        PressButton(d, IDC_CATEGORY_ADD);
        After(100, [d] { PressButton(d, IDOK); });
    });
    StoredCategory c = ReadCategory(L"Zuhause");
    EXPECT_EQ(c.t1 + L"|" + c.t2 + L"|" + c.t3, L"Inhaber|Nummer|Notiz");
    EXPECT_EQ(c.flag, 1);
}

TEST_F(EditingTest, SwitchingTheDefaultEncryptionOffersToChangeTheObjects) {
    for (int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer);
        NewVolume();
        ResetShell();
        ResetGlobalStores();
        Prepare({{L"Berta", L"Bank", L"1"},
                 {L"Dora", L"Bank", L"2"},
                 {L"Emil", L"bank", L"3"},
                 {L"Anton", L"Privat", L"4"}});
        Start();
        UiDriver ui;
        int shownDefault = 0;
        RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
            ChooseInList(d, IDC_CATEGORY_LIST, 0);  // "Bank"
            ASSERT_EQ(IsDlgButtonChecked(d, IDC_CATEGORY_ENCRYPT), BST_CHECKED);
            ui.onNextDialog(Answer(answer, &shownDefault));
            CheckDlgButton(d, IDC_CATEGORY_ENCRYPT, BST_UNCHECKED);
            PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_CATEGORY_ENCRYPT, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_CATEGORY_ENCRYPT)));
            After(200, [d] { PressButton(d, IDCANCEL); });
        });
        ASSERT_EQ(ui.seen().size(), 2u);
        EXPECT_EQ(ui.seen()[1].text,
                  L"Soll die Verschl\u00fcsselung auch f\u00fcr die bereits vorhandenen Objekte "
                  L"der Kategorie Bank deaktiviert werden?");
        EXPECT_EQ(shownDefault, IDNO);
        EXPECT_EQ(ReadCategory(L"Bank").flag, 0) << "the category's flag is written either way";
        for (const ObjectRecord &o : StoredRecords()) {
            bool inBank = wcscmp(o.category, L"Bank") == 0;  // exactly, letter case counts
            EXPECT_EQ(o.encrypt, inBank && answer == IDYES ? 0 : 1) << Utf8(o.field1);
        }
    }
}

TEST_F(EditingTest, ADeletedCategoryComesBackWithTheTitlesOfItsFirstObject) {
    StartWithObjects();
    for (const wchar_t *name : {L"Zora", L"Ida"}) {
        ObjectRecord o;
        ClearObjectRecord(&o);
        lstrcpyW(o.field1, name);
        lstrcpyW(o.field2, L"x");
        lstrcpyW(o.category, L"Reise");
        lstrcpyW(o.title1, name[0] == L'I' ? L"Ziel" : L"Ort");
        o.encrypt = 0;
        ASSERT_NE(objectStore.addObject(o), 0u);
    }
    MergeNamesFromObjects();
    FillCategoryCombo();
    ChooseFilter(L"Reise");
    ASSERT_EQ(Rows(), 2);
    UiDriver ui;
    std::wstring filterDuring, comboDuring;
    RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_CATEGORY_LIST);
        ChooseInList(
            d, IDC_CATEGORY_LIST,
            static_cast<int>(SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(L"Reise"))));
        PressButton(d, IDC_CATEGORY_DELETE);
        After(100, [&, d] {
            // The main window's filter was that category: it shows everything at once.
            filterDuring = currentCategory;
            comboDuring = WindowText(hCategoryCombo);
            PressButton(d, IDOK);
        });
    });
    EXPECT_EQ(filterDuring, L" - Alle -");
    EXPECT_EQ(comboDuring, L" - Alle -");
    EXPECT_EQ(Rows(), 5);
    StoredCategory back = ReadCategory(L"Reise");
    EXPECT_TRUE(categoryStore.lastResult) << "re-created on closing";
    EXPECT_EQ(back.t1, L"Ziel") << "Ida comes first in the store's order";
    EXPECT_EQ(back.flag, 0);
}

TEST_F(EditingTest, NewInACategoryTitleComboOpensTheTitlesDialogAndWritesNothing) {
    StartWithObjects();
    UiDriver ui;
    std::wstring afterNew;
    RunCommand(IDM_CATEGORIES, ui, [&](HWND d) {
        ChooseInList(d, IDC_CATEGORY_LIST, 0);  // Bank: Konto, IBAN, PIN
        ui.onNextDialog([](HWND t) {
            Type(t, IDC_TITLE_NEW, L"Geheimzahl");
            PressButton(t, IDC_TITLE_ADD);
            PressButton(t, IDCANCEL);
        });
        ChooseInCombo(d, IDC_CATEGORY_TITLE3, kNewTitleEntry);
        afterNew = SelectedText(d, IDC_CATEGORY_TITLE3);
        EXPECT_GE(SendMessageW(GetDlgItem(d, IDC_CATEGORY_TITLE3), CB_FINDSTRINGEXACT,
                               static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Geheimzahl")),
                  0);
        // A real title is written at once.
        ChooseInCombo(d, IDC_CATEGORY_TITLE3, L"Geheimzahl");
        PressButton(d, IDOK);
    });
    EXPECT_EQ(afterNew, L"Bemerkung") << "PIN is no title of field 3: the first real title";
    EXPECT_EQ(ReadCategory(L"Bank").t3, L"Geheimzahl");
    EXPECT_EQ(ReadCategory(L"Bank").t1, L"Konto");
}

// ---- Field titles dialog -------------------------------------------------------------------

TEST_F(EditingTest, TitlesAreAddedAndDeletedAndUsedTitlesComeBack) {
    StartWithObjects();
    titleList1.addName(L"Inhaber");
    UiDriver ui;
    std::vector<std::wstring> afterAdd, afterDeletes;
    bool deleteEnabledWhenEmpty = true;
    RunCommand(IDM_TITLES_FIELD1, ui, [&](HWND d) {
        HWND list = GetDlgItem(d, IDC_TITLE_LIST);
        EXPECT_FALSE(Enabled(d, IDC_TITLE_DELETE));
        Type(d, IDC_TITLE_NEW, L"Zugang");
        PressButton(d, IDC_TITLE_ADD);
        After(50, [&, d, list] {
            afterAdd = ListEntries(list);
            EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR) << "not selected";
            EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_TITLE_NEW));
            // Delete the last entry, then everything.
            ChooseInList(d, IDC_TITLE_LIST, 2);
            EXPECT_TRUE(Enabled(d, IDC_TITLE_DELETE));
            SendMessageW(d, WM_COMMAND, IDC_TITLE_DELETE, 0);
            EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1) << "the new last entry";
            SendMessageW(d, WM_COMMAND, IDC_TITLE_DELETE, 0);
            SendMessageW(d, WM_COMMAND, IDC_TITLE_DELETE, 0);
            afterDeletes = ListEntries(list);
            deleteEnabledWhenEmpty = Enabled(d, IDC_TITLE_DELETE);
            PressButton(d, IDOK);
        });
    });
    EXPECT_EQ(afterAdd, (std::vector<std::wstring>{L"Inhaber", L"Name", L"Zugang"}));
    EXPECT_TRUE(afterDeletes.empty());
    EXPECT_FALSE(deleteEnabledWhenEmpty);
    // "Name" is the title of field 1 of every object: the merge on closing brings it back.
    EXPECT_TRUE(titleList1.findName(L"Name"));
    EXPECT_FALSE(titleList1.findName(L"Zugang"));
    EXPECT_FALSE(titleList1.findName(L"Inhaber"));
}

}  // namespace
