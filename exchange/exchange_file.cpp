#include "exchange/exchange_file.h"

#include <sddl.h>

#include <cstring>
#include <string>

#include "resources/app_title.h"
#include "store/object_store.h"

const WCHAR kExchangeFilter[] =
    L"Verschl\u00fcsselte Dateien (*.ark)\0*.ark\0"
    L"Text Dateien (*.txt)\0*.txt\0"
    L"Alle Dateien (*.*)\0*.*\0";

const WCHAR *ShortFileName(const WCHAR *path) {
    const WCHAR *name = path;
    for (const WCHAR *p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    return name;
}

const PasswordKeys &StoreKeys(const ObjectStore &store) { return store.keys; }

SavedPassword::SavedPassword(ObjectStore &store, bool active)
    : store_(store), active_(active), copy_{} {
    if (active_) memcpy(copy_, store_.passwordText, sizeof copy_);
}

SavedPassword::~SavedPassword() {
    if (!active_) return;
    // The whole buffer is cleared first: a shorter password must not leave the tail of the file
    // password behind its terminator.
    SecureZeroMemory(store_.passwordText, sizeof store_.passwordText);
    store_.setPassword(copy_);
    SecureZeroMemory(copy_, sizeof copy_);
}

void ExchangeMessage(HWND owner, const WCHAR *format, const WCHAR *shortName) {
    WCHAR text[1024];
    wsprintfW(text, format, shortName);
    MessageBoxW(owner, text, kAppTitle, MB_ICONHAND);
}

void ReportObjectCount(HWND owner, const WCHAR *one, const WCHAR *many, int count,
                       const WCHAR *shortName) {
    WCHAR text[1024];
    if (count == 1)
        wsprintfW(text, one, shortName);
    else
        wsprintfW(text, many, count, shortName);
    MessageBoxW(owner, text, kAppTitle, MB_ICONINFORMATION);
}
