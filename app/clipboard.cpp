// One object as clipboard text: copy, paste and the paste command's state.
#include "app/clipboard.h"

#include <commctrl.h>

#include <cstring>
#include <initializer_list>

#include "app/shell.h"
#include "exchange/clipboard_text.h"
#include "prefs/settings.h"
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

// The clipboard's text is read as the portable reader's UTF-16 units.
static_assert(sizeof(WCHAR) == sizeof(char16_t));

const WCHAR kFieldCopyFailed[] =
    L"Das Feld konnte nicht in die Zwischenablage kopiert werden. Versuchen Sie es sp\u00e4ter "
    L"nochmals.";

// The clipboard's sequence number right after the last copy: while it is unchanged, the
// clipboard holds that copy's text and nothing newer.
DWORD copiedSequence;
// The sequence number of the copy the clear timer is to take away again (0: none).
DWORD clearSequence;

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

// Asks clipboard history and the cloud clipboard of Windows not to keep the text, and the
// clipboard managers of the X desktop too: under Wine a registered format reaches the X
// selection as a target of its own name, and KDE's and other managers skip a selection that
// offers "x-kde-passwordManagerHint" with the value "secret". Once handed over, the memory
// belongs to the clipboard.
void MarkPrivate() {
    static const UINT exclude =
        RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    static const UINT history = RegisterClipboardFormatW(L"CanIncludeInClipboardHistory");
    static const UINT cloud = RegisterClipboardFormatW(L"CanUploadToCloudClipboard");
    static const UINT hint = RegisterClipboardFormatW(L"x-kde-passwordManagerHint");
    const DWORD no = 0;
    for (UINT format : {exclude, history, cloud}) {
        if (!format) continue;
        HGLOBAL memory = GlobalCopy(&no, sizeof no);
        if (memory && !SetClipboardData(format, memory)) GlobalFree(memory);
    }
    static const char secret[] = "secret";
    if (hint) {
        HGLOBAL memory = GlobalCopy(secret, sizeof secret - 1);
        if (memory && !SetClipboardData(hint, memory)) GlobalFree(memory);
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

char16_t *Units(WCHAR *text) { return reinterpret_cast<char16_t *>(text); }

bool IsFilterName(const WCHAR *category) {
    for (const WCHAR *name : {kFilterAll, kFilterNone}) {
        if (lstrcmpW(category, name) == 0) return true;
        while (IsBlank(*name)) ++name;
        if (lstrcmpW(category, name) == 0) return true;
    }
    return false;
}

}  // namespace

namespace {

// Puts the text (units with its terminator) on the clipboard as the program's own, marked as
// private. The clipboard keeps whatever it held when this fails. The caller's buffer is wiped.
bool PutOnClipboard(WCHAR *text, size_t units) {
    const size_t bytes = units * sizeof(WCHAR);
    // The memory is made before the clipboard is emptied, so that a failure leaves the clipboard
    // as it was. Once SetClipboardData has taken it, it is the clipboard's: the program keeps the
    // handle only to recognise its own text and never frees it.
    HGLOBAL memory = GlobalCopy(text, bytes);
    SecureZeroMemory(text, bytes);
    bool copied = false;
    if (memory && OpenClipboard(hMainWnd)) {
        if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory)) {
            clipboardText = memory;
            memory = nullptr;
            MarkPrivate();
            copied = true;
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
    return copied;
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
    BOOL copied = PutOnClipboard(text, static_cast<size_t>(p - text));
    SecureZeroMemory(text, sizeof text);
    if (!copied) MessageBoxW(owner, kCopyFailed, kAppTitle, MB_ICONHAND);
    UpdatePasteState();
    return copied;
}

BOOL CopyFieldToClipboard(HWND owner, int field) {
    const WCHAR *fields[3] = {CurrentObject.field1, CurrentObject.field2, CurrentObject.field3};
    if (field < 1 || field > 3) return FALSE;
    WCHAR text[256];
    lstrcpynW(text, fields[field - 1], 256);
    BOOL copied = PutOnClipboard(text, static_cast<size_t>(lstrlenW(text)) + 1);
    SecureZeroMemory(text, sizeof text);
    if (!copied) MessageBoxW(owner, kFieldCopyFailed, kAppTitle, MB_ICONHAND);
    UpdatePasteState();
    return copied;
}

void ArmClipboardClear() {
    DWORD seconds = settings.GetClipboardClear();
    if (!seconds) {
        // Switched off: a tick still on its way takes nothing away.
        clearSequence = 0;
        KillTimer(hMainWnd, kClipboardTimer);
        return;
    }
    clearSequence = copiedSequence;
    SetTimer(hMainWnd, kClipboardTimer, seconds * 1000, nullptr);
}

void OnClipboardClearTimer() {
    KillTimer(hMainWnd, kClipboardTimer);
    // Only the text this program put there and nothing copied since: another program's newer
    // text (or the object a cut put there after the copy) stays.
    if (!clearSequence || GetClipboardSequenceNumber() != clearSequence) return;
    if (OpenClipboard(hMainWnd)) {
        EmptyClipboard();
        CloseClipboard();
    }
    clearSequence = 0;
    UpdatePasteState();
}

int ReadClipboardObject(WCHAR *value1, WCHAR *value2, WCHAR *value3, WCHAR *category, WCHAR *flag,
                        WCHAR *title1, WCHAR *title2, WCHAR *title3) {
    char16_t *const fields[kClipboardFieldCount] = {Units(title1),   Units(value1), Units(title2),
                                                    Units(value2),   Units(title3), Units(value3),
                                                    Units(category), Units(flag)};
    for (char16_t *field : fields) field[0] = 0;

    bool pasteable = false;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (auto source = static_cast<const char16_t *>(GlobalLock(data))) {
                pasteable = readClipboardText(
                    std::span(source, GlobalSize(data) / sizeof(char16_t)), fields);
                GlobalUnlock(data);
            }
        }
    }
    CloseClipboard();

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
