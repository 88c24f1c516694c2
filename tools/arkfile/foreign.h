// Objects between the vault's exchange files and the files of other password managers (CSV and
// KeePass 2 XML): which field goes to which column or key on the way out, and on the way in the
// checks that every object fits the vault (Windows-1252, 255 bytes a text, 65,535 objects, every
// value a place).
//
// On the way out field 1 is the entry's Title, the field that holds the secret its Password, and
// the other fields keep their titles as keys of their own in KeePass XML; in CSV they are the
// columns Username (field 2) and Notes (field 3). Texts here are UTF-8; the exchange side is
// Windows-1252.
#pragma once

#include "exchange_codec.h"
#include "keepass_xml.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMaxObjects = 65535;

// Keys of arkfile's own in KeePass XML and columns of its own in CSV.
inline constexpr std::string_view kLayoutKey = "Arkel fields";
inline constexpr std::string_view kEncryptKey = "Arkel encrypt";
inline constexpr std::string_view kCsvTitleColumns[3] = {"Arkel title 1", "Arkel title 2",
                                                         "Arkel title 3"};

// ---- Out -------------------------------------------------------------------------------------

// The field that becomes the Password: 2 or 3, or 0 for none.
struct ExportMapping {
    int passwordField = 2;
};

// The header of arkfile's CSV: Group, Title, the columns of fields 2 and 3 (Username and Notes,
// Password for the secret field), the three titles and the encrypt flag.
std::vector<std::string> csvHeader(const ExportMapping &m);

// A problem of one object on the way out, or a note of what was done.
struct ObjectIssue {
    std::size_t object = 0;  // 0-based index
    int column = 0;          // 1-based column of the exchange line
    std::string text;
};

// The CSV record of an object (texts as UTF-8).
std::vector<std::string> csvRecord(const TextLine &line, const ExportMapping &m);

// The KeePass entry of an object: Title = field 1, Password (protected) = the secret field, each
// other field under its title (or, when that key is taken, "Arkel field N"), "Arkel encrypt" with
// the flag and "Arkel fields" with the key and title of each field. Line breaks are written as
// KeePass keeps them, LF. Returns false, with the issues, when a text holds a character that XML
// or KeePass cannot carry (a control character, a byte Windows-1252 leaves unassigned).
bool xmlEntry(const TextLine &line, const ExportMapping &m, std::size_t object, XmlEntry &entry,
              std::vector<ObjectIssue> &issues);

// ---- In --------------------------------------------------------------------------------------

struct ForeignCell {
    std::string name;
    std::string value;
};

// One record of another manager's file, texts in UTF-8.
struct ForeignRecord {
    std::string where;  // for messages: "row 5 (line 7)", "entry 3 "Bank" (line 120)"
    std::vector<ForeignCell> cells;
    bool hasGroup = false;  // the record sits in a group (KeePass XML)
    std::string group;
    std::vector<std::string> attachments;
    std::string encryptedKey;  // a value the file holds encrypted
};

// A cell by its position (CSV) or its name (the key of KeePass XML).
struct CellRef {
    int index = -1;
    std::string name;
    bool set() const { return index >= 0 || !name.empty(); }
};

struct ImportRules {
    std::array<CellRef, 3> value;           // the cell of each field
    std::array<CellRef, 3> title;           // a cell that gives the field's title row by row
    std::array<std::string, 3> fixedTitle;  // else this title; else the value cell's name
    CellRef category;
    CellRef encrypt;
    bool categoryFromGroup = false;    // the record's group, when no category cell is set
    bool stripFirstGroup = false;      // a group path that starts with the root group's name
    bool positional = false;           // cells are columns (CSV), named in messages by number
    bool lineBreaksToCrLf = true;      // every line break becomes the vault's CR LF
    bool useLayout = false;            // arkfile's "Arkel fields" places the fields when present
    std::vector<std::string> ignored;  // metadata columns of a known format, never reported
    std::vector<std::string> dropped;  // columns the user gives up (--drop)
    bool dropAttachments = false;
    int extraToField = 0;  // 1..3: values without a place are added to this field as "name: value"
    bool allowTruncate = false;
    bool allowReplace = false;
};

// Turns records into exchange lines. Every problem is collected with where it is; the caller
// writes nothing when there is one.
class ForeignImporter {
public:
    static constexpr std::size_t kMaxReported = 20;

    explicit ForeignImporter(ImportRules rules) : rules_(std::move(rules)) {}
    ~ForeignImporter();

    // Converts one record. Returns false when the store could take no more objects (the problem
    // is noted); the caller stops reading.
    bool add(const ForeignRecord &record);

    std::vector<TextLine> &lines() { return lines_; }
    const std::vector<std::string> &errors() const { return errors_; }  // the first ones
    std::size_t errorCount() const { return errorCount_; }
    const std::vector<std::string> &warnings() const { return warnings_; }
    std::size_t warningCount() const { return warningCount_; }

private:
    void error(const std::string &text);
    void warning(const std::string &text);
    // The text in Windows-1252 as the rules allow it; false when it cannot be taken.
    bool toExchange(const std::string &utf8, const std::string &where, ByteString &out);
    std::string cellWhere(const ForeignRecord &r, std::size_t cell) const;
    int find(const ForeignRecord &r, const CellRef &ref) const;

    ImportRules rules_;
    std::vector<TextLine> lines_;
    std::vector<std::string> errors_;
    std::size_t errorCount_ = 0;
    std::vector<std::string> warnings_;
    std::size_t warningCount_ = 0;
    std::size_t records_ = 0;
    bool full_ = false;
};

// "Arkel fields": three lines of key TAB title, each escaped as a plain exchange field.
std::string formatLayout(const std::array<std::string, 3> &keys,
                         const std::array<std::string, 3> &titles);
bool parseLayout(std::string_view value, std::array<std::string, 3> &keys,
                 std::array<std::string, 3> &titles);

// Every LF that does not follow a CR becomes CR LF, and every CR that no LF follows as well.
std::string toCrLf(std::string_view text);
