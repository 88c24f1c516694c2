// The help viewer's window. The text is a rich-edit control (msftedit, else riched20): it wraps,
// scrolls, selects and copies, and draws bold, italic and underlined runs. Drawing and laying out
// text by hand would only repeat what it does.
// Each page goes into the control as one RTF stream, and the positions of its blocks and links
// are counted while the stream is written; links are found and followed by the viewer itself.
#include "platform/help_viewer/help_viewer.h"

#include <richedit.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "platform/help_viewer/help_document.h"
#include "platform/message_box_fit.h"

const WCHAR kHelpViewerClass[] = L"PegHelp";

namespace {

const WCHAR kCaption[] = L"Hilfe";
const WCHAR kTitlePrefix[] = L"Hilfe: ";
const WCHAR kNotFound[] = L"Die Hilfedatei \u201E%s\u201C wurde nicht gefunden.";
const WCHAR kUnreadable[] = L"Die Hilfedatei \u201E%s\u201C kann nicht gelesen werden.";
const WCHAR kTooLarge[] =
    L"Die Hilfedatei \u201E%s\u201C ist zu gro\u00DF: sie darf h\u00F6chstens 128 KB haben.";
const WCHAR kNoText[] = L"Die Hilfedatei \u201E%s\u201C enth\u00E4lt keinen Hilfetext.";
const WCHAR kNoFile[] = L"Es wurde keine Hilfedatei angegeben.";
const WCHAR kUnknownAnchor[] =
    L"Zum Stichwort \u201E%s\u201C gibt es in dieser Hilfe keinen Abschnitt. Hier ist ihr "
    L"Anfang.";

constexpr UINT WM_FOLLOW_LINK = WM_APP + 1;  // wParam: anchor index
// The largest help file shown (the program's own is about 17 kB). Reading, parsing and showing
// take time and memory in proportion to the file, but the rich-edit control of Wine needs about
// 1.5 kB of memory for every character it lays out: a file of this size takes up to about 200 MB
// and a few seconds.
constexpr LONGLONG kMaxFileSize = 128 << 10;
constexpr int kBarHeight = 24;
// The longest run of text handed to the control in one piece (UTF-16 units); see PageWriter.
constexpr size_t kPieceUnits = 32;

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
    // A name too long for a line of the small screen keeps its beginning and its end.
    std::wstring name = ShortName(file);
    if (name.size() > 40) name = name.substr(0, 24) + L"\u2026" + name.substr(name.size() - 15);
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
    bool ok = GetFileSizeEx(file, &size);
    if (ok && size.QuadPart > kMaxFileSize) {
        CloseHandle(file);
        return kTooLarge;
    }
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

// The vowel signs and other combining marks of the Arabic script. Wine's Uniscribe, which the
// control calls to shape and place the glyphs of Arabic text (ScriptPlace), reads past the glyphs
// of a run when it positions one of these marks with the font's mark tables (GPOS), and the viewer
// crashes as soon as the line is laid out. The viewer leaves them out: Arabic text stays readable
// without its vowel signs.
bool IsArabicMark(char16_t c) {
    return (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F) || c == 0x0670 ||
           (c >= 0x06D6 && c <= 0x06DC) || (c >= 0x06DF && c <= 0x06E4) || c == 0x06E7 ||
           c == 0x06E8 || (c >= 0x06EA && c <= 0x06ED) || (c >= 0x08D3 && c <= 0x08FF);
}

// A page written as RTF for the control, which then reads and lays out the whole page at once.
// Inserted run by run, the control lays out the paragraph again after every run, and on a long
// paragraph time and memory grow with the square of its length. Character positions of blocks
// and links are counted while writing: every UTF-16 unit, tab and paragraph end is one position.
//
// The text goes in pieces of at most kPieceUnits, each a run of its own: the control measures
// and shapes a run as a whole each time it breaks a line in it, and it draws a run with one call
// of the system's text drawing. Neighbouring pieces alternate between two colours that look the
// same (the window's text colour and that colour named, the links' blue and a blue one step
// lighter), so that the control does not join them again.
class PageWriter {
public:
    PageWriter() {
        const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
        auto colour = [](COLORREF c) {
            return "\\red" + std::to_string(GetRValue(c)) + "\\green" +
                   std::to_string(GetGValue(c)) + "\\blue" + std::to_string(GetBValue(c)) + ";";
        };
        // Colour 0 is the window's text colour (automatic), 1 the same named, 2 and 3 the links'.
        rtf_ =
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 "
            "Tahoma;}}{\\colortbl ;" +
            colour(text) + colour(RGB(0, 0, 204)) + colour(RGB(0, 0, 205)) + "}\\f0\\fs" +
            std::to_string(kTextSize / 10) + " ";
    }
    LONG position() const { return position_; }
    // Begins a paragraph; start and hang in twips, as PARAFORMAT's indent and offset.
    void paragraph(LONG start, LONG hang, LONG spaceBefore) {
        if (!first_) {
            rtf_ += "\\par";
            ++position_;
        }
        first_ = false;
        rtf_ += "\\pard\\li" + std::to_string(start + hang) + "\\fi" + std::to_string(-hang) +
                "\\sb" + std::to_string(spaceBefore) + "\\sa0\\tx" +
                std::to_string(start + (hang ? hang : kHang)) + " ";
    }
    // Text in one format; a line break ('\n') goes on in a new paragraph of the same format.
    void text(std::u16string_view t, LONG size, bool bold, bool italic, bool link) {
        for (size_t at = 0; at < t.size();) {
            size_t n = std::min(kPieceUnits, t.size() - at);
            if (at + n < t.size() && IS_HIGH_SURROGATE(t[at + n - 1])) --n;
            rtf_ += "{\\fs" + std::to_string(size / 10) + (bold ? "\\b" : "") +
                    (italic ? "\\i" : "") + (link ? "\\ul" : "") + "\\cf" +
                    std::to_string((link ? 2 : 0) + piece_++ % 2) + " ";
            for (size_t k = at; k < at + n; ++k) put(t[k]);
            rtf_ += "}";
            at += n;
        }
    }
    void tab() {
        rtf_ += "\\tab ";
        ++position_;
    }
    const std::string &finish() {
        rtf_ += "}";
        return rtf_;
    }

private:
    void put(char16_t c) {
        if (IsArabicMark(c)) return;
        if (c == u'\n') {
            rtf_ += "\\par ";
        } else if (c == u'\t') {
            rtf_ += "\\tab ";
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            rtf_ += '\\';
            rtf_ += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x80) {
            rtf_ += static_cast<char>(c);
        } else {
            rtf_ += "\\u" + std::to_string(static_cast<short>(c)) + "?";
        }
        ++position_;
    }

    std::string rtf_;
    LONG position_ = 0;
    bool first_ = true;
    unsigned piece_ = 0;
};

struct StreamSource {
    const std::string *data;
    size_t offset;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG *given) {
    auto *source = reinterpret_cast<StreamSource *>(cookie);
    size_t n = std::min(static_cast<size_t>(wanted), source->data->size() - source->offset);
    memcpy(buffer, source->data->data() + source->offset, n);
    source->offset += n;
    *given = static_cast<LONG>(n);
    return 0;
}

// Fills the control with one page, and notes where its blocks and links begin.
void RenderPage(Viewer &v, const std::wstring &notice) {
    const help::Page &page = v.doc.pages[v.page];
    v.links.clear();
    v.blockStart.clear();
    PageWriter w;
    if (!notice.empty()) {
        w.paragraph(0, 0, 0);
        w.text(std::u16string(notice.begin(), notice.end()), kTextSize, false, true, false);
    }
    bool first = notice.empty();
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
        w.paragraph(start, hang, first ? 0 : spaceBefore);
        first = false;
        v.blockStart.push_back(w.position());
        if (block.kind == help::BlockKind::ListItem) {
            std::string number = std::to_string(block.number) + ".";
            w.text(block.number ? std::u16string(number.begin(), number.end()) : u"\u2022", size,
                   false, false, false);
            w.tab();
        }
        for (const help::Run &run : block.runs) {
            bool link = run.link >= 0 && v.doc.links[run.link].anchor >= 0;
            LONG begin = w.position();
            w.text(run.text, size, bold || run.bold, run.italic, link);
            if (link)
                v.links.push_back(LinkRange{begin, w.position(), v.doc.links[run.link].anchor});
        }
    }
    StreamSource source{&w.finish(), 0};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, ReadStream};
    SendMessageW(v.text, WM_SETREDRAW, FALSE, 0);
    SendMessageW(v.text, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    SendMessageW(v.text, EM_SETSEL, 0, 0);
    SendMessageW(v.text, WM_SETREDRAW, TRUE, 0);
    SendMessageW(v.text, WM_VSCROLL, SB_TOP, 0);  // the stream left it at its end
    InvalidateRect(v.text, nullptr, TRUE);
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
    // The system measures a caption again for every character it cuts off to fit it: a heading of
    // a hundred thousand characters would keep the viewer busy for minutes.
    if (heading.size() > 200) {
        size_t keep = IS_HIGH_SURROGATE(heading[199]) ? 199 : 200;
        heading = heading.substr(0, keep) + L"\u2026";
    }
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

// The link at a character position; the links lie in the order of the text.
const LinkRange *LinkAt(const Viewer &v, LONG cp) {
    auto after = std::upper_bound(v.links.begin(), v.links.end(), cp,
                                  [](LONG c, const LinkRange &l) { return c < l.begin; });
    if (after == v.links.begin()) return nullptr;
    const LinkRange &l = *(after - 1);
    return cp < l.end ? &l : nullptr;
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

// The character under a point of the text's client area; -1 when the point lies beside the text
// (past the end of its line, or below the last one).
LONG CharAt(HWND text, LPARAM xy) {
    POINTL pt{GET_X_LPARAM(xy), GET_Y_LPARAM(xy)};
    LONG cp =
        static_cast<LONG>(SendMessageW(text, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&pt)));
    // The control names the nearest character also for a point beside it: only a point on the
    // character's own cell counts.
    POINTL at{}, next{};
    SendMessageW(text, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), cp);
    SendMessageW(text, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&next), cp + 1);
    const LONG right = next.y == at.y && next.x > at.x ? next.x : at.x + 16;
    if (pt.x < at.x - 1 || pt.x > right + 1 || pt.y < at.y - 2 || pt.y > at.y + 40) return -1;
    return cp;
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
    case WM_LBUTTONUP: {
        // A click on a link follows it, after the control has finished with the click; a drag
        // that selected text does not.
        LRESULT done = CallWindowProcW(v.textProc, hwnd, message, wParam, lParam);
        CHARRANGE sel{};
        SendMessageW(hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
        if (sel.cpMin == sel.cpMax)
            if (const LinkRange *l = LinkAt(v, CharAt(hwnd, lParam)))
                PostMessageW(v.window, WM_FOLLOW_LINK, static_cast<WPARAM>(l->anchor), 0);
        return done;
    }
    case WM_SETCURSOR: {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(hwnd, &pt);
        if (LOWORD(lParam) == HTCLIENT && LinkAt(v, CharAt(hwnd, MAKELPARAM(pt.x, pt.y)))) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
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
    InstallMessageBoxFit();  // its messages fit the small screen
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
