// Tag vocabulary: representative labels and classes per branch, every lookup
// agreeing with the tables, and the coded payloads.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tags.hpp"
#include "text.hpp"

using namespace pellorine;
using tags::TagKind;

TEST(Tags, RepresentativeLabelsAndClasses) {
    using enum TagKind;
    const struct {
        std::string_view tag;
        std::optional<std::string_view> label;
        TagKind at_record, below;  // the class at level 0 and at any deeper level
    } cases[] = {
        {"BIRT", "Birth", Unknown, Event},          {"RESI", "Residence", Unknown, Attribute},
        {"INDI", "Individual", Record, Structure},  {"TRLR", "End of file", Record, Structure},
        {"HEIGHT", "Height", Unknown, Structure},   {"_UID", "Unique identifier", Unknown, Structure},
        {"_MARNM", std::nullopt, Unknown, Unknown}, {"Birt", std::nullopt, Unknown, Unknown},
        {"", std::nullopt, Unknown, Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::tuple(tags::label(c.tag), tags::kind(c.tag, 0), tags::kind(c.tag, 1), tags::kind(c.tag, 65535)),
                  std::tuple(c.label, c.at_record, c.below, c.below)) << c.tag;
    std::string names;
    for (TagKind k : {Record, Event, Attribute, Structure, Unknown}) names += std::string(tags::kind_name(k)) + " ";
    EXPECT_EQ(names, "record event attribute structure unknown ");
}

// describe, label, display_label, kind and the is_ tests give one answer, the
// one a scan of the table gives, for every tag of the tables and for near
// misses: prefixes, extensions, other cases, embedded NUL, longer tags.
TEST(Tags, EveryLookupAgreesWithTheTable) {
    std::vector<std::string> tags_to_try;
    for (const auto& e : tags::label_table()) {
        std::string t(e.tag);
        for (std::string near : {t, t + "X", t.substr(0, t.size() - 1), text::ascii_lowercase(t), t + '\0'})
            tags_to_try.push_back(near);
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

TEST(Tags, VendorLabelsAndExtensions) {
    EXPECT_EQ(tags::vendor_label("_MARNM"), "Married name");
    EXPECT_FALSE(tags::vendor_label("_marnm"));
    EXPECT_FALSE(tags::vendor_label("BIRT"));
    EXPECT_EQ(tags::kind("_MARNM", 1), TagKind::Unknown);  // this table is not consulted for classes
    for (auto [tag, extension] : {std::pair{"", false}, {"_", true}, {"_A", true}, {"A_", false}})
        EXPECT_EQ(tags::is_extension(tag), extension) << tag;
}

TEST(Tags, CodedPayloads) {
    const struct {
        std::string_view (*fn)(std::string_view);
        std::string_view payload, expected;
    } cases[] = {
        {tags::pedigree_label, " birth ", "Birth"},   {tags::pedigree_label, "ADOPTED", "Adopted"},
        {tags::pedigree_label, "bIrth", "bIrth"},     {tags::pedigree_label, "   ", ""},
        {tags::pedigree_label, "\u00a0step\u3000", "Step"},
        {tags::certainty_label, " 3 ", "Direct primary evidence"}, {tags::certainty_label, "02", "02"},
        {tags::sex_label, " M ", "Male"},             {tags::sex_label, "f", "f"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.fn(c.payload), c.expected) << c.payload;
    // An unmatched payload comes back as a piece of the argument, not a copy.
    std::string payload = "  other text ";
    EXPECT_EQ(tags::sex_label(payload).data(), payload.data() + 2);
}
