// The shell's process-wide state and the program's global objects. The objects are defined in
// this one file so that they are constructed in this order and destroyed in the reverse order.
#include "app/shell.h"
#include "platform/cedb.h"
#include "prefs/settings.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

HINSTANCE hInst;
HWND hMainWnd;
HMENU hMenu;
HWND hObjectList;
HACCEL hAccel;

HWND hCommandBands;
HWND hMenuBar, hToolBar, hComboBar;
HWND hCategoryCombo;
HWND hDetailBack;
HWND hTitleLabel[3];
HWND hValueText[3];
HWND hCategoryText;

ObjectRecord CurrentObject;

WCHAR currentCategory[256];

COLORREF clrDetailText, clrDetailBack;
COLORREF clrWindowText, clrWindowBack;
COLORREF clrListText, clrListBack;
HBRUSH hbrListText, hbrListBack, hbrDetailText, hbrDetailBack, hbrWindowText, hbrWindowBack;
COLORREF customColors[16];

HFONT hBoldFont;
HFONT hNormalFont;

ULONGLONG lastTickTime;

HGLOBAL clipboardText;

const WCHAR kMainClass[] = L"Arkel";
const WCHAR kArrowClass[] = L"PFEIL";
const WCHAR kEncryptedName[] = L"Verschl\u00fcsselt! Nicht bearbeiten!";

NameList categoryStore;
FieldTitleList1 titleList1;
FieldTitleList2 titleList2;
FieldTitleList3 titleList3;
ObjectStore objectStore(currentCategory);  // its visible set follows the list's filter

void CloseStores() {
    objectStore.closeSearch(false);
    if (objectStore.hDatabase != INVALID_HANDLE_VALUE) CloseHandle(objectStore.hDatabase);
    objectStore.hDatabase = INVALID_HANDLE_VALUE;
    objectStore.oidDatabase = 0;
    objectStore.currentRecord = 0;
    objectStore.clearKeyMaterial();
    NameList *nameStores[] = {&categoryStore, &titleList1, &titleList2, &titleList3};
    for (NameList *store : nameStores) {
        if (store->hDatabase != INVALID_HANDLE_VALUE) CloseHandle(store->hDatabase);
        store->hDatabase = INVALID_HANDLE_VALUE;
        store->oidDatabase = 0;
        store->lastResult = 0;
    }
}
