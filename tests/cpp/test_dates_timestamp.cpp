// Change and creation timestamps: reading CHAN and CREA structures, and
// building one from a point and a time.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dates.hpp"
#include "document.hpp"

namespace pellorine {
namespace {

std::string show(const std::optional<Timestamp>& ts) {
    if (!ts) return "none";
    return ts->display() + (ts->time ? " [" + *ts->time + "]" : std::string(" [no time]"));
}

// The record "0 @I1@ INDI" with these lines below it, read by `read`.
template <class Read>
std::string read_record(const std::string& lines, Read read) {
    auto doc = Document::parse("0 @I1@ INDI\n" + lines);
    if (!doc || doc->records.empty()) return "not parsed";
    return show(read(doc->records.front()));
}

TEST(Timestamp, OfChangeStructure) {
    const std::pair<std::string, std::string> cases[] = {
        {"1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00:00\n", "5 January 1882 12:00:00 [12:00:00]"},
        {"1 CHAN\n2 TIME 08:15\n2 DATE 5 JAN 1882\n", "5 January 1882 08:15 [08:15]"},  // beside the DATE
        {"1 CHAN\n2 DATE 5 JAN 1882\n3 TIME 12:00\n3 TIME 13:00\n2 TIME 14:00\n", "5 January 1882 12:00 [12:00]"},
        {"1 CHAN\n2 DATE 5 JAN\n3 CONC  1882\n3 TIME 12:\n4 CONC 00\n", "5 January 1882 12:00 [12:00]"},
        {"1 CHAN\n2 DATE 1882\n3 TIME\n", "1882  []"}, {"1 CHAN\n2 TIME 12:00\n", "none"},
        {"1 CHAN\n2 NOTE x\n3 DATE 1882\n", "none"},
    };
    for (const auto& [lines, expected] : cases)
        EXPECT_EQ(read_record(lines, [](const Node& r) { return timestamp_of(*r.first("CHAN")); }), expected) << lines;
}

TEST(Timestamp, ChangedElseCreated) {
    const std::pair<std::string, std::string> cases[] = {
        {"1 CREA\n2 DATE 1 JAN 1990\n1 CHAN\n2 DATE 1 JAN 2000\n", "1 January 2000 [no time]"},
        {"1 NAME x\n1 CREA\n2 DATE 1 JAN 1990\n3 TIME 10:00\n", "1 January 1990 10:00 [10:00]"},
        {"1 CHAN\n2 NOTE x\n1 CREA\n2 DATE 1 JAN 1990\n", "none"},  // no fall back to CREA
    };
    for (const auto& [lines, expected] : cases) EXPECT_EQ(read_record(lines, &changed), expected) << lines;
}

TEST(Timestamp, NodeRendersAndReadsBack) {
    const std::tuple<std::string, DatePoint, std::optional<std::string>, std::string> cases[] = {
        {"CREA", DatePoint{1882, 1, 5}, std::nullopt, "1 CREA\n2 DATE 5 JAN 1882\n"},
        {"_UPD", DatePoint{-500, {}, {}}, "  12:00 ", "1 _UPD\n2 DATE 500 BCE\n3 TIME   12:00 \n"},
        {"CHAN", DatePoint{2024, 2, 29}, "10:00\nUTC", "1 CHAN\n2 DATE 29 FEB 2024\n3 TIME 10:00\n4 CONT UTC\n"},
    };
    for (const auto& [tag, point, time, rendered] : cases) {
        Node n = timestamp_node(tag, point, time ? std::optional<std::string_view>(*time) : std::nullopt);
        std::string out;
        n.render_into(1, out);
        auto ts = timestamp_of(n);
        EXPECT_EQ(std::tuple(out, ts ? ts->date.earliest : std::nullopt, ts ? ts->time : "none"),
                  std::tuple(rendered, std::optional(point), time));
    }
}

}  // namespace
}  // namespace pellorine
