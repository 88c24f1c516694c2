// The clipboard: the text of a copied object, reading texts of any layout, paste, cut and
// duplicate, the paste command's state and what the program leaves on the clipboard at its end.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <string>
#include <thread>

#include "app/clipboard.h"
#include "app/shell.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kCopyFailed[] =
    L"Das Objekt konnte nicht in die Zwischenablage kopiert werden. Versuchen Sie es sp\u00e4ter "
    L"nochmals.";

void EmptyTheClipboard() {
    ASSERT_TRUE(OpenClipboard(OtherWindow()));
    EmptyClipboard();
    CloseClipboard();
}

// The value of a DWORD format on the clipboard, or -1 when the format is missing.
long long DwordFormat(const wchar_t *name) {
    long long value = -1;
    UINT format = RegisterClipboardFormatW(name);
    if (!OpenClipboard(OtherWindow())) return -2;
    if (HANDLE data = GetClipboardData(format)) {
        if (GlobalSize(data) >= sizeof(DWORD))
            value = *static_cast<const DWORD *>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return value;
}

// Holds the clipboard open from another thread, as a busy program does, until released.
class ClipboardHolder {
public:
    ClipboardHolder() {
        HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, opened] {
            HWND w = CreateWindowW(L"STATIC", L"busy", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
            open_ = OpenClipboard(w);
            SetEvent(opened);
            WaitForSingleObject(release_, INFINITE);
            if (open_) CloseClipboard();
            DestroyWindow(w);
        });
        // The thread sets the event whether or not it got the clipboard; on a loaded machine it
        // may take longer than any fixed wait.
        WaitForSingleObject(opened, INFINITE);
        CloseHandle(opened);
    }
    ~ClipboardHolder() {
        SetEvent(release_);
        thread_.join();
        CloseHandle(release_);
    }
    bool open() const { return open_; }

private:
    HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool open_ = false;
    std::thread thread_;
};

class ClipboardTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        EmptyTheClipboard();
    }
    void TearDown() override {
        clipboardText = nullptr;
        ShellTest::TearDown();
    }

    // The stored object at a list row.
    ObjectRecord At(int row) {
        ObjectRecord o;
        objectStore.readVisible(row, &o);
        return o;
    }
};

using Fields = std::array<std::wstring, 8>;  // title 1, value 1, ... value 3, category, flag

Fields ReadFields(int *pasteable) {
    WCHAR f[8][256];
    *pasteable = ReadClipboardObject(f[1], f[3], f[5], f[6], f[7], f[0], f[2], f[4]);
    Fields out;
    for (int i = 0; i < 8; ++i) out[i] = f[i];
    return out;
}

// ---- Reading clipboard texts ----------------------------------------------------------------

TEST_F(ClipboardTest, TextsOfAnyLayoutAreTakenFieldByField) {
    Start();
    const std::wstring n300(300, L'N');
    struct Case {
        const char *what;
        std::wstring text;
        Fields fields;
        bool pasteable;
    } cases[] = {
        {"five lines",
         L"Name\ta\r\nSeriennummer\tb\r\nBemerkung\tc\r\nPrivat\r\n1\r\n",
         {L"Name", L"a", L"Seriennummer", L"b", L"Bemerkung", L"c", L"Privat", L"1"},
         true},
        {"three lines, the third value empty",
         L"Name\ta\r\nSeriennummer\tb\r\nBemerkung\t\r\n",
         {L"Name", L"a", L"Seriennummer", L"b", L"Bemerkung", L"", L"", L""},
         true},
        {"second value empty",
         L"Name\ta\r\nSeriennummer\t\r\nBemerkung\tc\r\nPrivat\r\n1\r\n",
         {L"Name", L"a", L"Seriennummer", L"", L"Bemerkung", L"c", L"Privat", L"1"},
         false},
        {"blanks around the fields",
         L"  Name\ta \r\n Seriennummer \t  b\r\nBemerkung\t   \r\n  Privat  \r\n 0 \r\n",
         {L"Name", L"a", L"Seriennummer", L"b", L"Bemerkung", L"", L"Privat", L"0"},
         true},
        {"LF alone, LF CR, CR alone and LF TAB each separate once",
         L"Name\ta\nSeriennummer\tb\n\rBemerkung\tc\rPrivat\n\t1",
         {L"Name", L"a", L"Seriennummer", L"b", L"Bemerkung", L"c", L"Privat", L"1"},
         true},
        {"TAB CR and two TABs are two separators",
         L"Name\t\r\nx\t\ty",
         {L"Name", L"", L"x", L"", L"y", L"", L"", L""},
         false},
        {"a field over 255 characters goes on in the next field",
         n300 + L"\tv\r\n",
         {std::wstring(255, L'N'), std::wstring(45, L'N'), L"v", L"", L"", L"", L"", L""},
         false},
        {"a copy without selection",
         L"\t\r\n\t\r\n\t\r\n\r\n1\r\n",
         {L"", L"", L"", L"", L"", L"", L"", L"1"},
         false},
        {"prose", L"Ein ganz normaler Satz.", {L"Ein ganz normaler Satz."}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PutText(c.text);
        int pasteable = -1;
        EXPECT_EQ(ReadFields(&pasteable), c.fields);
        EXPECT_EQ(pasteable, c.pasteable ? 1 : 0);
        EXPECT_EQ(MenuGreyed(IDM_PASTE), !c.pasteable);
        EXPECT_EQ(ButtonEnabled(IDM_PASTE), c.pasteable);
    }
    EmptyTheClipboard();
    int pasteable = -1;
    EXPECT_EQ(ReadFields(&pasteable), Fields{});
    EXPECT_EQ(pasteable, 0) << "an empty clipboard";
}

// ---- Copy and paste -------------------------------------------------------------------------

TEST_F(ClipboardTest, ACopyIsFiveLinesAndPastesBackAsTheSameObject) {
    Prepare({{L"Anton", L"", L"4711", L"am Rand"}});
    Start();
    ASSERT_TRUE(CopyObjectToClipboard(hMainWnd));
    EXPECT_EQ(TextOnClipboard(),
              L"Name\tAnton\r\nSeriennummer\t4711\r\nBemerkung\tam Rand\r\n\r\n1\r\n")
        << "no category: an empty fourth line";
    EXPECT_FALSE(MenuGreyed(IDM_PASTE)) << "the state is read after the copy";
    // Clipboard history and the cloud clipboard are asked to leave the text alone.
    EXPECT_NE(DwordFormat(L"ExcludeClipboardContentFromMonitorProcessing"), -1);
    EXPECT_EQ(DwordFormat(L"CanIncludeInClipboardHistory"), 0);
    EXPECT_EQ(DwordFormat(L"CanUploadToCloudClipboard"), 0);

    // Pasted under the filter " - Ohne -", the copy shows in the list, selected.
    lstrcpyW(currentCategory, kFilterNone);
    FillObjectList(objectStore, hObjectList);
    MenuCommand(IDM_PASTE);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Selection(), 1) << "the copy comes after the original with the same name";
    ObjectRecord copy = At(1);
    EXPECT_STREQ(copy.field1, L"Anton");
    EXPECT_STREQ(copy.field2, L"4711");
    EXPECT_STREQ(copy.field3, L"am Rand");
    EXPECT_STREQ(copy.category, L"");
    EXPECT_EQ(copy.encrypt, 1);
    EXPECT_STREQ(copy.title2, L"Seriennummer");
}

TEST_F(ClipboardTest, PasteTakesCategoryFlagAndTitlesAndAddsThemToTheirLists) {
    Start();
    struct Case {
        const char *what;
        const wchar_t *category, *flag;
        const wchar_t *storedCategory;
        short encrypt;
    } cases[] = {
        {"category", L"Privat", L"0", L"Privat", 0},
        {"no category filter name", L" - Ohne -", L"1", L"", 1},
        {"all filter name", L" - Alle -", L"-1", L"", 1},
        {"empty flag", L"Arbeit", L"", L"Arbeit", 1},
        {"flag starting with 0", L"", L"07", L"", 0},
    };
    int rows = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PutText(std::wstring(L"Typ\tx\r\nNummer\ty\r\nOrt\tz\r\n") + c.category + L"\r\n" + c.flag +
                L"\r\n");
        ASSERT_EQ(PasteObjectFromClipboard(hMainWnd), 1);
        ASSERT_EQ(Rows(), ++rows);
        ObjectRecord o = At(Selection());
        EXPECT_STREQ(o.category, c.storedCategory);
        EXPECT_EQ(o.encrypt, c.encrypt);
        EXPECT_STREQ(o.title1, L"Typ");
        EXPECT_STREQ(o.title3, L"Ort");
        if (c.storedCategory[0]) {
            EXPECT_NE(categoryStore.findName(c.storedCategory), 0u);
        }
    }
    EXPECT_EQ(categoryStore.findName(kFilterNone), 0u);
    EXPECT_NE(titleList1.findName(L"Typ"), 0u);
    EXPECT_NE(titleList2.findName(L"Nummer"), 0u);
    EXPECT_NE(titleList3.findName(L"Ort"), 0u);
}

TEST_F(ClipboardTest, PastingTheCopyOfAnObjectWhoseCategoryWasDeletedMakesTheCategoryAgain) {
    Prepare({{L"Anton", L"Privat", L"1"}});
    Start();
    ASSERT_TRUE(CopyObjectToClipboard(hMainWnd));
    ASSERT_NE(categoryStore.findName(L"Privat"), 0u);
    CeDeleteRecord(categoryStore.hDatabase, categoryStore.lastResult);
    FillCategoryCombo();
    ASSERT_EQ(SendMessageW(hCategoryCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(L"Privat")),
              CB_ERR);
    MenuCommand(IDM_PASTE);
    EXPECT_EQ(Rows(), 2);
    EXPECT_NE(categoryStore.findName(L"Privat"), 0u);
    EXPECT_NE(SendMessageW(hCategoryCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(L"Privat")),
              CB_ERR)
        << "the filter offers it again";
}

TEST_F(ClipboardTest, ACopyWithoutSelectionIsNotPasteable) {
    Prepare({{L"Anton", L""}});
    Start();
    Select(-1);
    ASSERT_TRUE(CopyObjectToClipboard(hMainWnd));
    EXPECT_EQ(TextOnClipboard(), L"\t\r\n\t\r\n\t\r\n\r\n1\r\n");
    EXPECT_TRUE(MenuGreyed(IDM_PASTE));
    EXPECT_FALSE(ButtonEnabled(IDM_PASTE));
    MenuCommand(IDM_PASTE);
    EXPECT_EQ(StoredObjects(), 1);
}

// ---- Cut and duplicate ----------------------------------------------------------------------

TEST_F(ClipboardTest, CutDeletesOnlyWhatReachedTheClipboard) {
    Prepare({{L"Anton", L"", L"1"}, {L"Berta", L"", L"2"}});
    Start();
    PutText(L"older text");
    {
        ClipboardHolder busy;
        ASSERT_TRUE(busy.open());
        UiDriver ui;
        ui.answerMessageBox(IDOK);
        MenuCommand(IDM_CUT);
        ASSERT_TRUE(PumpShellUntil([&] { return ui.seen().size() == 1; }));
        EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[0].text, kCopyFailed);
        EXPECT_EQ(StoredObjects(), 2) << "the object is kept";
    }
    EXPECT_EQ(TextOnClipboard(), L"older text") << "the clipboard keeps what it held";

    UiDriver ui;
    Select(0);
    MenuCommand(IDM_CUT);
    EXPECT_TRUE(ui.seen().empty()) << "cut asks nothing";
    EXPECT_EQ(StoredObjects(), 1);
    EXPECT_EQ(Row(0), L"Berta");
    EXPECT_EQ(TextOnClipboard().substr(0, 11), L"Name\tAnton\r");
    MenuCommand(IDM_PASTE);
    EXPECT_EQ(StoredObjects(), 2) << "the cut object comes back";
}

TEST_F(ClipboardTest, DuplicateOpensTheNewCopyForEditing) {
    Prepare({{L"Anton", L"Privat", L"1"}});
    Start();
    {
        UiDriver ui;
        bool edit = false;
        CEOID shown = 0;
        ui.onNextDialog([&](HWND d) {
            edit = GetDlgItem(d, IDC_EDIT_ENCRYPT) != nullptr;
            shown = objectStore.currentRecord;
            PressButton(d, IDCANCEL);
        });
        CEOID original = objectStore.currentRecord;
        MenuCommand(IDM_DUPLICATE);
        ASSERT_TRUE(PumpShellUntil([&] { return ui.seen().size() == 1; }));
        PumpShellFor(50);
        EXPECT_TRUE(edit) << "the object edit dialog";
        EXPECT_EQ(Rows(), 2);
        EXPECT_NE(shown, original) << "the dialog opens on the copy";
        EXPECT_NE(shown, 0u);
    }
    // Without a copy there is nothing to open: the original is not opened in its place.
    {
        ClipboardHolder busy;
        ASSERT_TRUE(busy.open());
        UiDriver ui;
        ui.answerMessageBox(IDOK);
        MenuCommand(IDM_DUPLICATE);
        PumpShellFor(200);
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].text, kCopyFailed);
        EXPECT_EQ(Rows(), 2);
    }
    // Nor when the copy does not paste (an import can leave field 2 empty).
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, L"Ohne Nummer");
    objectStore.addObject(o);
    FillObjectList(objectStore, hObjectList);
    Select(2);
    ASSERT_STREQ(CurrentObject.field1, L"Ohne Nummer");
    UiDriver ui;
    ui.answerMessageBox(IDOK);
    MenuCommand(IDM_DUPLICATE);
    PumpShellFor(200);
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].text,
              L"Das Objekt kann nicht dupliziert werden, da ein Feld oder ein Titel leer ist.");
    EXPECT_EQ(Rows(), 3);
}

// ---- Paste state and the end of the program -------------------------------------------------

TEST_F(ClipboardTest, ThePasteStateIsReadAgainOnActivation) {
    Start();
    PutText(L"Name\ta\r\nSeriennummer\tb\r\nBemerkung\t\r\n");
    EXPECT_TRUE(MenuGreyed(IDM_PASTE)) << "nothing has read the clipboard yet";
    SendMessageW(hMainWnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_FALSE(MenuGreyed(IDM_PASTE));
    EXPECT_TRUE(ButtonEnabled(IDM_PASTE));
    PutText(L"Name\ta\r\n");
    SendMessageW(hMainWnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(MenuGreyed(IDM_PASTE));
    EXPECT_FALSE(ButtonEnabled(IDM_PASTE));
}

// WinMain runs the program (its window class is registered already, as for a second instance of
// the class); a thread timer copies the selected object and quits.
void RunProgramThatCopies(const std::function<void()> &afterCopy) {
    static std::function<void()> then;
    static bool copied;
    then = afterCopy;
    copied = false;
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        SendMessageW(hMainWnd, WM_COMMAND, IDM_COPY, 0);
        copied = true;
        then();
        PostMessageW(hMainWnd, WM_COMMAND, IDM_QUIT, 0);
    });
    HINSTANCE self = GetModuleHandleW(nullptr);
    WinMain(self, self, const_cast<LPSTR>(""), SW_SHOW);
    EXPECT_TRUE(copied) << "the program ran";
}

TEST_F(ClipboardTest, AtItsEndTheProgramTakesItsObjectOffTheClipboardButNothingNewer) {
    Prepare({{L"Geheim", L""}});
    RunProgramThatCopies([] { EXPECT_EQ(TextOnClipboard().substr(0, 12), L"Name\tGeheim\r"); });
    EXPECT_EQ(TextOnClipboard(), L"<none>");
    ResetShell();
    ResetGlobalStores();

    RunProgramThatCopies([] { PutText(L"copied later elsewhere"); });
    EXPECT_EQ(TextOnClipboard(), L"copied later elsewhere");
}

}  // namespace
