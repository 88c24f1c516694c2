// Any bytes as CSV: the reader must give the same records however the file is split into pieces,
// the writer must quote every record so that it reads back the same, and the checks of the way
// into the vault must take or refuse every record without leaving their buffers.
#include "csv.h"
#include "foreign.h"

#include <cstdlib>
#include <string_view>

namespace {

struct Read {
    bool ok;
    std::vector<CsvRecord> records;
};

Read readCsv(std::string_view text, std::size_t split) {
    CsvReader reader;
    Read r;
    r.ok = reader.feed(text.substr(0, split), r.records) &&
           reader.feed(text.substr(split), r.records) && reader.finish(r.records);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const Read whole = readCsv(text, size);
    const Read split = readCsv(text, size ? data[0] % size : 0);
    if (whole.ok != split.ok || whole.records.size() != split.records.size()) std::abort();
    for (std::size_t i = 0; i < whole.records.size(); ++i)
        if (whole.records[i].fields != split.records[i].fields) std::abort();
    if (!whole.ok || whole.records.empty()) return 0;

    std::string written;
    for (const CsvRecord &rec : whole.records) {
        // An empty line is no record; one empty field is written as nothing and would vanish.
        if (rec.fields.size() == 1 && rec.fields[0].empty()) return 0;
        appendCsvRecord(written, rec.fields);
    }
    const Read back = readCsv(written, written.size() / 2);
    if (!back.ok || back.records.size() != whole.records.size()) std::abort();
    for (std::size_t i = 0; i < back.records.size(); ++i)
        if (back.records[i].fields != whole.records[i].fields) std::abort();

    // The first record as the header, the first columns as the fields, the rest extra.
    const std::vector<std::string> &header = whole.records[0].fields;
    ImportRules rules;
    rules.positional = true;
    for (std::size_t f = 0; f < 3 && f < header.size(); ++f)
        rules.value[f].index = static_cast<int>(f);
    if (header.size() > 3) rules.category.index = 3;
    rules.extraToField = data[0] % 4;
    rules.allowTruncate = data[0] & 0x10;
    rules.allowReplace = data[0] & 0x20;
    ForeignImporter importer(rules);
    for (std::size_t i = 1; i < whole.records.size(); ++i) {
        ForeignRecord r;
        r.where = "row";
        for (std::size_t c = 0; c < whole.records[i].fields.size() && c < header.size(); ++c)
            r.cells.push_back({header[c], whole.records[i].fields[c]});
        importer.add(r);
    }
    for (const TextLine &line : importer.lines())
        for (const ByteString &text : line)
            if (text.size() > kFieldTextMax) std::abort();
    return 0;
}
