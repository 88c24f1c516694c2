#include "help_document.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace help {

namespace {

// Windows-1252 for the bytes 0x80 to 0x9F; the other bytes are Latin-1.
const char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

struct NamedEntity {
    const char *name;
    char32_t value;
};

// The entities a German help text needs, and the markup ones.
const NamedEntity kEntities[] = {
    {"amp", U'&'},      {"lt", U'<'},       {"gt", U'>'},       {"quot", U'"'},
    {"apos", U'\''},    {"nbsp", 0xA0},     {"auml", 0xE4},     {"ouml", 0xF6},
    {"uuml", 0xFC},     {"Auml", 0xC4},     {"Ouml", 0xD6},     {"Uuml", 0xDC},
    {"szlig", 0xDF},    {"eacute", 0xE9},   {"egrave", 0xE8},   {"agrave", 0xE0},
    {"aacute", 0xE1},   {"ndash", 0x2013},  {"mdash", 0x2014},  {"hellip", 0x2026},
    {"bdquo", 0x201E},  {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"sbquo", 0x201A},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"laquo", 0xAB},    {"raquo", 0xBB},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"copy", 0xA9},     {"reg", 0xAE},
    {"trade", 0x2122},  {"euro", 0x20AC},   {"shy", 0xAD},      {"middot", 0xB7},
    {"times", 0xD7},    {"bull", 0x2022},   {"rarr", 0x2192},   {"larr", 0x2190},
    {"sect", 0xA7},     {"deg", 0xB0},      {"thinsp", 0x2009}, {"minus", 0x2212},
};

void AppendCodePoint(std::u16string &out, char32_t c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// One character of the input at pos: valid UTF-8, else one Windows-1252 byte.
char32_t NextChar(std::string_view s, size_t &pos) {
    auto byte = [&](size_t i) { return static_cast<std::uint8_t>(s[i]); };
    std::uint8_t b = byte(pos);
    if (b < 0x80) {
        ++pos;
        return b;
    }
    int more = b >= 0xF0 && b <= 0xF4   ? 3
               : b >= 0xE0 && b <= 0xEF ? 2
               : b >= 0xC2 && b <= 0xDF ? 1
                                        : 0;
    if (more && pos + more < s.size()) {
        char32_t c = b & (0x3F >> more);
        bool ok = true;
        for (int k = 1; k <= more; ++k) {
            std::uint8_t t = byte(pos + k);
            if ((t & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
        static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (ok && c >= kMin[more] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
            pos += more + 1;
            return c;
        }
    }
    ++pos;
    return b < 0xA0 ? kCp1252High[b - 0x80] : b;
}

// An entity at s[pos] == '&': its character, and pos after it; false when it is none.
bool ReadEntity(std::string_view s, size_t &pos, char32_t *out) {
    size_t end = pos + 1;
    while (end < s.size() && end - pos <= 32 &&
           ((s[end] >= 'a' && s[end] <= 'z') || (s[end] >= 'A' && s[end] <= 'Z') ||
            (s[end] >= '0' && s[end] <= '9') || s[end] == '#'))
        ++end;
    if (end >= s.size() || s[end] != ';' || end == pos + 1) return false;
    std::string_view name = s.substr(pos + 1, end - pos - 1);
    if (name[0] == '#') {
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return false;
        char32_t value = 0;
        for (char d : digits) {
            int v = d >= '0' && d <= '9'          ? d - '0'
                    : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                    : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                  : -1;
            if (v < 0) return false;
            value = value * (hex ? 16 : 10) + v;
            if (value > 0x10FFFF) value = 0x110000;  // stays out of range, never overflows
        }
        *out = value;
    } else {
        auto found = std::find_if(std::begin(kEntities), std::end(kEntities),
                                  [&](const NamedEntity &e) { return name == e.name; });
        if (found == std::end(kEntities)) return false;
        *out = found->value;
    }
    pos = end + 1;
    return true;
}

// Raw text with character references, decoded to UTF-16.
std::u16string Decode(std::string_view s) {
    std::u16string out;
    size_t pos = 0;
    while (pos < s.size()) {
        char32_t c;
        if (s[pos] == '&' && ReadEntity(s, pos, &c)) {
            AppendCodePoint(out, c);
            continue;
        }
        c = NextChar(s, pos);
        // Control characters are no text; blanks and line ends are.
        if (c < 0x20 && c != U'\t' && c != U'\n' && c != U'\r' && c != U'\f') continue;
        AppendCodePoint(out, c);
    }
    return out;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct Attribute {
    std::string name;  // lower case
    std::u16string value;
};

struct Tag {
    std::string name;  // lower case
    bool closing = false;
    bool selfClosing = false;
    std::vector<Attribute> attributes;

    const std::u16string *attribute(const char *wanted) const {
        for (const Attribute &a : attributes)
            if (a.name == wanted) return &a.value;
        return nullptr;
    }
};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// Reads a tag that starts at s[pos] == '<' and ends after its '>'; false (pos unchanged) when
// the text there is no tag. A tag cut off by the end of the input takes the rest of it.
bool ReadTag(std::string_view s, size_t &pos, Tag *tag) {
    size_t p = pos + 1;
    if (p < s.size() && s[p] == '/') {
        tag->closing = true;
        ++p;
    }
    // A tag name begins with a letter; "3<4" or "a < b" is text.
    if (p >= s.size() || !((s[p] >= 'a' && s[p] <= 'z') || (s[p] >= 'A' && s[p] <= 'Z')))
        return false;
    size_t nameStart = p;
    while (p < s.size() && IsNameChar(s[p])) ++p;
    tag->name = Lower(s.substr(nameStart, p - nameStart));
    while (p < s.size()) {
        while (p < s.size() && IsAsciiSpace(s[p])) ++p;
        if (p >= s.size()) break;
        if (s[p] == '>') {
            ++p;
            pos = p;
            return true;
        }
        if (s[p] == '/') {
            tag->selfClosing = true;
            ++p;
            continue;
        }
        size_t attrStart = p;
        while (p < s.size() && !IsAsciiSpace(s[p]) && s[p] != '=' && s[p] != '>' && s[p] != '/')
            ++p;
        if (p == attrStart) {  // a stray '=': skip it
            ++p;
            continue;
        }
        Attribute a;
        a.name = Lower(s.substr(attrStart, p - attrStart));
        while (p < s.size() && IsAsciiSpace(s[p])) ++p;
        if (p < s.size() && s[p] == '=') {
            ++p;
            while (p < s.size() && IsAsciiSpace(s[p])) ++p;
            size_t valueStart = p, valueEnd;
            if (p < s.size() && (s[p] == '"' || s[p] == '\'')) {
                char quote = s[p];
                valueStart = ++p;
                while (p < s.size() && s[p] != quote) ++p;
                valueEnd = p;
                if (p < s.size()) ++p;
            } else {
                while (p < s.size() && !IsAsciiSpace(s[p]) && s[p] != '>') ++p;
                valueEnd = p;
            }
            a.value = Decode(s.substr(valueStart, valueEnd - valueStart));
        }
        tag->attributes.push_back(std::move(a));
    }
    pos = s.size();
    return true;
}

class Parser {
public:
    Document run(std::string_view s);

private:
    void text(const std::u16string &t);
    void tag(const Tag &t);
    void anchor(const std::u16string &name);
    Block *open() { return blockOpen_ ? &doc_.pages.back().blocks.back() : nullptr; }
    void startBlock(BlockKind kind, int depth, int number);
    void closeBlock();
    void placeAnchors(int page, int block);
    void append(char16_t c);
    void lineBreak();

    Document doc_;
    bool blockOpen_ = false;
    // The anchors from this index on have no place yet: they name the open block, or the next
    // block that keeps some text (an empty block is dropped, and its anchors wait with the rest).
    // Each anchor is placed once, so that any number of anchors and empty blocks costs no more
    // than reading them.
    size_t unplaced_ = 0;
    bool pendingSpace_ = false;
    int bold_ = 0, italic_ = 0, link_ = -1;
    struct List {
        bool ordered;
        int counter;
    };
    std::vector<List> lists_;
    bool inTitle_ = false;
};

void Parser::startBlock(BlockKind kind, int depth, int number) {
    closeBlock();
    if (kind == BlockKind::Heading1 || doc_.pages.empty()) doc_.pages.emplace_back();
    Page &page = doc_.pages.back();
    page.blocks.push_back(Block{kind, depth, number, {}});
    blockOpen_ = true;
    pendingSpace_ = false;
}

void Parser::placeAnchors(int page, int block) {
    for (; unplaced_ < doc_.anchors.size(); ++unplaced_) {
        doc_.anchors[unplaced_].page = page;
        doc_.anchors[unplaced_].block = block;
    }
}

void Parser::closeBlock() {
    if (!blockOpen_) return;
    blockOpen_ = false;
    Page &page = doc_.pages.back();
    Block &block = page.blocks.back();
    // Trailing blanks and line breaks end nowhere.
    while (!block.runs.empty()) {
        std::u16string &t = block.runs.back().text;
        while (!t.empty() && (t.back() == u' ' || t.back() == u'\n')) t.pop_back();
        if (!t.empty()) break;
        block.runs.pop_back();
    }
    if (block.runs.empty()) {
        // An empty block is dropped; its anchors wait for the next one.
        page.blocks.pop_back();
        if (page.blocks.empty() && doc_.pages.size() > 0) doc_.pages.pop_back();
        return;
    }
    placeAnchors(static_cast<int>(doc_.pages.size()) - 1, static_cast<int>(page.blocks.size()) - 1);
    if (block.kind == BlockKind::Heading1 && page.blocks.size() == 1) {
        page.heading = BlockText(block);
        for (char16_t &c : page.heading)
            if (c == u'\n') c = u' ';
    }
}

void Parser::append(char16_t c) {
    Block *block = open();
    std::vector<Run> &runs = block->runs;
    bool lineStart = runs.empty() || runs.back().text.empty() || runs.back().text.back() == u'\n';
    if (IsSpace(c)) {
        if (!lineStart) pendingSpace_ = true;
        return;
    }
    bool bold = bold_ > 0, italic = italic_ > 0;
    if (runs.empty() || runs.back().bold != bold || runs.back().italic != italic ||
        runs.back().link != link_)
        runs.push_back(Run{{}, bold, italic, link_});
    if (pendingSpace_) {
        // The blank between two runs belongs to the earlier one unless that is a link, so that a
        // link's underline does not reach into the space after it.
        Run &last = runs.back();
        if (last.text.empty() && runs.size() >= 2 && runs[runs.size() - 2].link < 0)
            runs[runs.size() - 2].text += u' ';
        else
            last.text += u' ';
    }
    pendingSpace_ = false;
    runs.back().text += c;
}

void Parser::lineBreak() {
    Block *block = open();
    if (!block || block->runs.empty()) return;  // nothing to break yet
    block->runs.back().text += u'\n';
    pendingSpace_ = false;
}

void Parser::text(const std::u16string &t) {
    if (inTitle_) {
        for (char16_t c : t) {
            if (IsSpace(c)) {
                if (!doc_.title.empty() && doc_.title.back() != u' ') doc_.title += u' ';
            } else {
                doc_.title += c;
            }
        }
        return;
    }
    if (!blockOpen_) {
        if (std::all_of(t.begin(), t.end(), IsSpace)) return;
        startBlock(BlockKind::Paragraph, static_cast<int>(lists_.size()), 0);
    }
    for (char16_t c : t)
        if (c >= 0x20 || IsSpace(c)) append(c);
}

void Parser::anchor(const std::u16string &name) {
    if (!name.empty()) doc_.anchors.push_back(Anchor{name, 0, 0});
}

void Parser::tag(const Tag &t) {
    const std::string &n = t.name;
    bool heading = n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6';
    if (t.closing) {
        if (heading || n == "p" || n == "div" || n == "li" || n == "blockquote")
            closeBlock();
        else if (n == "ul" || n == "ol") {
            closeBlock();
            if (!lists_.empty()) lists_.pop_back();
        } else if (n == "b" || n == "strong")
            bold_ = std::max(0, bold_ - 1);
        else if (n == "i" || n == "em")
            italic_ = std::max(0, italic_ - 1);
        else if (n == "a")
            link_ = -1;
        else if (n == "title")
            inTitle_ = false;
        return;
    }
    int depth = static_cast<int>(lists_.size());
    if (heading) {
        startBlock(n[1] == '1'   ? BlockKind::Heading1
                   : n[1] == '2' ? BlockKind::Heading2
                                 : BlockKind::Heading3,
                   0, 0);
    } else if (n == "p" || n == "div" || n == "blockquote") {
        // A paragraph that opens a list item is the item's own text.
        Block *b = open();
        if (!(b && b->kind == BlockKind::ListItem && b->runs.empty()))
            startBlock(BlockKind::Paragraph, depth, 0);
    } else if (n == "ul" || n == "ol") {
        closeBlock();
        lists_.push_back(List{n == "ol", 0});
    } else if (n == "li") {
        int number = !lists_.empty() && lists_.back().ordered ? ++lists_.back().counter : 0;
        startBlock(BlockKind::ListItem, std::max(depth, 1), number);
    } else if (n == "br") {
        lineBreak();
    } else if (n == "b" || n == "strong") {
        if (!t.selfClosing) ++bold_;
    } else if (n == "i" || n == "em") {
        if (!t.selfClosing) ++italic_;
    } else if (n == "a") {
        if (const std::u16string *href = t.attribute("href")) {
            size_t hash = href->rfind(u'#');
            doc_.links.push_back(
                Link{hash == std::u16string::npos ? std::u16string() : href->substr(hash + 1), -1});
            link_ = t.selfClosing ? -1 : static_cast<int>(doc_.links.size()) - 1;
        }
        if (const std::u16string *name = t.attribute("name")) anchor(*name);
    } else if (n == "title") {
        inTitle_ = !t.selfClosing;
    }
    if (const std::u16string *id = t.attribute("id")) anchor(*id);
    if (t.selfClosing && (heading || n == "p" || n == "div" || n == "li")) closeBlock();
}

Document Parser::run(std::string_view s) {
    // A byte-order mark says nothing more than that the text is UTF-8.
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    size_t pos = 0;
    while (pos < s.size()) {
        if (s[pos] != '<') {
            size_t end = s.find('<', pos);
            if (end == std::string_view::npos) end = s.size();
            text(Decode(s.substr(pos, end - pos)));
            pos = end;
            continue;
        }
        if (s.compare(pos, 4, "<!--") == 0) {
            size_t end = s.find("-->", pos + 4);
            pos = end == std::string_view::npos ? s.size() : end + 3;
            continue;
        }
        if (pos + 1 < s.size() && (s[pos + 1] == '!' || s[pos + 1] == '?')) {
            size_t end = s.find('>', pos);
            pos = end == std::string_view::npos ? s.size() : end + 1;
            continue;
        }
        Tag t;
        if (!ReadTag(s, pos, &t)) {
            text(u"<");
            ++pos;
            continue;
        }
        if (!t.closing && !t.selfClosing && (t.name == "script" || t.name == "style")) {
            // Their content is not text; skip to the closing tag, whatever it holds.
            std::string close = "</" + t.name;
            size_t end = pos;
            while (true) {
                end = s.find("</", end);
                if (end == std::string_view::npos || Lower(s.substr(end, close.size())) == close)
                    break;
                end += 2;
            }
            if (end == std::string_view::npos) {
                pos = s.size();
            } else {
                size_t gt = s.find('>', end);
                pos = gt == std::string_view::npos ? s.size() : gt + 1;
            }
            continue;
        }
        tag(t);
    }
    closeBlock();
    while (!doc_.title.empty() && doc_.title.back() == u' ') doc_.title.pop_back();
    // Anchors after the last text point to the end of the last page; without a page they name
    // nothing.
    if (doc_.pages.empty())
        doc_.anchors.clear();
    else
        placeAnchors(static_cast<int>(doc_.pages.size()) - 1,
                     static_cast<int>(doc_.pages.back().blocks.size()));
    // Each link looks its target up once (the first anchor of a name counts, as in find).
    std::unordered_map<std::u16string_view, int> byName;
    for (size_t a = 0; a < doc_.anchors.size(); ++a)
        byName.emplace(doc_.anchors[a].name, static_cast<int>(a));
    for (Link &l : doc_.links) {
        auto found = byName.find(l.target);
        l.anchor = found == byName.end() ? -1 : found->second;
    }
    return std::move(doc_);
}

}  // namespace

const Anchor *Document::find(std::u16string_view name) const {
    if (name.empty()) return nullptr;
    for (const Anchor &a : anchors)
        if (a.name == name) return &a;
    return nullptr;
}

Document Parse(std::string_view html) { return Parser().run(html); }

std::u16string BlockText(const Block &block) {
    std::u16string out;
    for (const Run &r : block.runs) out += r.text;
    return out;
}

void SplitRequest(std::u16string_view request, std::u16string *file, std::u16string *anchor) {
    size_t hash = request.rfind(u'#');
    if (hash == std::u16string_view::npos) {
        *file = request;
        anchor->clear();
    } else {
        *file = request.substr(0, hash);
        *anchor = request.substr(hash + 1);
    }
}

}  // namespace help
