// The help viewer's window. The text is a rich-edit control (msftedit, else riched20): it wraps,
// scrolls, selects and copies, draws bold, italic and underlined runs and reports clicks on runs
// marked as links (EN_LINK). Drawing and laying out text by hand would only repeat what it does.
// Each page is inserted run by run with its character and paragraph formats, so the positions of
// blocks and links are the control's own and need no bookkeeping of line ends.
#include "platform/help_viewer/help_viewer.h"

#include <richedit.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/help_viewer/help_document.h"

const WCHAR kHelpViewerClass[] = L"PegHelp";

namespace {

const WCHAR kCaption[] = L"Hilfe";
const WCHAR kTitlePrefix[] = L"Hilfe: ";
const WCHAR kNotFound[] = L"Die Hilfedatei \u201E%s\u201C wurde nicht gefunden.";
const WCHAR kUnreadable[] = L"Die Hilfedatei \u201E%s\u201C kann nicht gelesen werden.";
const WCHAR kNoText[] = L"Die Hilfedatei \u201E%s\u201C enth\u00E4lt keinen Hilfetext.";
const WCHAR kNoFile[] = L"Es wurde keine Hilfedatei angegeben.";
const WCHAR kUnknownAnchor[] =
    L"Zum Stichwort \u201E%s\u201C gibt es in dieser Hilfe keinen Abschnitt. Hier ist ihr "
    L"Anfang.";

constexpr UINT WM_FOLLOW_LINK = WM_APP + 1;  // wParam: anchor index
constexpr LONGLONG kMaxFileSize = 4 << 20;
constexpr int kBarHeight = 24;

// Sizes in twips (1/20 point); 15 twips are one pixel at 96 dpi.
constexpr LONG kTextSize = 160, kHeading1Size = 180, kHeading2Size = 170;
constexpr LONG kIndent = 180, kHang = 210;

struct LinkRange {
    LONG begin, end;
    int anchor;
};

struct Viewer {
    std::wstring folder;
    std::wstring path;
    help::Document doc;
    int page = -1;
    struct Place {
        int page;
        int line;
        CHARRANGE selection;  // a link chosen with Tab stays chosen after Back
    };
    std::vector<Place> history;
    std::vector<LinkRange> links;
    std::vector<LONG> blockStart;
    HWND window = nullptr, text = nullptr, back = nullptr, contents = nullptr;
    HFONT font = nullptr;
    WNDPROC textProc = nullptr;
    bool quitOnClose = false;
    bool ready = false;  // shown at its first page; until then it takes no requests
};

std::wstring Wide(const std::u16string &s) { return std::wstring(s.begin(), s.end()); }

Viewer *ViewerOf(HWND window) {
    return reinterpret_cast<Viewer *>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

std::wstring ShortName(const std::wstring &path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void Complain(HWND owner, const WCHAR *format, const std::wstring &file) {
    WCHAR text[512];
    std::wstring name = ShortName(file).substr(0, 200);
    wsprintfW(text, format, name.c_str());
    MessageBoxW(owner, text, kCaption, MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
}

// The file part of a request as a full path: a relative name lies in the viewer's folder.
std::wstring FullPath(const std::wstring &folder, const std::wstring &file) {
    bool absolute = (file.size() > 1 && file[1] == L':') || (!file.empty() && file[0] == L'\\') ||
                    (!file.empty() && file[0] == L'/');
    std::wstring joined = absolute ? file : folder + file;
    WCHAR full[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(joined.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : joined;
}

// Reads and parses a help file; on failure the message that says why, else nullptr.
const WCHAR *LoadHelpFile(const std::wstring &path, help::Document *doc) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? kNotFound
                   : kUnreadable;
    }
    LARGE_INTEGER size{};
    std::string bytes;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxFileSize;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
              read == bytes.size());
    }
    CloseHandle(file);
    if (!ok) return kUnreadable;
    *doc = help::Parse(bytes);
    return doc->pages.empty() ? kNoText : nullptr;
}

LONG TextEnd(HWND text) {
    SendMessageW(text, EM_SETSEL, -1, -1);
    CHARRANGE range{};
    SendMessageW(text, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range.cpMax;
}

void SetCharFormat(HWND text, LONG size, bool bold, bool italic, bool link) {
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_LINK | CFM_COLOR | CFM_SIZE | CFM_FACE |
                CFM_CHARSET;
    cf.dwEffects =
        (bold ? CFE_BOLD : 0) | (italic ? CFE_ITALIC : 0) | (link ? CFE_LINK | CFE_UNDERLINE : 0);
    cf.yHeight = size;
    cf.crTextColor = link ? RGB(0, 0, 204) : GetSysColor(COLOR_WINDOWTEXT);
    cf.bCharSet = DEFAULT_CHARSET;
    lstrcpyW(cf.szFaceName, L"Tahoma");
    SendMessageW(text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
}

void SetParaFormat(HWND text, LONG start, LONG hang, LONG spaceBefore) {
    PARAFORMAT2 pf{};
    pf.cbSize = sizeof pf;
    pf.dwMask = PFM_STARTINDENT | PFM_OFFSET | PFM_SPACEBEFORE | PFM_SPACEAFTER | PFM_TABSTOPS;
    pf.dxStartIndent = start;
    pf.dxOffset = hang;
    pf.dySpaceBefore = spaceBefore;
    pf.dySpaceAfter = 0;
    pf.cTabCount = 1;
    pf.rgxTabs[0] = start + (hang ? hang : kHang);
    SendMessageW(text, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
}

void Insert(HWND text, const std::wstring &s) {
    SendMessageW(text, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(s.c_str()));
}

// Fills the control with one page, and notes where its blocks and links begin.
void RenderPage(Viewer &v, const std::wstring &notice) {
    HWND text = v.text;
    const help::Page &page = v.doc.pages[v.page];
    SendMessageW(text, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(text, L"");
    v.links.clear();
    v.blockStart.clear();
    bool first = true;
    auto paragraph = [&](LONG start, LONG hang, LONG spaceBefore) {
        if (!first) {
            SetCharFormat(text, kTextSize, false, false, false);
            Insert(text, L"\r");
        }
        first = false;
        TextEnd(text);
        SetParaFormat(text, start, hang, spaceBefore);
    };
    if (!notice.empty()) {
        paragraph(0, 0, 0);
        SetCharFormat(text, kTextSize, false, true, false);
        Insert(text, notice);
    }
    for (const help::Block &block : page.blocks) {
        LONG size = kTextSize, spaceBefore = 90, start = 0, hang = 0;
        bool bold = false;
        switch (block.kind) {
        case help::BlockKind::Heading1: size = kHeading1Size, bold = true, spaceBefore = 0; break;
        case help::BlockKind::Heading2: size = kHeading2Size, bold = true, spaceBefore = 150; break;
        case help::BlockKind::Heading3: bold = true, spaceBefore = 120; break;
        case help::BlockKind::ListItem:
            start = (block.depth - 1) * kIndent, hang = kHang, spaceBefore = 30;
            break;
        case help::BlockKind::Paragraph:
            start = block.depth * kIndent;
            if (block.depth > 0) spaceBefore = 30;
            break;
        }
        paragraph(start, hang, first && notice.empty() ? 0 : spaceBefore);
        v.blockStart.push_back(TextEnd(text));
        if (block.kind == help::BlockKind::ListItem) {
            SetCharFormat(text, size, false, false, false);
            Insert(text, block.number ? std::to_wstring(block.number) + L".\t" : L"\u2022\t");
        }
        for (const help::Run &run : block.runs) {
            std::wstring s = Wide(run.text);
            for (WCHAR &c : s)
                if (c == L'\n') c = L'\r';
            bool link = run.link >= 0 && v.doc.links[run.link].anchor >= 0;
            LONG begin = TextEnd(text);
            SetCharFormat(text, size, bold || run.bold, run.italic, link);
            Insert(text, s);
            if (link)
                v.links.push_back(LinkRange{begin, TextEnd(text), v.doc.links[run.link].anchor});
        }
    }
    SendMessageW(text, EM_SETSEL, 0, 0);
    SendMessageW(text, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(text, nullptr, TRUE);
}

int FirstLine(const Viewer &v) {
    return static_cast<int>(SendMessageW(v.text, EM_GETFIRSTVISIBLELINE, 0, 0));
}

void ScrollToLine(const Viewer &v, int line) {
    SendMessageW(v.text, EM_LINESCROLL, 0, line - FirstLine(v));
}

void UpdateTitle(Viewer &v) {
    std::wstring heading = Wide(v.doc.pages[v.page].heading);
    if (heading.empty()) heading = Wide(v.doc.title);
    std::wstring title = heading.empty() ? std::wstring(kCaption) : kTitlePrefix + heading;
    SetWindowTextW(v.window, title.c_str());
    EnableWindow(v.back, !v.history.empty());
}

// Shows a page at one of its blocks; remember keeps the place left for Back.
void Show(Viewer &v, int page, int block, const std::wstring &notice, bool remember) {
    if (remember && v.page >= 0) {
        Viewer::Place place{v.page, FirstLine(v), {}};
        SendMessageW(v.text, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&place.selection));
        v.history.push_back(place);
    }
    v.page = page;
    RenderPage(v, notice);
    if (block > 0) {
        LONG at =
            block < static_cast<int>(v.blockStart.size()) ? v.blockStart[block] : TextEnd(v.text);
        SendMessageW(v.text, EM_SETSEL, at, at);
        ScrollToLine(v, static_cast<int>(SendMessageW(v.text, EM_EXLINEFROMCHAR, 0, at)));
    }
    UpdateTitle(v);
}

void ShowAnchor(Viewer &v, int anchor, bool remember) {
    const help::Anchor &a = v.doc.anchors[anchor];
    Show(v, a.page, a.block, L"", remember);
}

void GoBack(Viewer &v) {
    if (v.history.empty()) return;
    Viewer::Place place = v.history.back();
    v.history.pop_back();
    v.page = place.page;
    RenderPage(v, L"");
    SendMessageW(v.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&place.selection));
    ScrollToLine(v, place.line);
    UpdateTitle(v);
}

// Opens a request "FILE#anchor": the file when it is not the one shown, then the anchor, or the
// start of the file with a notice when the file has no such anchor. False when the file cannot
// be shown (the message has been given).
bool Navigate(Viewer &v, const std::wstring &request, bool remember) {
    std::u16string file16, anchor16;
    help::SplitRequest(std::u16string(request.begin(), request.end()), &file16, &anchor16);
    std::wstring file = Wide(file16), anchor = Wide(anchor16);
    if (file.empty() && v.path.empty()) {
        MessageBoxW(v.window, kNoFile, kCaption, MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
        return false;
    }
    if (!file.empty()) {
        std::wstring path = FullPath(v.folder, file);
        if (lstrcmpiW(path.c_str(), v.path.c_str()) != 0) {
            help::Document doc;
            if (const WCHAR *problem = LoadHelpFile(path, &doc)) {
                Complain(v.window, problem, path);
                return false;
            }
            if (v.page >= 0 && remember) v.history.clear();  // places of another file
            v.doc = std::move(doc);
            v.path = path;
            v.page = -1;
        }
    }
    const help::Anchor *found = v.doc.find(std::u16string(anchor16));
    if (found) {
        ShowAnchor(v, static_cast<int>(found - v.doc.anchors.data()), remember);
    } else {
        std::wstring notice;
        if (!anchor.empty()) {
            WCHAR text[400];
            wsprintfW(text, kUnknownAnchor, anchor.substr(0, 100).c_str());
            notice = text;
        }
        Show(v, 0, 0, notice, remember);
    }
    return true;
}

const LinkRange *LinkAt(const Viewer &v, LONG cp) {
    for (const LinkRange &l : v.links)
        if (cp >= l.begin && cp < l.end) return &l;
    return nullptr;
}

// Tab and Shift+Tab select the next or previous link, so that Enter can follow it.
void SelectLink(Viewer &v, bool forward) {
    if (v.links.empty()) return;
    CHARRANGE sel{};
    SendMessageW(v.text, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    const LinkRange *pick = nullptr;
    if (forward) {
        for (const LinkRange &l : v.links)
            if (l.begin >= sel.cpMax && (l.begin > sel.cpMin || sel.cpMin == sel.cpMax)) {
                pick = &l;
                break;
            }
        if (!pick) pick = &v.links.front();
    } else {
        for (auto l = v.links.rbegin(); l != v.links.rend(); ++l)
            if (l->end <= sel.cpMin) {
                pick = &*l;
                break;
            }
        if (!pick) pick = &v.links.back();
    }
    SendMessageW(v.text, EM_SETSEL, pick->begin, pick->end);
    SendMessageW(v.text, EM_SCROLLCARET, 0, 0);
}

bool FollowSelectedLink(Viewer &v) {
    CHARRANGE sel{};
    SendMessageW(v.text, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    const LinkRange *link = LinkAt(v, sel.cpMin);
    if (!link) return false;
    PostMessageW(v.window, WM_FOLLOW_LINK, static_cast<WPARAM>(link->anchor), 0);
    return true;
}

void Scroll(HWND text, WNDPROC proc, int code) {
    CallWindowProcW(proc, text, WM_VSCROLL, MAKEWPARAM(code, 0), 0);
}

// The keyboard of the text: it scrolls (there is nothing to edit), Tab walks the links, Enter
// follows one, Backspace and Alt+Left go back, Esc closes the viewer.
LRESULT CALLBACK TextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Viewer &v = *ViewerOf(GetParent(hwnd));
    switch (message) {
    case WM_KEYDOWN: {
        bool ctrl = GetKeyState(VK_CONTROL) < 0;
        switch (wParam) {
        case VK_UP: Scroll(hwnd, v.textProc, SB_LINEUP); return 0;
        case VK_DOWN: Scroll(hwnd, v.textProc, SB_LINEDOWN); return 0;
        case VK_PRIOR: Scroll(hwnd, v.textProc, SB_PAGEUP); return 0;
        case VK_NEXT: Scroll(hwnd, v.textProc, SB_PAGEDOWN); return 0;
        case VK_HOME:
            if (ctrl) break;
            Scroll(hwnd, v.textProc, SB_TOP);
            return 0;
        case VK_END:
            if (ctrl) break;
            Scroll(hwnd, v.textProc, SB_BOTTOM);
            return 0;
        case VK_TAB: SelectLink(v, GetKeyState(VK_SHIFT) >= 0); return 0;
        case VK_RETURN: FollowSelectedLink(v); return 0;
        case VK_BACK: GoBack(v); return 0;
        case VK_ESCAPE: PostMessageW(v.window, WM_CLOSE, 0, 0); return 0;
        default: break;
        }
        break;
    }
    case WM_SYSKEYDOWN:
        if (wParam == VK_LEFT) {
            GoBack(v);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\t' || wParam == L'\r' || wParam == L'\b' || wParam == 27) return 0;
        break;
    default: break;
    }
    return CallWindowProcW(v.textProc, hwnd, message, wParam, lParam);
}

const WCHAR *RichEditClass() {
    if (LoadLibraryW(L"msftedit.dll")) return MSFTEDIT_CLASS;
    if (LoadLibraryW(L"riched20.dll")) return RICHEDIT_CLASSW;
    return nullptr;
}

HWND MakeButton(HWND parent, const WCHAR *text, int id, HFONT font) {
    HWND b = CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                             nullptr);
    SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return b;
}

bool CreateChildren(Viewer &v) {
    const WCHAR *richClass = RichEditClass();
    if (!richClass) return false;
    HDC screen = GetDC(nullptr);
    int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    v.font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    v.back = MakeButton(v.window, L"Zur\u00FCck", IDC_HELP_BACK, v.font);
    v.contents = MakeButton(v.window, L"Anfang", IDC_HELP_CONTENTS, v.font);
    v.text = CreateWindowExW(WS_EX_CLIENTEDGE, richClass, L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                 ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL,
                             0, 0, 0, 0, v.window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_HELP_TEXT)), nullptr,
                             nullptr);
    if (!v.text) return false;
    SendMessageW(v.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SendMessageW(v.text, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageW(v.text, EM_AUTOURLDETECT, FALSE, 0);
    SendMessageW(v.text, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(3, 3));
    v.textProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(v.text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextProc)));
    return true;
}

void Layout(Viewer &v) {
    RECT rc;
    GetClientRect(v.window, &rc);
    MoveWindow(v.back, 2, 2, 64, kBarHeight - 4, TRUE);
    MoveWindow(v.contents, 68, 2, 56, kBarHeight - 4, TRUE);
    MoveWindow(v.text, 0, kBarHeight, rc.right, rc.bottom - kBarHeight, TRUE);
}

// The viewer being created, until its window takes it over.
Viewer *creating = nullptr;

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Viewer *v = ViewerOf(hwnd);
    switch (message) {
    case WM_NCCREATE: {
        auto *created = reinterpret_cast<CREATESTRUCTW *>(lParam);
        v = static_cast<Viewer *>(created->lpCreateParams);
        v->window = hwnd;
        creating = nullptr;  // from now on the window owns it
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
        break;
    }
    case WM_CREATE: return CreateChildren(*v) ? 0 : -1;
    case WM_SIZE: Layout(*v); return 0;
    case WM_SETFOCUS: SetFocus(v->text); return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(v->text);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_HELP_BACK) GoBack(*v);
        if (LOWORD(wParam) == IDC_HELP_CONTENTS) Show(*v, 0, 0, L"", true);
        if (LOWORD(wParam) == IDC_HELP_BACK || LOWORD(wParam) == IDC_HELP_CONTENTS) {
            SetFocus(v->text);
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto *header = reinterpret_cast<NMHDR *>(lParam);
        if (header->hwndFrom != v->text || header->code != EN_LINK) return 0;
        auto *link = reinterpret_cast<ENLINK *>(lParam);
        if (link->msg == WM_LBUTTONUP) {
            // Followed after the control has finished with the click that it reports.
            if (const LinkRange *l = LinkAt(*v, link->chrg.cpMin))
                PostMessageW(hwnd, WM_FOLLOW_LINK, static_cast<WPARAM>(l->anchor), 0);
        }
        return 0;
    }
    case WM_FOLLOW_LINK:
        if (wParam < v->doc.anchors.size()) ShowAnchor(*v, static_cast<int>(wParam), true);
        return 0;
    case WM_COPYDATA: {
        auto *data = reinterpret_cast<COPYDATASTRUCT *>(lParam);
        // A viewer still opening (or reporting its file) refuses, and the asking viewer opens
        // its own window instead.
        if (!v->ready || data->dwData != kHelpRequestData || data->cbData < sizeof(WCHAR) ||
            data->cbData > 64 * 1024 || !data->lpData)
            return FALSE;
        std::wstring request(static_cast<const WCHAR *>(data->lpData),
                             data->cbData / sizeof(WCHAR));
        request.resize(wcsnlen(request.c_str(), request.size()));
        if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
        SetForegroundWindow(hwnd);
        Navigate(*v, request, true);
        return TRUE;
    }
    case WM_DESTROY:
        if (v->quitOnClose) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        if (v) {
            DeleteObject(v->font);
            delete v;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        }
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND Open(HINSTANCE instance, const WCHAR *request, const WCHAR *folder, bool quitOnClose) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kHelpViewerClass;
    RegisterClassW(&wc);  // fails harmlessly when a test opens a second viewer

    auto *v = new Viewer;
    v->folder = folder;
    v->quitOnClose = quitOnClose;
    creating = v;
    // The whole work area: the viewer is made for the handheld's 240x320 screen.
    RECT work{0, 0, 240, 320};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND hwnd = CreateWindowExW(0, kHelpViewerClass, kCaption,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                                work.left, work.top, work.right - work.left, work.bottom - work.top,
                                nullptr, nullptr, instance, v);
    if (!hwnd) {
        delete creating;  // still ours when the window never came to exist
        creating = nullptr;
        return nullptr;
    }
    if (!Navigate(*v, request, false)) {
        v->quitOnClose = false;
        DestroyWindow(hwnd);
        return nullptr;
    }
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    SetFocus(v->text);
    v->ready = true;
    return hwnd;
}

}  // namespace

HWND OpenHelpViewer(HINSTANCE instance, const WCHAR *request, const WCHAR *folder) {
    return Open(instance, request, folder, false);
}

int HelpViewerMain(HINSTANCE instance, const WCHAR *request) {
    // One viewer at a time: a later request goes to the running viewer, which shows it.
    HANDLE once = CreateMutexW(nullptr, FALSE, L"PegHelp.Viewer");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        for (int i = 0; i < 50; ++i) {
            if (HWND running = FindWindowW(kHelpViewerClass, nullptr)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(running, &pid);
                AllowSetForegroundWindow(pid);
                size_t length = lstrlenW(request);
                COPYDATASTRUCT data{kHelpRequestData,
                                    static_cast<DWORD>((length + 1) * sizeof(WCHAR)),
                                    const_cast<WCHAR *>(request)};
                DWORD_PTR answer = 0;
                if (SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                        SMTO_ABORTIFHUNG, 10000, &answer) &&
                    answer) {
                    CloseHandle(once);
                    return 0;
                }
            }
            Sleep(100);  // the other viewer is still starting
        }
    }
    WCHAR folder[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, folder, MAX_PATH);
    folder[n < MAX_PATH ? n : 0] = 0;
    WCHAR *slash = wcsrchr(folder, L'\\');
    if (slash)
        slash[1] = 0;
    else
        folder[0] = 0;
    HWND viewer = Open(instance, request, folder, true);
    int code = 1;
    if (viewer) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        code = 0;
    }
    if (once) CloseHandle(once);
    return code;
}
