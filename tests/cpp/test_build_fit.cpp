// The cutting rule, fitting a record within a line limit, and wrapping a
// whole document: exact outputs, what each leaves alone, and read-back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "build.hpp"

namespace pellorine::build {

void PrintTo(const WrappedLine& w, std::ostream* os) { *os << w.to_json(); }

namespace {

using namespace std::string_literals;
using Pieces = std::vector<std::string>;
using Reports = std::vector<WrappedLine>;

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

// A refusal's message and kind, or "accepted".
template <class T>
std::pair<std::string, ErrorKind> refusal(const Result<T>& r) {
    return r ? std::pair{std::string("accepted"), ErrorKind{}} : std::pair{r.error().message, r.error().kind};
}

// Every structure's logical payload, identifier and tag in document order,
// continuation lines left out: what fitting and wrapping must keep.
std::string logical_outline(const Document& doc) {
    std::string out;
    auto walk = [&](auto&& self, const Node& n, int level) -> void {
        out += std::to_string(level) + " " + std::string(n.xref().value_or("")) + " " + std::string(n.tag()) + " [" +
               n.logical_value() + "]\n";
        for (const Node& c : n.children())
            if (c.tag() != "CONT" && c.tag() != "CONC") self(self, c, level + 1);
    };
    for (const Node& r : doc.records) walk(walk, r, 0);
    return out;
}

// Whether every line of `text` is at most `most` bytes before its line feed.
bool lines_within(const std::string& text, std::size_t most) {
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end - start > most) return false;
    return true;
}

std::string xs(std::size_t n) { return std::string(n, 'x'); }

TEST(Cut, GivesThesePieces) {
    const struct {
        std::string text;
        std::size_t first, later;
        Pieces pieces;
    } cases[] = {
        {"aaaa bbbb", 6, 6, {"aaaa b", "bbb"}},  // inside the second word
        {"aaaaaa bbb", 7, 7, {"aaaaa", "a bbb"}},  // backs off a space on either side
        {"abcd", 4, 4, {"abcd"}},  // exactly the budget: not cut
        {"", 4, 4, {""}},
        {"abcdefghij", 4, 5, {"abcd", "efghi", "j"}},  // the later budget after the first
        {"abc\xC3\xA9x", 4, 4, {"abc", "\xC3\xA9x"}},  // the budget inside a character
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 6, 4, {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}},
        {"      ", 4, 4, {"    ", "  "}},
        {"abcd efgh", 4, 4, {"abc", "d ef", "gh"}},  // a word then a space at the budget
        {"ab      cd", 5, 5, {"ab", "     ", " cd"}},  // a space run left at the front when nothing else will do
    };
    for (const auto& c : cases) {
        Pieces got;
        for (std::string_view p : cut(c.text, c.first, c.later)) got.emplace_back(p);
        EXPECT_EQ(got, c.pieces) << c.text;
    }
    EXPECT_THROW(cut("abcdef", 3, 4), std::logic_error);
    EXPECT_THROW(cut("abcdef", 4, 0), std::logic_error);
}

TEST(Cut, PiecesJoinBackWithinBudgetsAndWholeCharacters) {
    const std::string alphabet[] = {"a", "b", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    std::mt19937 random(20261206);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (std::size_t i = random() % 60; i > 0; --i) text += alphabet[random() % std::size(alphabet)];
        std::size_t first = 4 + random() % 12, later = 4 + random() % 12;
        auto pieces = cut(text, first, later);
        std::string joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            std::string_view p = pieces[i];
            EXPECT_LE(p.size(), i == 0 ? first : later) << text;
            EXPECT_TRUE(!p.empty() || i + 1 == pieces.size()) << text;
            EXPECT_TRUE(p.empty() || (static_cast<unsigned char>(p.front()) & 0xC0) != 0x80) << "split character in " << text;
            joined += p;
        }
        EXPECT_EQ(joined, text);
    }
}

// A record whose deepest line stands at level 64, with an over-long payload there.
std::string deep_record() {
    std::string text = "0 @N1@ NOTE\n";
    for (int level = 1; level < 64; ++level) text += std::to_string(level) + " A\n";
    return text + "64 NOTE " + xs(300) + "\n";
}

TEST(Fit, ResplitsOrLeavesTheLeadingRuns) {
    const std::string a(30, 'a'), b(30, 'b'), a40(40, 'a'), b40(40, 'b'), w60(60, 'w');
    const struct {
        std::string text;
        std::uint64_t limit;
        std::string after;  // empty: unchanged
    } cases[] = {
        // Within the two-byte line end: 255 - (1 + 4 + 4) = 246 bytes on the first line.
        {"0 @N1@ NOTE\n1 NOTE " + xs(300) + "\n", 255, "0 @N1@ NOTE\n1 NOTE " + xs(246) + "\n2 CONC " + xs(54) + "\n"},
        // One byte under the limit as a line, but not with the two-byte end.
        {"0 @N1@ NOTE\n1 NOTE " + xs(247) + "\n", 255, "0 @N1@ NOTE\n1 NOTE " + xs(246) + "\n2 CONC x\n"},
        // The record line: first = 40 - (1 + 5 + 4 + 4) = 26, later = 40 - (1 + 8) = 31; a CONT
        // head or a level-2 line: first = 40 - (1 + 4 + 4) = 31. The CONC after SOUR is no
        // longer in the leading run, and fits.
        {"0 @N1@ NOTE " + a + "\n1 CONC " + b + "\n1 CONT short\n1 CONT " + a40 + "\n1 CONC tail\n1 SOUR @S1@\n2 NOTE " +
             b40 + "\n1 CONC after\n",
         40,
         "0 @N1@ NOTE " + a.substr(0, 26) + "\n1 CONC " + a.substr(26) + b.substr(0, 27) + "\n1 CONC bbb\n1 CONT short\n1 CONT " +
             a40.substr(0, 31) + "\n1 CONC " + a40.substr(31) + "tail\n1 SOUR @S1@\n2 NOTE " + b40.substr(0, 31) +
             "\n3 CONC " + b40.substr(31) + "\n1 CONC after\n"},
        // A CONT or CONC after another structure still continues its parent: its CONC lines go beside it.
        {"0 @N1@ INDI\n1 EVEN Y\n2 DATE 1834\n2 CONT " + xs(300) + "\n", 255,
         "0 @N1@ INDI\n1 EVEN Y\n2 DATE 1834\n2 CONT " + xs(246) + "\n2 CONC " + xs(54) + "\n"},
        {"0 @N1@ NOTE\n1 SOUR @S1@\n1 CONC " + a40 + "\n1 CONT " + b40 + "\n1 CONC " + w60.substr(0, 20) + "\n", 40,
         "0 @N1@ NOTE\n1 SOUR @S1@\n1 CONC " + a40.substr(0, 31) + "\n1 CONC " + a40.substr(31) + "\n1 CONT " +
             b40.substr(0, 31) + "\n1 CONC " + b40.substr(31) + w60.substr(0, 20) + "\n"},
        {"0 @N1@ NOTE\n1 SOUR @S1@\n1 CONT " + w60 + "\n2 DATE 1900\n1 CONC " + w60 + "\n", 40, ""},  // carries a line
        {"0 @N1@ NOTE " + w60 + "\n", 10, ""},                           // budgets under 4
        {"0 @N1@ NOTE\n1 SOUR @" + w60 + "@\n", 40, ""},                  // a pointer
        {"0 @N1@ NOTE\n1  NOTE " + w60 + "\n", 40, ""},                   // the line as read
        {"0 @N1@ NOTE x\n01 CONC " + w60 + "\n", 40, ""},                 // a CONC line as read
        {"0 @N1@ NOTE " + w60 + "\n1 CONC x\n2 DATE 1900\n", 40, ""},     // a CONC that carries a line
        {"0 @N1@ NOTE " + w60 + "\n1 @C1@ CONC x\n", 40, ""},             // a CONC with an identifier
        {deep_record(), 255, ""},                                        // no room below level 64
    };
    for (const auto& c : cases) {
        Document doc = parse(c.text);
        EXPECT_EQ(*fit_line_limit(doc, "@n1@", c.limit), !c.after.empty()) << c.text;
        EXPECT_EQ(doc.to_text(), c.after.empty() ? c.text : c.after);
        EXPECT_TRUE(c.after.empty() || lines_within(c.after, c.limit - 2)) << c.after;
        EXPECT_EQ(logical_outline(parse(doc.to_text())), logical_outline(parse(c.text)));
        EXPECT_FALSE(*fit_line_limit(doc, "@N1@", c.limit)) << c.text;  // fitted already
    }
    Document doc = parse("0 HEAD\n");
    EXPECT_EQ(refusal(fit_line_limit(doc, "@X@", 255)), std::pair("no record @X@"s, ErrorKind::Structure));
    EXPECT_FALSE(fit_line_limit(doc, "HEAD", 255));
}

TEST(Wrap, RefusesVersionSevenBeforeASmallLimit) {
    Document v7 = parse("0 HEAD\n1 GEDC\n2 VERS 7.0\n"), v551 = parse("0 HEAD\n1 GEDC\n2 VERS 5.5.1\n");
    EXPECT_EQ(refusal(wrap_long_lines(v7, 31)),
              std::pair("version 7 has no CONC and no line limit, so there is nothing to wrap"s, ErrorKind::Structure));
    EXPECT_EQ(refusal(wrap_long_lines(v551, 31)),
              std::pair("a line limit under 32 bytes leaves no room for a payload"s, ErrorKind::Limit));
    EXPECT_TRUE(wrap_long_lines(v551, 32));
}

TEST(Wrap, RebuildsOverLongStructuresOrLeavesThem) {
    const std::string w40(40, 'w'), w300(300, 'w'), pointer = "@" + w300 + "@";
    const std::string wrapped_note = "0 @N1@ NOTE\n1 NOTE " + xs(247) + "\n2 CONC " + xs(53) + "\n";
    const struct {
        std::string text;
        std::uint64_t limit;
        Reports reports;
        std::string after;  // empty: unchanged
    } cases[] = {
        {"0 @N1@ NOTE\n1 NOTE " + xs(300) + "\n2 CONT\n2 CONT end\n", 255, {{"@N1@", {0}, "NOTE"}},
         wrapped_note + "2 CONT\n2 CONT end\n"},  // an empty middle line becomes a bare CONT
        // first = 39 - (1 + 4 + 2) = 32; later = 39 - (1 + 6) = 32.
        {"0 NOTE " + w40 + "\n1 CONT\n1 SOUR @S1@\n1 CONC " + w40 + "\n1 CONT last\n", 40, {{"NOTE", {}, "NOTE"}},
         "0 NOTE " + w40.substr(0, 32) + "\n1 CONC " + w40.substr(32) + "\n1 CONT " + w40.substr(0, 32) + "\n1 CONC " +
             w40.substr(32) + "\n1 CONT last\n1 SOUR @S1@\n"},
        // The paths are those after the parent's new continuation lines; first = 254 - (1 + 5 + 4 + 2) = 242,
        // later = 254 - (1 + 6) = 247.
        {"0 @N1@ NOTE " + xs(300) + " " + xs(300) + "\n1 SOUR @S1@\n2 PAGE " + xs(300) + "\n", 255,
         {{"@N1@", {}, "NOTE"}, {"@N1@", {2, 0}, "PAGE"}},
         "0 @N1@ NOTE " + xs(242) + "\n1 CONC " + xs(58) + " " + xs(188) + "\n1 CONC " + xs(112) + "\n1 SOUR @S1@\n2 PAGE " +
             xs(247) + "\n3 CONC " + xs(53) + "\n"},
        {"0 @N1@ NOTE\n1 SOUR " + pointer + "\n", 255, {}, ""},
        {"0 @N1@ NOTE " + w300 + "\n1 @C1@ CONT x\n", 255, {}, ""},
        // The node stays; its other children are still wrapped.
        {"0 @N1@ NOTE " + w300 + "\n1 CONT x\n2 DATE 1900\n1 NOTE " + w300 + "\n", 255, {{"@N1@", {1}, "NOTE"}},
         "0 @N1@ NOTE " + w300 + "\n1 CONT x\n2 DATE 1900\n1 NOTE " + w300.substr(0, 247) + "\n2 CONC " + w300.substr(247) +
             "\n"},
        {"0 @N1@ " + std::string(250, 'T') + " payload\n", 255, {}, ""},  // a long tag: too long, no report
        {"0 @N1@ NOTE\n1 NOTE " + xs(247) + "\n", 255, {}, ""},           // 254 bytes and its line feed
        {deep_record(), 255, {}, ""},
        // 253 bytes as rendered, 255 as read with its padded level: rebuilt, the padding dropped.
        {"0 HEAD\n001 NOTE " + xs(246) + "\n", 255, {{"HEAD", {0}, "NOTE"}}, "0 HEAD\n1 NOTE " + xs(246) + "\n"},
    };
    for (const auto& c : cases) {
        Document doc = parse(c.text);
        auto reports = wrap_long_lines(doc, c.limit);
        ASSERT_TRUE(reports);
        EXPECT_EQ(*reports, c.reports) << c.text;
        EXPECT_EQ(doc.to_text(), c.after.empty() ? c.text : c.after);
        EXPECT_EQ(logical_outline(parse(doc.to_text())), logical_outline(parse(c.text)));
        EXPECT_TRUE(wrap_long_lines(doc, c.limit)->empty()) << c.text;
    }
    EXPECT_EQ((WrappedLine{"@N1@", {2, 0}, "PAGE"}).to_json(), R"({"record":"@N1@","path":[2,0],"tag":"PAGE"})");
}

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
            auto note = into_node({"@N" + std::to_string(r) + "@", "NOTE", value,
                                   {{std::nullopt, "SOUR", "x" + value.substr(0, value.find('\n')), {}}}},
                                  default_limits);
            ASSERT_TRUE(note);
            note->render_into(0, text);
        }
        const std::uint64_t limit = 32 + random() % 100;
        Document wrapped = parse(text);
        const std::string outline = logical_outline(wrapped);
        ASSERT_TRUE(wrap_long_lines(wrapped, limit));
        EXPECT_TRUE(lines_within(wrapped.to_text(), limit - 1)) << wrapped.to_text();
        EXPECT_EQ(logical_outline(parse(wrapped.to_text())), outline);
        EXPECT_TRUE(wrap_long_lines(wrapped, limit)->empty());

        Document fitted = parse(text);
        for (int r = 0; r < 3; ++r) fit_line_limit(fitted, "@N" + std::to_string(r) + "@", limit);
        EXPECT_TRUE(lines_within(fitted.to_text(), limit - 2)) << fitted.to_text();
        EXPECT_EQ(logical_outline(parse(fitted.to_text())), outline);
        for (int r = 0; r < 3; ++r) EXPECT_FALSE(*fit_line_limit(fitted, "@N" + std::to_string(r) + "@", limit));
    }
}

}  // namespace
}  // namespace pellorine::build
