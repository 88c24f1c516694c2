// arkfile's commands for other password managers: export-csv and export-xml write an exchange
// file's objects as CSV or KeePass 2 XML, import-csv and import-xml read those files (KeePassXC,
// Bitwarden, Chrome, Firefox, a spreadsheet) into an exchange file. An import writes nothing
// unless every object fits the vault or the user has allowed the named loss.
#include "arkfile_shared.h"
#include "csv.h"
#include "foreign.h"
#include "keepass_xml.h"
#include "text.h"
#include "wipe.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// No password manager's export of 65,535 entries comes near this; a device or FIFO that never
// ends must not run the tool out of memory.
constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 30;

const char *const kImportOptionsHelp =
    "  --password-field N     the field that takes the password column: 2 (default), 3 or\n"
    "                         none; the other fields take the username, then the notes\n"
    "  --map SPEC             place the columns yourself: TARGET=COLUMN,... with TARGET 1, 2\n"
    "                         or 3 (a field's value), title1..title3 (its title, row by row),\n"
    "                         category or encrypt, and COLUMN a name or #N (the Nth column)\n"
    "  --title N=TEXT         the title of field N where no column gives one\n"
    "  --extra-to-field N     add values that have no place to field N as \"name: value\" lines\n"
    "  --drop NAME            leave the column or key NAME out (repeatable)\n"
    "  --allow-truncate       cut texts longer than 255 bytes to 255 (each one is named)\n"
    "  --allow-replace        write \"?\" for characters outside Windows-1252 (each is named)\n"
    "  --password-file PATH   the new password of an encrypted OUT (.ark), from the first line of\n"
    "                         PATH; without it the password is asked for twice\n";

struct FormatCommand {
    const char *name;
    const char *help;
};

const FormatCommand kFormatCommands[] = {
    {"export-csv",
     "Usage: arkfile export-csv FILE [-o OUT.csv] [--password-field N] [--password-file PATH]\n"
     "Writes the objects of an exchange file as CSV (RFC 4180, UTF-8, CR LF) with the header\n"
     "Group,Title,<field 2>,<field 3>,Arkel title 1,Arkel title 2,Arkel title 3,Arkel encrypt:\n"
     "the category, field 1, field 2 as Username and field 3 as Notes (the one --password-field\n"
     "names as Password), the three titles and the encrypt flag. import-csv reads it back to\n"
     "the same bytes. The CSV is plain text: anyone who can read it reads every password.\n"
     "\nOptions:\n"
     "  -o, --output OUT       the file to write (mode 0600); standard output without it\n"
     "  --password-field N     the field that holds the password: 2 (default), 3 or none\n"
     "  --password-file PATH   the password of an encrypted FILE, from the first line of PATH\n"
     "  -h, --help             show this help\n"},
    {"export-xml",
     "Usage: arkfile export-xml FILE [-o OUT.xml] [--password-field N] [--password-file PATH]\n"
     "Writes the objects of an exchange file as KeePass 2 XML, which 'keepassxc-cli import' and\n"
     "KeePass read: a group per category (objects without one in the root group), an entry per\n"
     "object with Title = field 1, Password (protected) = the field --password-field names,\n"
     "each other field under its own title, \"Arkel encrypt\" with the encrypt flag and \"Arkel\n"
     "fields\" with the key and title of each field. Line breaks are written as LF. import-xml\n"
     "reads it back. The XML is plain text: anyone who can read it reads every password.\n"
     "\nOptions:\n"
     "  -o, --output OUT       the file to write (mode 0600); standard output without it\n"
     "  --password-field N     the field that holds the password: 2 (default), 3 or none\n"
     "  --password-file PATH   the password of an encrypted FILE, from the first line of PATH\n"
     "  -h, --help             show this help\n"},
    {"import-csv",
     "Usage: arkfile import-csv IN.csv -o OUT.ark|OUT.txt [OPTIONS]\n"
     "Reads CSV into an exchange file that the vault imports: encrypted when OUT ends in .ark,\n"
     "else plain. The header row tells the format: arkfile's own export-csv (read back exactly),\n"
     "KeePassXC (Group,Title,Username,Password,URL,Notes,...), Bitwarden (folder,...,name,notes,\n"
     "...,login_username,login_password,...), Chrome (name,url,username,password[,note]) and\n"
     "Firefox (url,username,password,...); any other CSV needs --map. Line breaks in values\n"
     "become CR LF. Every value without a place, text over 255 bytes of Windows-1252, character\n"
     "outside it or row beyond 65535 is reported by row and column, and nothing is written.\n"
     "\nOptions:\n"
     "  -o, --output OUT       the exchange file to write (mode 0600)\n"
     "  --separator C          the separator of the columns (default ',')\n"
     "  --encoding E           utf-8 (default) or windows-1252\n"},
    {"import-xml",
     "Usage: arkfile import-xml IN.xml -o OUT.ark|OUT.txt [OPTIONS]\n"
     "Reads KeePass 2 XML (as 'keepassxc-cli export' or KeePass write it) into an exchange file\n"
     "that the vault imports: encrypted when OUT ends in .ark, else plain. Groups become\n"
     "categories (nested ones joined with '/', the root group none); the entries of an entry's\n"
     "history and of the recycle bin are left out. An entry that export-xml wrote is read back\n"
     "by its \"Arkel fields\"; others take Title, Password, UserName and Notes as "
     "--password-field\n"
     "says, and their keys as titles. Line breaks become CR LF. Every value without a place\n"
     "(also an attachment), text over 255 bytes of Windows-1252, character outside it or entry\n"
     "beyond 65535 is reported with its entry, and nothing is written. A document type\n"
     "declaration (DTD) is refused.\n"
     "\nOptions:\n"
     "  -o, --output OUT       the exchange file to write (mode 0600)\n"
     "  --drop-attachments     leave the entries' attachments out\n"},
};

struct FormatOptions {
    std::string command;
    std::string file;
    std::string output;
    std::string passwordFile;
    int passwordField = 2;
    std::vector<std::string> maps;
    std::vector<std::pair<int, std::string>> titles;
    int extraToField = 0;
    std::vector<std::string> dropped;
    bool dropAttachments = false;
    bool allowTruncate = false;
    bool allowReplace = false;
    char separator = ',';
    bool cp1252Input = false;
};

std::string helpOf(const FormatCommand &c) {
    std::string help = c.help;
    if (std::string_view(c.name).rfind("import-", 0) == 0)
        help += std::string(kImportOptionsHelp) + "  -h, --help             show this help\n";
    return help;
}

int fieldNumber(const std::string &prefix, const std::string &option, const std::string &value,
                bool allowNone, int low) {
    if (allowNone && value == "none") return 0;
    if (value.size() == 1 && value[0] >= '0' + low && value[0] <= '3') return value[0] - '0';
    arkfileFail(kExitUsage, prefix + option + " takes " + (low == 2 ? "2, 3" : "1, 2, 3") +
                                (allowNone ? " or none" : "") + ", not '" + value + "'");
}

// Returns false when --help was given.
bool parseFormatOptions(const FormatCommand &c, int argc, char **argv, FormatOptions &o) {
    o.command = c.name;
    const std::string prefix = "arkfile " + o.command + ": ";
    const bool import = o.command.rfind("import-", 0) == 0;
    const bool csv = o.command == "import-csv";
    bool endOfOptions = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
            continue;
        }
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!o.file.empty()) arkfileFail(kExitUsage, prefix + "more than one FILE given");
            o.file = arg;
            continue;
        }
        if (arg == "-h" || arg == "--help") return false;
        std::string name = arg, value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        // Switches without a value.
        bool *flag = nullptr;
        if (import && name == "--allow-truncate") flag = &o.allowTruncate;
        if (import && name == "--allow-replace") flag = &o.allowReplace;
        if (o.command == "import-xml" && name == "--drop-attachments") flag = &o.dropAttachments;
        if (flag) {
            if (hasValue) arkfileFail(kExitUsage, prefix + "option '" + name + "' takes no value");
            *flag = true;
            continue;
        }
        const bool known = name == "-o" || name == "--output" || name == "--password-file" ||
                           name == "--password-field" ||
                           (import && (name == "--map" || name == "--title" ||
                                       name == "--extra-to-field" || name == "--drop")) ||
                           (csv && (name == "--separator" || name == "--encoding"));
        if (!known) arkfileFail(kExitUsage, prefix + "unknown option '" + arg + "' (see --help)");
        if (!hasValue) {
            if (i + 1 >= argc)
                arkfileFail(kExitUsage, prefix + "option '" + name + "' needs a value");
            value = argv[++i];
        }
        if (value.empty() && name != "--drop")
            arkfileFail(kExitUsage, prefix + "option '" + name + "' needs a value");
        if (name == "-o" || name == "--output") {
            o.output = value;
        } else if (name == "--password-file") {
            o.passwordFile = value;
        } else if (name == "--password-field") {
            o.passwordField = fieldNumber(prefix, name, value, true, 2);
        } else if (name == "--map") {
            o.maps.push_back(value);
        } else if (name == "--title") {
            const auto eq = value.find('=');
            if (eq == std::string::npos)
                arkfileFail(kExitUsage, prefix + "--title takes N=TEXT, not '" + value + "'");
            o.titles.emplace_back(fieldNumber(prefix, name, value.substr(0, eq), false, 1),
                                  value.substr(eq + 1));
        } else if (name == "--extra-to-field") {
            o.extraToField = fieldNumber(prefix, name, value, false, 1);
        } else if (name == "--drop") {
            o.dropped.push_back(value);
        } else if (name == "--separator") {
            if (value == "\\t" || value == "tab") value = "\t";
            if (value.size() != 1 || value == "\"" || value == "\r" || value == "\n")
                arkfileFail(kExitUsage,
                            prefix + "--separator takes one character, not '" + value + "'");
            o.separator = value[0];
        } else if (name == "--encoding") {
            std::string e = value;
            std::transform(e.begin(), e.end(), e.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
            if (e == "utf-8" || e == "utf8")
                o.cp1252Input = false;
            else if (e == "windows-1252" || e == "cp1252")
                o.cp1252Input = true;
            else
                arkfileFail(kExitUsage,
                            prefix + "--encoding takes utf-8 or windows-1252, not '" + value + "'");
        }
    }
    if (o.file.empty()) arkfileFail(kExitUsage, prefix + "no FILE given (see --help)");
    if (import && o.output.empty())
        arkfileFail(kExitUsage, prefix + "-o OUT is required (OUT.ark encrypted, else plain)");
    return true;
}

bool endsWithNoCase(const std::string &s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

// Reads a file in chunks into the parser; false from the parser stops the reading.
template <typename Feed>
void readInChunks(const std::string &path, Feed feed) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) arkfileFail(kExitBadFile, path + ": cannot open: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        arkfileFail(kExitBadFile, path + ": is a directory");
    }
    static char chunk[65536];
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            arkfileFail(kExitBadFile, path + ": cannot read: " + std::strerror(e));
        }
        total += static_cast<std::uint64_t>(n);
        if (total > kMaxInputBytes) {
            ::close(fd);
            secureWipe(chunk, sizeof chunk);
            arkfileFail(kExitBadFile, path +
                                          ": larger than 1 GiB, more than any export of 65535 "
                                          "entries; nothing written");
        }
        const bool more = feed(std::string_view(chunk, static_cast<std::size_t>(n)), n == 0);
        if (n == 0 || !more) break;
    }
    secureWipe(chunk, sizeof chunk);
    ::close(fd);
}

void say(const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void plainTextNote(const std::string &what) {
    say("note: " + what +
        " is plain text: anyone who can read it reads every password in it; delete it once it "
        "has served");
}

// Runs the action when the scope ends, also when the command fails on the way: secrets in
// memory are wiped on every path.
class OnExit {
public:
    explicit OnExit(std::function<void()> action) : action_(std::move(action)) {}
    ~OnExit() { action_(); }
    OnExit(const OnExit &) = delete;
    OnExit &operator=(const OnExit &) = delete;

private:
    std::function<void()> action_;
};

void wipeLines(std::vector<TextLine> &lines) {
    for (TextLine &l : lines)
        for (ByteString &b : l) secureWipe(b.data(), b.size());
}

// Names the problems (the first ones of count; each after the file name) and ends the command.
[[noreturn]] void failWithProblems(const std::string &path, const std::vector<std::string> &shown,
                                   std::size_t count) {
    for (const std::string &e : shown) say(path + e);
    if (count > shown.size())
        say(path + ": ... and " + std::to_string(count - shown.size()) + " more problems");
    arkfileFail(kExitBadFile, path + ": nothing written (" + std::to_string(count) +
                                  (count == 1 ? " problem)" : " problems)"));
}

// Reports the importer's problems and warnings; ends the command when there are problems.
void finishImport(const std::string &path, ForeignImporter &importer) {
    for (const std::string &w : importer.warnings()) say(path + ": warning: " + w);
    if (importer.warningCount() > importer.warnings().size())
        say(path + ": warning: ... and " +
            std::to_string(importer.warningCount() - importer.warnings().size()) + " more");
    if (importer.errorCount() == 0) return;
    std::vector<std::string> shown;
    for (const std::string &e : importer.errors()) shown.push_back(": " + e);
    failWithProblems(path, shown, importer.errorCount());
}

// Writes a plain-text export (CSV, XML) where -o says, and says that it is plain text.
void writePlainExport(const FormatOptions &o, std::string &text, const char *what) {
    ByteString bytes(text.begin(), text.end());
    secureWipe(text.data(), text.size());
    OnExit wipe([&] { secureWipe(bytes.data(), bytes.size()); });
    writeOutputBytes(o.output, bytes);
    plainTextNote(o.output.empty() ? what : o.output);
}

void writeImport(const FormatOptions &o, ForeignImporter &importer) {
    const bool encrypted = endsWithNoCase(o.output, ".ark");
    writeExchangeObjects(importer.lines(), encrypted, o.output, o.passwordFile);
    say(o.file + ": " + std::to_string(importer.lines().size()) + " objects written to " +
        o.output + (encrypted ? " (encrypted)" : " (plain text)"));
}

// ---- Mapping of columns ----------------------------------------------------------------------

// A column of the header by name: the exact name, else the only one equal but for case.
int headerColumn(const std::vector<std::string> &header, std::string_view name) {
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return static_cast<int>(i);
    int found = -1;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string &h = header[i];
        if (h.size() == name.size() &&
            std::equal(h.begin(), h.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            if (found >= 0) return -2;
            found = static_cast<int>(i);
        }
    }
    return found;
}

CellRef columnRef(const std::vector<std::string> &header, std::string_view name) {
    CellRef ref;
    const int i = headerColumn(header, name);
    if (i >= 0) ref.index = i;
    return ref;
}

// The default places: field 1 the name, the password field the password, the others the
// username, then the notes.
void placeFields(ImportRules &rules, int passwordField, const CellRef &name,
                 const CellRef &password, const CellRef &username, const CellRef &notes) {
    rules.value[0] = name;
    const CellRef *free[] = {&username, &notes};
    int next = 0;
    for (int f = 2; f <= 3; ++f) {
        if (f == passwordField)
            rules.value[static_cast<std::size_t>(f - 1)] = password;
        else
            rules.value[static_cast<std::size_t>(f - 1)] = *free[next++];
    }
}

// Applies --map, --title and the user's other choices to the rules. For CSV the header resolves
// names to columns; for XML names are keys.
void applyUserRules(const FormatOptions &o, const std::vector<std::string> *header,
                    ImportRules &rules) {
    const std::string prefix = "arkfile " + o.command + ": ";
    if (!o.maps.empty()) {
        rules.value = {};
        rules.title = {};
        rules.category = {};
        rules.encrypt = {};
        rules.categoryFromGroup = false;
        rules.stripFirstGroup = false;
        rules.useLayout = false;
        rules.ignored.emplace_back(kLayoutKey);
    }
    for (const std::string &spec : o.maps) {
        std::size_t start = 0;
        while (start <= spec.size()) {
            const std::size_t comma = spec.find(',', start);
            const std::string item =
                spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            start = comma == std::string::npos ? spec.size() + 1 : comma + 1;
            if (item.empty()) continue;
            const std::size_t eq = item.find('=');
            if (eq == std::string::npos)
                arkfileFail(kExitUsage, prefix + "--map takes TARGET=COLUMN, not '" + item + "'");
            const std::string target = item.substr(0, eq);
            const std::string column = item.substr(eq + 1);
            CellRef ref;
            if (!column.empty() && column[0] == '#' && header) {
                const std::string digits = column.substr(1);
                const bool number = !digits.empty() && digits.size() < 5 &&
                                    std::all_of(digits.begin(), digits.end(), ::isdigit);
                const int n = number ? std::stoi(digits) : 0;
                if (n < 1 || static_cast<std::size_t>(n) > header->size())
                    arkfileFail(kExitUsage, prefix + "--map: no column " + column +
                                                " (the file has " + std::to_string(header->size()) +
                                                ")");
                ref.index = n - 1;
            } else if (!column.empty() && header) {
                const int i = headerColumn(*header, column);
                if (i < 0) {
                    std::string names;
                    for (const auto &h : *header) names += (names.empty() ? "" : ", ") + h;
                    arkfileFail(kExitUsage, prefix + "--map: " +
                                                (i == -2 ? "more than one column is named '"
                                                         : "no column is named '") +
                                                column + "' (use #N; the columns: " + names + ")");
                }
                ref.index = i;
            } else {
                ref.name = column;
            }
            if (target == "1" || target == "2" || target == "3")
                rules.value[static_cast<std::size_t>(target[0] - '1')] = ref;
            else if (target == "title1" || target == "title2" || target == "title3")
                rules.title[static_cast<std::size_t>(target[5] - '1')] = ref;
            else if (target == "category")
                rules.category = ref;
            else if (target == "encrypt")
                rules.encrypt = ref;
            else
                arkfileFail(kExitUsage, prefix + "--map: unknown target '" + target +
                                            "' (1, 2, 3, title1, title2, title3, category, "
                                            "encrypt)");
        }
    }
    for (const auto &[field, text] : o.titles) {
        rules.fixedTitle[static_cast<std::size_t>(field - 1)] = text;
        rules.title[static_cast<std::size_t>(field - 1)] = {};
    }
    rules.dropped = o.dropped;
    rules.dropAttachments = o.dropAttachments;
    rules.extraToField = o.extraToField;
    rules.allowTruncate = o.allowTruncate;
    rules.allowReplace = o.allowReplace;
}

// The format a CSV header names, with its rules; empty when none is known.
std::string recogniseCsv(const std::vector<std::string> &header, int passwordField,
                         ImportRules &rules) {
    auto has = [&](std::string_view name) { return headerColumn(header, name) >= 0; };
    auto col = [&](std::string_view name) { return columnRef(header, name); };
    rules = ImportRules{};
    rules.positional = true;
    for (int p : {2, 3, 0}) {
        if (header != csvHeader(ExportMapping{p})) continue;
        for (int f = 0; f < 3; ++f) {
            rules.value[static_cast<std::size_t>(f)].index = 1 + f;
            rules.title[static_cast<std::size_t>(f)].index = 4 + f;
        }
        rules.category.index = 0;
        rules.encrypt.index = 7;
        rules.lineBreaksToCrLf = false;
        return "arkfile's own CSV";
    }
    if (has("Group") && has("Title") && has("Username") && has("Password") && has("URL") &&
        has("Notes")) {
        placeFields(rules, passwordField, col("Title"), col("Password"), col("Username"),
                    col("Notes"));
        rules.category = col("Group");
        rules.stripFirstGroup = true;
        rules.ignored = {"Icon", "Last Modified", "Created"};
        return "a KeePassXC CSV export";
    }
    if (has("name") && has("login_username") && has("login_password") && has("login_uri")) {
        placeFields(rules, passwordField, col("name"), col("login_password"), col("login_username"),
                    col("notes"));
        rules.category = col("folder");
        rules.ignored = {"favorite", "type", "reprompt"};
        return "a Bitwarden CSV export";
    }
    if (has("name") && has("url") && has("username") && has("password")) {
        placeFields(rules, passwordField, col("name"), col("password"), col("username"),
                    col("note"));
        return "a Chrome CSV export";
    }
    if (has("url") && has("username") && has("password") && has("httpRealm")) {
        placeFields(rules, passwordField, col("url"), col("password"), col("username"), {});
        rules.ignored = {"httpRealm",   "formActionOrigin", "guid",
                         "timeCreated", "timeLastUsed",     "timePasswordChanged"};
        return "a Firefox CSV export";
    }
    return {};
}

// ---- Commands --------------------------------------------------------------------------------

std::size_t exchangeLine(const ExchangeObjects &objects, std::size_t index) {
    return index + (objects.encrypted ? 3 : 1);
}

int runExportCsv(const FormatOptions &o) {
    ExchangeObjects objects = readExchangeObjects(o.file, o.passwordFile);
    OnExit wipe([&] { wipeLines(objects.lines); });
    const ExportMapping m{o.passwordField};
    std::string out;
    appendCsvRecord(out, csvHeader(m));
    for (const TextLine &line : objects.lines) {
        std::vector<std::string> record = csvRecord(line, m);
        appendCsvRecord(out, record);
        for (std::string &f : record) secureWipe(f.data(), f.size());
    }
    writePlainExport(o, out, "the CSV");
    return 0;
}

int runExportXml(const FormatOptions &o) {
    static const char *const kColumnNames[kColumnCount] = {
        "title 1", "field 1", "title 2", "field 2", "title 3", "field 3", "category", "flag"};
    ExchangeObjects objects = readExchangeObjects(o.file, o.passwordFile);
    std::vector<XmlEntry> entries;
    OnExit wipe([&] {
        wipeLines(objects.lines);
        for (XmlEntry &e : entries)
            for (XmlString &s : e.strings) secureWipe(s.value.data(), s.value.size());
    });
    const ExportMapping m{o.passwordField};
    std::vector<ObjectIssue> issues;
    entries.reserve(objects.lines.size());
    for (std::size_t i = 0; i < objects.lines.size(); ++i) {
        XmlEntry e;
        if (xmlEntry(objects.lines[i], m, i, e, issues)) entries.push_back(std::move(e));
    }
    if (!issues.empty()) {
        std::vector<std::string> shown;
        for (std::size_t k = 0; k < issues.size() && k < ForeignImporter::kMaxReported; ++k)
            shown.push_back(":" + std::to_string(exchangeLine(objects, issues[k].object)) +
                            ": column " + std::to_string(issues[k].column) + " (" +
                            kColumnNames[issues[k].column - 1] + "): " + issues[k].text);
        failWithProblems(o.file, shown, issues.size());
    }
    std::string xml = writeKeePassXml(entries);
    writePlainExport(o, xml, "the XML");
    return 0;
}

int runImportCsv(const FormatOptions &o) {
    CsvReader reader(o.separator);
    std::vector<CsvRecord> records;
    std::vector<std::string> header;
    bool haveHeader = false;
    std::unique_ptr<ForeignImporter> importer;
    bool going = true;

    auto handle = [&](CsvRecord &rec) {
        if (o.cp1252Input) {
            for (std::string &f : rec.fields) {
                std::string utf8;
                cp1252ToUtf8(asBytes(f), utf8);
                secureWipe(f.data(), f.size());
                f = std::move(utf8);
            }
        }
        if (!haveHeader) {
            haveHeader = true;
            header = rec.fields;
            ImportRules rules;
            const std::string format = recogniseCsv(header, o.passwordField, rules);
            if (format.empty() && o.maps.empty()) {
                std::string names;
                for (const auto &h : header) names += (names.empty() ? "" : ",") + h;
                arkfileFail(kExitBadFile, o.file + ": the header (" + names +
                                              ") is none of a known manager's; say with --map "
                                              "which columns go where");
            }
            if (!format.empty()) say(o.file + ": read as " + format);
            applyUserRules(o, &header, rules);
            importer = std::make_unique<ForeignImporter>(std::move(rules));
            return;
        }
        ForeignRecord r;
        r.where = "row " + std::to_string(rec.row) +
                  (rec.line != rec.row ? " (line " + std::to_string(rec.line) + ")" : "");
        if (rec.fields.size() != header.size())
            arkfileFail(kExitBadFile, o.file + ": " + r.where +
                                          ": malformed CSV: " + std::to_string(rec.fields.size()) +
                                          " columns, but the header has " +
                                          std::to_string(header.size()) + "; nothing written");
        for (std::size_t i = 0; i < rec.fields.size() && i < header.size(); ++i)
            r.cells.push_back({header[i], std::move(rec.fields[i])});
        going = importer->add(r);
        for (ForeignCell &c : r.cells) secureWipe(c.value.data(), c.value.size());
    };

    plainTextNote(o.file);
    readInChunks(o.file, [&](std::string_view bytes, bool last) {
        const bool ok = last ? reader.finish(records) : reader.feed(bytes, records);
        for (CsvRecord &rec : records) {
            if (going) handle(rec);
            for (std::string &f : rec.fields) secureWipe(f.data(), f.size());
        }
        records.clear();
        if (!ok)
            arkfileFail(kExitBadFile, o.file + ": row " + std::to_string(reader.errorRow()) +
                                          ", column " + std::to_string(reader.errorColumn()) +
                                          " (line " + std::to_string(reader.errorLine()) +
                                          "): malformed CSV: " + reader.error() +
                                          "; nothing written");
        return going;
    });
    if (!haveHeader) arkfileFail(kExitBadFile, o.file + ": no header row; nothing written");
    finishImport(o.file, *importer);
    writeImport(o, *importer);
    return 0;
}

int runImportXml(const FormatOptions &o) {
    ImportRules rules;
    placeFields(rules, o.passwordField, CellRef{-1, "Title"}, CellRef{-1, "Password"},
                CellRef{-1, "UserName"}, CellRef{-1, "Notes"});
    rules.encrypt = CellRef{-1, std::string(kEncryptKey)};
    rules.categoryFromGroup = true;
    rules.useLayout = true;
    applyUserRules(o, nullptr, rules);
    ForeignImporter importer(std::move(rules));
    KeePassXmlReader reader([&](XmlEntry &e) {
        ForeignRecord r;
        std::string title;
        for (const XmlString &s : e.strings)
            if (s.key == "Title") title = s.value.substr(0, 40);
        r.where = "entry " + std::to_string(e.number) + " \"" + title + "\" (line " +
                  std::to_string(e.line) + ")";
        for (XmlString &s : e.strings) r.cells.push_back({s.key, std::move(s.value)});
        r.hasGroup = true;
        r.group = e.group;
        r.attachments = e.attachments;
        r.encryptedKey = e.encryptedKey;
        const bool more = importer.add(r);
        for (ForeignCell &c : r.cells) secureWipe(c.value.data(), c.value.size());
        return more;
    });
    plainTextNote(o.file);
    readInChunks(o.file, [&](std::string_view bytes, bool last) {
        if (reader.feed(bytes, last)) return true;
        if (reader.error().empty()) return false;  // the store is full; reported below
        arkfileFail(kExitBadFile, o.file + ":" + std::to_string(reader.errorLine()) + ":" +
                                      std::to_string(reader.errorColumn()) + ": " + reader.error() +
                                      "; nothing written");
    });
    if (reader.recycled())
        say(o.file + ": " + std::to_string(reader.recycled()) +
            " entries in the recycle bin left out");
    finishImport(o.file, importer);
    writeImport(o, importer);
    return 0;
}

}  // namespace

const char *const kFormatCommandsHelp =
    "  export-csv FILE [-o OUT]   the objects as CSV for other password managers\n"
    "  export-xml FILE [-o OUT]   the objects as KeePass 2 XML (KeePassXC, KeePass)\n"
    "  import-csv IN -o OUT       CSV of KeePassXC, Bitwarden, Chrome, Firefox or --map to an\n"
    "                             exchange file (OUT.ark encrypted, else plain)\n"
    "  import-xml IN -o OUT       KeePass 2 XML to an exchange file\n";

bool isFormatCommand(std::string_view name) {
    for (const auto &c : kFormatCommands)
        if (name == c.name) return true;
    return false;
}

int runFormatCommand(std::string_view name, int argc, char **argv) {
    for (const auto &c : kFormatCommands) {
        if (name != c.name) continue;
        FormatOptions o;
        if (!parseFormatOptions(c, argc, argv, o)) {
            std::fputs(helpOf(c).c_str(), stdout);
            return 0;
        }
        if (name == "export-csv") return runExportCsv(o);
        if (name == "export-xml") return runExportXml(o);
        if (name == "import-csv") return runImportCsv(o);
        return runImportXml(o);
    }
    return kExitUsage;
}
