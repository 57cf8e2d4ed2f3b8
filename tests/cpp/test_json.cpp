// The reader of record descriptions (trees, refusals with their positions, the
// nesting bound) and the one JSON writer (escaping, the repair of invalid
// UTF-8, every overload, one writer serving several texts in turn).
#include "json.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::string_literals;
using namespace pellorine::json;

namespace {

NodeSpec spec(std::optional<std::string> xref, std::string tag, std::optional<std::string> value,
              std::vector<NodeSpec> children = {}) {
    return NodeSpec{std::move(xref), std::move(tag), std::move(value), std::move(children)};
}

TEST(JsonReader, ReadsTheExpectedTree) {
    const std::pair<std::string, std::vector<NodeSpec>> cases[] = {
        {"[]", {}},
        {R"([{"children":[{"tag":"NAME","value":"A /B/"}],"value":"x","xref":"@I1@","tag":"INDI"}])",
         {spec("@I1@", "INDI", "x", {spec(std::nullopt, "NAME", "A /B/")})}},
        {R"([{"tag":"X","xref":null,"value":""}])", {spec(std::nullopt, "X", "")}},
        {R"([{"tag":"A","children":[["@B@","B","v",[{"tag":"C"}]]]}])",
         {spec(std::nullopt, "A", std::nullopt, {spec("@B@", "B", "v", {spec(std::nullopt, "C", std::nullopt)})})}},
        {R"([{"tag":"N","value":"caf\u00e9 \ud83d\ude00 a\nb \"q\" \\ \u0000"}])",
         {spec(std::nullopt, "N", "caf\xc3\xa9 \xf0\x9f\x98\x80 a\nb \"q\" \\ \0"s)}},
    };
    for (const auto& [json, expected] : cases) EXPECT_EQ(read_node_specs(json).value(), expected) << json;
}

std::string nested_children(std::size_t depth) {
    std::string json = "[";
    for (std::size_t i = 0; i < depth; ++i) json += R"({"tag":"A","children":[)";
    for (std::size_t i = 0; i < depth; ++i) json += "]}";
    return json + "]";
}

TEST(JsonReader, RefusesWithTheMessageAndPosition) {
    const std::string fields = ", expected one of `tag`, `xref`, `value`, `children`";
    const std::string four = ", expected an array of four: xref, tag, value, children";
    const std::string text = ", expected a string at line 1 column 9";
    const std::pair<std::string, std::string> cases[] = {
        {"null", "invalid type: null, expected a list of record specifications at line 1 column 5"},
        {R"({"tag":"X"})", "invalid type: map, expected a list of record specifications at line 1 column 1"},
        {"[\n {\"tag\": \"A\", \"bad\": 1}]", "unknown field `bad`" + fields + " at line 2 column 20"},
        {R"([{"tag":"X","tag":"Y"}])", "duplicate field `tag` at line 1 column 18"},
        {R"([{"value":"x"}])", "missing field `tag` at line 1 column 14"},
        {R"([{"tag":"A","value":2.5}])",
         "invalid type: floating point number, expected a string or null at line 1 column 21"},
        // Integers at and past the ends of 64 bits; literals past a double's range.
        {R"([{"tag":18446744073709551615}])", "invalid type: integer `18446744073709551615`" + text},
        {R"([{"tag":-9223372036854775808}])", "invalid type: integer `-9223372036854775808`" + text},
        {R"([{"tag":18446744073709551616}])", "invalid type: integer too large for 64 bits" + text},
        {R"([{"tag":1E400}])", "invalid type: floating point number" + text},
        {"[true]", "invalid type: boolean `true`, expected a record specification (an object with tag, xref, value "
                   "and children) at line 1 column 6"},
        {R"([{"tag":"A","children":null}])",
         "invalid type: null, expected a list of record specifications at line 1 column 28"},
        {R"([{"tag":NaN}])", "Invalid value at line 1 column 9"},
        {R"([[null,"A",null]])", "invalid length 3" + four + " at line 1 column 16"},
        {R"([[null,"B",null,[],[]]])", "invalid length 5" + four + " at line 1 column 20"},
        // Escaped lone low surrogates, which the reader lets through (in a value, a key),
        // and anything after the list, a NUL byte included.
        {R"([{"tag":"\udc00"}])", "The surrogate pair in string is invalid at line 1 column 10"},
        {R"([{"tag":"A","\udc00":1}])", "The surrogate pair in string is invalid at line 1 column 14"},
        {"[]\0x"s, "The document root must not be followed by other values at line 1 column 3"},
        {"[{\"value\":\"\xc3\xa9\xc3\xa9\",\"x\":1}]", "unknown field `x`" + fields + " at line 1 column 19"},
        // Deep nesting is refused without recursing, and without exhausting the stack.
        {std::string(1000000, '['), "invalid type: sequence, expected a string or null at line 1 column 3"},
    };
    for (const auto& [json, message] : cases) {
        auto result = read_node_specs(json);  // refusals carry no line number
        EXPECT_EQ(result ? "accepted" : result.error().display(), message) << json.substr(0, 40);
    }
}

// Descriptions nest up to 4096 deep; the refusal points at the first one too deep.
TEST(JsonReader, NestingBound) {
    const std::vector<NodeSpec> deepest = read_node_specs(nested_children(max_spec_nesting)).value();
    std::size_t depth = 1;
    for (const NodeSpec* node = &deepest[0]; !node->children.empty(); node = &node->children[0]) ++depth;
    EXPECT_EQ(depth, max_spec_nesting);
    EXPECT_EQ(read_node_specs(nested_children(max_spec_nesting + 1)).error().message,
              "record specifications nested deeper than 4096 levels at line 1 column " + std::to_string(2 + 23 * 4096));
}

std::string one_string(std::string_view s) {
    Writer w;
    w.string(s);
    return w.take();
}

TEST(JsonWriter, EscapesAndRepairs) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"\\/\n\r\t\b\f", R"("\"\\/\n\r\t\b\f")"}, {"a\\b", R"("a\\b")"},
        {std::string("a\0b\x1f\x7f", 5), "\"a\\u0000b\\u001F\x7f\""},
        {"\xC3\xA9\xE2\x80\xA6\xF0\x9F\x98\x80\xEF\xBF\xBD", "\"\xC3\xA9\xE2\x80\xA6\xF0\x9F\x98\x80\xEF\xBF\xBD\""},
        // Each invalid byte becomes U+FFFD: a lone continuation byte, a cut
        // sequence, an overlong form, a surrogate, a code point past U+10FFFF.
        {"a\x80z", "\"a\uFFFDz\""}, {"\xE2\x82|", "\"\uFFFD\uFFFD|\""}, {"\xC0\x80", "\"\uFFFD\uFFFD\""},
        {"\xED\xA0\x80", "\"\uFFFD\uFFFD\uFFFD\""}, {"\xF4\x90\x80\x80", "\"\uFFFD\uFFFD\uFFFD\uFFFD\""},
        {"\xC3", "\"\uFFFD\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(one_string(in), out) << in;
}

// Keys are escaped and repaired like strings (a literal key is checked when
// compiling); every string overload writes the same text; numbers in full range;
// clear starts a new text.
TEST(JsonWriter, EveryOverloadInCallOrder) {
    const std::string s = "x\"y", owned = "b\n";
    Writer w;
    w.begin_object().key("plain").uint(0).key(std::string_view("a\"\xFF")).uint(18446744073709551615ull);
    w.key(owned).int64(-9223372036854775807ll - 1).key(owned.c_str()).boolean(true).key("f").boolean(false);
    w.key("s").begin_array().string(s).string("x\"y").string(std::string_view(s));
    w.string(std::optional<std::string>(s)).string(std::optional<std::string_view>(s));
    w.string(std::optional<std::string>()).string(std::optional<std::string_view>()).null().end_array().end_object();
    EXPECT_EQ(w.take(), "{\"plain\":0,\"a\\\"\xEF\xBF\xBD\":18446744073709551615,\"b\\n\":-9223372036854775808,"
                        R"("b\n":true,"f":false,"s":["x\"y","x\"y","x\"y","x\"y","x\"y",null,null,null]})");
    w.clear();  // a fresh text in the same writer: nothing of the last one leaks in, its repairs included
    w.begin_array().string("\xFE").end_array();
    EXPECT_EQ(w.take(), "[\"\xEF\xBF\xBD\"]");
}

}  // namespace
