// The help: the help file names every anchor of the program; the viewer opens at an anchor, follows
// links, goes back, scrolls by keyboard and says clearly what it cannot show; the program's
// windows start it beside the program, and a second request goes to the running viewer.
#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "crypto/password_dialogs.h"
#include "dialogs/categories_dialog.h"
#include "dialogs/field_titles_dialog.h"
#include "dialogs/object_edit_dialog.h"
#include "dialogs/password_generator_dialog.h"
#include "help_document.h"
#include "platform/help_viewer/help_viewer.h"
#include "prefs/preferences_dialog.h"
#include "resources/resource.h"
#include "tests/win/shell_kit.h"
#include "tests/win/test_env.h"
#include "tests/win/ui_driver.h"

namespace {

std::wstring Folder() {
    WCHAR folder[MAX_PATH];
    ProgramFolder(folder, MAX_PATH);
    return folder;
}

std::wstring Wide(const std::u16string &s) { return std::wstring(s.begin(), s.end()); }

help::Document ReadHelp(const std::wstring &path) {
    std::vector<BYTE> bytes = ReadWholeFile(path);
    return help::Parse(std::string(bytes.begin(), bytes.end()));
}

// The title a viewer shows at an anchor of the program's help file.
std::wstring TitleAt(const help::Document &doc, const WCHAR *anchor) {
    std::u16string name(anchor, anchor + lstrlenW(anchor));
    const help::Anchor *a = doc.find(name);
    return a ? L"Hilfe: " + Wide(doc.pages[a->page].heading)
             : L"(kein Abschnitt " + std::wstring(anchor) + L")";
}

TEST(HelpFile, HoldsEveryAnchorOfTheProgramAndEveryLinkLeadsToASection) {
    help::Document doc = ReadHelp(Folder() + L"arkel.htp");
    ASSERT_GE(doc.pages.size(), 8u);
    for (const WCHAR *const *anchor = kHelpAnchors; *anchor; ++anchor) {
        SCOPED_TRACE(Utf8(*anchor));
        const help::Anchor *a = doc.find(std::u16string(*anchor, *anchor + lstrlenW(*anchor)));
        ASSERT_NE(a, nullptr) << "no section for the program's anchor";
        EXPECT_EQ(a->block, 0) << "the anchor names its section's heading";
        EXPECT_FALSE(doc.pages[a->page].heading.empty());
    }
    EXPECT_EQ(Wide(doc.pages[0].heading), L"The Arkel") << "the file begins with the overview";
    for (const help::Link &l : doc.links)
        EXPECT_GE(l.anchor, 0) << "a link to " << Utf8(Wide(l.target)) << " leads nowhere";
    for (const help::Page &p : doc.pages) {
        EXPECT_FALSE(p.heading.empty()) << "text before the first section";
        EXPECT_GE(p.blocks.size(), 2u) << Utf8(Wide(p.heading)) << " has no text";
    }
}

// ---- The viewer window, in this process -----------------------------------------------------

// Two pages; the first is longer than any screen, with a second anchor far down.
std::string Fixture() {
    std::string lines;
    for (int i = 0; i < 60; ++i) lines += "<p>Zeile " + std::to_string(i) + "</p>";
    return "<title>Probe</title><h1 id=\"eins\">Eins</h1>"
           "<p>Nach <a href=\"#zwei\">Zwei</a> oder <a href=\"#tief\">Tief</a>.</p>" +
           lines + "<h2 id=\"tief\">Tief unten</h2><p>Hier.</p>" + lines +
           "<h1 id=\"zwei\">Zwei</h1><p>Zur&uuml;ck nach <a href=\"#eins\">Eins</a>.</p>";
}

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = TempPath(L".d") + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        std::string fixture = Fixture();
        ASSERT_TRUE(WriteWholeFile(folder + L"probe.htp", fixture.data(), fixture.size()));
    }
    void TearDown() override {
        if (IsWindow(viewer)) DestroyWindow(viewer);
        DeleteFileW((folder + L"probe.htp").c_str());
        RemoveDirectoryW(folder.c_str());
    }

    HWND Open(const WCHAR *request) {
        viewer = OpenHelpViewer(GetModuleHandleW(nullptr), request, folder.c_str());
        text = viewer ? GetDlgItem(viewer, IDC_HELP_TEXT) : nullptr;
        return viewer;
    }
    std::wstring Title() { return WindowText(viewer); }
    int FirstLine() { return static_cast<int>(SendMessageW(text, EM_GETFIRSTVISIBLELINE, 0, 0)); }
    std::wstring Text() {
        GETTEXTLENGTHEX length{GTL_DEFAULT, 1200};
        LRESULT n = SendMessageW(text, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
        std::wstring s(static_cast<size_t>(n) + 1, L'\0');
        GETTEXTEX get{static_cast<DWORD>(s.size() * sizeof(WCHAR)), GT_DEFAULT, 1200, nullptr,
                      nullptr};
        SendMessageW(text, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                     reinterpret_cast<LPARAM>(s.data()));
        s.resize(wcslen(s.c_str()));
        return s;
    }
    void Key(UINT vk) {
        PostMessageW(text, WM_KEYDOWN, vk, 1);
        PostMessageW(text, WM_KEYUP, vk, 0xC0000001);
        PumpUntil([] { return false; }, 100);
    }
    // A click on the middle of the first occurrence of word, as the mouse gives it.
    void ClickOn(const WCHAR *word) {
        std::wstring all = Text();
        size_t at = all.find(word);
        ASSERT_NE(at, std::wstring::npos) << Utf8(word);
        POINTL pt{};
        SendMessageW(text, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&pt),
                     static_cast<LPARAM>(at + 1));
        LPARAM xy = MAKELPARAM(pt.x + 1, pt.y + 4);
        PostMessageW(text, WM_MOUSEMOVE, 0, xy);
        PostMessageW(text, WM_LBUTTONDOWN, MK_LBUTTON, xy);
        PostMessageW(text, WM_LBUTTONUP, 0, xy);
    }
    bool TitleBecomes(const std::wstring &title) {
        return PumpUntil([&] { return IsWindow(viewer) && Title() == title; }, 3000);
    }

    std::wstring folder;
    HWND viewer = nullptr, text = nullptr;
};

TEST_F(HelpViewerTest, OpensAtTheAnchorOfTheRequestAndFitsTheWorkArea) {
    struct Case {
        const WCHAR *request;
        const WCHAR *title;
        bool scrolled;
    } cases[] = {
        {L"probe.htp#eins", L"Hilfe: Eins", false},
        {L"probe.htp#zwei", L"Hilfe: Zwei", false},
        {L"probe.htp#tief", L"Hilfe: Eins", true},
        {L"probe.htp", L"Hilfe: Eins", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Utf8(c.request));
        ASSERT_NE(Open(c.request), nullptr);
        EXPECT_EQ(Title(), c.title);
        EXPECT_EQ(FirstLine() > 0, c.scrolled);
        RECT work{}, rc{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(viewer, &rc);
        EXPECT_TRUE(rc.left >= work.left && rc.top >= work.top && rc.right <= work.right &&
                    rc.bottom <= work.bottom);
        DestroyWindow(viewer);
    }
    // An absolute path is taken as it is.
    std::wstring absolute = folder + L"probe.htp#zwei";
    ASSERT_NE(Open(absolute.c_str()), nullptr);
    EXPECT_EQ(Title(), L"Hilfe: Zwei");
}

TEST_F(HelpViewerTest, LinksJumpAndBackReturnsToThePlaceLeft) {
    ASSERT_NE(Open(L"probe.htp#eins"), nullptr);
    HWND back = GetDlgItem(viewer, IDC_HELP_BACK);
    EXPECT_FALSE(IsWindowEnabled(back)) << "nothing to go back to yet";

    ClickOn(L"Zwei");
    ASSERT_TRUE(TitleBecomes(L"Hilfe: Zwei"));
    EXPECT_TRUE(IsWindowEnabled(back));
    ClickOn(L"Eins");
    ASSERT_TRUE(TitleBecomes(L"Hilfe: Eins"));

    // A link within the page scrolls to its place; Back (the key) returns to the top.
    ClickOn(L"Tief");
    ASSERT_TRUE(PumpUntil([&] { return FirstLine() > 0; }, 3000));
    Key(VK_BACK);
    EXPECT_EQ(FirstLine(), 0);
    EXPECT_EQ(Title(), L"Hilfe: Eins");
    // The button goes back further, to Zwei, and then to where the viewer opened.
    PressButton(viewer, IDC_HELP_BACK);
    EXPECT_TRUE(TitleBecomes(L"Hilfe: Zwei"));
    SendMessageW(text, WM_SYSKEYDOWN, VK_LEFT, 0x20000001);  // Alt+Left
    EXPECT_TRUE(TitleBecomes(L"Hilfe: Eins"));
    EXPECT_FALSE(IsWindowEnabled(back));
    Key(VK_BACK);
    EXPECT_EQ(Title(), L"Hilfe: Eins") << "Back with nothing left stays";

    // The keyboard reaches links too: Tab walks them from the caret, Enter follows the one
    // chosen; Back brings back the place with that link chosen, and Tab goes on from there.
    SendMessageW(text, EM_SETSEL, 0, 0);
    Key(VK_TAB);  // Zwei
    Key(VK_TAB);  // Tief
    Key(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return FirstLine() > 0; }, 3000));
    Key(VK_BACK);
    EXPECT_EQ(FirstLine(), 0);
    Key(VK_TAB);  // past the last link: the first again
    Key(VK_RETURN);
    EXPECT_TRUE(TitleBecomes(L"Hilfe: Zwei"));
    // "Anfang" shows the start of the file.
    PressButton(viewer, IDC_HELP_CONTENTS);
    EXPECT_TRUE(TitleBecomes(L"Hilfe: Eins"));
}

TEST_F(HelpViewerTest, KeysScrollAndEscCloses) {
    ASSERT_NE(Open(L"probe.htp#eins"), nullptr);
    ASSERT_EQ(FirstLine(), 0);
    Key(VK_DOWN);
    EXPECT_EQ(FirstLine(), 1);
    Key(VK_NEXT);
    int page = FirstLine();
    EXPECT_GT(page, 2);
    Key(VK_UP);
    EXPECT_EQ(FirstLine(), page - 1);
    Key(VK_END);
    int bottom = FirstLine();
    EXPECT_GT(bottom, page);
    Key(VK_DOWN);
    EXPECT_EQ(FirstLine(), bottom) << "End is the bottom";
    Key(VK_PRIOR);
    EXPECT_LT(FirstLine(), bottom);
    Key(VK_HOME);
    EXPECT_EQ(FirstLine(), 0);
    std::wstring before = Text();
    PostMessageW(text, WM_CHAR, L'x', 1);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(Text(), before) << "the text cannot be changed";

    Key(VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(viewer); }, 2000));
}

TEST_F(HelpViewerTest, AnUnknownAnchorShowsTheStartOfTheFileWithANotice) {
    ASSERT_NE(Open(L"probe.htp#fehlt"), nullptr);
    EXPECT_EQ(Title(), L"Hilfe: Eins");
    EXPECT_EQ(FirstLine(), 0);
    EXPECT_EQ(Text().rfind(L"Zum Stichwort \u201Efehlt\u201C gibt es in dieser Hilfe keinen "
                           L"Abschnitt. Hier ist ihr Anfang.",
                           0),
              0u);
}

TEST_F(HelpViewerTest, AFileItCannotShowIsReportedInGerman) {
    const char empty[] = "<html><body><!-- nichts --></body></html>";
    ASSERT_TRUE(WriteWholeFile(folder + L"leer.htp", empty, sizeof empty - 1));
    ASSERT_TRUE(CreateDirectoryW((folder + L"ordner.htp").c_str(), nullptr));
    struct Case {
        const WCHAR *request;
        const WCHAR *message;
    } cases[] = {
        {L"fehlt.htp#eins", L"Die Hilfedatei \u201Efehlt.htp\u201C wurde nicht gefunden."},
        {L"kein\\ordner\\da.htp#x", L"Die Hilfedatei \u201Eda.htp\u201C wurde nicht gefunden."},
        {L"ordner.htp#eins", L"Die Hilfedatei \u201Eordner.htp\u201C kann nicht gelesen werden."},
        {L"leer.htp#eins", L"Die Hilfedatei \u201Eleer.htp\u201C enth\u00E4lt keinen Hilfetext."},
        {L"#eins", L"Es wurde keine Hilfedatei angegeben."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Utf8(c.request));
        UiDriver ui;
        ui.answerMessageBox(IDOK);
        EXPECT_EQ(Open(c.request), nullptr);
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].caption, L"Hilfe");
        EXPECT_EQ(ui.seen()[0].text, c.message);
    }
    EXPECT_EQ(FindWindowW(kHelpViewerClass, nullptr), nullptr) << "no window stays behind";
    DeleteFileW((folder + L"leer.htp").c_str());
    RemoveDirectoryW((folder + L"ordner.htp").c_str());
}

// ---- PegHelp.exe, started by the program ------------------------------------------------------

std::vector<HWND> Viewers() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND w, LPARAM list) -> BOOL {
            WCHAR cls[64];
            if (GetClassNameW(w, cls, 64) && lstrcmpW(cls, kHelpViewerClass) == 0)
                reinterpret_cast<std::vector<HWND> *>(list)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for exactly one viewer window with the title; runs the program's own message loop, so
// that the windows of this process stay responsive.
bool ViewerShows(const std::wstring &title, DWORD timeoutMs = 15000) {
    return PumpShellUntil(
        [&] {
            std::vector<HWND> v = Viewers();
            return v.size() == 1 && WindowText(v[0]) == title;
        },
        timeoutMs);
}

// Closes the viewers the test started and waits until their processes are gone.
void CloseViewers() {
    for (HWND w : Viewers()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        PostMessageW(w, WM_CLOSE, 0, 0);
        if (process) {
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
}

class HelpStartTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        help = ReadHelp(Folder() + L"arkel.htp");
        CloseViewers();
        // The viewer is started beside the program, whatever the current folder holds.
        GetCurrentDirectoryW(MAX_PATH, saved);
        elsewhere = TempPath(L".d");
        CreateDirectoryW(elsewhere.c_str(), nullptr);
        SetCurrentDirectoryW(elsewhere.c_str());
    }
    void TearDown() override {
        CloseViewers();
        SetCurrentDirectoryW(saved);
        RemoveDirectoryW(elsewhere.c_str());
        ShellTest::TearDown();
    }
    help::Document help;
    WCHAR saved[MAX_PATH] = {};
    std::wstring elsewhere;
};

TEST_F(HelpStartTest, ASecondRequestGoesToTheRunningViewer) {
    StartHelp(kHelpNew);
    ASSERT_TRUE(ViewerShows(TitleAt(help, kHelpNew)));
    HWND first = Viewers()[0];
    for (const WCHAR *anchor : {kHelpTitles, kHelpPassword, kHelpNew}) {
        SCOPED_TRACE(Utf8(anchor));
        StartHelp(anchor);
        ASSERT_TRUE(ViewerShows(TitleAt(help, anchor)));
        EXPECT_EQ(Viewers()[0], first) << "the running viewer shows the request";
    }
}

// A real key press, so that the help request comes from the system's input path.
void PressF1(HWND window) {
    SetForegroundWindow(window);
    SetFocus(window);
    keybd_event(VK_F1, 0x3B, 0, 0);
    keybd_event(VK_F1, 0x3B, KEYEVENTF_KEYUP, 0);
}

TEST_F(HelpStartTest, F1AndTheQuestionMarkOfTheMainWindowOpenTheOverview) {
    Prepare({{L"Anton", L""}});
    Start();
    std::wstring overview = TitleAt(help, kHelpMain);
    PressF1(hObjectList);
    EXPECT_TRUE(ViewerShows(overview));
    CloseViewers();

    // The "?" of the command bands: left of OK and close at their right end.
    RECT bands;
    GetClientRect(hCommandBands, &bands);
    HWND adornments =
        ChildWindowFromPointEx(hCommandBands, POINT{bands.right - 3, 12}, CWP_SKIPINVISIBLE);
    ASSERT_NE(adornments, nullptr);
    RECT rc;
    GetClientRect(adornments, &rc);
    LPARAM at = MAKELPARAM(rc.right - 56, rc.bottom / 2);
    PostMessageW(adornments, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(adornments, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(ViewerShows(overview));
}

// Each dialog with help starts the viewer at its own section when F1 is pressed in it.
TEST_F(HelpStartTest, TheDialogsOpenTheirOwnSections) {
    Prepare({{L"Anton", L""}});
    Start();
    struct Case {
        int templateId;
        DLGPROC proc;
        LPARAM param;
        const WCHAR *anchor;
    } cases[] = {
        {IDD_OBJECT_EDIT, ObjectEditDlgProc, IDM_NEW_OBJECT, kHelpNew},
        {IDD_OBJECT_EDIT, ObjectEditDlgProc, IDM_EDIT_OBJECT, kHelpModify},
        {IDD_CATEGORIES, CategoriesDlgProc, 0, kHelpCategories},
        {IDD_FIELD_TITLES, FieldTitlesDlgProc, 2, kHelpTitles},
        {IDD_ABOUT, AboutDlgProc, 0, kHelpAbout},
        {IDD_ENTER_PASSWORD, EnterPasswordDlgProc, 0, kHelpPassword},
        {IDD_SET_PASSWORD, SetPasswordDlgProc, 0, kHelpPassword},
        {IDD_CHANGE_PASSWORD, ChangePasswordDlgProc, 0, kHelpPassword},
        {IDD_PREFERENCES, PreferencesDlgProc, 0, kHelpSettings},
        {IDD_PASSWORD_GENERATOR, PasswordGeneratorDlgProc, 0, kHelpGenerator},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Utf8(c.anchor));
        UiDriver ui;
        bool shown = false;
        std::wstring expected = TitleAt(help, c.anchor);
        ui.onNextDialog([&](HWND dialog) {
            PressF1(dialog);
            shown = ViewerShows(expected);
            EndDialog(dialog, IDCANCEL);
        });
        ShowDialog(hMainWnd, c.templateId, c.proc, c.param);
        EXPECT_TRUE(shown);
        EXPECT_EQ(ui.unexpected(), 0);
        CloseViewers();
    }
}

}  // namespace
