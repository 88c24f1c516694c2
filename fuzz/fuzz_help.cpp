// Any bytes as a help file: the viewer's parser never reads past them, and what it gives back
// holds together (every anchor names an existing page and a block of it or its end, every link's
// anchor exists, no page and no block is empty).
#include "help_document.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    help::Document doc = help::Parse(std::string_view(reinterpret_cast<const char *>(data), size));
    for (const help::Anchor &a : doc.anchors) {
        if (a.page < 0 || a.page >= static_cast<int>(doc.pages.size())) std::abort();
        if (a.block < 0 || a.block > static_cast<int>(doc.pages[a.page].blocks.size()))
            std::abort();
        if (a.name.empty()) std::abort();
    }
    for (const help::Link &l : doc.links)
        if (l.anchor >= static_cast<int>(doc.anchors.size())) std::abort();
    for (const help::Page &p : doc.pages) {
        if (p.blocks.empty()) std::abort();
        for (const help::Block &b : p.blocks) {
            if (b.runs.empty()) std::abort();
            for (const help::Run &r : b.runs)
                if (r.link >= static_cast<int>(doc.links.size())) std::abort();
        }
    }
    return 0;
}
