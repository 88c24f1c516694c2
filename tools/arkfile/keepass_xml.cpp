#include "keepass_xml.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <expat.h>
#include <sys/random.h>
#include <unordered_map>

// ---- Writing ---------------------------------------------------------------------------------

bool appendXmlText(std::string &out, std::string_view utf8) {
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    }
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        default: out.push_back(c); break;
        }
    }
    return true;
}

namespace {

// A version 4 UUID in base64, as KeePass writes its ids; every group and entry needs its own.
std::string newUuid() {
    std::array<std::uint8_t, 16> id{};
    std::size_t got = 0;
    while (got < id.size()) {
        const ssize_t n = ::getrandom(id.data() + got, id.size() - got, 0);
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    id[6] = static_cast<std::uint8_t>((id[6] & 0x0F) | 0x40);
    id[8] = static_cast<std::uint8_t>((id[8] & 0x3F) | 0x80);
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < id.size(); i += 3) {
        const std::uint32_t b0 = id[i];
        const std::uint32_t b1 = i + 1 < id.size() ? id[i + 1] : 0;
        const std::uint32_t b2 = i + 2 < id.size() ? id[i + 2] : 0;
        const std::uint32_t v = (b0 << 16) | (b1 << 8) | b2;
        out.push_back(kDigits[(v >> 18) & 63]);
        out.push_back(kDigits[(v >> 12) & 63]);
        out.push_back(i + 1 < id.size() ? kDigits[(v >> 6) & 63] : '=');
        out.push_back(i + 2 < id.size() ? kDigits[v & 63] : '=');
    }
    return out;
}

void appendElement(std::string &out, std::string_view indent, std::string_view name,
                   std::string_view text) {
    out += indent;
    out += '<';
    out += name;
    out += '>';
    appendXmlText(out, text);
    out += "</";
    out += name;
    out += ">\n";
}

void appendEntry(std::string &out, const XmlEntry &e, std::string_view indent) {
    const std::string in1 = std::string(indent) + "\t";
    const std::string in2 = in1 + "\t";
    out += indent;
    out += "<Entry>\n";
    appendElement(out, in1, "UUID", newUuid());
    for (const XmlString &s : e.strings) {
        out += in1 + "<String>\n";
        appendElement(out, in2, "Key", s.key);
        out += in2 + (s.protect ? "<Value ProtectInMemory=\"True\">" : "<Value>");
        appendXmlText(out, s.value);
        out += "</Value>\n";
        out += in1 + "</String>\n";
    }
    out += indent;
    out += "</Entry>\n";
}

}  // namespace

std::string writeKeePassXml(const std::vector<XmlEntry> &entries) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<KeePassFile>\n"
        "\t<Meta>\n"
        "\t\t<Generator>arkfile</Generator>\n"
        "\t\t<DatabaseName>The Arkel</DatabaseName>\n"
        "\t\t<MemoryProtection>\n"
        "\t\t\t<ProtectTitle>False</ProtectTitle>\n"
        "\t\t\t<ProtectUserName>False</ProtectUserName>\n"
        "\t\t\t<ProtectPassword>True</ProtectPassword>\n"
        "\t\t\t<ProtectURL>False</ProtectURL>\n"
        "\t\t\t<ProtectNotes>False</ProtectNotes>\n"
        "\t\t</MemoryProtection>\n"
        "\t</Meta>\n"
        "\t<Root>\n"
        "\t\t<Group>\n";
    appendElement(out, "\t\t\t", "UUID", newUuid());
    appendElement(out, "\t\t\t", "Name", "Root");
    // Each group's entries, the groups in the order their names first appear.
    std::vector<std::vector<const XmlEntry *>> groups;
    std::unordered_map<std::string, std::size_t> groupIndex;
    for (const XmlEntry &e : entries) {
        if (e.group.empty()) {
            appendEntry(out, e, "\t\t\t");
            continue;
        }
        const auto [at, added] = groupIndex.try_emplace(e.group, groups.size());
        if (added) groups.emplace_back();
        groups[at->second].push_back(&e);
    }
    for (const auto &group : groups) {
        out += "\t\t\t<Group>\n";
        appendElement(out, "\t\t\t\t", "UUID", newUuid());
        appendElement(out, "\t\t\t\t", "Name", group.front()->group);
        for (const XmlEntry *e : group) appendEntry(out, *e, "\t\t\t\t");
        out += "\t\t\t</Group>\n";
    }
    out += "\t\t</Group>\n\t</Root>\n</KeePassFile>\n";
    return out;
}

// ---- Reading ---------------------------------------------------------------------------------

namespace {

constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxText = 1 << 20;
// Entries wait for the end of their group (whose name may come after them); a file that never
// closes its groups must not hold more than the store could take.
constexpr std::size_t kMaxPending = 65536 + 1;

struct Group {
    std::size_t depth = 0;  // of its element: the number of elements open inside it and above
    std::string name;
    std::string uuid;
    std::vector<XmlEntry> entries;
};

}  // namespace

struct KeePassXmlReader::State {
    EntryHandler handler;
    XML_Parser parser = nullptr;
    std::vector<std::string> path;  // open elements
    std::vector<Group> groups;      // open groups, the root group first
    std::size_t historyDepth = 0;   // > 0 inside an entry's history
    bool inEntry = false;
    XmlEntry entry;
    XmlString string;
    bool valueEncrypted = false;
    std::string text;
    bool collecting = false;
    std::string recycleBinUuid;
    bool recycleBinEnabled = true;
    std::size_t pending = 0;
    std::size_t handedOut = 0;
    std::size_t recycled = 0;
    bool stoppedByHandler = false;
    std::string error;
    std::size_t errorLine = 0, errorColumn = 0;

    void stop(std::string message) {
        if (error.empty() && !stoppedByHandler) {
            error = std::move(message);
            errorLine = XML_GetCurrentLineNumber(parser);
            errorColumn = XML_GetCurrentColumnNumber(parser) + 1;
        }
        XML_StopParser(parser, XML_FALSE);
    }

    bool parentIs(std::string_view name, std::size_t up = 1) const {
        return path.size() >= up + 1 && path[path.size() - 1 - up] == name;
    }

    void start(const char *name, const char **attrs) {
        const std::string_view n = name;
        if (path.size() >= kMaxDepth) return stop("elements nested more than 256 deep");
        if (path.empty() && n != "KeePassFile")
            return stop("not KeePass XML: the document is <" + std::string(n) +
                        ">, not <KeePassFile>");
        path.emplace_back(n);
        // The entry's earlier versions are no objects of their own.
        if (historyDepth > 0 || (n == "History" && inEntry)) {
            ++historyDepth;
            return;
        }
        // Only groups below <Root> and their own groups count, and only their entries.
        const bool inGroup = !groups.empty() && groups.back().depth == path.size() - 1;
        if (n == "Group" && (parentIs("Root") || (parentIs("Group") && inGroup))) {
            groups.emplace_back();
            groups.back().depth = path.size();
        } else if (n == "Entry" && !inEntry && parentIs("Group") && inGroup) {
            inEntry = true;
            entry = XmlEntry{};
            entry.line = XML_GetCurrentLineNumber(parser);
        } else if (inEntry && n == "String" && parentIs("Entry")) {
            string = XmlString{};
            valueEncrypted = false;
        } else if (inEntry && n == "Value" && parentIs("String")) {
            for (const char **a = attrs; a[0]; a += 2)
                if (std::strcmp(a[0], "Protected") == 0 && std::strcmp(a[1], "True") == 0)
                    valueEncrypted = true;
            collect();
        } else if (inEntry && n == "Key" && (parentIs("String") || parentIs("Binary"))) {
            collect();
        } else if (!inEntry && (n == "Name" || n == "UUID") && parentIs("Group")) {
            collect();
        } else if ((n == "RecycleBinUUID" || n == "RecycleBinEnabled") && parentIs("Meta")) {
            collect();
        }
    }

    void collect() {
        text.clear();
        collecting = true;
    }

    void characters(const char *s, int length) {
        if (!collecting) return;
        if (text.size() + static_cast<std::size_t>(length) > kMaxText)
            return stop("a text longer than " + std::to_string(kMaxText) + " bytes");
        text.append(s, static_cast<std::size_t>(length));
    }

    void end(const char *name) {
        const std::string n = name;
        collecting = false;
        path.pop_back();
        if (historyDepth > 0) {
            --historyDepth;
            return;
        }
        // The element that ends is a direct child of the innermost group, or that group itself.
        const bool parentGroup = !groups.empty() && groups.back().depth == path.size();
        const bool endsGroup = !groups.empty() && groups.back().depth == path.size() + 1;
        const bool parentMeta = !path.empty() && path.back() == "Meta";
        if (inEntry) {
            const bool parentString = !path.empty() && path.back() == "String";
            const bool parentBinary = !path.empty() && path.back() == "Binary";
            if (n == "Key" && parentString) {
                string.key = text;
            } else if (n == "Value" && parentString) {
                string.value = text;
            } else if (n == "Key" && parentBinary) {
                entry.attachments.push_back(text);
            } else if (n == "String" && !path.empty() && path.back() == "Entry") {
                if (valueEncrypted && entry.encryptedKey.empty()) entry.encryptedKey = string.key;
                entry.strings.push_back(std::move(string));
                string = XmlString{};
            } else if (n == "Entry" && parentGroup && path.back() == "Group") {
                inEntry = false;
                if (++pending > kMaxPending) return stop("more than 65536 entries");
                groups.back().entries.push_back(std::move(entry));
            }
            text.clear();
            return;
        }
        if (parentGroup && n == "Name") {
            groups.back().name = text;
        } else if (parentGroup && n == "UUID") {
            groups.back().uuid = text;
        } else if (parentMeta && n == "RecycleBinUUID") {
            recycleBinUuid = text;
        } else if (parentMeta && n == "RecycleBinEnabled") {
            recycleBinEnabled = text != "False";
        } else if (n == "Group" && endsGroup) {
            endGroup();
        }
        text.clear();
    }

    void endGroup() {
        Group group = std::move(groups.back());
        groups.pop_back();
        bool inRecycleBin = false;
        if (recycleBinEnabled && !recycleBinUuid.empty()) {
            inRecycleBin = group.uuid == recycleBinUuid;
            for (const Group &g : groups)
                if (g.uuid == recycleBinUuid) inRecycleBin = true;
        }
        std::string prefix;
        for (std::size_t i = 1; i < groups.size(); ++i) prefix += groups[i].name + "/";
        const std::string name = groups.empty() ? std::string() : prefix + group.name;
        for (XmlEntry &e : group.entries) {
            --pending;
            if (inRecycleBin) {
                ++recycled;
                continue;
            }
            e.group = name;
            e.number = ++handedOut;
            if (!handler(e)) {
                stoppedByHandler = true;
                XML_StopParser(parser, XML_FALSE);
                return;
            }
        }
    }
};

namespace {

using State = KeePassXmlReader::State;

void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **attrs) {
    static_cast<State *>(data)->start(name, attrs);
}
void XMLCALL onEnd(void *data, const XML_Char *name) { static_cast<State *>(data)->end(name); }
void XMLCALL onText(void *data, const XML_Char *s, int length) {
    static_cast<State *>(data)->characters(s, length);
}
// A document type declaration could define entities (and entities that expand into millions of
// others); no KeePass file has one.
void XMLCALL onDoctype(void *data, const XML_Char *, const XML_Char *, const XML_Char *, int) {
    static_cast<State *>(data)->stop("a document type declaration (<!DOCTYPE>), which is refused");
}
void XMLCALL onEntity(void *data, const XML_Char *, int, const XML_Char *, int, const XML_Char *,
                      const XML_Char *, const XML_Char *, const XML_Char *) {
    static_cast<State *>(data)->stop("an entity declaration, which is refused");
}

}  // namespace

KeePassXmlReader::KeePassXmlReader(EntryHandler handler) : state_(std::make_unique<State>()) {
    state_->handler = std::move(handler);
    state_->parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(state_->parser, state_.get());
    XML_SetElementHandler(state_->parser, onStart, onEnd);
    XML_SetCharacterDataHandler(state_->parser, onText);
    XML_SetStartDoctypeDeclHandler(state_->parser, onDoctype);
    XML_SetEntityDeclHandler(state_->parser, onEntity);
    XML_SetParamEntityParsing(state_->parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

KeePassXmlReader::~KeePassXmlReader() {
    if (state_->parser) XML_ParserFree(state_->parser);
}

bool KeePassXmlReader::feed(std::string_view bytes, bool last) {
    State &s = *state_;
    if (!s.error.empty() || s.stoppedByHandler) return false;
    const XML_Status status = XML_Parse(s.parser, bytes.data(), static_cast<int>(bytes.size()),
                                        last ? XML_TRUE : XML_FALSE);
    if (status == XML_STATUS_ERROR && s.error.empty() && !s.stoppedByHandler) {
        const XML_Error code = XML_GetErrorCode(s.parser);
        if (code != XML_ERROR_ABORTED) {
            s.error = std::string("malformed XML: ") + XML_ErrorString(code);
            s.errorLine = XML_GetCurrentLineNumber(s.parser);
            s.errorColumn = XML_GetCurrentColumnNumber(s.parser) + 1;
        }
    }
    return s.error.empty() && !s.stoppedByHandler;
}

const std::string &KeePassXmlReader::error() const { return state_->error; }
std::size_t KeePassXmlReader::errorLine() const { return state_->errorLine; }
std::size_t KeePassXmlReader::errorColumn() const { return state_->errorColumn; }
std::size_t KeePassXmlReader::recycled() const { return state_->recycled; }
