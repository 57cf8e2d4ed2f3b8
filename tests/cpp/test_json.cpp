#include "json.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

using pellorine::json::NodeSpec;
using pellorine::json::read_node_specs;
using pellorine::json::Writer;

namespace {

NodeSpec spec(std::optional<std::string> xref, std::string tag, std::optional<std::string> value,
              std::vector<NodeSpec> children = {}) {
    return NodeSpec{std::move(xref), std::move(tag), std::move(value), std::move(children)};
}

struct ReadCase {
    const char* name;
    std::string json;
    std::vector<NodeSpec> expected;
};

class ReadsSpecifications : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadsSpecifications, IntoTheExpectedTree) {
    const ReadCase& c = GetParam();
    auto result = read_node_specs(c.json);
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(*result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Json, ReadsSpecifications,
    ::testing::Values(
        ReadCase{"empty_list", "[]", {}},
        ReadCase{"tag_only", R"([{"tag":"NOTE"}])", {spec(std::nullopt, "NOTE", std::nullopt)}},
        ReadCase{"every_key_any_order",
                 R"([{"children":[{"tag":"NAME","value":"A /B/"}],"value":"x","xref":"@I1@","tag":"INDI"}])",
                 {spec("@I1@", "INDI", "x", {spec(std::nullopt, "NAME", "A /B/")})}},
        ReadCase{"null_absent_empty_kept", R"([{"tag":"X","xref":null,"value":""}])", {spec(std::nullopt, "X", "")}},
        ReadCase{"positional_and_mixed_forms", R"([{"tag":"A","children":[["@B@","B","v",[{"tag":"C"}]]]}])",
                 {spec(std::nullopt, "A", std::nullopt, {spec("@B@", "B", "v", {spec(std::nullopt, "C", std::nullopt)})})}},
        ReadCase{"escapes_decoded", R"([{"tag":"N","value":"caf\u00e9 \ud83d\ude00 a\nb \"q\" \\ \u0000"}])",
                 {spec(std::nullopt, "N", "caf\xc3\xa9 \xf0\x9f\x98\x80 a\nb \"q\" \\ \0"s)}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    std::string json;
    std::string message;  // the whole message, position included
};

class RefusesSpecifications : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RefusesSpecifications, WithTheReadersMessageAndPosition) {
    const ErrorCase& c = GetParam();
    auto result = read_node_specs(c.json);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, c.message);
    EXPECT_EQ(result.error().line, 0u);
    EXPECT_EQ(result.error().display(), c.message);
}

const std::string expected_fields = ", expected one of `tag`, `xref`, `value`, `children`";
const std::string four = ", expected an array of four: xref, tag, value, children";

INSTANTIATE_TEST_SUITE_P(
    Json, RefusesSpecifications,
    ::testing::Values(
        ErrorCase{"null_at_top", "null",
                  "invalid type: null, expected a list of record specifications at line 1 column 5"},
        ErrorCase{"object_at_top", R"({"tag":"X"})",
                  "invalid type: map, expected a list of record specifications at line 1 column 1"},
        ErrorCase{"unknown_key_on_second_line", "[\n {\"tag\": \"A\", \"bad\": 1}]",
                  "unknown field `bad`" + expected_fields + " at line 2 column 20"},
        ErrorCase{"repeated_key", R"([{"tag":"X","tag":"Y"}])", "duplicate field `tag` at line 1 column 18"},
        ErrorCase{"repeated_null_key", R"([{"tag":"X","xref":null,"xref":"@I@"}])",
                  "duplicate field `xref` at line 1 column 31"},
        ErrorCase{"missing_tag", R"([{"value":"x"}])", "missing field `tag` at line 1 column 14"},
        ErrorCase{"number_for_tag", R"([{"tag":1}])", "invalid type: integer `1`, expected a string at line 1 column 9"},
        ErrorCase{"number_for_value", R"([{"tag":"A","value":2.5}])",
                  "invalid type: floating point number, expected a string or null at line 1 column 21"},
        ErrorCase{"boolean_item", "[true]",
                  "invalid type: boolean `true`, expected a record specification (an object with tag, xref, value "
                  "and children) at line 1 column 6"},
        ErrorCase{"null_children", R"([{"tag":"A","children":null}])",
                  "invalid type: null, expected a list of record specifications at line 1 column 28"},
        ErrorCase{"nan_written_by_dumps", R"([{"tag":NaN}])", "Invalid value at line 1 column 9"},
        ErrorCase{"trailing_value", "[] x", "The document root must not be followed by other values at line 1 column 4"},
        ErrorCase{"three_positional", R"([[null,"A",null]])", "invalid length 3" + four + " at line 1 column 16"},
        ErrorCase{"fifth_positional_list", R"([[null,"B",null,[],[]]])",
                  "invalid length 5" + four + " at line 1 column 20"},
        ErrorCase{"lone_surrogate", R"([{"tag":"\ud800"}])",
                  "The surrogate pair in string is invalid at line 1 column 10"},
        ErrorCase{"column_counts_characters", "[{\"value\":\"\xc3\xa9\xc3\xa9\",\"x\":1}]",
                  "unknown field `x`" + expected_fields + " at line 1 column 19"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string nested_children(std::size_t depth) {
    std::string json = "[";
    for (std::size_t i = 0; i < depth; ++i) json += R"({"tag":"A","children":[)";
    for (std::size_t i = 0; i < depth; ++i) json += "]}";
    return json + "]";
}

TEST(JsonNesting, AcceptsSpecificationsUpToTheReadersBound) {
    auto result = read_node_specs(nested_children(pellorine::json::max_spec_nesting));
    ASSERT_TRUE(result.has_value()) << result.error().message;
    const NodeSpec* node = &(*result)[0];
    std::size_t depth = 1;
    while (!node->children.empty()) {
        node = &node->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, pellorine::json::max_spec_nesting);
}

TEST(JsonNesting, RefusesDeeperSpecificationsWithoutRecursing) {
    auto result = read_node_specs(nested_children(pellorine::json::max_spec_nesting + 1));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message.rfind("record specifications nested deeper than 4096 levels at line 1 column ", 0),
              0u)
        << result.error().message;
}

TEST(JsonNesting, HugeArrayNestingIsRefusedWithoutExhaustingTheStack) {
    std::string json(1000000, '[');
    auto result = read_node_specs(json);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "invalid type: sequence, expected a string or null at line 1 column 3");
}

TEST(JsonWriter, WritesCompactTextInCallOrder) {
    Writer w;
    w.begin_object()
        .key("record").string(std::string_view("@I1@"))
        .key("path").begin_array().uint(0).uint(12).end_array()
        .key("absent").string(std::optional<std::string>())
        .key("present").string(std::optional<std::string>("x"))
        .key("n").int64(-3)
        .key("b").boolean(true)
        .key("z").null()
        .key("s").string(std::string_view("a\"b\\c\n\t\x01 \xc3\xa9"))
        .end_object();
    EXPECT_EQ(w.take(), R"({"record":"@I1@","path":[0,12],"absent":null,"present":"x","n":-3,"b":true,"z":null,)"
                        "\"s\":\"a\\\"b\\\\c\\n\\t\\u0001 \xc3\xa9\"}");
}

TEST(JsonWriter, RoundTripsThroughTheReader) {
    Writer w;
    w.begin_array().begin_object().key("tag").string(std::string_view("NOTE"));
    w.key("value").string(std::string_view("line one\nline \"two\"")).end_object().end_array();
    auto result = read_node_specs(w.take());
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->size(), 1u);
    EXPECT_EQ((*result)[0].value, "line one\nline \"two\"");
}

}  // namespace
