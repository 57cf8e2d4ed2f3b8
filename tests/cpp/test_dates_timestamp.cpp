#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dates.hpp"
#include "document.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string>;

// The first record of a GEDCOM text.
Node record_of(const std::string& text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    if (!doc || doc->records.empty()) return Node::new_("X");
    return std::move(doc->records.front());
}

// ---- timestamp_of, over a CHAN structure ----

struct ReadCase {
    std::string name;
    std::string lines;  // the CHAN structure's lines below "0 @I1@ INDI"
    bool present;
    std::string display;  // of the timestamp, when present
    Opt time;
};

class TimestampOf : public testing::TestWithParam<ReadCase> {};

TEST_P(TimestampOf, ReadsDateAndTime) {
    const auto& c = GetParam();
    Node rec = record_of("0 @I1@ INDI\n" + c.lines);
    const Node* chan = rec.first("CHAN");
    ASSERT_NE(chan, nullptr);
    auto ts = timestamp_of(*chan);
    ASSERT_EQ(ts.has_value(), c.present);
    if (!ts) return;
    EXPECT_EQ(ts->time, c.time);
    EXPECT_EQ(ts->display(), c.display);
}

INSTANTIATE_TEST_SUITE_P(
    Timestamps, TimestampOf,
    testing::Values(
        ReadCase{"time_under_date", "1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00:00\n", true,
                 "5 January 1882 12:00:00", "12:00:00"},
        ReadCase{"time_beside_date", "1 CHAN\n2 DATE 5 JAN 1882\n2 TIME 08:15\n", true, "5 January 1882 08:15",
                 "08:15"},
        ReadCase{"time_beside_before_date", "1 CHAN\n2 TIME 08:15\n2 DATE 5 JAN 1882\n", true,
                 "5 January 1882 08:15", "08:15"},
        ReadCase{"under_date_wins", "1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00\n2 TIME 13:00\n", true,
                 "5 January 1882 12:00", "12:00"},
        ReadCase{"first_time_wins", "1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00\n3 TIME 13:00\n", true,
                 "5 January 1882 12:00", "12:00"},
        ReadCase{"first_date_wins", "1 CHAN\n2 DATE 5 JAN 1882\n2 DATE 6 JAN 1882\n", true, "5 January 1882",
                 std::nullopt},
        ReadCase{"no_time", "1 CHAN\n2 DATE 5 JAN 1882\n", true, "5 January 1882", std::nullopt},
        ReadCase{"time_with_continuation", "1 CHAN\n2 DATE 1882\n3 TIME 12:\n4 CONC 00\n", true, "1882 12:00",
                 "12:00"},
        ReadCase{"date_with_continuation", "1 CHAN\n2 DATE 5 JAN\n3 CONC  1882\n", true, "5 January 1882",
                 std::nullopt},
        ReadCase{"empty_time", "1 CHAN\n2 DATE 1882\n3 TIME\n", true, "1882 ", ""},
        ReadCase{"unreadable_date", "1 CHAN\n2 DATE last tuesday\n", true, "last tuesday", std::nullopt},
        ReadCase{"no_date", "1 CHAN\n2 TIME 12:00\n", false, "", std::nullopt},
        ReadCase{"date_too_deep", "1 CHAN\n2 NOTE x\n3 DATE 1882\n", false, "", std::nullopt},
        ReadCase{"tags_exact", "1 CHAN\n2 date 1882\n", false, "", std::nullopt}));

TEST(TimestampOf, KeepsTheTimeAsWritten) {
    Node date = Node::with_value("DATE", "5 JAN 1882");
    date.push(Node::with_value("TIME", "  12:00 "));
    Node chan = Node::new_("CHAN");
    chan.push(std::move(date));
    auto ts = timestamp_of(chan);
    ASSERT_TRUE(ts);
    EXPECT_EQ(ts->time, "  12:00 ");
    EXPECT_EQ(ts->date.kind, DateKind::Exact);
    EXPECT_EQ(ts->date.earliest, (DatePoint{1882, 1, 5}));
    EXPECT_EQ(ts->date.original, "5 JAN 1882");
}

// ---- changed, over a record ----

struct ChangedCase {
    std::string name;
    std::string lines;
    Opt display;  // absent: no timestamp
};

class Changed : public testing::TestWithParam<ChangedCase> {};

TEST_P(Changed, ChangeElseCreation) {
    Node rec = record_of("0 @I1@ INDI\n" + GetParam().lines);
    auto ts = changed(rec);
    ASSERT_EQ(ts.has_value(), GetParam().display.has_value());
    if (ts) {
        EXPECT_EQ(ts->display(), *GetParam().display);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Timestamps, Changed,
    testing::Values(
        ChangedCase{"change", "1 CHAN\n2 DATE 1 JAN 2000\n1 CREA\n2 DATE 1 JAN 1990\n", "1 January 2000"},
        ChangedCase{"creation_first_in_order", "1 CREA\n2 DATE 1 JAN 1990\n1 CHAN\n2 DATE 1 JAN 2000\n",
                    "1 January 2000"},
        ChangedCase{"creation_only", "1 NAME x\n1 CREA\n2 DATE 1 JAN 1990\n3 TIME 10:00\n", "1 January 1990 10:00"},
        // A CHAN without DATE does not fall back to CREA.
        ChangedCase{"change_without_date", "1 CHAN\n2 NOTE x\n1 CREA\n2 DATE 1 JAN 1990\n", std::nullopt},
        // Only the first CHAN is read.
        ChangedCase{"first_change_only", "1 CHAN\n1 CHAN\n2 DATE 1 JAN 2000\n", std::nullopt},
        ChangedCase{"neither", "1 NAME x\n", std::nullopt},
        ChangedCase{"nested_change_ignored", "1 BIRT\n2 CHAN\n3 DATE 1 JAN 2000\n", std::nullopt}));

// ---- timestamp_node ----

struct BuildCase {
    std::string tag;
    DatePoint point;
    std::optional<std::string> time;
    std::string rendered;  // under a record, at level 1
};

class TimestampNode : public testing::TestWithParam<BuildCase> {};

TEST_P(TimestampNode, RendersAndReadsBack) {
    const auto& c = GetParam();
    std::optional<std::string_view> time;
    if (c.time) time = *c.time;
    Node n = timestamp_node(c.tag, c.point, time);
    std::string out;
    n.render_into(1, out);
    EXPECT_EQ(out, c.rendered);

    auto ts = timestamp_of(n);
    ASSERT_TRUE(ts);
    EXPECT_EQ(ts->date.earliest, c.point);
    EXPECT_EQ(ts->time, c.time);
}

INSTANTIATE_TEST_SUITE_P(
    Timestamps, TimestampNode,
    testing::Values(BuildCase{"CHAN", DatePoint{1882, 1, 5}, "12:00", "1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00\n"},
                    BuildCase{"CREA", DatePoint{1882, 1, 5}, std::nullopt, "1 CREA\n2 DATE 5 JAN 1882\n"},
                    BuildCase{"CHAN", DatePoint{1882, 12, {}}, "", "1 CHAN\n2 DATE DEC 1882\n3 TIME \n"},
                    BuildCase{"_UPD", DatePoint{-500, {}, {}}, std::nullopt, "1 _UPD\n2 DATE 500 BCE\n"},
                    BuildCase{"CHAN", DatePoint{2024, 2, 29}, "10:00\nUTC",
                              "1 CHAN\n2 DATE 29 FEB 2024\n3 TIME 10:00\n4 CONT UTC\n"}));

}  // namespace
}  // namespace pellorine
