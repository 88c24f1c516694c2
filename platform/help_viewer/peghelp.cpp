// PegHelp.exe: the help viewer. Its command line is the request "FILE#anchor".
#include <windows.h>

#include <string>

#include "platform/help_viewer/help_viewer.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The request is everything after the program's own name, without enclosing quotes.
    const WCHAR *p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    std::wstring request(p);
    while (!request.empty() && (request.back() == L' ' || request.back() == L'\t'))
        request.pop_back();
    if (request.size() >= 2 && request.front() == L'"' && request.back() == L'"')
        request = request.substr(1, request.size() - 2);
    return HelpViewerMain(instance, request.c_str());
}
