#include "exchange/exchange_file.h"

#include <sddl.h>

#include <cstring>
#include <string>

#include "app/shell.h"
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

PasswordKeys StoreKeys(const ObjectStore &store) {
    PasswordKeys keys;
    memcpy(keys.key1.data(), store.keys[0], 8);
    memcpy(keys.key2.data(), store.keys[1], 8);
    memcpy(keys.key3.data(), store.keys[2], 8);
    return keys;
}

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

HANDLE CreatePrivateFile(const WCHAR *path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    HANDLE token = nullptr;
    // Access for the user's own SID only (not "OWNER RIGHTS", which Wine maps to no access).
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        BYTE buffer[256];
        DWORD size = 0;
        LPWSTR sid = nullptr;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &sid)) {
            std::wstring sddl = std::wstring(L"D:P(A;;FA;;;") + sid + L")";
            if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &sd, nullptr))
                sa.lpSecurityDescriptor = sd;
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, &sa, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sd) LocalFree(sd);
    return file;
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
