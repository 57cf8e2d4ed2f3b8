// Tag vocabulary: representative labels and classes per branch, properties of
// the whole table, and the coded payloads.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tags.hpp"
#include "text.hpp"

using namespace pellorine;
using tags::TagKind;

namespace {

struct TagCase {
    std::string_view tag;
    std::optional<std::string_view> label;
    TagKind at_record, below;  // the class at level 0 and at any deeper level
};

std::size_t chars(std::string_view s) {
    std::size_t n = 0, pos = 0;
    while (pos < s.size()) text::next_code_point(s, pos), ++n;
    return n;
}

}  // namespace

TEST(Tags, RepresentativeLabelsAndClasses) {
    using enum TagKind;
    const TagCase cases[] = {
        {"BIRT", "Birth", Unknown, Event},         {"EVEN", "Event", Unknown, Event},
        {"RESI", "Residence", Unknown, Attribute}, {"FACT", "Fact", Unknown, Attribute},
        {"TITL", "Title", Unknown, Attribute},     {"INDI", "Individual", Record, Structure},
        {"SNOTE", "Shared note", Record, Structure}, {"TRLR", "End of file", Record, Structure},
        {"CHAN", "Last changed", Unknown, Structure}, {"HEIG", "Height", Unknown, Structure},
        {"HEIGHT", "Height", Unknown, Structure},  {"UID", "Unique identifier", Unknown, Structure},
        {"_UID", "Unique identifier", Unknown, Structure}, {"MARL", "Marriage licence", Unknown, Event},
        {"_MARNM", std::nullopt, Unknown, Unknown}, {"Birt", std::nullopt, Unknown, Unknown},
        {"birt", std::nullopt, Unknown, Unknown},  {"", std::nullopt, Unknown, Unknown},
        {std::string_view("BIRT\0", 5), std::nullopt, Unknown, Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag));
        EXPECT_EQ(tags::label(c.tag), c.label);
        EXPECT_EQ(tags::display_label(c.tag), c.label.value_or(c.tag));
        EXPECT_EQ(tags::kind(c.tag, 0), c.at_record);
        for (std::uint16_t level : {1, 2, 64, 65535}) EXPECT_EQ(tags::kind(c.tag, level), c.below);
    }
    std::string names;
    for (TagKind k : {Record, Event, Attribute, Structure, Unknown}) names += std::string(tags::kind_name(k)) + " ";
    EXPECT_EQ(names, "record event attribute structure unknown ");
}

TEST(Tags, WholeTableProperties) {
    int records = 0, events = 0, attributes = 0, structures = 0;
    for (const auto& e : tags::label_table()) {
        SCOPED_TRACE(std::string(e.tag));
        EXPECT_FALSE(e.label.empty());
        EXPECT_EQ(tags::label(e.tag), e.label);
        records += tags::kind(e.tag, 0) == TagKind::Record;
        switch (tags::kind(e.tag, 1)) {
            case TagKind::Event: ++events; break;
            case TagKind::Attribute: ++attributes; break;
            case TagKind::Structure: ++structures; break;
            default: ADD_FAILURE();
        }
        // Lookups are exact: other cases and neighbouring texts are nothing.
        const std::string lower = text::ascii_lowercase(e.tag), padded = std::string(e.tag) + " ";
        for (std::string_view other : {std::string_view(lower), std::string_view(padded)}) {
            if (other == e.tag) continue;  // no letters to lower
            EXPECT_FALSE(tags::label(other)) << other;
            EXPECT_EQ(tags::kind(other, 1), TagKind::Unknown) << other;
        }
    }
    EXPECT_EQ(records, 11);
    EXPECT_EQ(events, 32);
    EXPECT_EQ(attributes, 14);
    EXPECT_EQ(structures, 104);
}

TEST(Tags, VendorLabelsAndExtensions) {
    ASSERT_EQ(tags::vendor_table().size(), 21u);
    for (const auto& e : tags::vendor_table()) {
        EXPECT_TRUE(tags::is_extension(e.tag));
        if (e.tag != "_UID") {
            EXPECT_EQ(tags::kind(e.tag, 1), TagKind::Unknown) << e.tag;  // this table is not consulted
        }
    }
    EXPECT_EQ(tags::vendor_label("_MARNM"), "Married name");
    EXPECT_EQ(tags::vendor_label("_WTITL"), "Wife's title");
    EXPECT_FALSE(tags::vendor_label("_marnm"));
    EXPECT_FALSE(tags::vendor_label("BIRT"));
    EXPECT_EQ(chars(tags::vendor_label("_APID").value_or("")), 26u);
    EXPECT_EQ(chars(tags::vendor_label("_FSFTID").value_or("")), 23u);
    EXPECT_FALSE(tags::is_extension(""));
    EXPECT_TRUE(tags::is_extension("_"));
    EXPECT_FALSE(tags::is_extension("A_B"));
}

TEST(Tags, CodedPayloads) {
    struct Case {
        std::string_view (*fn)(std::string_view);
        std::string_view payload, expected;
    };
    const Case cases[] = {
        {tags::pedigree_label, " birth ", "Birth"},   {tags::pedigree_label, "Foster", "Foster"},
        {tags::pedigree_label, "ADOPTED", "Adopted"}, {tags::pedigree_label, "bIrth", "bIrth"},
        {tags::pedigree_label, "BIrth", "BIrth"},     {tags::pedigree_label, "   ", ""},
        {tags::pedigree_label, "\u00a0step\u3000", "Step"},
        {tags::certainty_label, "0", "Unreliable"},   {tags::certainty_label, " 3 ", "Direct primary evidence"},
        {tags::certainty_label, "02", "02"},          {tags::certainty_label, "4", "4"},
        {tags::sex_label, " M ", "Male"},             {tags::sex_label, "X", "Neither male nor female"},
        {tags::sex_label, "U", "Unknown"},            {tags::sex_label, "f", "f"},
        {tags::sex_label, "FM", "FM"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.fn(c.payload), c.expected) << c.payload;
    // An unmatched payload comes back as a piece of the argument, not a copy.
    std::string payload = "  other text ";
    EXPECT_EQ(tags::sex_label(payload).data(), payload.data() + 2);
}

namespace {

// describe, label, display_label, kind and the is_ tests give one answer for
// every tag of the tables and for near misses: prefixes, extensions, other
// cases, embedded NUL, tags longer than any in the tables.
TEST(TagsDescribe, AgreesWithEveryOtherLookup) {
    std::vector<std::string> tags_to_try;
    for (const auto& e : tags::label_table()) {
        std::string t(e.tag);
        tags_to_try.push_back(t);
        tags_to_try.push_back(t + "X");
        tags_to_try.push_back(t.substr(0, t.size() - 1));
        tags_to_try.push_back(text::ascii_lowercase(t));
        tags_to_try.push_back(t + std::string(1, '\0'));
    }
    for (const auto& e : tags::vendor_table()) tags_to_try.emplace_back(e.tag);
    for (const char* t : {"", "_", "SCHMA_", "HEIGHTS", "_WEBTAGS", "ABCDEFGHI", "\xff\xff\xff\xff\xff\xff\xff\xff"})
        tags_to_try.emplace_back(t);
    std::size_t labelled = 0;
    for (const auto& t : tags_to_try) {
        std::optional<std::string_view> expected_label;
        for (const auto& e : tags::label_table())
            if (e.tag == t) expected_label = e.label;
        labelled += expected_label.has_value();
        EXPECT_EQ(tags::label(t), expected_label) << t;
        EXPECT_EQ(tags::display_label(t), expected_label.value_or(t)) << t;
        for (std::uint16_t level : {0, 1, 2, 65535}) {
            tags::Described d = tags::describe(t, level);
            EXPECT_EQ(d.label, tags::display_label(t)) << t;
            EXPECT_EQ(d.kind, tags::kind(t, level)) << t << " at " << level;
        }
        TagKind below = tags::kind(t, 1);
        EXPECT_EQ(tags::is_event(t), below == TagKind::Event) << t;
        EXPECT_EQ(tags::is_attribute(t), below == TagKind::Attribute) << t;
        EXPECT_EQ(below == TagKind::Unknown, !expected_label.has_value()) << t;
        EXPECT_EQ(tags::kind(t, 0) == TagKind::Record, tags::is_record(t)) << t;
    }
    EXPECT_GE(labelled, 150u);  // every tag of the table, and some shortened ones (HEIG, CHR, DIV, FAM)
}

}  // namespace
