// The header's schema: which tags it declares, adding a declaration, listing them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document.hpp"
#include "schema.hpp"

namespace pellorine::schema {
namespace {

Node header_of(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(doc->records.front()) : Node::new_("HEAD");
}

std::string render(const Node& n) {
    std::string out;
    n.render_into(0, out);
    return out;
}

// Each TAG line under a SCHMA that has words declares its first word, with the
// others, joined by single spaces, as the URI.
TEST(Schema, DeclarationsAreTheWordsOfEveryTagLine) {
    const Node header = header_of(
        "0 HEAD\n"
        "1 TAG _H direct\n"       // not under a SCHMA
        "1 SCHMA\n"
        "2 TAG _A   http://a \t b\n"
        "2 NOTE _N\n"
        "2 TAG\n"                 // no word: declares nothing
        "2 TAG \t _T\tu\n"        // words after leading white space
        "1 SOUR s\n"
        "1 SCHMA\n"
        "2 TAG _B\n"              // a tag with no URI is declared all the same
        "2 TAG\n3 CONT _C u\n"    // the logical payload counts
        "2 TAG _D\xC2\xA0u\n"     // a no-break space separates words
        "2 TAG _E\n3 CONC F u\n"  // joined without a separator: "_EF"
        "3 _X _G\n");
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(declarations(header), (std::vector<P>{{"_A", "http://a b"}, {"_T", "u"}, {"_B", ""}, {"_C", "u"},
                                                    {"_D", "u"}, {"_EF", "u"}}));
    for (std::string_view tag : {"_A", "_B", "_C", "_D", "_T", "_EF"}) EXPECT_TRUE(is_declared(header, tag)) << tag;
    for (std::string_view tag : {"_a", "_E", "_H", "_N", "_G", "http://a", "", "_D\xC2\xA0u"}) {
        EXPECT_FALSE(is_declared(header, tag)) << tag;
    }
}

// A declaration goes once into the first schema, or into a new last one.
TEST(Schema, DeclareAddsOnce) {
    Node header = header_of("0 HEAD\n1 SCHMA\n2 TAG _A u\n1 SOUR s\n1 SCHMA\n2 TAG _B v\n");
    EXPECT_TRUE(declare(header, "_C", "https://c.example/C"));
    EXPECT_FALSE(declare(header, "_C", "https://other.example/C"));
    EXPECT_FALSE(declare(header, "_B", "w"));
    EXPECT_EQ(render(header),
              "0 HEAD\n1 SCHMA\n2 TAG _A u\n2 TAG _C https://c.example/C\n1 SOUR s\n1 SCHMA\n2 TAG _B v\n");

    header = header_of("0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SOUR s\n");
    EXPECT_TRUE(declare(header, "_A", "u"));
    EXPECT_TRUE(declare(header, "_a", "v"));
    EXPECT_EQ(render(header), "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SOUR s\n1 SCHMA\n2 TAG _A u\n2 TAG _a v\n");
    EXPECT_EQ(declarations(header_of(render(header))), declarations(header));  // what was written reads back
}

// Each undocumented tag its own URI: the tag as the fragment, every byte a
// fragment cannot hold as it is percent-encoded.
TEST(Schema, UndocumentedUriHasTheTagAsItsFragment) {
    EXPECT_EQ(undocumented_uri("_Ma9-.~!$&'()*+,;=:@/? %#[]\"`\xC3\xA9\x7F"),
              "https://pellorine.invalid/undocumented#_Ma9-.~!$&'()*+,;=:@/?%20%25%23%5B%5D%22%60%C3%A9%7F");
}

}  // namespace
}  // namespace pellorine::schema
