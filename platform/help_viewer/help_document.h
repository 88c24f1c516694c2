// The help viewer's document: the small HTML subset of a help file, read into pages of blocks of
// formatted runs. Portable (no <windows.h>), so that the parser is tested and fuzzed natively.
//
// What is understood: <h1> to <h6> (h4 and below count as h3), <p>, <div>, <br>, <ul>, <ol>,
// <li>, <b>/<strong>, <i>/<em>, <a href="#name"> (also "file#name") and anchors given by
// <a name="..."> or by an id="..." attribute on any element, <title>, comments, the named
// entities of German typography and numeric character references. The text is UTF-8; a byte that
// is not part of valid UTF-8 is read as Windows-1252, so a Latin-1 file still shows its umlauts.
// Any other tag is dropped and its text kept; the content of <script> and <style> is skipped.
//
// Every <h1> begins a page; what comes before the first <h1> is a page of its own when it holds
// text. An anchor belongs to the block that follows it (an anchor just before a heading names the
// heading's page).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace help {

struct Run {
    std::u16string text;  // U+000A is a line break inside the block
    bool bold = false;
    bool italic = false;
    int link = -1;  // index into Document::links, or -1
};

enum class BlockKind { Heading1, Heading2, Heading3, Paragraph, ListItem };

struct Block {
    BlockKind kind = BlockKind::Paragraph;
    int depth = 0;   // list nesting of a list item (1 = outermost) or of a paragraph inside one
    int number = 0;  // a list item's number in an ordered list; 0 in a bulleted list
    std::vector<Run> runs;
};

struct Page {
    std::u16string heading;  // the text of the page's <h1>; empty for a page before the first
    std::vector<Block> blocks;
};

struct Anchor {
    std::u16string name;
    int page = 0;
    int block = 0;
};

struct Link {
    std::u16string target;  // the anchor name the link points to (after '#')
    int anchor = -1;        // index into Document::anchors; -1 when the link leads nowhere here
};

struct Document {
    std::u16string title;  // the <title>, when there is one
    std::vector<Page> pages;
    std::vector<Anchor> anchors;
    std::vector<Link> links;

    // The anchor of that name (exact comparison), or nullptr.
    const Anchor *find(std::u16string_view name) const;
};

// Reads a help file. Never fails: any input gives a document, possibly without pages.
Document Parse(std::string_view html);

// The plain text of a block's runs, for tests and for window titles.
std::u16string BlockText(const Block &block);

// Splits a help request "file#anchor" at its last '#': file may be empty, anchor may be empty.
void SplitRequest(std::u16string_view request, std::u16string *file, std::u16string *anchor);

}  // namespace help
