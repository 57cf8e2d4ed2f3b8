// Tag vocabulary: representative labels and classes per branch, every lookup
// agreeing with the table, and the coded payloads.
#include <gtest/gtest.h>

#include <optional>
#include <string>

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
        EXPECT_EQ(std::tuple(tags::label(c.tag), tags::kind(c.tag, 0), tags::kind(c.tag, 1), tags::kind(c.tag, 65535),
                             tags::is_record(c.tag), tags::is_attribute(c.tag)),
                  std::tuple(c.label, c.at_record, c.below, c.below, c.at_record == Record, c.below == Attribute))
            << c.tag;
    std::string names;
    for (TagKind k : {Record, Event, Attribute, Structure, Unknown}) names += std::string(tags::kind_name(k)) + " ";
    EXPECT_EQ(names, "record event attribute structure unknown ");
}

// Every tag of the table is found, and its near misses (a byte more or less,
// another case, an added NUL, past eight bytes) only where the table has them.
TEST(Tags, EveryLookupAgreesWithTheTable) {
    auto in_table = [](std::string_view t) -> std::optional<std::string_view> {
        for (const auto& e : tags::label_table())
            if (e.tag == t) return e.label;
        return std::nullopt;
    };
    for (const auto& e : tags::label_table()) {
        const std::string t(e.tag);
        for (std::string near :
             {t, t + "X", t.substr(0, t.size() - 1), text::ascii_lowercase(t), t + '\0', t + "ABCDEFGH"})
            EXPECT_EQ(std::pair(tags::label(near), tags::kind(near, 1) == TagKind::Unknown),
                      std::pair(in_table(near), !in_table(near))) << near;
    }
}

TEST(Tags, VendorLabelsAndExtensions) {
    using Opt = std::optional<std::string_view>;
    EXPECT_EQ(std::tuple(tags::vendor_label("_MARNM"), tags::vendor_label("_marnm"), tags::vendor_label("BIRT")),
              std::tuple(Opt("Married name"), Opt(), Opt()));
    for (auto [tag, extension] : {std::pair{"", false}, {"_", true}, {"_A", true}, {"A_", false}})
        EXPECT_EQ(tags::is_extension(tag), extension) << tag;
}

TEST(Tags, CodedPayloads) {
    const struct {
        std::string_view (*fn)(std::string_view);
        std::string_view payload, expected;
    } cases[] = {
        {tags::pedigree_label, "\u00a0step\u3000", "Step"}, {tags::pedigree_label, "ADOPTED", "Adopted"},
        {tags::pedigree_label, "bIrth", "bIrth"},     {tags::pedigree_label, "   ", ""},
        {tags::certainty_label, " 3 ", "Direct primary evidence"}, {tags::certainty_label, "02", "02"},
        {tags::sex_label, " M ", "Male"},             {tags::sex_label, "f", "f"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.fn(c.payload), c.expected) << c.payload;
    // An unmatched payload comes back as a piece of the argument, not a copy.
    std::string payload = "  other text ";
    EXPECT_EQ(tags::sex_label(payload).data(), payload.data() + 2);
}
