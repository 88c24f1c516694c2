// The help: the help file names every anchor of the program; the viewer opens at an anchor, follows
// links, goes back, scrolls by keyboard and says clearly what it cannot show; the program's
// windows start it beside the program, and a second request goes to the running viewer.
#include <windows.h>

#include <psapi.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "dialogs/password_dialogs.h"
#include "dialogs/categories_dialog.h"
#include "dialogs/field_titles_dialog.h"
#include "dialogs/object_edit_dialog.h"
#include "dialogs/password_generator_dialog.h"
#include "help_document.h"
#include "platform/help_viewer/help_viewer.h"
#include "platform/message_box_fit.h"
#include "prefs/preferences_dialog.h"
#include "resources/resource.h"
#include "tests/win/shell_kit.h"
#include "harness/win/test_env.h"
#include "harness/win/ui_driver.h"

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
    // Sound help text, one byte more than the viewer takes.
    std::string large = Fixture();
    large.resize((128 << 10) + 1, ' ');
    ASSERT_TRUE(WriteWholeFile(folder + L"gross.htp", large.data(), large.size()));
    struct Case {
        const WCHAR *request;
        const WCHAR *message;
    } cases[] = {
        {L"fehlt.htp#eins", L"Die Hilfedatei \u201Efehlt.htp\u201C wurde nicht gefunden."},
        {L"kein\\ordner\\da.htp#x", L"Die Hilfedatei \u201Eda.htp\u201C wurde nicht gefunden."},
        {L"ordner.htp#eins", L"Die Hilfedatei \u201Eordner.htp\u201C kann nicht gelesen werden."},
        {L"gross.htp#eins",
         L"Die Hilfedatei \u201Egross.htp\u201C ist zu gro\u00DF: sie darf "
         L"h\u00F6chstens 128 KB haben."},
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
    DeleteFileW((folder + L"gross.htp").c_str());
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

// ---- Large and hostile help files, in a viewer process of their own -------------------------

// PegHelp.exe showing one file until a window of it has the title (its own, or its message box),
// then driven by `then`. Reports whether the window came, whether the viewer still ran
// afterwards, and the most memory the process held at any time (its peak working set).
struct Viewing {
    bool shown = false;
    bool running = false;
    SIZE_T peak = 0;
};

Viewing View(const std::wstring &file, const std::wstring &title,
             const std::function<void(HWND)> &then) {
    CloseViewers();
    Viewing result;
    std::wstring exe = Folder() + L"PegHelp.exe";
    std::wstring command = L"\"" + exe + L"\" \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return result;
    struct Search {
        DWORD pid;
        const std::wstring *title;
        HWND found;
    } search{pi.dwProcessId, &title, nullptr};
    result.shown = PumpUntil(
        [&] {
            EnumWindows(
                [](HWND w, LPARAM p) -> BOOL {
                    auto *s = reinterpret_cast<Search *>(p);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(w, &pid);
                    if (pid == s->pid && IsWindowVisible(w) && WindowText(w) == *s->title)
                        s->found = w;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        120000);
    HWND window = search.found;
    if (result.shown && then) then(window);
    result.running = WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters))
        result.peak = counters.PeakWorkingSetSize;
    if (result.running) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

// Keys to the viewer's text, each handled before the next: the whole page is laid out and drawn.
void PageThrough(HWND viewer) {
    HWND text = GetDlgItem(viewer, IDC_HELP_TEXT);
    for (UINT vk : {VK_NEXT, VK_NEXT, VK_END, VK_PRIOR, VK_HOME}) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(text, WM_KEYDOWN, vk, 1, SMTO_NORMAL, 60000, &answer);
        RedrawWindow(viewer, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        SendMessageTimeoutW(text, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
    }
}

std::string Utf8Of(char32_t c) {
    std::wstring w(1, static_cast<wchar_t>(c));
    return Utf8(w);
}

class HelpFileLimitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = TempPath(L".d") + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    void TearDown() override {
        CloseViewers();
        for (const std::wstring &f : files) DeleteFileW(f.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring Write(const WCHAR *name, const std::string &html) {
        std::wstring path = folder + name;
        EXPECT_TRUE(WriteWholeFile(path, html.data(), html.size()));
        files.push_back(path);
        return path;
    }
    std::wstring folder;
    std::vector<std::wstring> files;
};

// A paragraph as long as the largest file the viewer takes is shown and paged through within a
// bounded memory (before the page went to the control as one stream, in pieces, a paragraph of
// 10 kB took a gigabyte). A paragraph of 1 MB is refused as too large, without reading it.
TEST_F(HelpFileLimitsTest, ALongParagraphIsShownInBoundedMemoryOrRefusedAsTooLarge) {
    auto paragraph = [](size_t size) {
        std::mt19937 random(7);
        std::string words;
        while (words.size() < size) {
            size_t letters = 1 + random() % 12;
            for (size_t i = 0; i < letters; ++i) words += static_cast<char>('a' + random() % 26);
            words += ' ';
        }
        words.resize(size);
        return "<h1>Lang</h1><p>" + words + "</p>";
    };
    struct Case {
        const WCHAR *name;
        size_t size;
        const WCHAR *title;
        SIZE_T bound;
    } cases[] = {
        {L"lang.htp", (128 << 10) - 30, L"Hilfe: Lang", SIZE_T{300} << 20},
        {L"mega.htp", 1 << 20, L"Hilfe", SIZE_T{64} << 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        std::wstring file = Write(c.name, paragraph(c.size));
        Viewing v = View(file, c.title, PageThrough);
        ASSERT_TRUE(v.shown);
        EXPECT_TRUE(v.running);
        EXPECT_GT(v.peak, 0u);
        EXPECT_LT(v.peak, c.bound) << "peak working set " << (v.peak >> 20) << " MB";
        printf("%s: peak working set %u MB\n", Utf8(c.name).c_str(),
               static_cast<unsigned>(v.peak >> 20));
    }
}

// Many links on one page (5,000, about as many as the largest file holds) are shown, walked and
// followed; the viewer took minutes for 50,000 when it set each link's format on its own.
TEST_F(HelpFileLimitsTest, ManyLinksAreShownAndFollowed) {
    std::string html = "<h1 id=\"start\">Viele</h1><p>";
    for (int i = 0; i < 5000; ++i) html += "<a href=#ziel>" + std::to_string(i) + "</a> ";
    html += "</p><h1 id=\"ziel\">Ziel</h1><p>Angekommen.</p>";
    std::wstring file = Write(L"links.htp", html);
    Viewing v = View(file, L"Hilfe: Viele", [](HWND viewer) {
        HWND text = GetDlgItem(viewer, IDC_HELP_TEXT);
        PageThrough(viewer);
        SendMessageW(text, WM_KEYDOWN, VK_TAB, 1);  // the first link from the top
        SendMessageW(text, WM_KEYDOWN, VK_RETURN, 1);
        PumpUntil([&] { return WindowText(viewer) == L"Hilfe: Ziel"; }, 60000);
    });
    ASSERT_TRUE(v.shown);
    EXPECT_TRUE(v.running);
}

// Text of every character from U+0080 to U+07FF, Arabic vowel signs among them: Wine's text
// shaping crashed on those marks when the viewer drew the page.
TEST_F(HelpFileLimitsTest, TextOfEveryTwoByteCharacterIsDrawnWithoutACrash) {
    std::mt19937 random(11);
    std::string run;
    for (char32_t c = 0x80; c <= 0x7FF; ++c) run += Utf8Of(c);
    for (int i = 0; i < 20000; ++i) run += Utf8Of(0x80 + random() % 0x780);
    std::wstring file =
        Write(L"zeichen.htp", "<h1>Zeichen</h1><p>" + run + "</p><p>\xD8\xA8\xD9\x8E</p>");
    Viewing v = View(file, L"Hilfe: Zeichen", PageThrough);
    ASSERT_TRUE(v.shown);
    EXPECT_TRUE(v.running) << "the viewer crashed";
}

// A heading of 60,000 characters is shown, and the title keeps its first 200 (the system took
// minutes to fit a caption that long into the title bar).
TEST_F(HelpFileLimitsTest, AVeryLongHeadingIsCutInTheTitle) {
    std::wstring file = Write(L"titel.htp", "<h1>" + std::string(60000, 'x') + "</h1><p>Text</p>");
    Viewing v = View(file, L"Hilfe: " + std::wstring(200, L'x') + L"\u2026", PageThrough);
    ASSERT_TRUE(v.shown);
    EXPECT_TRUE(v.running);
}

// The viewer's own messages fit the handheld's screen, also with a long file name.
TEST_F(HelpFileLimitsTest, TheViewersMessagesFitTheSmallScreen) {
    CloseViewers();
    RECT saved;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    RECT small{0, 0, 240, 320};
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &small, 0));
    std::string large(static_cast<size_t>((128 << 10) + 1), ' ');
    std::wstring file = Write(L"eine_sehr_lange_hilfedatei_mit_vielen_zeichen_im_namen.htp", large);
    UiDriver ui;
    RECT box{};
    std::wstring text;
    ui.onNextDialog([&](HWND dialog) {
        PumpUntil(
            [&] {
                GetWindowRect(dialog, &box);
                return box.right - box.left <= 240;
            },
            3000);
        text = WindowText(GetDlgItem(dialog, 0xFFFF));
        PressButton(dialog, IDOK);
    });
    int code = HelpViewerMain(GetModuleHandleW(nullptr), file.c_str());
    RemoveMessageBoxFit();
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(text,
              L"Die Hilfedatei \u201Eeine_sehr_lange_hilfedat\u2026en_im_namen.htp\u201C ist "
              L"zu gro\u00DF: sie darf h\u00F6chstens 128 KB haben.")
        << Utf8(text);
    EXPECT_GE(box.left, 0);
    EXPECT_LE(box.right, 240);
    EXPECT_LE(box.bottom, 320);
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
    // The handheld's window, whose command bands carry the "?".
    ShellWorkArea = HandheldWorkArea;
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
