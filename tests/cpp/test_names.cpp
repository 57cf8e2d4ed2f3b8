#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "names.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string>;

// ---- reading the slashes of a payload ----

struct PayloadCase {
    std::string payload;
    Opt given, surname, suffix;
    std::string display, sort_form;
};

class FromPayload : public testing::TestWithParam<PayloadCase> {};

TEST_P(FromPayload, SplitsAtSlashes) {
    const auto& c = GetParam();
    PersonalName n = PersonalName::from_payload(c.payload);
    EXPECT_EQ(n.value, c.payload);
    EXPECT_EQ(n.given, c.given);
    EXPECT_EQ(n.surname, c.surname);
    EXPECT_EQ(n.suffix, c.suffix);
    EXPECT_EQ(n.surname_prefix, std::nullopt);
    EXPECT_EQ(n.name_prefix, std::nullopt);
    EXPECT_EQ(n.nickname, std::nullopt);
    EXPECT_EQ(n.name_type, std::nullopt);
    EXPECT_EQ(n.display(), c.display);
    EXPECT_EQ(n.sort_form(), c.sort_form);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FromPayload,
    testing::Values(
        PayloadCase{"John /Smith/", "John", "Smith", {}, "John Smith", "Smith, John"},
        PayloadCase{"/Smith/", {}, "Smith", {}, "Smith", "Smith"},
        PayloadCase{"John /Smith/ Jr.", "John", "Smith", "Jr.", "John Smith Jr.", "Smith, John"},
        PayloadCase{"a/b/c/d", "a", "b", "c/d", "a b c/d", "b, a"},
        PayloadCase{"John Smith", "John Smith", {}, {}, "John Smith", "John Smith"},
        PayloadCase{"John /Smith", "John", "Smith", {}, "John Smith", "Smith, John"},
        PayloadCase{"John/", "John", {}, {}, "John", "John"},
        PayloadCase{"  John   /  Smith  /  Jr.  ", "John", "Smith", "Jr.", "John Smith Jr.", "Smith, John"},
        PayloadCase{"/ /", {}, {}, {}, "", ""},
        PayloadCase{"//", {}, {}, {}, "", ""},
        PayloadCase{"", {}, {}, {}, "", ""},
        PayloadCase{"   ", {}, {}, {}, "", ""},
        // Unicode white space (no-break space, ideographic space) is trimmed too.
        PayloadCase{"\u00a0Jos\u00e9\u00a0/Garc\u00eda/\u3000", "Jos\u00e9", "Garc\u00eda", {},
                    "Jos\u00e9 Garc\u00eda", "Garc\u00eda, Jos\u00e9"},
        PayloadCase{"\u738b /\u5c0f\u660e/", "\u738b", "\u5c0f\u660e", {}, "\u738b \u5c0f\u660e",
                    "\u5c0f\u660e, \u738b"}));

// ---- is_empty ----

struct EmptyCase {
    std::string payload;
    bool empty;
};

class IsEmpty : public testing::TestWithParam<EmptyCase> {};

TEST_P(IsEmpty, BlankPayloadWithoutPieces) {
    EXPECT_EQ(PersonalName::from_payload(GetParam().payload).is_empty(), GetParam().empty);
}

INSTANTIATE_TEST_SUITE_P(Names, IsEmpty,
                         testing::Values(EmptyCase{"", true}, EmptyCase{"   ", true},
                                         EmptyCase{"\t\u00a0", true}, EmptyCase{"/ /", false},
                                         EmptyCase{"//", false}, EmptyCase{"x", false},
                                         EmptyCase{"/x/", false}));

// ---- reading a NAME node with its pieces ----

struct Child {
    std::string tag;
    std::string value;
};

struct NodeCase {
    std::string payload;
    std::vector<Child> children;
    Opt given, surname, surname_prefix, name_prefix, suffix, nickname, name_type;
    std::string display, sort_form;
};

Node name_node(const NodeCase& c) {
    Node n = Node::with_value("NAME", c.payload);
    for (const auto& ch : c.children) n.push(Node::with_value(ch.tag, ch.value));
    return n;
}

class FromNode : public testing::TestWithParam<NodeCase> {};

TEST_P(FromNode, PiecesOverrideSlashes) {
    const auto& c = GetParam();
    PersonalName n = PersonalName::from_node(name_node(c));
    EXPECT_EQ(n.value, c.payload);
    EXPECT_EQ(n.given, c.given);
    EXPECT_EQ(n.surname, c.surname);
    EXPECT_EQ(n.surname_prefix, c.surname_prefix);
    EXPECT_EQ(n.name_prefix, c.name_prefix);
    EXPECT_EQ(n.suffix, c.suffix);
    EXPECT_EQ(n.nickname, c.nickname);
    EXPECT_EQ(n.name_type, c.name_type);
    EXPECT_EQ(n.display(), c.display);
    EXPECT_EQ(n.sort_form(), c.sort_form);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FromNode,
    testing::Values(
        NodeCase{"John /Smith/", {{"SURN", "Smythe"}, {"NPFX", "Dr."}},
                 "John", "Smythe", {}, "Dr.", {}, {}, {}, "Dr. John Smythe", "Smythe, John"},
        // A blank piece keeps what the slashes gave.
        NodeCase{"John /Smith/", {{"GIVN", "   "}}, "John", "Smith", {}, {}, {}, {}, {},
                 "John Smith", "Smith, John"},
        NodeCase{"John /Smith/", {{"GIVN", ""}}, "John", "Smith", {}, {}, {}, {}, {},
                 "John Smith", "Smith, John"},
        // Only the first child with a tag is read, even when it is blank.
        NodeCase{"John /Smith/", {{"GIVN", " "}, {"GIVN", "Jack"}}, "John", "Smith", {}, {}, {}, {}, {},
                 "John Smith", "Smith, John"},
        NodeCase{"John /Smith/", {{"GIVN", "Johannes"}, {"GIVN", "Jack"}}, "Johannes", "Smith", {}, {}, {}, {},
                 {}, "Johannes Smith", "Smith, Johannes"},
        NodeCase{"", {{"GIVN", "John"}, {"SPFX", "van"}, {"SURN", "Smith"}, {"NSFX", "Jr."}, {"NPFX", "Dr."},
                      {"NICK", "Jack"}, {"TYPE", "birth"}},
                 "John", "Smith", "van", "Dr.", "Jr.", "Jack", "birth", "Dr. John van Smith Jr.", "Smith, John"},
        // Nickname and type are not part of the display; without the five pieces
        // the display is the payload without slashes.
        NodeCase{"//", {{"NICK", "Jack"}, {"TYPE", "aka"}}, {}, {}, {}, {}, {}, "Jack", "aka", "", ""},
        NodeCase{"John /Smith/ Sr.", {{"NSFX", " Jr. "}}, "John", "Smith", {}, {}, "Jr.", {}, {},
                 "John Smith Jr.", "Smith, John"},
        // Tags are matched exactly.
        NodeCase{"John /Smith/", {{"surn", "Smythe"}, {"_SURN", "X"}}, "John", "Smith", {}, {}, {}, {}, {},
                 "John Smith", "Smith, John"},
        // Pieces with continuation lines are read as logical payloads.
        NodeCase{"/Smith/", {{"GIVN", "John\nHenry"}}, "John\nHenry", "Smith", {}, {}, {}, {}, {},
                 "John\nHenry Smith", "Smith, John\nHenry"}));

TEST(FromNode, ReadsTheLogicalPayloadOfTheName) {
    Node n = Node::with_value("NAME", "John /Sm");
    n.push(Node::with_value("CONC", "ith/"));
    n.push(Node::with_value("SURN", "Smythe"));
    PersonalName p = PersonalName::from_node(n);
    EXPECT_EQ(p.value, "John /Smith/");
    EXPECT_EQ(p.given, "John");
    EXPECT_EQ(p.surname, "Smythe");
}

TEST(FromNode, NameWithoutPayload) {
    Node n = Node::new_("NAME");
    n.push(Node::with_value("GIVN", "Ann"));
    PersonalName p = PersonalName::from_node(n);
    EXPECT_EQ(p.value, "");
    EXPECT_EQ(p.given, "Ann");
    EXPECT_FALSE(p.is_empty());
    EXPECT_EQ(p.display(), "Ann");
}

// ---- slashed ----

struct SlashedCase {
    std::string in, out;
};

class Slashed : public testing::TestWithParam<SlashedCase> {};

TEST_P(Slashed, MarksTheLastWord) { EXPECT_EQ(slashed(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Names, Slashed,
                         testing::Values(SlashedCase{"John Henry Smith", "John Henry /Smith/"},
                                         SlashedCase{"Smith", "/Smith/"}, SlashedCase{"", "//"},
                                         SlashedCase{"   ", "//"},
                                         SlashedCase{"  John Smith  ", "John /Smith/"},
                                         SlashedCase{"John /Smith/", "John /Smith/"},
                                         SlashedCase{" a/b ", "a/b"},
                                         // Only the ASCII space separates words here.
                                         SlashedCase{"John\u00a0Smith", "/John\u00a0Smith/"},
                                         SlashedCase{"John\tSmith", "/John\tSmith/"},
                                         SlashedCase{"John  Smith", "John  /Smith/"}));

TEST(Slashed, RoundTripsThroughThePayloadReader) {
    for (std::string s : {"John Henry Smith", "Smith", "Ann Lee"}) {
        PersonalName n = PersonalName::from_payload(slashed(s));
        EXPECT_EQ(n.display(), s);
    }
}

}  // namespace
}  // namespace pellorine
