// One object as clipboard text: copy, paste and the paste command's state.
#include "app/clipboard.h"

#include <commctrl.h>

#include <cstring>
#include <initializer_list>

#include "app/shell.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

const WCHAR kCopyFailed[] =
    L"Das Objekt konnte nicht in die Zwischenablage kopiert werden. Versuchen Sie es sp\u00e4ter "
    L"nochmals.";
const WCHAR kPasteFailed[] = L"Das Objekt konnte nicht eingef\u00fcgt werden.";
const WCHAR kPasteFull[] =
    L"Die Datenbank ist voll: sie nimmt h\u00f6chstens 65535 Objekte auf. Das Objekt konnte "
    L"nicht eingef\u00fcgt werden.";

// Eight fields of at most 255 characters and a separator of at most three: a reader never gets
// further into a clipboard text than this.
constexpr size_t kReadUnits = 8 * (255 + 3);

// The clipboard's sequence number right after the last copy: while it is unchanged, the
// clipboard holds that copy's text and nothing newer.
DWORD copiedSequence;

// Movable global memory holding the bytes, as the clipboard takes it; nullptr without memory.
HGLOBAL GlobalCopy(const void *data, size_t bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return nullptr;
    void *target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return nullptr;
    }
    memcpy(target, data, bytes);
    GlobalUnlock(memory);
    return memory;
}

// Asks clipboard history and the cloud clipboard of Windows not to keep the text. Once handed
// over, the memory belongs to the clipboard.
void MarkPrivate() {
    static const UINT exclude =
        RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    static const UINT history = RegisterClipboardFormatW(L"CanIncludeInClipboardHistory");
    static const UINT cloud = RegisterClipboardFormatW(L"CanUploadToCloudClipboard");
    const DWORD no = 0;
    for (UINT format : {exclude, history, cloud}) {
        if (!format) continue;
        HGLOBAL memory = GlobalCopy(&no, sizeof no);
        if (memory && !SetClipboardData(format, memory)) GlobalFree(memory);
    }
}

WCHAR *Append(WCHAR *p, const WCHAR *text) {
    while (*text) *p++ = *text++;
    return p;
}

void SetPasteCommand(bool enabled) {
    EnableMenuItem(hMenu, IDM_PASTE, enabled ? MF_ENABLED : MF_GRAYED);
    SendMessageW(hToolBar, TB_ENABLEBUTTON, IDM_PASTE, MAKELONG(enabled ? TRUE : FALSE, 0));
}

bool IsBlank(WCHAR c) { return c == L' '; }

bool IsFilterName(const WCHAR *category) {
    for (const WCHAR *name : {kFilterAll, kFilterNone}) {
        if (lstrcmpW(category, name) == 0) return true;
        while (IsBlank(*name)) ++name;
        if (lstrcmpW(category, name) == 0) return true;
    }
    return false;
}

}  // namespace

BOOL CopyObjectToClipboard(HWND owner) {
    // Seven texts of at most 255 units, 3 TABs, 5 CR LF, the flag and the terminator.
    WCHAR text[7 * 256 + 3 + 10 + 12];
    const ObjectRecord &o = CurrentObject;
    WCHAR *p = text;
    const WCHAR *lines[3][2] = {{o.title1, o.field1}, {o.title2, o.field2}, {o.title3, o.field3}};
    for (const auto &line : lines) {
        p = Append(p, line[0]);
        *p++ = L'\t';
        p = Append(p, line[1]);
        p = Append(p, L"\r\n");
    }
    p = Append(p, o.category);
    p = Append(p, L"\r\n");
    p += wsprintfW(p, L"%d", o.encrypt);
    p = Append(p, L"\r\n");
    *p++ = 0;
    const size_t bytes = static_cast<size_t>(p - text) * sizeof(WCHAR);

    // The memory is made before the clipboard is emptied, so that a failure leaves the clipboard
    // as it was. Once SetClipboardData has taken it, it is the clipboard's: the program keeps the
    // handle only to recognise its own text and never frees it.
    HGLOBAL memory = GlobalCopy(text, bytes);
    SecureZeroMemory(text, sizeof text);
    BOOL copied = FALSE;
    if (memory && OpenClipboard(hMainWnd)) {
        if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory)) {
            clipboardText = memory;
            memory = nullptr;
            MarkPrivate();
            copied = TRUE;
        }
        CloseClipboard();
        if (copied) copiedSequence = GetClipboardSequenceNumber();
    }
    if (memory) {
        // Never handed over: still the program's own, with the object's text in it.
        if (void *mine = GlobalLock(memory)) {
            SecureZeroMemory(mine, bytes);
            GlobalUnlock(memory);
        }
        GlobalFree(memory);
    }
    if (!copied) MessageBoxW(owner, kCopyFailed, kAppTitle, MB_ICONHAND);
    UpdatePasteState();
    return copied;
}

const WCHAR *NextClipboardField(WCHAR *out, const WCHAR *p) {
    int n = 0;
    while (n < 255 && *p && *p != L'\t' && *p != L'\r' && *p != L'\n') out[n++] = *p++;
    out[n] = 0;

    bool tab = false, cr = false, lf = false;
    for (;; ++p) {
        if (*p == L'\t' && !tab && !cr)
            tab = true;
        else if (*p == L'\n' && !lf && !tab)
            lf = true;
        else if (*p == L'\r' && !cr && !tab)
            cr = true;
        else
            break;
    }

    while (n > 0 && IsBlank(out[n - 1])) out[--n] = 0;
    int start = 0;
    while (start < n && IsBlank(out[start])) ++start;
    if (start > 0) memmove(out, out + start, static_cast<size_t>(n - start + 1) * sizeof(WCHAR));
    return p;
}

int ReadClipboardObject(WCHAR *value1, WCHAR *value2, WCHAR *value3, WCHAR *category, WCHAR *flag,
                        WCHAR *title1, WCHAR *title2, WCHAR *title3) {
    WCHAR *fields[8] = {title1, value1, title2, value2, title3, value3, category, flag};
    for (WCHAR *field : fields) field[0] = 0;

    // The text is copied out of the clipboard first: another program's text need not end with a
    // zero inside its memory, and only its beginning can matter.
    static WCHAR text[kReadUnits + 1];
    size_t length = 0;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (auto source = static_cast<const WCHAR *>(GlobalLock(data))) {
                size_t available = GlobalSize(data) / sizeof(WCHAR);
                while (length < available && length < kReadUnits && source[length]) {
                    text[length] = source[length];
                    ++length;
                }
                GlobalUnlock(data);
            }
        }
    }
    CloseClipboard();
    text[length] = 0;

    if (length > 0) {
        const WCHAR *p = text;
        for (WCHAR *field : fields) p = NextClipboardField(field, p);
    }
    SecureZeroMemory(text, (length + 1) * sizeof(WCHAR));

    const bool pasteable = title1[0] && value1[0] && title2[0] && value2[0] && title3[0];
    SetPasteCommand(pasteable);
    return pasteable ? 1 : 0;
}

void UpdatePasteState() {
    ObjectRecord scratch;
    WCHAR flag[256];
    ReadClipboardObject(scratch.field1, scratch.field2, scratch.field3, scratch.category, flag,
                        scratch.title1, scratch.title2, scratch.title3);
    SecureZeroMemory(&scratch, sizeof scratch);
    SecureZeroMemory(flag, sizeof flag);
}

int PasteObjectFromClipboard(HWND owner) {
    ObjectRecord object;
    WCHAR flag[256];
    int result = 0;
    if (ReadClipboardObject(object.field1, object.field2, object.field3, object.category, flag,
                            object.title1, object.title2, object.title3)) {
        // The filter names are no categories. The reader has trimmed their leading blank, so
        // they are compared as they arrive, too.
        if (IsFilterName(object.category)) object.category[0] = 0;
        categoryStore.addName(object.category);
        const bool newCategory = categoryStore.lastResult != 0;
        titleList1.addName(object.title1);
        titleList2.addName(object.title2);
        titleList3.addName(object.title3);
        object.encrypt = flag[0] == L'0' ? 0 : 1;
        result = objectStore.addObject(object) ? 1 : -1;
        if (result == 1) {
            int position = objectStore.positionOfCurrent();
            // A category made again by the paste is offered by the filter at once.
            if (newCategory) FillCategoryCombo();
            FillObjectList(objectStore, hObjectList);
            SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
            RefreshDetail();
        } else {
            MessageBoxW(owner,
                        objectStore.recordCount() >= CEDB_MAXRECORDS ? kPasteFull : kPasteFailed,
                        kAppTitle, MB_ICONHAND);
        }
    }
    SecureZeroMemory(&object, sizeof object);
    SecureZeroMemory(flag, sizeof flag);
    return result;
}

void RemoveObjectFromClipboard() {
    if (!clipboardText) return;
    // Only the program's own text goes: anything copied since stays where its owner put it.
    if (GetClipboardSequenceNumber() == copiedSequence && OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    clipboardText = nullptr;
}
