// The program's entry: one instance, start-up, the message loop, shutdown.
#include "app/clipboard.h"
#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "platform/cedb.h"
#include "store/object_store.h"

namespace {

const WCHAR kJournalLeft[] =
    L"Das Journal der Datenbank konnte beim Beenden nicht geleert werden, weil ein anderes "
    L"Programm die Datei gerade liest. Es kann noch Daten aus dieser Sitzung enthalten. Beenden "
    L"Sie das andere Programm und starten und beenden Sie The Arkel noch einmal.";

// The window a second start brings to the front: the running program's open dialog or message
// box when there is one (the main window lies disabled under it and would take no key, no click,
// not even Esc), else the main window.
HWND FrontWindowOf(HWND main) {
    HWND popup = GetLastActivePopup(main);
    if (popup && popup != main && IsWindowVisible(popup) && IsWindowEnabled(popup)) return popup;
    if (IsWindowEnabled(main)) return main;
    // A dialog without an owner: the enabled, visible top-level window of the program's thread.
    struct Find {
        HWND main, found;
    } find{main, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(main, nullptr),
        [](HWND w, LPARAM p) -> BOOL {
            auto *f = reinterpret_cast<Find *>(p);
            if (w == f->main || !IsWindowVisible(w) || !IsWindowEnabled(w)) return TRUE;
            f->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found ? find.found : main;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR /*lpCmdLine*/,
                   int nCmdShow) {
    // One instance at a time: a second start brings the first to the front and ends.
    if (HWND running = FindWindowW(kMainClass, kAppTitle)) {
        SetForegroundWindow(FrontWindowOf(running));
        return 0;
    }
    if (!hPrevInstance && !RegisterMainClass(hInstance)) return 0;
    if (!InitInstance(hInstance, nCmdShow)) {
        // A start given up after the password prompt leaves the records as they are, but no key.
        objectStore.clearKeyMaterial();
        return 0;
    }

    MSG msg{};
    // Accelerators are translated, and the message is still dispatched as it is.
    while (GetMessageW(&msg, nullptr, 0, 0) == 1) {
        TranslateAcceleratorW(hMainWnd, hAccel, &msg);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    // Encrypts the store again when encryption is on, and wipes the key material in any case.
    lockStore(&objectStore);
    CloseStores();
    if (!CeJournalEmptiedAtClose())
        MessageBoxW(nullptr, kJournalLeft, kAppTitle, MB_SETFOREGROUND | MB_ICONEXCLAMATION);
    RemoveObjectFromClipboard();
    ReleaseDrawingObjects();
    return static_cast<int>(msg.wParam);
}
