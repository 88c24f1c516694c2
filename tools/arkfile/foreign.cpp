#include "foreign.h"

#include "text.h"
#include "wipe.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string utf8Of(const ByteString &cp1252) {
    std::string out;
    cp1252ToUtf8(cp1252, out);
    return out;
}

std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    out.append(s);
    out.push_back('"');
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The column (1-based, of the exchange line) of field i's value and title.
int valueColumn(int field) { return 2 * field + 2; }
int titleColumn(int field) { return 2 * field + 1; }

// The CSV columns of fields 2 and 3: Username and Notes, Password for the secret's.
std::array<std::string, 2> csvFieldColumns(const ExportMapping &m) {
    return {m.passwordField == 2 ? "Password" : "Username",
            m.passwordField == 3 ? "Password" : "Notes"};
}

std::string crLfToLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::string toCrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string formatLayout(const std::array<std::string, 3> &keys,
                         const std::array<std::string, 3> &titles) {
    ByteString out;
    for (std::size_t i = 0; i < 3; ++i) {
        if (i) out.push_back('\n');
        appendPlainField(out, asBytes(keys[i]));
        out.push_back('\t');
        appendPlainField(out, asBytes(titles[i]));
    }
    return std::string(out.begin(), out.end());
}

bool parseLayout(std::string_view value, std::array<std::string, 3> &keys,
                 std::array<std::string, 3> &titles) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = value.find('\n', start);
        std::string_view line =
            value.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (lines.size() != 3) return false;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t tab = lines[i].find('\t');
        if (tab == std::string_view::npos || lines[i].find('\t', tab + 1) != std::string_view::npos)
            return false;
        const ByteString key = unescapeField(asBytes(lines[i].substr(0, tab)));
        const ByteString title = unescapeField(asBytes(lines[i].substr(tab + 1)));
        keys[i].assign(key.begin(), key.end());
        titles[i].assign(title.begin(), title.end());
        if (keys[i].empty()) return false;
    }
    return true;
}

// ---- Out -------------------------------------------------------------------------------------

std::vector<std::string> csvHeader(const ExportMapping &m) {
    const auto columns = csvFieldColumns(m);
    return {"Group",
            "Title",
            columns[0],
            columns[1],
            std::string(kCsvTitleColumns[0]),
            std::string(kCsvTitleColumns[1]),
            std::string(kCsvTitleColumns[2]),
            std::string(kEncryptKey)};
}

std::vector<std::string> csvRecord(const TextLine &line, const ExportMapping &) {
    return {utf8Of(line[colCategory]), utf8Of(line[colValue1]), utf8Of(line[colValue2]),
            utf8Of(line[colValue3]),   utf8Of(line[colTitle1]), utf8Of(line[colTitle2]),
            utf8Of(line[colTitle3]),   utf8Of(line[colFlag])};
}

bool xmlEntry(const TextLine &line, const ExportMapping &m, std::size_t object, XmlEntry &entry,
              std::vector<ObjectIssue> &issues) {
    bool ok = true;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        for (std::uint8_t b : line[c]) {
            // KeePassXC drops the C1 characters that stand for the unassigned bytes.
            const bool unassigned = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
            if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || unassigned) {
                char text[96];
                std::snprintf(
                    text, sizeof text, "byte 0x%02X, a %s that KeePass XML cannot carry", b,
                    unassigned ? "byte Windows-1252 leaves unassigned" : "control character");
                issues.push_back({object, static_cast<int>(c) + 1, text});
                ok = false;
                break;
            }
        }
    }
    if (!ok) return false;

    std::array<std::string, 3> titles, keys;
    for (int f = 0; f < 3; ++f) titles[f] = utf8Of(line[titleColumn(f) - 1]);
    std::vector<std::string> taken = {"Title", std::string(kLayoutKey), std::string(kEncryptKey),
                                      "Arkel field 2", "Arkel field 3"};
    if (m.passwordField) taken.push_back("Password");
    keys[0] = "Title";
    for (int f = 1; f < 3; ++f) {
        if (f + 1 == m.passwordField) {
            keys[f] = "Password";
            continue;
        }
        const std::string &t = titles[f];
        const bool usable = !t.empty() && t.find_first_of("\r\n") == std::string::npos &&
                            std::find(taken.begin(), taken.end(), t) == taken.end();
        keys[f] = usable ? t : "Arkel field " + std::to_string(f + 1);
        taken.push_back(keys[f]);
    }

    entry = XmlEntry{};
    entry.group = utf8Of(line[colCategory]);
    for (int f = 0; f < 3; ++f) {
        XmlString s;
        s.key = keys[f];
        s.value = crLfToLf(utf8Of(line[valueColumn(f) - 1]));
        s.protect = s.key == "Password";
        entry.strings.push_back(std::move(s));
    }
    entry.strings.push_back({std::string(kEncryptKey), utf8Of(line[colFlag]), false});
    entry.strings.push_back({std::string(kLayoutKey), formatLayout(keys, titles), false});
    return true;
}

// ---- In --------------------------------------------------------------------------------------

ForeignImporter::~ForeignImporter() {
    for (TextLine &l : lines_)
        for (ByteString &b : l) secureWipe(b.data(), b.size());
}

void ForeignImporter::error(const std::string &text) {
    if (errors_.size() < kMaxReported) errors_.push_back(text);
    ++errorCount_;
}

void ForeignImporter::warning(const std::string &text) {
    if (warnings_.size() < kMaxReported) warnings_.push_back(text);
    ++warningCount_;
}

std::string ForeignImporter::cellWhere(const ForeignRecord &r, std::size_t cell) const {
    const std::string &name = r.cells[cell].name;
    if (rules_.positional) return "column " + std::to_string(cell + 1) + " " + quoted(name);
    return "key " + quoted(name);
}

int ForeignImporter::find(const ForeignRecord &r, const CellRef &ref) const {
    if (ref.index >= 0)
        return static_cast<std::size_t>(ref.index) < r.cells.size() ? ref.index : -1;
    if (ref.name.empty()) return -1;
    for (std::size_t i = 0; i < r.cells.size(); ++i)
        if (r.cells[i].name == ref.name) return static_cast<int>(i);
    return -1;
}

bool ForeignImporter::toExchange(const std::string &utf8, const std::string &where,
                                 ByteString &out) {
    out.clear();
    bool ok = true;
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(utf8, i, c);
        if (length == 0) {
            error(where + ": not valid UTF-8 (byte " + std::to_string(i + 1) + ")");
            return false;
        }
        const int b = cp1252Byte(c);
        if (b >= 0) {
            out.push_back(static_cast<std::uint8_t>(b));
        } else if (rules_.allowReplace) {
            out.push_back('?');
            ++replaced;
        } else if (ok) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
            const std::string shown =
                c == 0 ? "a NUL character" : quoted(utf8.substr(i, length)) + " (" + code + ")";
            error(where + ": " + shown +
                  " is not in Windows-1252, the vault's code page (--allow-replace writes \"?\" "
                  "for it)");
            ok = false;
        }
        i += length;
    }
    if (replaced)
        warning(where + ": " + std::to_string(replaced) +
                " characters outside Windows-1252 written as \"?\"");
    if (ok && out.size() > kFieldTextMax) {
        if (rules_.allowTruncate) {
            warning(where + ": cut from " + std::to_string(out.size()) + " to 255 bytes");
            secureWipe(out.data() + kFieldTextMax, out.size() - kFieldTextMax);
            out.resize(kFieldTextMax);
        } else {
            error(where + ": " + std::to_string(out.size()) +
                  " bytes in Windows-1252, more than the 255 of a field (--allow-truncate cuts "
                  "it)");
            ok = false;
        }
    }
    return ok;
}

bool ForeignImporter::add(const ForeignRecord &r) {
    if (full_) return false;
    if (records_++ == kMaxObjects) {
        // Said whatever else was found before it.
        errors_.push_back(r.where + ": more than 65535 objects, more than the vault's store holds");
        ++errorCount_;
        full_ = true;
        return false;
    }
    const std::size_t errorsBefore = errorCount_;
    std::vector<bool> used(r.cells.size(), false);
    auto take = [&](int cell) -> std::string {
        if (cell < 0) return {};
        used[static_cast<std::size_t>(cell)] = true;
        return r.cells[static_cast<std::size_t>(cell)].value;
    };

    std::array<std::string, 3> values, titles;
    std::array<std::string, 3> valueWhere, titleWhere;
    const int layoutCell = rules_.useLayout ? find(r, CellRef{-1, std::string(kLayoutKey)}) : -1;
    if (layoutCell >= 0) {
        std::array<std::string, 3> keys;
        const std::string layout = take(layoutCell);
        if (!parseLayout(layout, keys, titles)) {
            error(r.where + ": " + cellWhere(r, static_cast<std::size_t>(layoutCell)) +
                  ": not three lines of key TAB title as arkfile writes them");
            return true;
        }
        for (std::size_t f = 0; f < 3; ++f) {
            const int cell = find(r, CellRef{-1, keys[f]});
            values[f] = take(cell);
            valueWhere[f] = r.where + ": key " + quoted(keys[f]);
            titleWhere[f] = r.where + ": " + cellWhere(r, static_cast<std::size_t>(layoutCell)) +
                            ": title " + std::to_string(f + 1);
        }
    } else {
        for (std::size_t f = 0; f < 3; ++f) {
            const int cell = find(r, rules_.value[f]);
            values[f] = take(cell);
            valueWhere[f] = cell >= 0
                                ? r.where + ": " + cellWhere(r, static_cast<std::size_t>(cell))
                                : r.where + ": field " + std::to_string(f + 1);
            const int titleCell = find(r, rules_.title[f]);
            titles[f] = take(titleCell);
            if (titles[f].empty()) titles[f] = rules_.fixedTitle[f];
            if (titles[f].empty() && cell >= 0)
                titles[f] = r.cells[static_cast<std::size_t>(cell)].name;
            titleWhere[f] = titleCell >= 0
                                ? r.where + ": " + cellWhere(r, static_cast<std::size_t>(titleCell))
                                : r.where + ": title of field " + std::to_string(f + 1);
        }
    }

    std::string flag = "1";  // the vault's rule for an object that does not say
    const int encryptCell = find(r, rules_.encrypt);
    if (encryptCell >= 0) {
        const std::string v = take(encryptCell);
        if (v == "1" || equalsNoCase(v, "true") || equalsNoCase(v, "yes")) {
            flag = "1";
        } else if (v == "0" || equalsNoCase(v, "false") || equalsNoCase(v, "no")) {
            flag = "0";
        } else if (!v.empty()) {
            error(r.where + ": " + cellWhere(r, static_cast<std::size_t>(encryptCell)) + ": " +
                  quoted(v) + " is no encrypt flag (1 or 0)");
        }
    }

    std::string category;
    const int categoryCell = find(r, rules_.category);
    if (categoryCell >= 0) {
        category = take(categoryCell);
    } else if (rules_.categoryFromGroup && r.hasGroup) {
        category = r.group;
    }
    if (rules_.stripFirstGroup) {
        const std::size_t slash = category.find('/');
        category = slash == std::string::npos ? std::string() : category.substr(slash + 1);
    }
    const std::string categoryWhere =
        categoryCell >= 0 ? r.where + ": " + cellWhere(r, static_cast<std::size_t>(categoryCell))
                          : r.where + ": group " + quoted(r.group);

    if (!r.encryptedKey.empty())
        error(r.where + ": key " + quoted(r.encryptedKey) +
              ": the value is encrypted in the file (Protected=\"True\"); export the database as "
              "XML from KeePass or KeePassXC and read that file");

    // What has no place yet: added to a field when the user says so, else a problem.
    for (std::size_t i = 0; i < r.cells.size(); ++i) {
        const ForeignCell &cell = r.cells[i];
        if (used[i] || cell.value.empty()) continue;
        auto in = [&](const std::vector<std::string> &names) {
            return std::find(names.begin(), names.end(), cell.name) != names.end();
        };
        if (in(rules_.ignored) || in(rules_.dropped)) continue;
        if (rules_.extraToField) {
            std::string &v = values[static_cast<std::size_t>(rules_.extraToField - 1)];
            if (!v.empty()) v += "\r\n";
            v += cell.name + ": " + cell.value;
            continue;
        }
        error(r.where + ": " + cellWhere(r, i) +
              " has no place in the vault's three fields (give it one with --map, add it to a "
              "field with --extra-to-field N, or leave it out with --drop " +
              quoted(cell.name) + ")");
    }
    for (const std::string &a : r.attachments)
        if (!rules_.dropAttachments)
            error(r.where + ": the attachment " + quoted(a) +
                  " has no place in the vault (--drop-attachments leaves attachments out)");

    TextLine line;
    for (std::size_t f = 0; f < 3; ++f) {
        std::string v = rules_.lineBreaksToCrLf ? toCrLf(values[f]) : values[f];
        std::string t = rules_.lineBreaksToCrLf ? toCrLf(titles[f]) : titles[f];
        toExchange(v, valueWhere[f],
                   line[static_cast<std::size_t>(valueColumn(static_cast<int>(f)) - 1)]);
        toExchange(t, titleWhere[f],
                   line[static_cast<std::size_t>(titleColumn(static_cast<int>(f)) - 1)]);
        secureWipe(v.data(), v.size());
        secureWipe(values[f].data(), values[f].size());
    }
    toExchange(category, categoryWhere, line[colCategory]);
    line[colFlag] = ByteString(flag.begin(), flag.end());
    if (errorCount_ == errorsBefore) {
        normaliseForExport(line);
        lines_.push_back(std::move(line));
    } else {
        for (ByteString &b : line) secureWipe(b.data(), b.size());
    }
    return true;
}
