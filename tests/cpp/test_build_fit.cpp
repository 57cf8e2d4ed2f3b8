// The cutting rule, fitting a record within a line limit, and wrapping a
// whole document: exact outputs, what each leaves alone, and read-back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "build.hpp"

namespace pellorine::build {
namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::string>;

}  // namespace

void PrintTo(const WrappedLine& w, std::ostream* os) { *os << w.to_json(); }

namespace {

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

Pieces cut_text(std::string_view text, std::size_t first, std::size_t later) {
    Pieces out;
    for (std::string_view p : cut(text, first, later)) out.emplace_back(p);
    return out;
}

// Every structure's logical payload, identifier and tag in document order,
// continuation lines left out: what fitting and wrapping must keep.
std::string logical_outline(const Document& doc) {
    std::string out;
    auto walk = [&](auto&& self, const Node& n, int level) -> void {
        out += std::to_string(level) + " " + std::string(n.xref().value_or("")) + " " + std::string(n.tag()) + " [" +
               n.logical_value() + "]\n";
        for (const Node& c : n.children()) {
            if (c.tag() != "CONT" && c.tag() != "CONC") self(self, c, level + 1);
        }
    };
    for (const Node& r : doc.records) walk(walk, r, 0);
    return out;
}

// ---------------------------------------------------------------- cutting

struct CutCase {
    const char* name;
    std::string text;
    std::size_t first, later;
    Pieces pieces;
};

class Cut : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cut, GivesThesePieces) {
    const CutCase& c = GetParam();
    EXPECT_EQ(cut_text(c.text, c.first, c.later), c.pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Build, Cut,
    ::testing::Values(
        CutCase{"inside_the_second_word", "aaaa bbbb", 6, 6, {"aaaa b", "bbb"}},
        CutCase{"back_off_a_space_on_either_side", "aaaaaa bbb", 7, 7, {"aaaaa", "a bbb"}},
        CutCase{"exactly_the_budget_is_not_cut", "abcd", 4, 4, {"abcd"}},
        CutCase{"empty_text", "", 4, 4, {""}},
        CutCase{"later_budget_after_the_first", "abcdefghij", 4, 5, {"abcd", "efghi", "j"}},
        CutCase{"budget_inside_a_character", "abc\xC3\xA9x", 4, 4, {"abc", "\xC3\xA9x"}},
        CutCase{"four_byte_characters", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 6, 4,
                {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}},
        CutCase{"only_spaces", "      ", 4, 4, {"    ", "  "}},
        CutCase{"word_then_space_at_the_budget", "abcd efgh", 4, 4, {"abc", "d ef", "gh"}},
        CutCase{"space_run_left_at_the_front_when_nothing_else_will_do", "ab      cd", 5, 5, {"ab", "     ", " cd"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cut, PiecesJoinBackWithinBudgetsAndWholeCharacters) {
    const std::string alphabet[] = {"a", "b", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    std::mt19937 random(20261206);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        std::size_t chars = random() % 60;
        for (std::size_t i = 0; i < chars; ++i) text += alphabet[random() % std::size(alphabet)];
        std::size_t first = 4 + random() % 12, later = 4 + random() % 12;
        auto pieces = cut(text, first, later);
        std::string joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            std::string_view p = pieces[i];
            EXPECT_LE(p.size(), i == 0 ? first : later) << text;
            if (i + 1 < pieces.size()) {
                EXPECT_FALSE(p.empty()) << text;
            }
            if (!p.empty()) {
                EXPECT_NE(static_cast<unsigned char>(p.front()) & 0xC0, 0x80) << "split character in " << text;
            }
            joined += p;
        }
        EXPECT_EQ(joined, text);
    }
}

TEST(Cut, RefusesBudgetsTooSmallToHoldACharacter) {
    EXPECT_THROW(cut("abcdef", 3, 4), std::logic_error);
    EXPECT_THROW(cut("abcdef", 4, 0), std::logic_error);
}

// ---------------------------------------------------------------- fitting

const std::string letters300(300, 'x');

TEST(Fit, SplitsAnOverlongPayloadWithinTheTwoByteLineEnd) {
    Document doc = parse("0 @N1@ NOTE\n1 NOTE " + letters300 + "\n");
    auto changed = doc.fit_line_limit("@n1@", 255);
    ASSERT_TRUE(changed);
    EXPECT_TRUE(*changed);
    EXPECT_EQ(doc.to_text(), "0 @N1@ NOTE\n1 NOTE " + std::string(246, 'x') + "\n2 CONC " + std::string(54, 'x') + "\n");
    EXPECT_FALSE(*doc.fit_line_limit("@N1@", 255));  // fitted already
}

TEST(Fit, ResplitsEachSegmentOfTheLeadingRun) {
    std::string a(30, 'a'), b(30, 'b'), a40(40, 'a'), b40(40, 'b');
    Document doc = parse("0 @N1@ NOTE " + a + "\n1 CONC " + b + "\n1 CONT short\n1 CONT " + a40 +
                         "\n1 CONC tail\n1 SOUR @S1@\n2 NOTE " + b40 + "\n1 CONC after\n");
    const std::string before = logical_outline(doc);
    ASSERT_TRUE(*doc.fit_line_limit("@N1@", 40));
    // The record line: first = 40 - (1 + 5 + 4 + 4) = 26, later = 40 - (1 + 8) = 31; a CONT
    // head or a level-2 line: first = 40 - (1 + 4 + 4) = 31. The CONC after SOUR is no
    // longer in the leading run: it is fitted as a structure of its own, and fits.
    EXPECT_EQ(doc.to_text(), "0 @N1@ NOTE " + a.substr(0, 26) + "\n1 CONC " + a.substr(26) + b.substr(0, 27) +
                                 "\n1 CONC bbb\n1 CONT short\n1 CONT " + a40.substr(0, 31) + "\n1 CONC " +
                                 a40.substr(31) + "tail\n1 SOUR @S1@\n2 NOTE " + b40.substr(0, 31) + "\n3 CONC " +
                                 b40.substr(31) + "\n1 CONC after\n");
    EXPECT_EQ(logical_outline(parse(doc.to_text())), before);
}

TEST(Fit, LeavesSegmentsItMustNotRebuild) {
    const std::string long_word(60, 'w');
    const std::string cases[] = {
        "0 @N1@ NOTE " + long_word + "\n",                                    // budgets under 4 at limit 10
        "0 @N1@ NOTE\n1 SOUR @" + long_word + "@\n",                          // a pointer
        "0 @N1@ NOTE\n1  NOTE " + long_word + "\n",                           // the line as read
        "0 @N1@ NOTE x\n01 CONC " + long_word + "\n",                         // a CONC line as read
        "0 @N1@ NOTE " + long_word + "\n1 CONC x\n2 DATE 1900\n",              // a CONC that carries a line
        "0 @N1@ NOTE " + long_word + "\n1 @C1@ CONC x\n",                     // a CONC with an identifier
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Document doc = parse(cases[i]);
        EXPECT_FALSE(*doc.fit_line_limit("@N1@", i == 0 ? 10 : 40)) << cases[i];
        EXPECT_EQ(doc.to_text(), cases[i]);
    }
    Document doc = parse("0 HEAD\n");
    auto missing = doc.fit_line_limit("@X@", 255);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "no record @X@");
    EXPECT_EQ(missing.error().kind, ErrorKind::Structure);
    EXPECT_FALSE(doc.fit_line_limit("HEAD", 255));
}

TEST(Fit, ALineOfExactlyTheLimitLessOneIsResplitButNotWrapped) {
    // "1 NOTE " and 247 letters: 254 bytes, one under the limit of 255.
    const std::string text = "0 @N1@ NOTE\n1 NOTE " + std::string(247, 'x') + "\n";
    Document wrapped = parse(text);
    EXPECT_TRUE(wrapped.wrap_long_lines(255)->empty());
    EXPECT_EQ(wrapped.to_text(), text);
    Document fitted = parse(text);
    EXPECT_TRUE(*fitted.fit_line_limit("@N1@", 255));
}

// A record whose deepest line stands at level 64, with an over-long payload there.
std::string deep_record(std::string_view payload) {
    std::string text = "0 @N1@ NOTE\n";
    for (int level = 1; level < 64; ++level) text += std::to_string(level) + " A\n";
    return text + "64 NOTE " + std::string(payload) + "\n";
}

TEST(FitAndWrap, LeaveANodeAtTheDepthBoundAsItIs) {
    const std::string text = deep_record(std::string(300, 'x'));
    Document doc = parse(text);
    EXPECT_FALSE(*doc.fit_line_limit("@N1@", 255));
    EXPECT_TRUE(doc.wrap_long_lines(255)->empty());
    EXPECT_EQ(doc.to_text(), text);
}

// ---------------------------------------------------------------- wrapping

TEST(Wrap, RefusesVersionSevenBeforeASmallLimit) {
    Document v7 = parse("0 HEAD\n1 GEDC\n2 VERS 7.0\n");
    auto refused = v7.wrap_long_lines(31);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "version 7 has no CONC and no line limit, so there is nothing to wrap");
    EXPECT_EQ(refused.error().kind, ErrorKind::Structure);
    Document v551 = parse("0 HEAD\n1 GEDC\n2 VERS 5.5.1\n");
    refused = v551.wrap_long_lines(31);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "a line limit under 32 bytes leaves no room for a payload");
    EXPECT_EQ(refused.error().kind, ErrorKind::Limit);
    EXPECT_TRUE(v551.wrap_long_lines(32));
}

TEST(Wrap, RebuildsTheWholeLogicalPayload) {
    Document doc = parse("0 @N1@ NOTE\n1 NOTE " + letters300 + "\n");
    auto reports = doc.wrap_long_lines(255);
    ASSERT_TRUE(reports);
    EXPECT_EQ(*reports, (std::vector<WrappedLine>{{"@N1@", {0}, "NOTE"}}));
    EXPECT_EQ(doc.to_text(), "0 @N1@ NOTE\n1 NOTE " + std::string(247, 'x') + "\n2 CONC " + std::string(53, 'x') + "\n");

    std::string word(40, 'w');
    Document lines = parse("0 NOTE " + word + "\n1 CONT\n1 SOUR @S1@\n1 CONC " + word + "\n1 CONT last\n");
    const std::string before = logical_outline(lines);
    reports = lines.wrap_long_lines(40);
    ASSERT_TRUE(reports);
    EXPECT_EQ(*reports, (std::vector<WrappedLine>{{"NOTE", {}, "NOTE"}}));
    // first = 39 - (1 + 4 + 2) = 32; later = 39 - (1 + 6) = 32.
    EXPECT_EQ(lines.to_text(), "0 NOTE " + word.substr(0, 32) + "\n1 CONC " + word.substr(32) +
                                   "\n1 CONT " + word.substr(0, 32) + "\n1 CONC " + word.substr(32) +
                                   "\n1 CONT last\n1 SOUR @S1@\n");
    EXPECT_EQ(logical_outline(parse(lines.to_text())), before);
}

TEST(Wrap, AnEmptyMiddleLineBecomesABareCont) {
    Document doc = parse("0 @N1@ NOTE\n1 NOTE " + letters300 + "\n2 CONT\n2 CONT end\n");
    ASSERT_EQ(doc.wrap_long_lines(255)->size(), 1u);
    EXPECT_EQ(doc.to_text(), "0 @N1@ NOTE\n1 NOTE " + std::string(247, 'x') + "\n2 CONC " + std::string(53, 'x') +
                                 "\n2 CONT\n2 CONT end\n");
}

TEST(Wrap, ReportsCountTheParentsNewContinuationLines) {
    std::string text = "0 @N1@ NOTE " + letters300 + " " + letters300 + "\n1 SOUR @S1@\n2 PAGE " + letters300 + "\n";
    Document doc = parse(text);
    auto reports = doc.wrap_long_lines(255);
    ASSERT_TRUE(reports);
    EXPECT_EQ(*reports, (std::vector<WrappedLine>{{"@N1@", {}, "NOTE"}, {"@N1@", {2, 0}, "PAGE"}}));
    EXPECT_EQ(doc.records[0].children()[2].tag(), "SOUR");
    EXPECT_EQ((*reports)[1].to_json(), R"({"record":"@N1@","path":[2,0],"tag":"PAGE"})");
    EXPECT_TRUE(doc.wrap_long_lines(255)->empty());
}

TEST(Wrap, LeavesNodesWhoseRebuildWouldLoseOrBreakData) {
    const std::string word(300, 'w');
    const std::string pointer = "@" + word + "@";
    struct Case {
        std::string text;
        std::vector<WrappedLine> reports;
        std::string after;  // empty: unchanged
    } cases[] = {
        {"0 @N1@ NOTE\n1 SOUR " + pointer + "\n", {}, ""},
        {"0 @N1@ NOTE " + word + "\n1 CONC x\n2 DATE 1900\n", {}, ""},
        {"0 @N1@ NOTE " + word + "\n1 @C1@ CONT x\n", {}, ""},
        // The node stays; its other children are still wrapped.
        {"0 @N1@ NOTE " + word + "\n1 CONT x\n2 DATE 1900\n1 NOTE " + word + "\n",
         {{"@N1@", {1}, "NOTE"}},
         "0 @N1@ NOTE " + word + "\n1 CONT x\n2 DATE 1900\n1 NOTE " + word.substr(0, 247) + "\n2 CONC " +
             word.substr(247) + "\n"},
    };
    for (const Case& c : cases) {
        Document doc = parse(c.text);
        auto reports = doc.wrap_long_lines(255);
        ASSERT_TRUE(reports);
        EXPECT_EQ(*reports, c.reports) << c.text;
        EXPECT_EQ(doc.to_text(), c.after.empty() ? c.text : c.after);
    }
}

TEST(Wrap, ALongTagLeavesItsLineTooLongWithoutAReport) {
    const std::string text = "0 @N1@ " + std::string(250, 'T') + " payload\n";
    Document doc = parse(text);
    EXPECT_TRUE(doc.wrap_long_lines(255)->empty());
    EXPECT_EQ(doc.to_text(), text);
}

TEST(Wrap, MeasuresTheLineAsReadAndDropsIt) {
    // 253 bytes as rendered, 255 as read with its padded level.
    const std::string text = "0 HEAD\n001 NOTE " + std::string(246, 'x') + "\n";
    Document doc = parse(text);
    auto reports = doc.wrap_long_lines(255);
    ASSERT_EQ(reports->size(), 1u);
    EXPECT_EQ(doc.to_text(), "0 HEAD\n1 NOTE " + std::string(246, 'x') + "\n");
}

}  // namespace
}  // namespace pellorine::build

namespace pellorine::build {
namespace {

// Random documents of notes with spaces, multi-byte characters and line
// breaks, wrapped and fitted under random limits: what comes out reads back
// with the same payloads, within the limit, and a second pass does nothing.
TEST(FitAndWrap, RandomPayloadsReadBackWithinTheLimit) {
    const std::string alphabet[] = {"a", "b", " ", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\n"};
    std::mt19937 random(1871);
    for (int round = 0; round < 300; ++round) {
        std::string text = "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n";
        for (int r = 0; r < 3; ++r) {
            std::string value;
            for (std::size_t i = random() % 400; i > 0; --i) value += alphabet[random() % std::size(alphabet)];
            auto note = NodeSpec::into_node({"@N" + std::to_string(r) + "@", "NOTE", value,
                                             {{std::nullopt, "SOUR", "x" + value.substr(0, value.find('\n')), {}}}},
                                            default_limits);
            ASSERT_TRUE(note);
            note->render_into(0, text);
        }
        const std::uint64_t limit = 32 + random() % 100;
        Document wrapped = parse(text);
        const std::string outline = logical_outline(wrapped);
        ASSERT_TRUE(wrapped.wrap_long_lines(limit));
        std::string out = wrapped.to_text();
        for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            EXPECT_LE(end - start, limit - 1) << out.substr(start, end - start);
        }
        EXPECT_EQ(logical_outline(parse(out)), outline);
        EXPECT_TRUE(wrapped.wrap_long_lines(limit)->empty());

        Document fitted = parse(text);
        for (int r = 0; r < 3; ++r) fitted.fit_line_limit("@N" + std::to_string(r) + "@", limit);
        out = fitted.to_text();
        for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            EXPECT_LE(end - start, limit - 2) << out.substr(start, end - start);
        }
        EXPECT_EQ(logical_outline(parse(out)), outline);
        for (int r = 0; r < 3; ++r) EXPECT_FALSE(*fitted.fit_line_limit("@N" + std::to_string(r) + "@", limit));
    }
}

}  // namespace
}  // namespace pellorine::build
