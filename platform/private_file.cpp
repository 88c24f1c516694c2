#include "platform/private_file.h"

#include <sddl.h>

#include <string>

namespace {

bool underWine() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// A security descriptor that lets the current user alone read and write a file; LocalFree it.
// Wine turns a descriptor into Unix permission bits. An entry for the process's own account sets
// the group bits like the user bits (0660 less the umask); an entry for the file's owner, when the
// owner is another account, sets the user bits alone. So under Wine the file belongs to SYSTEM,
// which may read and write it (0600), and the user has its access by an entry of its own, which
// adds no bits. Windows itself takes the plain form; it would not let a user give a file away.
// The user's own SID is named, not "OWNER RIGHTS", which Wine maps to no access.
PSECURITY_DESCRIPTOR PrivateDescriptor(SECURITY_INFORMATION *parts) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    BYTE buffer[256];
    DWORD size = 0;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &sid)) {
        std::wstring user = std::wstring(L"(A;;FA;;;") + sid + L")";
        std::wstring sddl = underWine() ? L"O:SYG:SYD:P(A;;FRFW;;;SY)" + user : L"D:P" + user;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                  &sd, nullptr))
            sd = nullptr;
        LocalFree(sid);
    }
    CloseHandle(token);
    if (parts)
        *parts = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION |
                 (underWine() ? OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION : 0);
    return sd;
}

}  // namespace

HANDLE CreatePrivateFile(const WCHAR *path, DWORD creation, DWORD share) {
    PSECURITY_DESCRIPTOR sd = PrivateDescriptor(nullptr);
    if (!sd) {
        // Without the descriptor the file would take the umask's permissions: not made at all.
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, share, &sa, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    LocalFree(sd);
    SetLastError(error);
    return file;
}

bool MakeFilePrivate(const WCHAR *path) {
    HANDLE h = CreatePrivateFile(path, CREATE_NEW, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
    // Made earlier, by SQLite or by a build that left the permissions to the umask.
    SECURITY_INFORMATION parts = 0;
    PSECURITY_DESCRIPTOR sd = PrivateDescriptor(&parts);
    if (!sd) return false;
    bool ok =
        SetFileSecurityW(path, parts, sd) || SetFileSecurityW(path, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return ok;
}
