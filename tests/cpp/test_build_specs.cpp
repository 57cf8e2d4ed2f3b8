// Record descriptions built into nodes, their bounds and refusals, the two
// structural edits, and the description reader's refusals of text that
// would not be UTF-8 or that follows the list.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "build.hpp"
#include "json.hpp"

namespace pellorine::build {
namespace {

using namespace std::string_literals;

NodeSpec spec(std::string tag, std::optional<std::string> value = std::nullopt, std::vector<NodeSpec> children = {},
              std::optional<std::string> xref = std::nullopt) {
    return NodeSpec{std::move(xref), std::move(tag), std::move(value), std::move(children)};
}

std::string render(const Node& n, std::uint16_t level = 0) {
    std::string out;
    n.render_into(level, out);
    return out;
}

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

// A chain of `depth` descriptions, each the only child of the one before.
NodeSpec chain(std::size_t depth, std::optional<std::string> deepest_value = std::nullopt) {
    NodeSpec s = spec("A", std::move(deepest_value));
    for (std::size_t i = 1; i < depth; ++i) s = spec("A", std::nullopt, {std::move(s)});
    return s;
}

template <class T>
void expect_error(const Result<T>& r, const std::string& message, ErrorKind kind) {
    ASSERT_FALSE(r) << message;
    EXPECT_EQ(r.error().message, message);
    EXPECT_EQ(r.error().kind, kind);
}

const std::string kDeep = "the structure is nested deeper than the limit";
const std::string kLong = "the line is longer than the limit";
constexpr std::size_t kLine = 16777216;  // the longest line the parser reads

TEST(Build, RecordsRenderAsTheirDescriptionSays) {
    auto built = into_node(
        spec("INDI", "", {spec("NAME", "John /Doe/"), spec("NOTE", "a\r\nb\rc", {spec("SOUR", "@S1@")})}, "@I1@"),
        default_limits);
    ASSERT_TRUE(built) << built.error().message;
    EXPECT_EQ(render(*built), "0 @I1@ INDI\n1 NAME John /Doe/\n1 NOTE a\n2 CONT b\n2 CONT c\n2 SOUR @S1@\n");
    auto sub = into_substructure(spec("NOTE", "x\n"), default_limits);
    ASSERT_TRUE(sub);
    EXPECT_EQ(render(*sub, 1), "1 NOTE x\n2 CONT \n");
}

TEST(Build, RefusesWithTheRuleBroken) {
    const std::string tag = " is not a GEDCOM tag: ASCII letters, digits, or underscore";
    const std::string shape = " is not a cross-reference identifier: the @I1@ shape";
    const struct {
        NodeSpec spec;
        bool record;  // into_node, else into_substructure
        std::string message;
        ErrorKind kind;
    } cases[] = {
        {spec(""), true, "\"\"" + tag, ErrorKind::Syntax},
        {spec("A!", "x", {}, "bad"), true, "\"A!\"" + tag, ErrorKind::Syntax},  // the tag before the identifier
        {spec("A\0B"s), true, "\"A\\0B\"" + tag, ErrorKind::Syntax},
        {spec("INDI", {}, {}, "@I\x1f@"), true, "\"@I\\u{1f}@\"" + shape, ErrorKind::Syntax},
        {spec("INDI", {}, {}, "@@@"), true, "\"@@@\"" + shape, ErrorKind::Syntax},
        // The level is checked before the shape.
        {spec("INDI", {}, {spec("NOTE", {}, {}, "@ bad")}), true,
         "@ bad is on a NOTE below level zero, where only records carry identifiers", ErrorKind::Syntax},
        {chain(66), true, kDeep, ErrorKind::Limit},
        {chain(65), false, kDeep, ErrorKind::Limit},
        {chain(65, "a\nb"), true, kDeep, ErrorKind::Limit},  // a continuation line at level 65
        {chain(64, "a\r"), false, kDeep, ErrorKind::Limit},
        {spec("NOTE", std::string(kLine - 6, 'x')), false, kLong, ErrorKind::Limit},
        {spec(std::string(kLine - 1, 'A')), true, kLong, ErrorKind::Limit},
        {spec("N", {}, {}, std::string("@").append(kLine - 5, 'x').append("@")), true, kLong, ErrorKind::Limit},
        {spec("NOTE", "a\n" + std::string(kLine - 6, 'x')), true, kLong, ErrorKind::Limit},
    };
    for (const auto& c : cases) {
        auto built = c.record ? into_node(c.spec, default_limits) : into_substructure(c.spec, default_limits);
        expect_error(built, c.message, c.kind);
        EXPECT_TRUE(built || built.error().line == 0u);
    }
}

TEST(Build, BoundsAdmitTheirLastValue) {
    EXPECT_TRUE(into_node(chain(65), default_limits));
    EXPECT_TRUE(into_substructure(chain(64), default_limits));
    EXPECT_TRUE(into_node(chain(65, "one line"), default_limits));
    EXPECT_TRUE(into_node(chain(64, "two\nlines"), default_limits));
    // "1 NOTE " and the payload make exactly the longest line the parser reads.
    EXPECT_TRUE(into_substructure(spec("NOTE", std::string(kLine - 7, 'x')), default_limits));
    // "0 " and the tag fill the line; an empty value, or an empty first line, adds no trailing space.
    const std::string longest_tag(kLine - 2, 'A');
    EXPECT_TRUE(into_node(spec(longest_tag), default_limits));
    EXPECT_TRUE(into_node(spec(longest_tag, ""), default_limits));
    auto split = into_node(spec(longest_tag, "\nsecond"), default_limits);
    ASSERT_TRUE(split);
    EXPECT_EQ(render(*split).size(), kLine + "\n1 CONT second\n"s.size());

    // Levels never wrap around under the widest depth bound.
    std::uint64_t counter = 0;
    expect_error(build_node(spec("A", {}, {spec("B")}), UINT16_MAX, 10, UINT16_MAX, counter), kDeep, ErrorKind::Limit);
    counter = 0;
    EXPECT_TRUE(build_node(spec("A"), UINT16_MAX, 10, UINT16_MAX, counter));

    // The structure bound counts descriptions per tree, not continuation lines.
    ParseLimits limits;
    limits.max_lines = 3;
    NodeSpec three = spec("A", "x\ny\nz", {spec("B"), spec("C")});
    EXPECT_TRUE(into_node(three, limits));
    EXPECT_TRUE(into_node(three, limits));  // a fresh count for each record
    three.children.push_back(spec("D"));
    expect_error(into_node(three, limits), "the record has too many structures", ErrorKind::Limit);
}

TEST(Build, EveryAcceptedValueReadsBackAsWritten) {
    for (std::string value : {"plain"s, "\ttab\0nul\x7f"s, " lead and trail "s, "a\n\nb\n"s, "\xF0\x9F\x98\x80\r\n"s}) {
        auto built = into_node(spec("NOTE", value, {}, "@N1@"), default_limits);
        ASSERT_TRUE(built);
        Document doc = parse(render(*built));
        ASSERT_EQ(doc.records.size(), 1u);
        std::string expected = value;
        for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at, 1);  // the CR goes, the LF stays
        EXPECT_EQ(doc.records[0].logical_value(), expected);
        EXPECT_EQ(render(doc.records[0]), render(*built));
    }
}

// Random trees of random texts: whatever the builders accept, the document
// reads back as the same text; whatever they refuse leaves it unchanged.
TEST(Build, AcceptedTreesReadBackAndRefusedOnesChangeNothing) {
    const std::string pieces[] = {"A", "_x", "1", "@", " ", "\n", "\r", "\r\n", "\t", std::string(1, '\0'), "\x7f",
                                  "\xC3\xA9", "\xF0\x9F\x98\x80", "!"};
    std::mt19937 random(1066);
    auto text = [&](std::size_t most) {
        std::string out;
        for (std::size_t i = random() % (most + 1); i > 0; --i) out += pieces[random() % std::size(pieces)];
        return out;
    };
    auto maybe = [&](std::size_t most) { return random() % 3 ? std::optional<std::string>(text(most)) : std::nullopt; };
    auto tree = [&](auto&& self, int depth) -> NodeSpec {
        NodeSpec s{depth == 0 && random() % 2 ? std::optional<std::string>(std::string("@").append(text(4)).append("@")) : maybe(4),
                   random() % 4 ? std::string{'T', static_cast<char>('0' + random() % 9)} : text(3), maybe(12), {}};
        if (depth < 3)
            for (std::size_t i = random() % 3; i > 0; --i) s.children.push_back(self(self, depth + 1));
        return s;
    };
    std::size_t accepted = 0;
    Document doc = parse("0 HEAD\n0 TRLR\n");
    for (int round = 0; round < 2000; ++round) {
        const std::string before = doc.to_text();
        auto built = into_node(tree(tree, 0), default_limits);
        if (!built) continue;
        std::vector<Node> one;
        one.push_back(std::move(*built));
        if (!append_records(doc, std::move(one))) {
            EXPECT_EQ(doc.to_text(), before);
            continue;
        }
        ++accepted;
        auto again = Document::parse(doc.to_text());
        ASSERT_TRUE(again) << again.error().display() << "\n" << doc.to_text();
        EXPECT_EQ(again->to_text(), doc.to_text());
    }
    EXPECT_GT(accepted, 100u);
}

std::vector<Node> built(std::vector<NodeSpec> specs, bool records) {
    std::vector<Node> out;
    for (NodeSpec& s : specs)
        out.push_back(*(records ? into_node(std::move(s), default_limits) : into_substructure(std::move(s), default_limits)));
    return out;
}
std::vector<Node> records_of(std::vector<NodeSpec> specs) { return built(std::move(specs), true); }
std::vector<Node> structures_of(std::vector<NodeSpec> specs) { return built(std::move(specs), false); }

TEST(AppendRecords, GoBeforeTheLastTrailerOrAtTheEnd) {
    Document two = parse("0 HEAD\n0 TRLR\n0 @X1@ NOTE x\n0 TRLR\n");
    ASSERT_TRUE(append_records(two, records_of({spec("SUBM", {}, {}, "@U1@"), spec("NOTE", "n")})));
    EXPECT_EQ(two.to_text(), "0 HEAD\n0 TRLR\n0 @X1@ NOTE x\n0 @U1@ SUBM\n0 NOTE n\n0 TRLR\n");
    Document none = parse("0 HEAD\n");
    ASSERT_TRUE(append_records(none, records_of({spec("head")})));
    EXPECT_EQ(none.to_text(), "0 HEAD\n0 head\n");
}

TEST(AppendRecords, RefusalsLeaveTheDocumentAsItWas) {
    const std::string text = "0 HEAD\n0 @I1@ INDI\n0 TRLR\n";
    const std::pair<std::vector<NodeSpec>, std::string> cases[] = {
        {{spec("NOTE"), spec("HEAD")}, "a document has one HEAD, and this one already does"},
        {{spec("TRLR")}, "a document has one TRLR, and this one already does"},
        {{spec("INDI", {}, {}, "@i1@")}, "the document already has a record @i1@"},
        {{spec("INDI", {}, {}, "@I2@"), spec("FAM", {}, {}, "@i2@")}, "the document already has a record @i2@"},
    };
    for (const auto& [specs, message] : cases) {
        Document doc = parse(text);
        expect_error(append_records(doc, records_of(specs)), message, ErrorKind::Structure);
        EXPECT_EQ(doc.to_text(), text);
    }
}

TEST(AppendStructures, LandAfterTheChildrenOfTheAddressedNode) {
    Document doc = parse("0 HEAD\n1 SOUR x\n0 @I1@ INDI\n1 NAME A\n2  GIVN A\n0 TRLR\n");
    ASSERT_TRUE(append_structures(doc, "HEAD", {}, structures_of({spec("NOTE", "n")})));
    ASSERT_TRUE(append_structures(doc, "@i1@", {0}, structures_of({spec("SURN", "B"), spec("NOTE", "1\n2")})));
    EXPECT_EQ(doc.to_text(),
              "0 HEAD\n1 SOUR x\n1 NOTE n\n0 @I1@ INDI\n1 NAME A\n2  GIVN A\n2 SURN B\n2 NOTE 1\n3 CONT 2\n0 TRLR\n");
}

TEST(AppendStructures, RefusalsLeaveTheDocumentAsItWas) {
    const std::string text = "0 HEAD\n1 GEDC\n0 @I1@ INDI\n1 NAME A\n0 TRLR\n";
    const struct {
        std::string record;
        Path path;
        std::string message;
        ErrorKind kind;
        bool identified = false;
    } cases[] = {
        {"head", {}, "no record head", ErrorKind::Structure},
        {"INDI", {}, "no record INDI", ErrorKind::Structure},
        {"@I1@", {1}, "no structure at [1] in @I1@", ErrorKind::Structure},
        {"@I1@", {0, 0}, "no structure at [0, 0] in @I1@", ErrorKind::Structure},
        {"nobody", {}, "a NOTE below level zero cannot carry an identifier", ErrorKind::Syntax, true},
    };
    for (const auto& c : cases) {
        Document doc = parse(text);
        std::vector<Node> nodes = structures_of({spec("NOTE")});
        if (c.identified) nodes.push_back(Node::record("@N1@", "NOTE"));
        expect_error(append_structures(doc, c.record, c.path, std::move(nodes)), c.message, c.kind);
        EXPECT_EQ(doc.to_text(), text);
    }
}

// A record whose single line of each level reaches `depth`.
std::string deep_record(int depth) {
    std::string text = "0 @I1@ INDI\n";
    for (int level = 1; level <= depth; ++level) text += std::to_string(level) + " A\n";
    return text;
}

TEST(AppendStructures, RefusesLinesThatWouldLandPastTheDepthOrLengthBound) {
    const std::string sixty = deep_record(60);
    Document doc = parse(sixty);
    // Under level 60: a tree of four levels ends at 64; one of five, or four with a
    // two-line value at the bottom, would end at 65.
    expect_error(append_structures(doc, "@I1@", Path(60, 0), structures_of({chain(5)})), kDeep, ErrorKind::Limit);
    EXPECT_FALSE(append_structures(doc, "@I1@", Path(60, 0), structures_of({spec("B"), chain(4, "x\ny")})));
    EXPECT_EQ(doc.to_text(), sixty);
    ASSERT_TRUE(append_structures(doc, "@I1@", Path(60, 0), structures_of({chain(4, "x")})));
    ASSERT_TRUE(append_structures(doc, "@I1@", Path(59, 0), structures_of({chain(4, "x\ny")})));
    EXPECT_TRUE(Document::parse(doc.to_text()));

    // Built at level 1, "1 NOTE " and the payload fill the longest line; at level 10 the
    // level takes one byte more.
    const std::string nine = deep_record(9), payload(kLine - 7, 'x');
    Document wide = parse(nine);
    expect_error(append_structures(wide, "@I1@", Path(9, 0), structures_of({spec("NOTE", payload)})), kLong,
                 ErrorKind::Limit);
    EXPECT_EQ(wide.to_text(), nine);
    ASSERT_TRUE(append_structures(wide, "@I1@", Path(8, 0), structures_of({spec("NOTE", payload)})));
    EXPECT_TRUE(Document::parse(wide.to_text()));
}

TEST(SpecReader, RefusesEscapedLoneSurrogatesAndAnythingAfterTheList) {
    const std::pair<std::string, std::string> cases[] = {
        {R"([{"tag":"\udc00"}])", "The surrogate pair in string is invalid at line 1 column 10"},
        {R"([{"tag":"A","value":"ok \ud83d\ude00 then \uDFFF"}])",
         "The surrogate pair in string is invalid at line 1 column 43"},
        {R"([{"tag":"A","\udc00":1}])", "The surrogate pair in string is invalid at line 1 column 14"},
        {R"([{"tag":"\\udc00 \ud800x"}])", "The surrogate pair in string is invalid at line 1 column 18"},
        {"[]\0trailing"s, "The document root must not be followed by other values at line 1 column 3"},
        {"[] \0"s, "The document root must not be followed by other values at line 1 column 4"},
        {"[]\n\0"s, "The document root must not be followed by other values at line 2 column 1"},
    };
    for (const auto& [json, message] : cases) {
        auto read = json::read_node_specs(json);
        ASSERT_FALSE(read) << json;
        EXPECT_EQ(read.error().message, message) << json;
    }
    auto pair = json::read_node_specs(R"([{"tag":"A","value":"\ud83d\ude00 \\udc00"}])");
    ASSERT_TRUE(pair);
    EXPECT_EQ((*pair)[0].value, "\xF0\x9F\x98\x80 \\udc00");
    EXPECT_TRUE(json::read_node_specs("[] \n"));
}

}  // namespace
}  // namespace pellorine::build
