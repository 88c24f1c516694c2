// The main window: commands, enabling rules, deleting, the category filter, the detail area,
// the About box and the arrow control, driven in-process.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "app/test_seam.h"
#include "platform/cedb.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

#include "sqlite3.h"

namespace {

const wchar_t kDeleteQuestion[] =
    L"Das ausgew\u00e4hlte Objekt wird endg\u00fcltig gel\u00f6scht. Fortfahren?";
const wchar_t kEncryptedRow[] = L"Verschl\u00fcsselt! Nicht bearbeiten!";

const std::vector<TestObject> kThree = {
    {L"Anton", L"Privat", L"A-1"}, {L"Berta", L"Arbeit", L"B-2"}, {L"Caesar", L"", L"C-3"}};

// A dialog step that records which template opened (by a control only that template has, or its
// caption) and closes the dialog.
std::function<void(HWND)> Identify(std::wstring *what) {
    return [what](HWND d) {
        struct Mark {
            int id;
            const wchar_t *name;
        };
        // Ids that no other template of the program uses.
        const Mark marks[] = {
            {IDC_EDIT_ENCRYPT, L"edit"},          {IDC_CATEGORY_LIST, L"categories"},
            {IDC_PREFS_AUTOQUIT, L"preferences"}, {IDC_PASSWORD_NEW_AGAIN, L"password"},
            {IDC_TITLE_NEW_LABEL, L"titles"},     {IDC_ABOUT_VERSION, L"about"}};
        *what = L"?";
        for (const Mark &m : marks) {
            if (GetDlgItem(d, m.id)) {
                *what = m.name;
                break;
            }
        }
        PressButton(d, IDCANCEL);
    };
}

// ---- Command table --------------------------------------------------------------------------

struct CommandCase {
    UINT command;
    const wchar_t *dialog;
};

TEST_F(ShellTest, MenuCommandsOpenTheirDialogs) {
    Prepare(kThree);
    Start();
    const CommandCase cases[] = {
        {IDM_NEW_OBJECT, L"edit"},         {IDM_EDIT_OBJECT, L"edit"},
        {IDM_DUPLICATE, L"edit"},          {IDM_CATEGORIES, L"categories"},
        {IDM_PREFERENCES, L"preferences"}, {IDM_PASSWORD, L"password"},
        {IDM_TITLES_FIELD1, L"titles"},    {IDM_TITLES_FIELD2, L"titles"},
        {IDM_TITLES_FIELD3, L"titles"},    {IDM_ABOUT, L"about"},
    };
    for (const CommandCase &c : cases) {
        UiDriver ui;
        std::wstring opened;
        ui.onNextDialog(Identify(&opened));
        MenuCommand(c.command);
        EXPECT_TRUE(PumpShellUntil([&] { return !opened.empty(); })) << c.command;
        EXPECT_EQ(opened, c.dialog) << c.command;
        EXPECT_EQ(ui.unexpected(), 0) << c.command;
        EXPECT_EQ(GetFocus(), hObjectList) << "focus back on the list after " << c.command;
    }
    EXPECT_EQ(Rows(), 4) << "only duplicate added an object, the copy";
}

TEST_F(ShellTest, QuitAndCancelCommandsAndCloseEndTheProgram) {
    const UINT ways[] = {IDM_QUIT, IDCANCEL, WM_CLOSE};
    for (UINT way : ways) {
        Start();
        HWND menuBar = hMenuBar;
        if (way == WM_CLOSE)
            PostMessageW(hMainWnd, WM_CLOSE, 0, 0);
        else
            PostMessageW(hMainWnd, WM_COMMAND, way, 0);
        bool quit = false;
        DWORD start = GetTickCount();
        while (!quit && GetTickCount() - start < 5000) {
            MSG msg;
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                Sleep(5);
                continue;
            }
            if (msg.message == WM_QUIT)
                quit = true;
            else
                DispatchMessageW(&msg);
        }
        EXPECT_TRUE(quit) << way << ": the quit message follows";
        EXPECT_FALSE(IsWindow(hMainWnd)) << way;
        EXPECT_FALSE(IsWindow(menuBar)) << way;
        ResetShell();
        ResetGlobalStores();
    }
}

TEST_F(ShellTest, AcceleratorTableIsTheProgramsOwn) {
    Start();
    ACCEL table[32];
    int n = CopyAcceleratorTableW(hAccel, table, 32);
    struct Key {
        WORD key;
        BYTE flags;
        WORD cmd;
    };
    const Key expected[] = {{'1', FVIRTKEY | FCONTROL, IDM_COPY_FIELD1},
                            {'2', FVIRTKEY | FCONTROL, IDM_COPY_FIELD2},
                            {'3', FVIRTKEY | FCONTROL, IDM_COPY_FIELD3},
                            {'C', FVIRTKEY | FCONTROL, IDM_COPY},
                            {'D', FVIRTKEY | FCONTROL, IDM_DUPLICATE},
                            {'F', FVIRTKEY | FCONTROL, IDM_SEARCH},
                            {'H', FVIRTKEY | FCONTROL, IDM_SHOW_FIELD2},
                            {'L', FVIRTKEY | FCONTROL, IDM_CATEGORIES},
                            {'L', FVIRTKEY | FCONTROL | FSHIFT, IDM_LOCK},
                            {'N', FVIRTKEY | FCONTROL, IDM_NEW_OBJECT},
                            {'O', FVIRTKEY | FCONTROL, IDM_EDIT_OBJECT},
                            {'Q', FVIRTKEY | FCONTROL, IDM_QUIT},
                            {'V', FVIRTKEY | FCONTROL, IDM_PASTE},
                            {VK_BACK, FVIRTKEY, IDM_DELETE},
                            {VK_DELETE, FVIRTKEY, IDM_DELETE},
                            {VK_ESCAPE, FVIRTKEY, IDM_SEARCH_CLOSE},
                            {'X', FVIRTKEY | FCONTROL, IDM_CUT}};
    ASSERT_EQ(n, 17);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(table[i].key, expected[i].key) << i;
        EXPECT_EQ(table[i].fVirt & ~FNOINVERT, expected[i].flags) << i;
        EXPECT_EQ(table[i].cmd, expected[i].cmd) << i;
    }
}

TEST_F(ShellTest, KeysReachTheirCommandsThroughTheMessageLoop) {
    Prepare(kThree);
    Start();
    struct KeyCase {
        UINT vk;
        const wchar_t *dialog;
    };
    const KeyCase cases[] = {{'N', L"edit"}, {'O', L"edit"}, {'D', L"edit"}, {'L', L"categories"}};
    for (const KeyCase &k : cases) {
        UiDriver ui;
        std::wstring opened;
        ui.onNextDialog(Identify(&opened));
        PressKey(k.vk, true);
        EXPECT_TRUE(PumpShellUntil([&] { return !opened.empty(); })) << char(k.vk);
        EXPECT_EQ(opened, k.dialog) << "Ctrl+" << char(k.vk);
    }
    UiDriver ui;
    PressKey('N', false);
    PumpShellFor(100);
    EXPECT_TRUE(ui.seen().empty()) << "N without Ctrl is no command";

    PressKey('Q', true);
    EXPECT_TRUE(PumpShellUntil([] { return !IsWindow(hMainWnd); })) << "Ctrl+Q quits";
}

TEST_F(ShellTest, ToolBarHoldsItsButtonsInOrderAndClicksReachTheCommands) {
    Prepare(kThree);
    Start();
    const struct {
        int image;
        int command;
        bool separator;
    } expected[8] = {{STD_FILENEW, IDM_NEW_OBJECT, false},
                     {STD_FILEOPEN, IDM_EDIT_OBJECT, false},
                     {0, 0, true},
                     {STD_CUT, IDM_CUT, false},
                     {STD_COPY, IDM_COPY, false},
                     {STD_PASTE, IDM_PASTE, false},
                     {0, 0, true},
                     {STD_DELETE, IDM_DELETE, false}};
    ASSERT_EQ(SendMessageW(hToolBar, TB_BUTTONCOUNT, 0, 0), 8);
    for (int i = 0; i < 8; ++i) {
        TBBUTTON b{};
        SendMessageW(hToolBar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&b));
        EXPECT_EQ((b.fsStyle & BTNS_SEP) != 0, expected[i].separator) << i;
        if (expected[i].separator) continue;
        EXPECT_EQ(b.idCommand, expected[i].command) << i;
        EXPECT_EQ(b.iBitmap, expected[i].image) << i;
    }

    auto click = [](UINT command) {
        RECT rc{};
        SendMessageW(hToolBar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rc));
        LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        PostMessageW(hToolBar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(hToolBar, WM_LBUTTONUP, 0, at);
        PumpShellFor(100);
    };
    {
        UiDriver ui;
        std::wstring opened;
        ui.onNextDialog(Identify(&opened));
        click(IDM_NEW_OBJECT);
        EXPECT_TRUE(PumpShellUntil([&] { return !opened.empty(); }));
        EXPECT_EQ(opened, L"edit");
    }
    {
        UiDriver ui;
        ui.answerMessageBox(IDNO);
        click(IDM_DELETE);
        EXPECT_TRUE(PumpShellUntil([&] { return ui.seen().size() == 1; }));
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].text, kDeleteQuestion);
    }
    {
        UiDriver ui;
        click(IDM_CUT);
        EXPECT_TRUE(PumpShellUntil([&] { return Rows() == 2; })) << "cut deletes without asking";
        EXPECT_TRUE(ui.seen().empty());
    }
}

// ---- Enabling rules -------------------------------------------------------------------------

TEST_F(ShellTest, SelectionCommandsFollowTheSelection) {
    Prepare({{L"Anton", L""}});
    Start();
    const UINT withButtons[] = {IDM_CUT, IDM_COPY, IDM_EDIT_OBJECT, IDM_DELETE};
    ASSERT_EQ(Selection(), 0);
    for (UINT id : withButtons) {
        EXPECT_FALSE(MenuGreyed(id)) << id;
        EXPECT_TRUE(ButtonEnabled(id)) << id;
    }
    EXPECT_FALSE(MenuGreyed(IDM_DUPLICATE));

    Select(-1);
    for (UINT id : withButtons) {
        EXPECT_TRUE(MenuGreyed(id)) << id;
        EXPECT_FALSE(ButtonEnabled(id)) << id;
    }
    EXPECT_TRUE(MenuGreyed(IDM_DUPLICATE));
    const UINT always[] = {IDM_NEW_OBJECT, IDM_CATEGORIES, IDM_ABOUT, IDM_QUIT, IDM_EXPORT};
    for (UINT id : always) EXPECT_FALSE(MenuGreyed(id)) << id;
    EXPECT_TRUE(ButtonEnabled(IDM_NEW_OBJECT));
    EXPECT_TRUE(MenuGreyed(IDM_PASSWORD)) << "the password item starts greyed";
}

// The longest category name, 255 characters, stays the filter from one start to the next.
TEST_F(ShellTest, AFilterOf255CharactersIsRememberedAcrossAStart) {
    const std::wstring name(255, L'K');
    Prepare({{L"Anton", name.c_str()}, {L"Berta", L""}});
    settings.SetCategory(name.c_str());
    Start();
    EXPECT_EQ(std::wstring(currentCategory), name);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0), L"Anton");
}

// ---- Deleting -------------------------------------------------------------------------------

TEST_F(ShellTest, BackspaceAndDeleteAskFirstAndDeleteOnlyOnYes) {
    struct Case {
        UINT key;
        int answer;
        int rowsAfter;
    };
    const Case cases[] = {
        {VK_DELETE, IDNO, 3}, {VK_DELETE, IDYES, 2}, {VK_BACK, IDNO, 3}, {VK_BACK, IDYES, 2}};
    for (const Case &c : cases) {
        Prepare(kThree);
        Start();
        Select(1);
        UiDriver ui;
        ui.answerMessageBox(c.answer);
        PressKey(c.key, false);
        PumpShellUntil([&] { return ui.seen().size() == 1 && Rows() == c.rowsAfter; });
        ASSERT_EQ(ui.seen().size(), 1u) << c.key;
        EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[0].text, kDeleteQuestion);
        EXPECT_EQ(Rows(), c.rowsAfter) << c.key << " " << c.answer;
        EXPECT_EQ(StoredObjects(), c.rowsAfter);
        if (c.answer == IDYES) {
            EXPECT_EQ(Row(0), L"Anton");
            EXPECT_EQ(Row(1), L"Caesar") << "the selected object went";
        }
        ResetShell();
        ResetGlobalStores();
        NewVolume();
    }
}

TEST_F(ShellTest, CtrlXDeletesWithoutAsking) {
    Prepare(kThree);
    Start();
    Select(0);
    UiDriver ui;
    PressKey('X', true);
    EXPECT_TRUE(PumpShellUntil([&] { return Rows() == 2; }));
    EXPECT_TRUE(ui.seen().empty());
    EXPECT_EQ(Row(0), L"Berta");
    EXPECT_EQ(StoredObjects(), 2);
}

// Every stored object as "field 1|field 2|category", in database order.
std::vector<std::wstring> StoreContents() {
    std::vector<std::wstring> objects;
    ObjectRecord o;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
        ReadObjectRecord(props, count, &o);
        objects.push_back(std::wstring(o.field1) + L"|" + o.field2 + L"|" + o.category);
        return true;
    });
    return objects;
}

TEST_F(ShellTest, CommandsOnTheSelectedObjectDoNothingWithoutOne) {
    // The filter hides nothing here; the store's current record is the last object the list
    // read, which an edit without a selection would overwrite.
    Prepare(kThree);
    Start();
    struct Command {
        UINT id;
        UINT key;  // its accelerator
        bool ctrl;
        bool button;  // on the tool bar
    };
    const Command commands[] = {
        {IDM_EDIT_OBJECT, 'O', true, true},   {IDM_DUPLICATE, 'D', true, false},
        {IDM_CUT, 'X', true, true},           {IDM_COPY, 'C', true, true},
        {IDM_DELETE, VK_DELETE, false, true}, {IDM_DELETE, VK_BACK, false, true}};
    enum Route { kAccelerator, kMenu, kToolBar, kDoubleClick };
    const char *routeNames[] = {"accelerator", "menu", "tool bar", "double-click"};
    const std::vector<std::wstring> before = StoreContents();
    for (Route route : {kAccelerator, kMenu, kToolBar, kDoubleClick}) {
        for (const Command &c : commands) {
            if (route == kToolBar && !c.button) continue;
            if (route == kDoubleClick && c.id != IDM_EDIT_OBJECT) continue;
            SCOPED_TRACE(std::string(routeNames[route]) + " " + std::to_string(c.id) + " key " +
                         std::to_string(c.key));
            Select(-1);
            UiDriver ui;
            switch (route) {
            case kAccelerator: PressKey(c.key, c.ctrl); break;
            case kMenu: MenuCommand(c.id); break;
            case kToolBar:
                // What a button sends, were it not disabled.
                PostMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(c.id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(hToolBar));
                break;
            case kDoubleClick:
                // The list reports a double-click on its empty part with no row selected.
                PostMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK),
                             reinterpret_cast<LPARAM>(hObjectList));
                break;
            }
            PumpShellFor(150);
            EXPECT_TRUE(ui.seen().empty()) << "no dialog, no question";
            EXPECT_EQ(StoreContents(), before);
            EXPECT_EQ(Rows(), 3);
            EXPECT_EQ(Selection(), -1);
        }
    }
    EXPECT_FALSE(ButtonEnabled(IDM_EDIT_OBJECT)) << "the buttons themselves are disabled";
}

TEST_F(ShellTest, TheDeleteQuestionDefaultsToNoInGerman) {
    // Backspace deletes: Backspace and then Enter must keep the object.
    Prepare(kThree);
    Start();
    Select(1);
    UiDriver ui;
    int defaultButton = 0;
    std::wstring yes, no;
    ui.onNextDialog([&](HWND box) {
        defaultButton = DefaultButton(box);
        yes = ItemText(box, IDYES);
        no = ItemText(box, IDNO);
        // Enter, as the keyboard gives it to the box's focused button.
        HWND focus = GetFocus();
        PostMessageW(focus ? focus : box, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageW(focus ? focus : box, WM_KEYUP, VK_RETURN, 0xC0000001);
    });
    PressKey(VK_BACK, false);
    EXPECT_TRUE(PumpShellUntil([&] { return ui.seen().size() == 1 && !yes.empty(); }));
    PumpShellFor(200);
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].text, kDeleteQuestion);
    EXPECT_EQ(defaultButton, IDNO);
    EXPECT_EQ(yes, L"&Ja") << "Wine draws its buttons in German";
    EXPECT_EQ(no, L"&Nein");
    EXPECT_EQ(StoredObjects(), 3) << "Enter answered No";
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(Selection(), 1);
}

TEST_F(ShellTest, WineDrawsItsMessageBoxButtonsInGerman) {
    UiDriver ui;
    std::wstring texts[3];
    ui.onNextDialog([&](HWND box) {
        const int ids[3] = {IDYES, IDNO, IDCANCEL};
        for (int i = 0; i < 3; ++i) texts[i] = ItemText(box, ids[i]);
        PressButton(box, IDCANCEL);
    });
    EXPECT_EQ(MessageBoxW(nullptr, L"Frage", L"The Arkel", MB_YESNOCANCEL | MB_ICONQUESTION),
              IDCANCEL);
    EXPECT_EQ(texts[0], L"&Ja");
    EXPECT_EQ(texts[1], L"&Nein");
    EXPECT_EQ(texts[2], L"Abbrechen");
    // The ANSI code page of exchange files stays Windows-1252.
    EXPECT_EQ(GetACP(), 1252u);
}

// A delete that the store refuses (here another connection holds its write lock past the layer's
// wait) is said, not swallowed: the object stays listed and the user learns why.
TEST_F(ShellTest, AFailedDeleteIsReported) {
    Prepare(kThree);
    Start();
    Select(1);
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Utf8(volumePath).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    UiDriver ui;
    ui.answerMessageBox(IDYES);
    ui.answerMessageBox(IDOK);
    PressKey(VK_DELETE, false);
    PumpShellUntil([&] { return ui.seen().size() == 2; }, 30000);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_EQ(ui.seen().size(), 2u);
    EXPECT_EQ(ui.seen()[0].text, kDeleteQuestion);
    EXPECT_EQ(ui.seen()[1].caption, L"The Arkel");
    EXPECT_EQ(ui.seen()[1].text,
              L"Das Objekt konnte nicht gel\u00f6scht werden.\nDie Datenbank kann nicht "
              L"geschrieben werden.");
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(Row(1), L"Berta");
    EXPECT_EQ(StoredObjects(), 3);
}

TEST_F(ShellTest, SelectionAfterDeletingStaysInPlaceOrMovesToTheNewLastRow) {
    Prepare(kThree);
    Start();
    struct Step {
        int select;
        int selectedAfter;
        const wchar_t *selectedName;
    };
    const Step steps[] = {{0, 0, L"Berta"}, {1, 0, L"Berta"}, {0, -1, L""}};
    for (const Step &s : steps) {
        Select(s.select);
        DeleteSelectedObject(nullptr);
        EXPECT_EQ(Selection(), s.selectedAfter) << s.select;
        EXPECT_STREQ(CurrentObject.field1, s.selectedName);
    }
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(CurrentObject.encrypt, 1) << "no selection: empty object with flag 1";
    EXPECT_STREQ(CurrentObject.title1, L"");
    EXPECT_TRUE(MenuGreyed(IDM_DELETE));
}

// ---- The filter -----------------------------------------------------------------------------

std::vector<std::wstring> ListRows() {
    std::vector<std::wstring> rows;
    int n = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        WCHAR text[512] = {};
        SendMessageW(hObjectList, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text));
        rows.push_back(text);
    }
    return rows;
}

TEST_F(ShellTest, FilterRulesChooseTheRows) {
    Prepare({{L"Anton", L"Privat"}, {L"Berta", L"privat"}, {L"Caesar", L""}, {L"Dora", L"Privat"}});
    Start();
    struct Case {
        const wchar_t *filter;
        std::vector<std::wstring> rows;
    };
    const Case cases[] = {
        {L" - Alle -", {L"Anton", L"Berta", L"Caesar", L"Dora"}},
        {L" - Ohne -", {L"Caesar"}},
        {L"Privat", {L"Anton", L"Dora"}},
        {L"privat", {L"Berta"}},  // letter case counts
        {L"Nirgends", {}},
    };
    for (const Case &c : cases) {
        lstrcpyW(currentCategory, c.filter);
        FillObjectList(objectStore, hObjectList);
        EXPECT_EQ(ListRows(), c.rows) << Utf8(c.filter);
    }
}

std::wstring StoredFilter() {
    WCHAR text[256];
    settings.GetCategory(text);
    return text;
}

TEST_F(ShellTest, ChoosingAFilterRefillsTheListAndIsRemembered) {
    Prepare(kThree);
    Start();
    EXPECT_STREQ(currentCategory, L" - Alle -") << "no stored filter: the first entry";
    std::vector<std::wstring> entries;
    for (int i = 0; i < SendMessageW(hCategoryCombo, CB_GETCOUNT, 0, 0); ++i) {
        WCHAR t[256] = {};
        SendMessageW(hCategoryCombo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(t));
        entries.push_back(t);
    }
    EXPECT_EQ(entries,
              (std::vector<std::wstring>{L" - Alle -", L" - Ohne -", L"Arbeit", L"Privat"}));

    ChooseFilter(L"Arbeit");
    EXPECT_EQ(ListRows(), std::vector<std::wstring>{L"Berta"});
    EXPECT_EQ(Selection(), 0);
    EXPECT_STREQ(CurrentObject.field1, L"Berta");
    EXPECT_EQ(StoredFilter(), L"Arbeit");
    EXPECT_EQ(GetFocus(), hObjectList);

    ChooseFilter(L" - Ohne -");
    EXPECT_EQ(ListRows(), std::vector<std::wstring>{L"Caesar"});
    EXPECT_EQ(StoredFilter(), L" - Ohne -");
}

TEST_F(ShellTest, ChoosingTheSameFilterAgainKeepsTheListAsItIs) {
    Prepare(kThree);
    Start();
    Select(2);
    SetFocus(nullptr);
    ChooseFilter(L" - Alle -");
    EXPECT_EQ(Selection(), 2) << "a refill would have selected row 0";
    EXPECT_EQ(StoredFilter(), L"") << "nothing written";
    EXPECT_EQ(GetFocus(), hObjectList);
}

TEST_F(ShellTest, AStoredFilterIsUsedAndAVanishedOneFallsBackToAll) {
    Prepare(kThree);
    settings.SetCategory(L"Privat");
    Start();
    EXPECT_STREQ(currentCategory, L"Privat");
    EXPECT_EQ(ListRows(), std::vector<std::wstring>{L"Anton"});
    ResetShell();
    ResetGlobalStores();

    settings.SetCategory(L"Gibt es nicht");
    Start();
    EXPECT_STREQ(currentCategory, L" - Alle -");
    EXPECT_EQ(Rows(), 3);
    WCHAR shown[256] = {};
    GetWindowTextW(hCategoryCombo, shown, 256);
    EXPECT_STREQ(shown, L" - Alle -");
    EXPECT_EQ(StoredFilter(), L"Gibt es nicht") << "the fallback is not written";
}

// ---- Encrypted records at start -------------------------------------------------------------

void AddEncryptedRecord(HANDLE db) {
    BYTE blob[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    CEPROPVAL props[2] = {};
    props[0].propid = PROP_VERIFIER;
    props[0].val.blob.dwCount = sizeof blob;
    props[0].val.blob.lpb = blob;
    props[1].propid = PROP_ENCRYPT;
    props[1].val.iVal = 1;
    ASSERT_NE(CeWriteRecordProps(db, 0, 2, props), 0u);
}

TEST_F(ShellTest, APlainObjectWithAnEmptyNameIsListedAndLeavesEncryptionOff) {
    Prepare({{L"", L"", L"SN-1"}, {L"Berta", L""}});
    for (int run = 0; run < 2; ++run) {
        UiDriver ui;
        Start();
        EXPECT_TRUE(ui.seen().empty()) << "run " << run;
        EXPECT_EQ(ListRows(), (std::vector<std::wstring>{L"", L"Berta"}));
        EXPECT_EQ(settings.GetEncrypt(), 0u);
        ResetShell();
        ResetGlobalStores();
    }
}

TEST_F(ShellTest, AnEncryptedObjectWhileEncryptionIsOffEndsTheStartAndSwitchesItOn) {
    // With no stored filter the combo box falls back to " - Alle -" and fills the list before
    // the list's own fill; the encrypted object must end the start either way.
    const wchar_t *storedFilters[] = {nullptr, L" - Alle -", L"Weg"};
    for (const wchar_t *filter : storedFilters) {
        // The case before left "Encrypt" on; opening the new, empty store would switch it off
        // with a message.
        ClearSettingsKey();
        Prepare({{L"Anton", L""}});
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        AddEncryptedRecord(objectStore.hDatabase);
        ResetGlobalStores();
        ClearSettingsKey();
        if (filter) settings.SetCategory(filter);

        UiDriver ui;
        ui.answerMessageBox(IDOK);
        EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[0].text,
                  L"Es wurde unerwartet ein verschl\u00fcsseltes Objekt gefunden.\nBitte starten "
                  L"Sie das Programm erneut.");
        EXPECT_EQ(settings.GetEncrypt(), 1u) << "the next start asks for the password";
        EXPECT_EQ(hBoldFont, nullptr) << "drawing objects released";
        EXPECT_EQ(ListRows(), (std::vector<std::wstring>{L"Anton", kEncryptedRow}));
        ResetShell();
        ResetGlobalStores();
        NewVolume();
    }
}

// ---- Detail area ----------------------------------------------------------------------------

int Width(HWND w) {
    RECT rc;
    GetWindowRect(w, &rc);
    return rc.right - rc.left;
}

int Left(HWND w) {
    RECT rc;
    GetWindowRect(w, &rc);
    POINT p{rc.left, rc.top};
    ScreenToClient(hMainWnd, &p);
    return p.x;
}

void SetClientWidth(int width) {
    RECT client, window;
    GetClientRect(hMainWnd, &client);
    GetWindowRect(hMainWnd, &window);
    int frame = (window.right - window.left) - client.right;
    MoveWindow(hMainWnd, window.left, window.top, width + frame, window.bottom - window.top, TRUE);
}

// A text of digits at least `pixels` wide in the value window's font.
std::wstring TextOfWidth(HWND w, int pixels) {
    std::wstring text;
    while (MeasureText(w, text.c_str(), nullptr) - 2 < pixels) text += L"8";
    return text;
}

TEST_F(ShellTest, NarrowValuesKeepTheTitleColumnAsWideAsTheTitles) {
    Prepare({{L"kurz", L"", L"x", L"y"}});
    Start();
    SetClientWidth(240);
    RefreshDetail();
    int titles = MeasureText(hTitleLabel[1], L"Seriennummer", hBoldFont);
    EXPECT_EQ(Width(hTitleLabel[0]), titles);
    EXPECT_EQ(Left(hValueText[0]), titles + 2);
    EXPECT_EQ(Width(hValueText[0]), 240 - titles);
    EXPECT_EQ(WindowText(hValueText[0]), L"kurz") << "a text that fits is whole";
    EXPECT_EQ(WindowText(hTitleLabel[1]), L"Seriennummer");
}

TEST_F(ShellTest, WideValuesGiveTheTitlesAtLeast150Pixels) {
    Prepare({{L"", L""}});
    Start();
    SetClientWidth(240);
    std::wstring wide = TextOfWidth(hValueText[0], 200);
    ObjectRecord o;
    objectStore.readVisible(0, &o);
    lstrcpyW(o.field1, wide.c_str());
    objectStore.updateCurrent(o);
    RefreshDetail();
    EXPECT_EQ(Width(hTitleLabel[0]), 150);
    EXPECT_EQ(Left(hValueText[0]), 152);
    EXPECT_EQ(Width(hValueText[0]), 90);
    std::wstring shown = WindowText(hValueText[0]);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), L'\u2026');
}

TEST_F(ShellTest, FitTextCutsA300PixelTextToFit98PixelsWithAnEllipsis) {
    Start();
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 15, hMainWnd,
                             nullptr, nullptr, nullptr);
    std::wstring text = TextOfWidth(w, 300);
    WCHAR out[256];
    FitTextToWindow(w, text.c_str(), out, nullptr);
    std::wstring fitted(out);
    ASSERT_GE(fitted.size(), 2u);
    ASSERT_EQ(fitted.back(), L'\u2026');
    std::wstring head = fitted.substr(0, fitted.size() - 1);
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << "the head of the text";
    int ellipsis = MeasureText(w, L"\u2026", nullptr) - 2;
    int headWidth = MeasureText(w, head.c_str(), nullptr) - 2;
    int oneMore = MeasureText(w, text.substr(0, head.size() + 1).c_str(), nullptr) - 2;
    EXPECT_LE(headWidth, 98 - ellipsis);
    EXPECT_GT(oneMore, 98 - ellipsis) << "the longest head that fits";

    std::wstring fits = TextOfWidth(w, 90);
    FitTextToWindow(w, fits.c_str(), out, nullptr);
    EXPECT_EQ(std::wstring(out), fits);
    FitTextToWindow(w, L"", out, nullptr);
    EXPECT_STREQ(out, L"");
    DestroyWindow(w);
}

TEST_F(ShellTest, ATapOnTheDetailAreaEditsTheSelectedObjectOrMakesANewOne) {
    // A plain object with an empty field 1 is still an object to edit.
    Prepare({{L"", L"", L"SN-1"}, {L"Berta", L""}});
    Start();
    struct Case {
        int select;
        HWND *tapped;
        LPARAM mode;
    };
    const Case cases[] = {{0, &hDetailBack, IDM_EDIT_OBJECT},
                          {0, &hValueText[1], IDM_EDIT_OBJECT},
                          {1, &hTitleLabel[0], IDM_EDIT_OBJECT},
                          {-1, &hDetailBack, IDM_NEW_OBJECT}};
    for (const Case &c : cases) {
        Select(c.select);
        UiDriver ui;
        std::wstring opened;
        ui.onNextDialog(Identify(&opened));
        SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
                     reinterpret_cast<LPARAM>(*c.tapped));
        PumpShellUntil([&] { return !opened.empty(); });
        EXPECT_EQ(opened, L"edit") << c.select;
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].initParam, c.mode) << "row " << c.select;
    }
}

TEST_F(ShellTest, TheWindowFillsTheWorkAreaOrElseTheScreen) {
    struct Case {
        BOOL (*workArea)(RECT *);
        RECT expected;
    };
    const Case cases[] = {
        {HandheldWorkArea, {0, 26, 240, 320}},
        {[](RECT *) { return FALSE; },
         {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}},
    };
    for (const Case &c : cases) {
        ShellWorkArea = c.workArea;
        Start();
        RECT rc;
        GetWindowRect(hMainWnd, &rc);
        EXPECT_EQ(rc.left, c.expected.left);
        EXPECT_EQ(rc.top, c.expected.top);
        EXPECT_EQ(rc.right, c.expected.right);
        EXPECT_EQ(rc.bottom, c.expected.bottom);
        ResetShell();
        ResetGlobalStores();
    }
}

// ---- About box ------------------------------------------------------------------------------

TEST_F(ShellTest, AboutBoxShowsVersionAndObjectCount) {
    struct Case {
        std::vector<TestObject> objects;
        const wchar_t *line;
    };
    const Case cases[] = {{{}, L""},
                          {{{L"Anton", L""}}, L"1 Datensatz"},
                          {{{L"Anton", L""}, {L"Berta", L""}}, L"2 Datens\u00e4tze"}};
    for (const Case &c : cases) {
        Prepare(c.objects);
        Start();
        UiDriver ui;
        std::wstring version, count, caption;
        HFONT countFont = nullptr;
        ui.onNextDialog([&](HWND d) {
            caption = WindowText(d);
            version = ItemText(d, IDC_ABOUT_VERSION);
            count = ItemText(d, IDC_ABOUT_COUNT);
            countFont =
                reinterpret_cast<HFONT>(SendDlgItemMessageW(d, IDC_ABOUT_COUNT, WM_GETFONT, 0, 0));
            PressButton(d, IDOK);
        });
        MenuCommand(IDM_ABOUT);
        PumpShellUntil([&] { return !caption.empty(); });
        EXPECT_EQ(caption, L"Info");
        EXPECT_EQ(version, L"The Arkel 3.01");
        EXPECT_EQ(count, c.line);
        EXPECT_EQ(countFont, hNormalFont);
        EXPECT_TRUE(IsWindow(hMainWnd));
        ResetShell();
        ResetGlobalStores();
        NewVolume();
    }
}

// ---- Dialog kit ---------------------------------------------------------------------------

unsigned kitRules = 0;

INT_PTR CALLBACK KitOnlyDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam, kitRules, nullptr, &result)) return result;
    return PendingDlgProc(hDlg, message, wParam, lParam);
}

// Every colour set to 0 (black on black) still draws readable text: where a text colour is the
// background's own, black or white takes its place; chosen colours that differ stay as they are.
// Pixels of a colour inside a window's rectangle on the screen.
int PixelsOf(HWND w, COLORREF colour) {
    RECT rc;
    GetWindowRect(w, &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    // Near the colour: anti-aliased text mixes its edges with the background.
    int n = 0;
    const auto *p = static_cast<const DWORD *>(bits);
    for (int i = 0; i < width * height; ++i) {
        const int r = (p[i] >> 16) & 255, g = (p[i] >> 8) & 255, b = p[i] & 255;
        if (std::abs(r - GetRValue(colour)) + std::abs(g - GetGValue(colour)) +
                std::abs(b - GetBValue(colour)) <
            96)
            ++n;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return n;
}

// After a colour change the detail area shows its texts in the new colours at once: the
// background is painted first, the rows on top of it.
TEST_F(ShellTest, ANewColourRepaintsTheDetailAreaWithItsTexts) {
    Prepare({{L"Anton", L"", L"4711", L"am Rand"}});
    Start();
    Select(0);
    PumpShellFor(300);
    const COLORREF text = RGB(255, 0, 0), back = RGB(0, 0, 255);
    clrDetailText = text;
    clrDetailBack = back;
    DeleteObject(hbrDetailBack);
    hbrDetailBack = CreateSolidBrush(back);
    RepaintInNewColours();
    PumpShellFor(300);
    for (HWND title : hTitleLabel)
        EXPECT_GT(PixelsOf(title, text), 10) << "every title is drawn in the new colour";
    EXPECT_GT(PixelsOf(hDetailBack, back), 100) << "on the new background";
}

TEST_F(ShellTest, TextStaysReadableWhenItsColourIsTheBackgrounds) {
    for (const wchar_t *name : {L"ColorStatic", L"BackColorStatic", L"ColorListe",
                                L"BackColorListe", L"ColorDialog", L"BackColorDialog"})
        settings.SetColor(name, 0);
    Start();
    HDC hdc = GetDC(hMainWnd);
    struct Case {
        UINT message;
        HWND control;
    } cases[] = {{WM_CTLCOLORLISTBOX, hObjectList}, {WM_CTLCOLORSTATIC, hMainWnd}};
    for (const Case &c : cases) {
        SendMessageW(hMainWnd, c.message, reinterpret_cast<WPARAM>(hdc),
                     reinterpret_cast<LPARAM>(c.control));
        EXPECT_EQ(GetBkColor(hdc), RGB(0, 0, 0)) << c.message;
        EXPECT_EQ(GetTextColor(hdc), RGB(255, 255, 255)) << c.message;
    }
    SetTextColor(hdc, 0);
    DialogColour(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc));
    EXPECT_EQ(GetTextColor(hdc), RGB(255, 255, 255));
    ReleaseDC(hMainWnd, hdc);
    EXPECT_EQ(ReadableTextColor(RGB(250, 250, 250), RGB(255, 255, 255)), RGB(0, 0, 0));
    EXPECT_EQ(ReadableTextColor(RGB(0, 0, 255), RGB(0, 0, 0)), RGB(0, 0, 255)) << "kept";
    EXPECT_EQ(ReadableTextColor(RGB(0, 160, 0), RGB(255, 255, 0)), RGB(0, 160, 0)) << "kept";
}

TEST_F(ShellTest, TheDialogKitAnswersTheColoursItsRulesName) {
    Start();
    clrWindowText = RGB(40, 50, 60);
    clrListText = RGB(10, 20, 30);
    struct Case {
        unsigned rules;
        UINT message;
        HBRUSH *brush;  // null: the system's answer
        COLORREF text;
    };
    const Case cases[] = {
        {kKitColours, WM_CTLCOLORSTATIC, &hbrWindowBack, clrWindowText},
        {kKitColours, WM_CTLCOLORDLG, &hbrWindowBack, 0},
        {kKitColours, WM_CTLCOLORLISTBOX, nullptr, 0},
        {kKitColours | kKitListColours, WM_CTLCOLORLISTBOX, &hbrListBack, clrListText},
        {kKitIdle, WM_CTLCOLORSTATIC, nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rules) + " " + std::to_string(c.message));
        kitRules = c.rules;
        UiDriver ui;
        LRESULT brush = 0;
        COLORREF text = 0;
        ui.onNextDialog([&](HWND d) {
            HDC dc = GetDC(d);
            SetTextColor(dc, RGB(1, 2, 3));
            brush = SendMessageW(d, c.message, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(GetDlgItem(d, IDC_CATEGORY_LIST)));
            text = GetTextColor(dc);
            ReleaseDC(d, dc);
            PressButton(d, IDCANCEL);
        });
        EXPECT_EQ(ShowDialog(hMainWnd, IDD_CATEGORIES, KitOnlyDlgProc, 0), 0);
        if (c.brush) {
            EXPECT_EQ(brush, reinterpret_cast<LRESULT>(*c.brush));
            if (c.message != WM_CTLCOLORDLG) {
                EXPECT_EQ(text, c.text);
            }
        } else {
            EXPECT_NE(brush, reinterpret_cast<LRESULT>(hbrWindowBack));
            EXPECT_NE(brush, reinterpret_cast<LRESULT>(hbrListBack));
        }
    }
}

// ---- Arrow control --------------------------------------------------------------------------

struct ArrowParent {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_COMMAND) {
            command = w;
            sender = l;
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }
    static inline WPARAM command = 0;
    static inline LPARAM sender = 0;
};

TEST_F(ShellTest, ArrowDrawsItsTriangleAndReportsATap) {
    clrWindowBack = RGB(0, 0, 255);
    clrWindowText = RGB(255, 0, 0);
    hbrWindowBack = CreateSolidBrush(clrWindowBack);
    hbrWindowText = CreateSolidBrush(clrWindowText);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ArrowParent::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ArrowParentTest";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(WS_EX_TOPMOST, L"ArrowParentTest", L"", WS_POPUP | WS_VISIBLE, 10,
                                  10, 60, 40, nullptr, nullptr, wc.hInstance, nullptr);
    HWND arrow = CreateWindowExW(0, L"PFEIL", L"", WS_CHILD | WS_VISIBLE, 4, 4, 16, 12, parent,
                                 reinterpret_cast<HMENU>(1071), wc.hInstance, nullptr);
    ASSERT_TRUE(arrow);
    InvalidateRect(arrow, nullptr, TRUE);
    UpdateWindow(arrow);
    PumpUntil([] { return false; }, 100);

    HDC dc = GetDC(arrow);
    struct Pixel {
        int x, y;
        COLORREF colour;
    };
    const Pixel pixels[] = {
        {8, 4, clrWindowText},   // inside the triangle
        {2, 2, clrWindowText},   // its corners
        {13, 2, clrWindowText},  //
        {8, 7, clrWindowText},   // near its tip at (8, 8)
        {1, 1, clrWindowBack},   // outside: the background
        {3, 7, clrWindowBack},   //
        {13, 7, clrWindowBack},  //
        {8, 10, clrWindowBack},  // below the tip
    };
    for (const Pixel &p : pixels) EXPECT_EQ(GetPixel(dc, p.x, p.y), p.colour) << p.x << "," << p.y;
    ReleaseDC(arrow, dc);

    SendMessageW(arrow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(ArrowParent::command, MAKEWPARAM(1071, 0));
    EXPECT_EQ(ArrowParent::sender, reinterpret_cast<LPARAM>(arrow));
    DestroyWindow(parent);
}

}  // namespace

namespace {

// ---- Colour commands and settings changes ---------------------------------------------------

bool StoredColour(const wchar_t *name, DWORD *value) {
    DWORD size = sizeof *value;
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Mobrix\\Arkel", name, RRF_RT_REG_DWORD,
                        nullptr, value, &size) == ERROR_SUCCESS;
}

TEST_F(ShellTest, ColourCommandsWriteTheirOwnSettingOnlyWhenChosen) {
    Start();
    struct Case {
        UINT command;
        const wchar_t *setting;
        COLORREF *colour;
        HBRUSH *brush;
    };
    const Case cases[] = {
        {IDM_COLOR_WINDOW_BACK, L"BackColorDialog", &clrWindowBack, &hbrWindowBack},
        {IDM_COLOR_WINDOW_TEXT, L"ColorDialog", &clrWindowText, &hbrWindowText},
        {IDM_COLOR_DETAIL_BACK, L"BackColorStatic", &clrDetailBack, &hbrDetailBack},
        {IDM_COLOR_DETAIL_TEXT, L"ColorStatic", &clrDetailText, &hbrDetailText},
        {IDM_COLOR_LIST_BACK, L"BackColorListe", &clrListBack, &hbrListBack},
        {IDM_COLOR_LIST_TEXT, L"ColorListe", &clrListText, &hbrListText}};
    for (const Case &c : cases) {
        DWORD stored = 0;
        UiDriver ui;
        ui.answerMessageBox(IDCANCEL);  // the colour dialog, cancelled
        MenuCommand(c.command);
        PumpShellUntil([&] { return ui.pendingSteps() == 0; });
        PumpShellFor(100);
        ASSERT_EQ(ui.seen().size(), 1u) << c.command;
        EXPECT_FALSE(StoredColour(c.setting, &stored)) << "cancel writes nothing";

        ui.answerMessageBox(IDOK);  // again, keeping the colour it shows
        MenuCommand(c.command);
        PumpShellUntil([&] { return StoredColour(c.setting, &stored); });
        ASSERT_TRUE(StoredColour(c.setting, &stored)) << Utf8(c.setting);
        EXPECT_EQ(stored, *c.colour);
        LOGBRUSH lb{};
        GetObjectW(*c.brush, sizeof lb, &lb);
        EXPECT_EQ(lb.lbColor, *c.colour);
        EXPECT_EQ(ui.unexpected(), 0);
    }
}

TEST_F(ShellTest, OnlyAWorkAreaChangeMovesTheWindow) {
    // The handheld's window: it covers the work area.
    ShellWorkArea = HandheldWorkArea;
    Start();
    RECT before;
    GetWindowRect(hMainWnd, &before);
    MoveWindow(hMainWnd, 5, 5, 200, 200, TRUE);
    EXPECT_EQ(SendMessageW(hMainWnd, WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0), 1);
    RECT now;
    GetWindowRect(hMainWnd, &now);
    EXPECT_EQ(now.left, 5);
    EXPECT_EQ(now.right - now.left, 200);

    EXPECT_EQ(SendMessageW(hMainWnd, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0), 1);
    GetWindowRect(hMainWnd, &now);
    EXPECT_EQ(now.left, before.left);
    EXPECT_EQ(now.right - now.left, before.right - before.left);
    RECT list;
    GetWindowRect(hObjectList, &list);
    EXPECT_EQ(list.right - list.left, before.right - before.left) << "the list is as wide again";
}

}  // namespace
