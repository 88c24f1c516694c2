#include "harness/win/dialog_answers.h"

#include <dlgs.h>

#include "app/shell.h"
#include "harness/win/ui_driver.h"
#include "resources/resource.h"

std::function<void(HWND)> ChooseFile(const std::wstring &path, int filter, std::wstring *caption) {
    return [=](HWND d) {
        if (caption) *caption = WindowText(d);
        HWND name = GetDlgItem(d, cmb13);
        if (!name) name = GetDlgItem(d, edt1);
        SetWindowTextW(name, path.c_str());
        if (filter) {
            HWND types = GetDlgItem(d, cmb1);
            SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(filter - 1), 0);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                         reinterpret_cast<LPARAM>(types));
        }
        PressButton(d, IDOK);
    };
}

std::function<void(HWND)> AnswerPassword(const std::wstring &password, std::wstring *caption) {
    return [=](HWND d) {
        if (caption) *caption = WindowText(d);
        for (int id : {IDC_PASSWORD_ENTER, IDC_PASSWORD_SET, IDC_PASSWORD_SET_AGAIN})
            if (HWND edit = GetDlgItem(d, id)) SetWindowTextW(edit, password.c_str());
        WCHAR copy[129];
        lstrcpynW(copy, password.c_str(), 129);
        objectStore.setPassword(copy);
        PressButton(d, IDOK);
    };
}
