// Entry, start-up and shutdown.
#include <windows.h>

#include <commctrl.h>

#include "app/lock.h"
#include "app/pass_host.h"
#include "app/shell.h"
#include "platform/caption_button.h"
#include "platform/cedb.h"
#include "platform/message_box_fit.h"
#include "prefs/settings.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

const WCHAR kDatabaseFailure[] =
    L"Die Datenbank konnte nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df beendet werden.";

const WCHAR kUnexpectedEncrypted[] =
    L"Es wurde unerwartet ein verschl\u00fcsseltes Objekt gefunden.\nBitte starten Sie das "
    L"Programm erneut.";

const WCHAR kDamagedStore[] =
    L"Die Datenbank ist besch\u00e4digt und kann nicht gelesen werden.\nDas Programm mu\u00df "
    L"beendet werden; die Datenbank bleibt unver\u00e4ndert.";

const WCHAR kNewerStore[] =
    L"Die Datenbank wurde von einer neueren Version des Programms angelegt und kann mit dieser "
    L"Version nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df beendet werden; die Datenbank "
    L"bleibt unver\u00e4ndert.";

const WCHAR kReadOnlyStore[] =
    L"Die Datenbank ist schreibgesch\u00fctzt und kann nicht ge\u00f6ffnet werden.\nDas Programm "
    L"mu\u00df beendet werden; die Datenbank bleibt unver\u00e4ndert.";

const WCHAR kNotAStoreFile[] =
    L"Der Pfad der Datenbank benennt keine gew\u00f6hnliche Datei (sondern ein Ger\u00e4t, einen "
    L"Ordner oder eine Pipe).\nDas Programm mu\u00df beendet werden.";

const WCHAR kStorePathTooLong[] =
    L"Der Pfad der Datenbank ist zu lang (h\u00f6chstens 259 Zeichen).\nDas Programm mu\u00df "
    L"beendet werden.";

const WCHAR kStoreInUse[] =
    L"Die Datenbank wird bereits von einem anderen Programm benutzt, z.\u00a0B. von The Arkel "
    L"auf einem anderen Bildschirm.\nDas Programm mu\u00df beendet werden; die Datenbank bleibt "
    L"unver\u00e4ndert.";

// Start-up cannot go on: tell the user and give up the start.
BOOL FailStart(const WCHAR *text) {
    MessageBoxW(hMainWnd, text, kAppTitle, MB_ICONHAND | MB_SETFOREGROUND);
    ReleaseDrawingObjects();
    return FALSE;
}

// A store could not be opened (or the password prompt was cancelled).
BOOL FailureExitA() { return FailStart(kDatabaseFailure); }

// An encrypted object turned up while encryption was off. "Encrypt" is on now, so the next
// start asks for the password and decrypts.
BOOL FailureExitB() { return FailStart(kUnexpectedEncrypted); }

void CreateFonts() {
    LOGFONTW lf{};
    lstrcpynW(lf.lfFaceName, L"Tahoma", 32);
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = FF_SWISS;
    // The handheld's pixel heights, scaled to the DPI the window is laid out for.
    lf.lfHeight = Px(14);
    lf.lfWeight = FW_BOLD;
    hBoldFont = CreateFontIndirectW(&lf);
    lf.lfHeight = Px(13);
    lf.lfWeight = FW_NORMAL;
    hNormalFont = CreateFontIndirectW(&lf);
}

// Why the store volume must not be used, or null. A damaged volume would look empty or partly
// filled, and everything the start writes (decryption, merged names) would go into it; a path too
// long to name it must never be replaced by another store. A file that cannot be opened at all is
// left to the store's own open. A sound volume is claimed for this program while it runs: a second
// program writing it (the program in another desktop) would show records the first has deleted
// and change the wrong ones.
const WCHAR *VolumeRefusal() {
    WCHAR reason[128];
    int sound = CeVerifyVolume(reason, 128);
    if (sound == 0 || (sound < 0 && GetLastError() == ERROR_FILE_CORRUPT)) return kDamagedStore;
    if (sound < 0 && GetLastError() == ERROR_FILENAME_EXCED_RANGE) return kStorePathTooLong;
    if (sound < 0 && GetLastError() == ERROR_REVISION_MISMATCH) return kNewerStore;
    if (sound < 0 && GetLastError() == ERROR_WRITE_PROTECT) return kReadOnlyStore;
    if (sound < 0 && GetLastError() == ERROR_BAD_FILE_TYPE) return kNotAStoreFile;
    if (sound > 0 && !CeClaimVolume() && GetLastError() == ERROR_LOCK_VIOLATION) return kStoreInUse;
    return nullptr;
}

// Opens the title lists 1, 2 and 3 under "Arkel-Titel1" to "Arkel-Titel3"; stops at the first
// failure, leaving the lists opened before it open. Non-zero on failure.
int OpenTitleLists() {
    WCHAR name[16];
    lstrcpyW(name, kTitleDatabaseTemplate);
    const int last = lstrlenW(name) - 1;  // the blank that takes the digit
    name[last] = L'1';
    if (titleList1.open(name) != 0) return 1;
    name[last] = L'2';
    if (titleList2.open(name) != 0) return 1;
    name[last] = L'3';
    return titleList3.open(name) != 0 ? 1 : 0;
}

}  // namespace

BOOL ReadWorkArea(RECT *work) { return SystemParametersInfoW(SPI_GETWORKAREA, 0, work, 0); }

// The four merges in one walk over the objects; each list gets exactly the names its own walk
// would add, and a new category the titles and flag of the first object naming it.
void MergeNamesFromObjects() {
    std::unordered_set<std::wstring> seen[4];
    // The list fill that follows takes what it shows from this walk.
    std::vector<ListedObject> listing;
    ObjectRecord object;
    WalkDatabase(objectStore.hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        // Titles the object lacks read as empty: they add nothing, and a new category keeps them
        // empty.
        ReadObjectRecord(props, count, &object, AbsentTitles::Empty);
        titleList1.mergeTitle(object.title1, &seen[0]);
        titleList2.mergeTitle(object.title2, &seen[1]);
        titleList3.mergeTitle(object.title3, &seen[2]);
        categoryStore.mergeCategory(object, &seen[3]);
        listing.push_back(ReadListedObject(id, props, count));
        return true;
    });
    objectStore.keepListing(std::move(listing));
}

ATOM RegisterMainClass(HINSTANCE hInstance) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kMainClass;
    ATOM atom = RegisterClassW(&wc);

    // The arrow class is registered whatever became of the main class.
    WNDCLASSW arrow{};
    arrow.style = CS_HREDRAW | CS_VREDRAW;
    arrow.lpfnWndProc = ArrowWndProc;
    arrow.hInstance = hInstance;
    arrow.lpszClassName = kArrowClass;
    RegisterClassW(&arrow);
    return atom;
}

void ReleaseDrawingObjects() {
    HGDIOBJ objects[] = {hBoldFont,     hNormalFont,   hbrListText,   hbrListBack,
                         hbrDetailText, hbrDetailBack, hbrWindowText, hbrWindowBack};
    for (HGDIOBJ object : objects)
        if (object) DeleteObject(object);
    hBoldFont = hNormalFont = nullptr;
    hbrListText = hbrListBack = hbrDetailText = hbrDetailBack = hbrWindowText = hbrWindowBack =
        nullptr;
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow) {
    hInst = hInstance;

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_COOL_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    InstallCaptionButtons();
    InstallMessageBoxFit();

    clrDetailText = settings.GetColorStatic();
    clrDetailBack = settings.GetBackColorStatic();
    clrWindowText = settings.GetColorDialog();
    clrWindowBack = settings.GetBackColorDialog();
    clrListText = settings.GetColorListe();
    clrListBack = settings.GetBackColorListe();

    hbrListText = CreateSolidBrush(clrListText);
    hbrListBack = CreateSolidBrush(clrListBack);
    hbrDetailText = CreateSolidBrush(clrDetailText);
    hbrDetailBack = CreateSolidBrush(clrDetailBack);
    hbrWindowText = CreateSolidBrush(clrWindowText);
    hbrWindowBack = CreateSolidBrush(clrWindowBack);

    const COLORREF firstCustom[6] = {clrWindowBack, clrWindowText, clrDetailBack,
                                     clrDetailText, clrListBack,   clrListText};
    for (int i = 0; i < 16; ++i) customColors[i] = i < 6 ? firstCustom[i] : 0;

    RECT work;
    const bool haveWork = ShellWorkArea(&work) != FALSE;
    ChooseWindowShape(haveWork ? &work : nullptr);
    CreateFonts();
    settings.GetKeyboard();  // kept for the preferences; the shell makes no use of it

    hMainWnd = CreateMainWindow(haveWork ? &work : nullptr);
    if (!hMainWnd) {
        ReleaseDrawingObjects();
        return FALSE;
    }
    // The desktop window is shown already, at its stored place and maximized or not; only a
    // start asked to be minimized (or hidden) changes that.
    const bool plainShow =
        nCmdShow == SW_SHOWNORMAL || nCmdShow == SW_SHOWDEFAULT || nCmdShow == SW_SHOW;
    if (windowShape == WindowShape::Handheld || !plainShow) ShowWindow(hMainWnd, nCmdShow);
    UpdateWindow(hMainWnd);

    if (const WCHAR *refusal = VolumeRefusal()) return FailStart(refusal);
    // Objects the last run left plain are seen only before the opening pass decrypts the rest.
    const int leftPlain = CountPlainFlaggedObjects();
    // The store runs the unlock as it opens; its passes show their progress and ask through the
    // shell.
    SetPassHost(&ShellPassHost());
    if (objectStore.open(L"Arkel") != 0) return FailureExitA();
    if (categoryStore.openCategories(kCategoryDatabase) != 0) return FailureExitA();
    if (OpenTitleLists() != 0) return FailureExitA();
    MergeNamesFromObjects();

    settings.GetCategory(currentCategory);
    // Filling the list switches "Encrypt" on when it meets an encrypted object; if that happens
    // now, the store was not decrypted at the start. The value is taken before the category combo
    // is filled, since a stored filter that is gone makes that fill the list already.
    DWORD encryptBefore = settings.GetEncrypt();
    WCHAR storedFilter[256];
    lstrcpynW(storedFilter, currentCategory, 256);
    FillCategoryCombo();
    SendMessageW(hCategoryCombo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(currentCategory));
    // A stored filter that is not among the categories (as on a first start) made the combo box
    // fill the list with " - Alle -" already; a second fill would find the same rows.
    if (wcscmp(storedFilter, currentCategory) == 0) FillObjectList(objectStore, hObjectList);
    if (settings.GetEncrypt() != encryptBefore) return FailureExitB();

    SendMessageW(hObjectList, LB_SETCURSEL, 0, 0);
    RefreshDetail();

    NoticePlainStore(leftPlain);

    settings.GetAutoQuit();  // into autoQuitActive
    autoQuitPeriod = autoQuitActive;
    StartIdleTimers();
    return TRUE;
}
