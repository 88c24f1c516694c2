// The help viewer's reading of its HTML subset: blocks and runs, pages, anchors, links, entities
// and encodings, and what it does with markup it does not know.
#include "help_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Utf8(const std::u16string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A page as one line per block: "kind:" and its runs, a run as {text} after b (bold), i (italic)
// or a link as [text>target], with "!" when the target is no anchor of the document. Pages are
// separated by "=heading" lines.
std::string Describe(const help::Document &doc) {
    std::string out;
    for (size_t p = 0; p < doc.pages.size(); ++p) {
        if (p > 0 || !doc.pages[p].heading.empty()) out += "=" + Utf8(doc.pages[p].heading) + "\n";
        for (const help::Block &b : doc.pages[p].blocks) {
            switch (b.kind) {
            case help::BlockKind::Heading1: out += "h1:"; break;
            case help::BlockKind::Heading2: out += "h2:"; break;
            case help::BlockKind::Heading3: out += "h3:"; break;
            case help::BlockKind::Paragraph:
                out += b.depth ? "p" + std::to_string(b.depth) + ":" : "p:";
                break;
            case help::BlockKind::ListItem:
                out += "li" + std::to_string(b.depth) +
                       (b.number ? "#" + std::to_string(b.number) : "") + ":";
                break;
            }
            for (const help::Run &r : b.runs) {
                if (r.link >= 0) {
                    const help::Link &l = doc.links[r.link];
                    out +=
                        "[" + Utf8(r.text) + ">" + Utf8(l.target) + (l.anchor < 0 ? "!" : "") + "]";
                    continue;
                }
                out += std::string(r.bold ? "b" : "") + (r.italic ? "i" : "") + "{" + Utf8(r.text) +
                       "}";
            }
            out += "\n";
        }
    }
    return out;
}

TEST(HelpDocument, ReadsBlocksRunsAndPages) {
    struct Case {
        const char *name;
        const char *html;
        const char *expected;
    } cases[] = {
        {"blanks collapse, also across lines", "<p>  Hallo\n \t Welt  </p><p>zwei</p>",
         "p:{Hallo Welt}\np:{zwei}\n"},
        {"text outside a paragraph is one", "Anfang <b>fett</b>", "p:{Anfang }b{fett}\n"},
        {"bold and italic nest; a blank between runs ends the earlier one",
         "<p>a <b>fett <i>beides</i></b> <em>kursiv</em> <strong>x</strong></p>",
         "p:{a }b{fett }bi{beides }i{kursiv }b{x}\n"},
        {"a stray closing tag does not undo formatting below zero", "<p></b>a <b>b</p>",
         "p:{a }b{b}\n"},
        {"lists, numbered and nested",
         "<ul><li>eins</li><li>zwei<ol><li>a</li><li><p>b</p></li></ol></li></ul><p>nach</p>",
         "li1:{eins}\nli1:{zwei}\nli2#1:{a}\nli2#2:{b}\np:{nach}\n"},
        {"empty blocks vanish", "<p> </p><li></li><h2></h2><p>x</p>", "p:{x}\n"},
        {"line break inside a paragraph", "<p>eins<br>zwei <br/> drei</p>",
         "p:{eins\nzwei\ndrei}\n"},
        {"every h1 begins a page, text before it is a page of its own",
         "<p>vorn</p><h1>Eins</h1><p>x</p><h2>Unter</h2><h3>U3</h3><h5>U5</h5><h1>Zwei</h1>",
         "p:{vorn}\n=Eins\nh1:{Eins}\np:{x}\nh2:{Unter}\nh3:{U3}\nh3:{U5}\n=Zwei\nh1:{Zwei}\n"},
        {"unknown tags are dropped and their text kept; scripts, styles and comments are not text",
         "<html><head><meta charset=utf-8><style>p { color: red }</style></head><body>"
         "<p>a<span class=\"x\">b</span><blink>c</blink><table><tr><td>d</td></tr></table></p>"
         "<script>if (a < b) document.write('<p>x</p>');</script><!-- <p>weg</p> -->"
         "<!DOCTYPE html><?xml x?><p>e</p></body></html>",
         "p:{abcd}\np:{e}\n"},
        {"a script cut off by the end of the file swallows the rest", "<p>a</p><script>x<p>b",
         "p:{a}\n"},
        {"a '<' that starts no tag is text", "<p>a < b, 3<4 und <= 5</p>",
         "p:{a < b, 3<4 und <= 5}\n"},
        {"a tag cut off by the end of the file", "<p>a</p><p>c<b class=\"x", "p:{a}\np:{c}\n"},
        {"a comment that never ends", "<p>a</p><!-- <p>b</p>", "p:{a}\n"},
        {"links to anchors, to another file's anchor, to nothing here",
         "<h1 id=a>A</h1><p>siehe <a href=\"#b\">B</a>, <a href='arkel.htp#a'>A</a>, "
         "<a href=\"#fehlt\">weg</a> und <a href=\"http://x.example/\">Netz</a>.</p>"
         "<a name=\"b\"></a><h1>B</h1>",
         "=A\nh1:{A}\np:{siehe }[B>b]{, }[A>a]{, }[weg>fehlt!]{ und }[Netz>!]{.}\n=B\nh1:{B}\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Describe(help::Parse(c.html)), c.expected);
    }
}

TEST(HelpDocument, DecodesEntitiesUmlautsAndEncodings) {
    struct Case {
        const char *name;
        std::string html;
        const char *text;
    } cases[] = {
        {"UTF-8 umlauts", "<p>Grüße, Äpfel, Öl, Übel</p>", "Grüße, Äpfel, Öl, Übel"},
        {"named entities",
         "<p>&auml;&ouml;&uuml;&Auml;&Ouml;&Uuml;&szlig; &bdquo;x&ldquo; a&ndash;b "
         "&hellip; &amp;&lt;&gt;&quot;</p>",
         "äöüÄÖÜß „x“ a–b … &<>\""},
        {"numeric references", "<p>&#228;&#xE4;&#XC4; &#x1F600; &#8222;</p>", "ääÄ 😀 „"},
        {"references that are none stay text",
         "<p>&unbekannt; & und &amp &#; &#x; &#12a; &#99999999999;</p>",
         "&unbekannt; & und &amp &#; &#x; &#12a; \xEF\xBF\xBD"},
        {"zero, surrogates and values beyond Unicode become U+FFFD",
         "<p>&#0;&#xD800;&#x110000;</p>", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"a non-breaking space is no blank to collapse", "<p>a&nbsp;&nbsp;b</p>",
         "a\xC2\xA0\xC2\xA0"
         "b"},
        {"Latin-1 and Windows-1252 bytes read as such",
         "<p>Gr\xFC\xDF"
         "e \x84x\x93 \x80</p>",
         "Grüße „x“ €"},
        {"a byte-order mark is no text", "\xEF\xBB\xBF<p>a</p>", "a"},
        {"invalid UTF-8 sequences fall back byte by byte", "<p>\xC3(\xE2\x82 \xF0\x9F\x98</p>",
         "Ã(â‚ ðŸ˜"},
        {"overlong and surrogate UTF-8 forms are not valid", "<p>\xC0\xAF\xED\xA0\x80</p>",
         "À¯í\xC2\xA0€"},
        {"attribute values decode references too",
         "<p><a href=\"#gr&uuml;n\">x</a></p><h1 id=\"grün\">G</h1>", "x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        help::Document doc = help::Parse(c.html);
        ASSERT_FALSE(doc.pages.empty());
        ASSERT_FALSE(doc.pages[0].blocks.empty());
        EXPECT_EQ(Utf8(help::BlockText(doc.pages[0].blocks[0])), c.text);
    }
    help::Document doc = help::Parse(cases[10].html);
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].anchor, 0) << "the link to the umlaut anchor resolves";
}

TEST(HelpDocument, AnchorsNameTheBlockThatFollowsThem) {
    help::Document doc = help::Parse(
        "<title> Die   Hilfe </title>"
        "<a name=\"start\"></a><h1>Eins</h1>"
        "<p>text <a name=\"mitte\">hier</a></p>"
        "<h2 id=\"unter\">Unter</h2>"
        "<p id=\"leer\"></p><a name=\"davor\"></a><ul id=\"liste\"><li>x</li></ul>"
        "<h1 id=\"zwei\">Zwei</h1><p>y</p><a name=\"start\"></a><a name=\"ende\"></a>");
    EXPECT_EQ(Utf8(doc.title), "Die Hilfe");
    struct Case {
        const char *name;
        int page, block;
    } cases[] = {
        {"start", 0, 0}, {"mitte", 0, 1}, {"unter", 0, 2}, {"leer", 0, 3},
        {"davor", 0, 3}, {"liste", 0, 3}, {"zwei", 1, 0},  {"ende", 1, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const help::Anchor *a = doc.find(std::u16string(c.name, c.name + strlen(c.name)));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->page, c.page);
        EXPECT_EQ(a->block, c.block);
    }
    EXPECT_EQ(doc.find(u"fehlt"), nullptr);
    EXPECT_EQ(doc.find(u""), nullptr);
    EXPECT_EQ(doc.find(u"Start"), nullptr) << "anchor names are compared exactly";
}

// The anchors of any number of empty blocks wait together for the next block with text, and every
// link finds its anchor, the first of its name; each is placed and looked up once (the parser
// took minutes for tens of thousands).
TEST(HelpDocument, ManyAnchorsAndLinksArePlacedAndResolved) {
    constexpr int kCount = 20000;
    std::string html = "<h1>Start</h1>";
    for (int i = 0; i < kCount; ++i) html += "<p id=\"e" + std::to_string(i) + "\"></p>";
    html += "<p>Text</p><p>";
    for (int i = 0; i < kCount; ++i) html += "<a href=\"#e" + std::to_string(i) + "\">x</a> ";
    html += "</p><p id=\"e0\">Zweiter Name</p>";
    help::Document doc = help::Parse(html);
    ASSERT_EQ(doc.anchors.size(), static_cast<size_t>(kCount) + 1);
    ASSERT_EQ(doc.links.size(), static_cast<size_t>(kCount));
    int misplaced = 0, misled = 0;
    for (int i = 0; i < kCount; ++i) {
        if (doc.anchors[i].page != 0 || doc.anchors[i].block != 1) ++misplaced;
        if (doc.links[i].anchor != i) ++misled;
    }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(misled, 0);
    EXPECT_EQ(doc.anchors[kCount].block, 3) << "the second anchor of a name keeps its own place";
}

TEST(HelpDocument, AnyInputGivesADocument) {
    const std::string inputs[] = {
        "",
        "<",
        "&",
        "<<<>>>",
        "</p></ul></li></h1>",
        "<a href=",
        "<a href=\"#x",
        "<h1><h1><h1>",
        "<ul><ul><ul><li>x",
        std::string("a\0b", 3),
        "<p \x80\xFF=\x01>\xFF</p>",
        "<!---->",
        "<!",
        "<?",
        "<title>x",
        "<p>" + std::string(100000, 'x'),
        std::string(5000, '<') + std::string(5000, '&'),
    };
    for (const std::string &input : inputs) {
        help::Document doc = help::Parse(input);
        for (const help::Link &l : doc.links)
            EXPECT_LT(l.anchor, static_cast<int>(doc.anchors.size()));
        for (const help::Anchor &a : doc.anchors) {
            ASSERT_LT(a.page, static_cast<int>(doc.pages.size()));
            EXPECT_LE(a.block, static_cast<int>(doc.pages[a.page].blocks.size()));
        }
    }
    EXPECT_TRUE(help::Parse("<html><body> \n </body></html>").pages.empty());
    EXPECT_EQ(Describe(help::Parse(std::string("a\0b", 3))), "p:{ab}\n")
        << "control characters are dropped";
}

TEST(HelpDocument, SplitsARequestAtItsLastHash) {
    struct Case {
        std::u16string request, file, anchor;
    } cases[] = {
        {u"arkel.htp#new", u"arkel.htp", u"new"},
        {u"C:\\Programme\\Arkel\\arkel.htp#arkel_help", u"C:\\Programme\\Arkel\\arkel.htp",
         u"arkel_help"},
        {u"arkel.htp", u"arkel.htp", u""},
        {u"#titles", u"", u"titles"},
        {u"a#b#c", u"a#b", u"c"},
        {u"", u"", u""},
    };
    for (const Case &c : cases) {
        std::u16string file, anchor;
        help::SplitRequest(c.request, &file, &anchor);
        EXPECT_EQ(file, c.file);
        EXPECT_EQ(anchor, c.anchor);
    }
}

}  // namespace
