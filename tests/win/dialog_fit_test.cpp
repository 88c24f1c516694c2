// The file and colour dialogs on a handheld's 240x320 work area: every control the user needs lies
// inside the dialog and the dialog inside the work area, and what is chosen through them is what
// the export, the import and the colours get. On a desktop's work area the system's own dialogs.
#include <gtest/gtest.h>
#include <windows.h>

#include <colordlg.h>
#include <commctrl.h>
#include <dlgs.h>

#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/screen_shape.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/screenshot.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kFilePassword[] = L"Datei-Passwort";
enum Filter { kArk = 1, kTxt = 2 };

// Sets the work area for the life of the object, and puts the old one back after.
class WorkArea {
public:
    explicit WorkArea(RECT area) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved_, 0);
        set_ = SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0) != 0;
    }
    ~WorkArea() { SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved_, 0); }
    WorkArea(const WorkArea &) = delete;
    WorkArea &operator=(const WorkArea &) = delete;
    bool set() const { return set_; }

private:
    RECT saved_;
    bool set_;
};

// A handheld's 240x320 screen at the system's DPI (360x480 pixels at 144 DPI).
const RECT kHandheld{0, 0, ScaleToDpi(240, SystemDpi()), ScaleToDpi(320, SystemDpi())};

std::string Describe(const RECT &r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

// A step runs as the dialog becomes active, before its modal loop first falls idle and shows it:
// shown as that loop would.
void Show(HWND dialog) {
    if (!IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
}

bool Inside(const RECT &inner, const RECT &outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The control of that id; not the tool bar, which Wine's Explorer-style dialog numbers 1 as IDOK.
HWND Control(HWND dialog, int id) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        WCHAR name[32];
        GetClassNameW(child, name, 32);
        if (GetDlgCtrlID(child) == id && lstrcmpiW(name, TOOLBARCLASSNAMEW) != 0) return child;
    }
    return nullptr;
}

// The dialog lies inside the work area, and every visible control (or, when everyControl is
// false, every named one) inside the dialog's client area, so none is cut off by the screen's
// edge or by the dialog's own; the named controls are visible.
void ExpectWhole(HWND dialog, const RECT &work, const std::vector<int> &needed, const char *what,
                 bool everyControl = true) {
    SCOPED_TRACE(what);
    Show(dialog);
    RECT frame, client;
    GetWindowRect(dialog, &frame);
    EXPECT_TRUE(Inside(frame, work))
        << "dialog " << Describe(frame) << ", work area " << Describe(work);
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT *>(&client), 2);
    std::vector<HWND> children;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    int visible = 0;
    if (!everyControl) {
        children.clear();
        for (int id : needed) children.push_back(Control(dialog, id));
    }
    for (HWND child : children) {
        if (!IsWindowVisible(child)) continue;
        ++visible;
        RECT r;
        GetWindowRect(child, &r);
        EXPECT_TRUE(Inside(r, client))
            << "control " << GetDlgCtrlID(child) << " \"" << Utf8(WindowText(child)) << "\" at "
            << Describe(r) << ", client area " << Describe(client);
    }
    EXPECT_GE(visible, 2);
    for (int id : needed) {
        HWND control = Control(dialog, id);
        EXPECT_TRUE(control && IsWindowVisible(control)) << "control " << id << " is not shown";
    }
}

class DialogFitTest : public ShellTest {
protected:
    void TearDown() override {
        for (const std::wstring &f : files) DeleteFileW(f.c_str());
        ShellTest::TearDown();
    }
    void Run(UiDriver &ui, UINT command) {
        MenuCommand(command);
        PumpShellFor(100);
        EXPECT_EQ(ui.pendingSteps(), 0u) << "a dialog did not come";
        EXPECT_EQ(ui.unexpected(), 0) << "a dialog came unasked";
    }
    // A file dialog step: checks the dialog's shape, then chooses the file.
    std::function<void(HWND)> FitAndChoose(const std::wstring &path, int filter, bool save,
                                           const wchar_t *shot) {
        return [=](HWND d) {
            ExpectWhole(d, kHandheld, {edt1, cmb1, lst1, lst2, IDOK, IDCANCEL},
                        save ? "save dialog" : "open dialog");
            EXPECT_EQ(ItemText(d, IDOK), save ? L"Speichern" : L"\u00d6ffnen");
            EXPECT_EQ(GetDlgItem(d, cmb13), nullptr) << "the Explorer-style dialog came";
            SaveWindowShot(d, shot);
            ChooseFile(path, filter)(d);
        };
    }
    std::vector<std::wstring> files;
};

// An encrypted and a plain export through the handheld's save dialog, and the encrypted file
// imported back through its open dialog in place of what the store holds.
TEST_F(DialogFitTest, ExportAndImportThroughTheHandheldsFileDialogs) {
    WorkArea handheld(kHandheld);
    ASSERT_TRUE(handheld.set());
    Prepare({{L"Bankkarte", L"Privat", L"4711"}, {L"Router", L"", L"WLAN"}});
    Start();
    std::wstring ark = TempPath(L".ark"), txt = TempPath(L".txt");
    files = {ark, txt};
    {
        UiDriver ui;
        ui.onNextDialog(FitAndChoose(ark, kArk, true, L"file-dialog-save.bmp"));
        ui.onNextDialog(AnswerPassword(kFilePassword));
        ui.answerMessageBox(IDOK);  // how many objects were written
        Run(ui, IDM_EXPORT);
    }
    std::vector<BYTE> encrypted = ReadWholeFile(ark);
    ASSERT_GT(encrypted.size(), 45u);
    EXPECT_EQ(std::string(encrypted.begin(), encrypted.begin() + 11), "encrypted\r\n");
    {
        UiDriver ui;
        ui.onNextDialog(FitAndChoose(txt, kTxt, true, L"file-dialog-plain.bmp"));
        ui.answerMessageBox(IDYES);  // every object unencrypted?
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_EXPORT);
    }
    std::vector<BYTE> plain = ReadWholeFile(txt);
    EXPECT_NE(std::string(plain.begin(), plain.end()).find("Bankkarte"), std::string::npos);

    {
        UiDriver ui;
        ui.onNextDialog(FitAndChoose(ark, 0, false, L"file-dialog-open.bmp"));
        ui.onNextDialog(AnswerPassword(kFilePassword));
        ui.answerMessageBox(IDYES);  // delete what is there first
        ui.answerMessageBox(IDOK);   // how many objects were read
        Run(ui, IDM_IMPORT);
    }
    EXPECT_EQ(StoredObjects(), 2);
    EXPECT_EQ(Rows(), 2);
}

// The older style of file dialog adds no extension and asks nothing before replacing a file:
// the program does both, as the Explorer-style dialog does.
TEST_F(DialogFitTest, ANameWithoutExtensionTakesTheFiltersAndReplacingAsksFirst) {
    WorkArea handheld(kHandheld);
    ASSERT_TRUE(handheld.set());
    Prepare({{L"Bankkarte", L"Privat", L"4711"}});
    Start();
    std::wstring bare = TempPath(L"-sicherung");
    std::wstring txt = bare + L".txt";
    files = {bare, txt};
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(bare, kTxt));
        ui.answerMessageBox(IDYES);
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_EXPORT);
    }
    ASSERT_FALSE(ReadWholeFile(txt).empty()) << "no .txt was written";
    EXPECT_EQ(GetFileAttributesW(bare.c_str()), INVALID_FILE_ATTRIBUTES);

    const char old[] = "die alte Sicherung\r\n";
    ASSERT_TRUE(WriteWholeFile(txt, old, sizeof old - 1));
    {
        // "Nein" keeps the file and the dialog; the dialog is then cancelled.
        UiDriver ui;
        bool stayed = false;
        ui.onNextDialog([&](HWND d) {
            Show(d);
            SetDlgItemTextW(d, edt1, bare.c_str());
            HWND types = GetDlgItem(d, cmb1);
            SendMessageW(types, CB_SETCURSEL, kTxt - 1, 0);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(types));
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
            stayed = IsWindowVisible(d) != FALSE;
            PressButton(d, IDCANCEL);
        });
        ui.answerMessageBox(IDNO);
        Run(ui, IDM_EXPORT);
        EXPECT_TRUE(stayed) << "the dialog closed after \"Nein\"";
        ASSERT_EQ(ui.seen().size(), 2u);
        EXPECT_EQ(ui.seen()[1].caption, L"Daten exportieren");
        std::wstring name = txt.substr(txt.find_last_of(L'\\') + 1);
        EXPECT_EQ(ui.seen()[1].text, L"\u201e" + name +
                                         L"\u201c ist bereits vorhanden.\nM\u00f6chten Sie die "
                                         L"Datei ersetzen?");
    }
    std::vector<BYTE> kept = ReadWholeFile(txt);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), old);
    {
        UiDriver ui;
        ui.onNextDialog(ChooseFile(bare, kTxt));
        ui.answerMessageBox(IDYES);  // replace it
        ui.answerMessageBox(IDYES);  // every object unencrypted
        ui.answerMessageBox(IDOK);
        Run(ui, IDM_EXPORT);
    }
    std::vector<BYTE> replaced = ReadWholeFile(txt);
    EXPECT_NE(std::string(replaced.begin(), replaced.end()).find("Bankkarte"), std::string::npos);
}

// On a desktop's work area the system's own dialogs come, whole: the Explorer-style file dialogs
// and the stock colour dialog. Only the controls a user needs count: Wine's own layouts leave
// parts beyond their client areas (the file dialog's tool bar window, the colour dialog's
// brightness bar in its shorter form), which the dialogs clip.
TEST_F(DialogFitTest, ADesktopKeepsTheSystemsDialogs) {
    RECT desktop;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &desktop, 0);
    ASSERT_FALSE(HandheldScreen()) << "the test's work area is a handheld's";
    Prepare({{L"Bankkarte", L"Privat", L"4711"}});
    Start();
    struct Case {
        UINT command;
        std::vector<int> needed;
        const char *what;
    };
    for (const Case &c : {Case{IDM_EXPORT, {cmb13, cmb1, IDOK, IDCANCEL}, "save dialog"},
                          Case{IDM_IMPORT, {cmb13, cmb1, IDOK, IDCANCEL}, "open dialog"},
                          Case{IDM_COLOR_LIST_BACK,
                               {COLOR_BOX1, COLOR_CUSTOM1, COLOR_MIX, IDOK, IDCANCEL},
                               "colour dialog"}}) {
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            ExpectWhole(d, desktop, c.needed, c.what, false);
            PressButton(d, IDCANCEL);
        });
        Run(ui, c.command);
    }
}

// The colour dialog: the basic colours above OK and Abbrechen, then the mixer beside them; a
// colour picked in either is the list's new background.
TEST_F(DialogFitTest, TheColourDialogFitsWithAndWithoutTheMixer) {
    WorkArea handheld(kHandheld);
    ASSERT_TRUE(handheld.set());
    Start();
    {
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            ExpectWhole(d, kHandheld, {COLOR_BOX1, COLOR_CUSTOM1, COLOR_MIX, IDOK, IDCANCEL},
                        "basic colours");
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, COLOR_RAINBOW)));
            SaveWindowShot(d, L"colour-dialog.bmp");
            // A tap on the first basic colour, then OK.
            RECT box;
            GetWindowRect(GetDlgItem(d, COLOR_BOX1), &box);
            POINT tap{box.left + 3, box.top + 3};
            ScreenToClient(d, &tap);
            SendMessageW(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(tap.x, tap.y));
            SendMessageW(d, WM_LBUTTONUP, 0, MAKELPARAM(tap.x, tap.y));
            PressButton(d, IDOK);
        });
        Run(ui, IDM_COLOR_LIST_BACK);
    }
    EXPECT_EQ(clrListBack, RGB(255, 128, 128));
    {
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(COLOR_MIX, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, COLOR_MIX)));
            ExpectWhole(d, kHandheld,
                        {COLOR_RAINBOW, COLOR_LUMSCROLL, COLOR_CURRENT, COLOR_HUE, COLOR_SAT,
                         COLOR_LUM, COLOR_RED, COLOR_GREEN, COLOR_BLUE, COLOR_ADD, IDOK, IDCANCEL},
                        "mixer");
            SaveWindowShot(d, L"colour-dialog-mixer.bmp");
            SetDlgItemInt(d, COLOR_RED, 12, FALSE);
            SetDlgItemInt(d, COLOR_GREEN, 34, FALSE);
            SetDlgItemInt(d, COLOR_BLUE, 56, FALSE);
            PressButton(d, IDOK);
        });
        Run(ui, IDM_COLOR_LIST_BACK);
    }
    EXPECT_EQ(clrListBack, RGB(12, 34, 56));
}

}  // namespace
