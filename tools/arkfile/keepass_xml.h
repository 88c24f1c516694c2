// KeePass 2 XML, the unencrypted form of a KeePass database that KeePass and KeePassXC export and
// import: a writer, and a reader (on expat) that takes the file as hostile input. A document type
// declaration is refused, so no entity is ever defined or expanded.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct XmlString {
    std::string key;
    std::string value;
    bool protect = false;  // written with ProtectInMemory="True"
};

struct XmlEntry {
    // The names of the groups from below the root group down to the entry's own, joined by "/";
    // empty for an entry of the root group.
    std::string group;
    std::vector<XmlString> strings;
    std::vector<std::string> attachments;  // keys of the entry's binary attachments
    std::string encryptedKey;  // a string whose value the file holds encrypted (Protected="True")
    std::size_t number = 0;    // 1-based, in the order the entries are handed out
    std::size_t line = 0;      // line of the file on which the entry starts
};

// Appends text as XML character data: &, < and > as references, a CR as &#13; (a parser would
// otherwise turn CR LF into LF). Returns false, having appended nothing, for a character that XML
// 1.0 cannot hold at all (the C0 controls other than TAB, LF and CR).
bool appendXmlText(std::string &out, std::string_view utf8);

// Writes a whole KeePass 2 XML file: the entries with an empty group in the root group, then one
// group below the root per other group name, in the order the names first appear. Entries keep
// their order within a group. Every value must pass appendXmlText.
std::string writeKeePassXml(const std::vector<XmlEntry> &entries);

// Reads KeePass 2 XML fed in pieces and hands out each entry when its group ends. Entries in the
// history of an entry and in the recycle bin are left out (and counted).
class KeePassXmlReader {
public:
    // Gets each entry; returning false stops the reading (no error is set).
    using EntryHandler = std::function<bool(XmlEntry &)>;
    explicit KeePassXmlReader(EntryHandler handler);
    ~KeePassXmlReader();
    KeePassXmlReader(const KeePassXmlReader &) = delete;
    KeePassXmlReader &operator=(const KeePassXmlReader &) = delete;

    // Returns false when the file is malformed, not KeePass XML, or the handler stopped it.
    bool feed(std::string_view bytes, bool last);
    const std::string &error() const;  // empty when the handler stopped the reading
    std::size_t errorLine() const;
    std::size_t errorColumn() const;
    std::size_t recycled() const;  // entries left out as deleted

    struct State;

private:
    std::unique_ptr<State> state_;
};
