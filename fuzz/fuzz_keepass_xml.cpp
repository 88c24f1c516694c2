// Any bytes as KeePass XML: the reader (on expat) must end in an entry list or an error, and the
// entries it hands out must go through the checks of the way into the vault.
#include "foreign.h"
#include "keepass_xml.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    ImportRules rules;
    rules.value = {CellRef{-1, "Title"}, CellRef{-1, "Password"}, CellRef{-1, "UserName"}};
    rules.encrypt = CellRef{-1, "Arkel encrypt"};
    rules.categoryFromGroup = true;
    rules.useLayout = true;
    rules.extraToField = 3;
    rules.allowTruncate = true;
    rules.allowReplace = true;
    rules.dropAttachments = true;
    ForeignImporter importer(rules);
    KeePassXmlReader reader([&](XmlEntry &e) {
        ForeignRecord r;
        r.where = "entry";
        for (const XmlString &s : e.strings) r.cells.push_back({s.key, s.value});
        r.hasGroup = true;
        r.group = e.group;
        return importer.add(r);
    });
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const std::size_t half = size / 2;
    if (reader.feed(text.substr(0, half), false)) reader.feed(text.substr(half), true);
    for (const TextLine &line : importer.lines())
        for (const ByteString &t : line)
            if (t.size() > kFieldTextMax) std::abort();
    return 0;
}
