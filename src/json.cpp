// The JSON reader of record descriptions (a SAX handler over RapidJSON's
// iterative parser, so deep input never recurses on the C++ stack) and the
// compact result writer.
#include "json.hpp"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "text.hpp"

namespace pellorine::json {

namespace {

// What a valid number literal is, as a refusal names it: an integer with its
// value, an integer too large for 64 bits, or a floating-point number.
std::string number_type(std::string_view literal) {
    if (literal.find_first_of(".eE") != std::string_view::npos) return "invalid type: floating point number";
    const char* end = literal.data() + literal.size();
    auto integer = [&](auto value) -> std::optional<std::string> {
        auto [at, ec] = std::from_chars(literal.data(), end, value);
        if (ec != std::errc() || at != end) return std::nullopt;
        return "invalid type: integer `" + std::to_string(value) + "`";
    };
    auto named = literal.starts_with('-') ? integer(std::int64_t{}) : integer(std::uint64_t{});
    return named ? *named : "invalid type: integer too large for 64 bits";
}

// What the next JSON value must be.
enum class Want { List, Spec, Text, OptText };

const char* describe(Want w) {
    switch (w) {
        case Want::List: return "a list of record specifications";
        case Want::Spec: return "a record specification (an object with tag, xref, value and children)";
        case Want::Text: return "a string";
        case Want::OptText: return "a string or null";
    }
    return "";
}

// The four fields, in the order of the positional form.
constexpr std::array<std::string_view, 4> field_names{"xref", "tag", "value", "children"};
constexpr std::array<Want, 4> field_wants{Want::OptText, Want::Text, Want::OptText, Want::List};
constexpr int tag_field = 1;

struct Frame {
    enum Kind { List, Object, Tuple } kind;
    NodeSpec spec;                // Object, Tuple
    std::vector<NodeSpec> items;  // List
    unsigned seen = 0;            // Object: a bit per field already given
    int field = -1;               // Object: the key just read; Tuple: the next position
};

class Handler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, Handler> {
public:
    std::vector<NodeSpec> result;
    std::string error;  // set when the handler refused the input

    bool Null() { return scalar(Scalar::Null, {}); }
    bool Bool(bool b) { return !full() && refuse(std::string("invalid type: boolean `") + (b ? "true" : "false") + "`"); }
    // Numbers arrive as their literal text (the reader is asked for that), so
    // that an integer past 64 bits is not taken for a floating-point number.
    bool RawNumber(const char* s, rapidjson::SizeType n, bool) { return number(std::string_view(s, n)); }
    // Refuses a number literal: no field holds a number.
    bool number(std::string_view literal) { return !full() && refuse(number_type(literal)); }
    bool String(const char* s, rapidjson::SizeType n, bool) {
        if (holds_surrogate(std::string_view(s, n))) return surrogate();
        return scalar(Scalar::String, std::string_view(s, n));
    }

    bool StartObject() {
        if (full()) return false;
        Want w = want();
        if (w != Want::Spec) return refuse("invalid type: map, expected " + std::string(describe(w)));
        return push(Frame::Object);
    }

    bool Key(const char* s, rapidjson::SizeType n, bool) {
        Frame& f = stack_.back();
        std::string_view name(s, n);
        if (holds_surrogate(name)) return surrogate();
        for (std::size_t i = 0; i < field_names.size(); ++i) {
            if (name != field_names[i]) continue;
            if (f.seen & (1u << i)) return fail("duplicate field `" + std::string(name) + "`");
            f.seen |= 1u << i;
            f.field = static_cast<int>(i);
            return true;
        }
        return fail("unknown field `" + std::string(name) + "`, expected one of `tag`, `xref`, `value`, `children`");
    }

    bool EndObject(rapidjson::SizeType) {
        Frame& f = stack_.back();
        if (!(f.seen & (1u << tag_field))) return fail("missing field `tag`");
        NodeSpec spec = std::move(f.spec);
        stack_.pop_back();
        return deliver(std::move(spec));
    }

    bool StartArray() {
        if (full()) return false;
        Want w = want();
        if (w == Want::List) return push(Frame::List);
        if (w == Want::Spec) return push(Frame::Tuple);
        return refuse("invalid type: sequence, expected " + std::string(describe(w)));
    }

    bool EndArray(rapidjson::SizeType n) {
        Frame& f = stack_.back();
        if (f.kind == Frame::Tuple) {
            if (f.field != static_cast<int>(field_names.size())) return wrong_length(n);
            NodeSpec spec = std::move(f.spec);
            stack_.pop_back();
            return deliver(std::move(spec));
        }
        std::vector<NodeSpec> items = std::move(f.items);
        stack_.pop_back();
        if (stack_.empty()) {
            result = std::move(items);
            done_ = true;
            return true;
        }
        return set_field(stack_.back(), std::move(items));
    }

    // Set when a string held an escaped lone surrogate; the caller finds its position.
    bool lone_surrogate = false;

private:
    enum class Scalar { Null, String };
    std::vector<Frame> stack_;
    std::size_t spec_depth_ = 0;
    bool done_ = false;

    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }
    bool surrogate() {
        lone_surrogate = true;
        return false;
    }

    // The reader decodes an escaped lone low surrogate (a lone high one it
    // refuses itself) to the three bytes ED B0..BF xx, which are not UTF-8.
    static bool holds_surrogate(std::string_view s) {
        for (std::size_t i = 0; i + 1 < s.size(); ++i) {
            if (static_cast<unsigned char>(s[i]) == 0xED && static_cast<unsigned char>(s[i + 1]) >= 0xA0) return true;
        }
        return false;
    }
    bool refuse(std::string found) {
        if (found.find(", expected ") != std::string::npos) return fail(std::move(found));
        return fail(found + ", expected " + describe(want()));
    }
    bool wrong_length(std::size_t n) {
        return fail("invalid length " + std::to_string(n) +
                    ", expected an array of four: xref, tag, value, children");
    }

    Want want() const {
        if (stack_.empty()) return Want::List;
        const Frame& f = stack_.back();
        switch (f.kind) {
            case Frame::List: return Want::Spec;
            case Frame::Object: return field_wants[static_cast<std::size_t>(f.field)];
            case Frame::Tuple: return field_wants[static_cast<std::size_t>(f.field)];
        }
        return Want::List;
    }

    // A fifth element of the positional form: refuses it (returns true, with the error set).
    bool full() {
        if (stack_.empty() || stack_.back().kind != Frame::Tuple) return false;
        int n = stack_.back().field;
        if (n < static_cast<int>(field_names.size())) return false;
        wrong_length(static_cast<std::size_t>(n) + 1);
        return true;
    }

    bool push(Frame::Kind kind) {
        if (kind != Frame::List && ++spec_depth_ > max_spec_nesting) {
            return fail("record specifications nested deeper than " + std::to_string(max_spec_nesting) + " levels");
        }
        Frame f{kind, {}, {}, 0, kind == Frame::Tuple ? 0 : -1};
        stack_.push_back(std::move(f));
        return true;
    }

    bool scalar(Scalar kind, std::string_view text) {
        if (full()) return false;
        Want w = want();
        if (kind == Scalar::Null) {
            if (w != Want::OptText) return refuse("invalid type: null");
            return set_field(stack_.back(), std::optional<std::string>());
        }
        if (w != Want::Text && w != Want::OptText) return refuse("invalid type: string");
        return set_field(stack_.back(), std::optional<std::string>(std::string(text)));
    }

    // A finished description goes into the list or field that awaits it.
    bool deliver(NodeSpec spec) {
        --spec_depth_;
        if (stack_.empty()) return fail("internal: a record description outside a list");
        Frame& parent = stack_.back();
        parent.items.push_back(std::move(spec));
        return true;
    }

    bool set_field(Frame& f, std::optional<std::string> text) {
        int field = f.field;
        if (f.kind == Frame::Tuple) ++f.field;
        switch (field) {
            case 0: f.spec.xref = std::move(text); break;
            case 1: f.spec.tag = text ? std::move(*text) : std::string(); break;
            case 2: f.spec.value = std::move(text); break;
            default: return fail("internal: a text for the children");
        }
        if (f.kind == Frame::Object) f.field = -1;
        return true;
    }

    bool set_field(Frame& f, std::vector<NodeSpec> children) {
        f.spec.children = std::move(children);
        if (f.kind == Frame::Tuple) {
            ++f.field;
        } else {
            f.field = -1;
        }
        return true;
    }
};

// 1-based line and column of a byte offset; columns count characters.
std::string position(std::string_view text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if (!::pellorine::text::is_continuation_byte(static_cast<char>(c))) {
            ++column;
        }
    }
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

// The offset of the first escaped lone surrogate (its backslash) in a JSON text
// whose strings before it were all accepted.
std::size_t lone_surrogate_offset(std::string_view text) {
    auto hex4 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = at; i < at + 4 && i < text.size(); ++i) {
            char c = text[i];
            v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return v;
    };
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            in_string = !in_string;
        } else if (in_string && c == '\\') {
            if (i + 1 < text.size() && text[i + 1] == 'u') {
                unsigned cp = hex4(i + 2);
                if (cp >= 0xDC00 && cp <= 0xDFFF) return i;
                i += cp >= 0xD800 && cp <= 0xDBFF ? 11 : 5;  // a pair, or one escape
            } else {
                ++i;
            }
        }
    }
    return text.size();
}

}  // namespace

Result<std::vector<NodeSpec>> read_node_specs(std::string_view json) {
    Handler handler;
    rapidjson::Reader reader;
    rapidjson::MemoryStream stream(json.data(), json.size());
    constexpr unsigned flags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    rapidjson::ParseResult ok = reader.Parse<flags>(stream, handler);
    if (!ok && ok.Code() == rapidjson::kParseErrorNumberTooBig) {
        // Past the range of a double the reader stops before the handler sees
        // the number; it is refused like any other, from its literal text.
        std::string_view rest = json.substr(std::min(ok.Offset(), json.size()));
        handler.number(rest.substr(0, rest.find_first_not_of("+-0123456789.eE")));
    }
    if (!ok && handler.lone_surrogate) {
        ok.Set(rapidjson::kParseErrorStringUnicodeSurrogateInvalid, lone_surrogate_offset(json));
    } else if (ok && stream.Tell() != json.size()) {
        // The reader takes a NUL byte for the end of its input: what follows must still be refused.
        ok.Set(rapidjson::kParseErrorDocumentRootNotSingular, stream.Tell());
    }
    if (!ok) {
        std::string message = handler.error.empty() ? rapidjson::GetParseError_En(ok.Code()) : handler.error;
        // RapidJSON's own messages end in a full stop; ours carry the position instead.
        if (!message.empty() && message.back() == '.') message.pop_back();
        return fail(GedcomError::syntax(message + position(json, ok.Offset())));
    }
    return std::move(handler.result);
}

// ---- writer ----

namespace {

rapidjson::SizeType size_of(std::string_view s) { return static_cast<rapidjson::SizeType>(s.size()); }

// Whether any byte of a word is below 0x20, a quotation mark, a reverse
// solidus or 0x80 and above: the usual tests for a zero byte, eight at a time.
bool needs_look(std::uint64_t x) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    auto has_zero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
    return ((x - ones * 0x20) & ~x & highs) | has_zero(x ^ (ones * '"')) | has_zero(x ^ (ones * '\\')) | (x & highs);
}

// True when a text can stand between quotation marks as it is: valid UTF-8
// holding no character that JSON escapes (controls, quotation mark, reverse
// solidus). Most texts are, and then need no escaping pass at all.
bool is_plain(std::string_view s) {
    std::size_t i = 0;
    std::uint64_t any = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t x;
        std::memcpy(&x, s.data() + i, 8);
        any |= needs_look(x);
    }
    if (i < s.size()) {
        std::uint64_t x = 0x6161616161616161ull;  // 'a' in the bytes past the end: plain
        std::memcpy(&x, s.data() + i, s.size() - i);
        any |= needs_look(x);
    }
    if (!any) return true;
    bool high = false;
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == '"' || c == '\\') return false;
        high |= c >= 0x80;
    }
    return !high || text::is_valid_utf8(s);
}

// RapidJSON's writer, with one more way to write a string: a plain text
// copied between quotation marks, after the same separator any value gets.
class PlainWriter : public rapidjson::Writer<rapidjson::StringBuffer> {
public:
    using Writer::Writer;
    void plain(std::string_view s) {
        Prefix(rapidjson::kStringType);
        os_->Reserve(s.size() + 2);
        os_->PutUnsafe('"');
        if (!s.empty()) std::memcpy(os_->PushUnsafe(s.size()), s.data(), s.size());
        os_->PutUnsafe('"');
    }
};

}  // namespace

struct Writer::Impl {
    rapidjson::StringBuffer buffer{nullptr, 128};
    PlainWriter writer{buffer};
    std::string repaired;  // reused for texts that need repair

    void text(std::string_view s) {
        if (is_plain(s)) {
            writer.plain(s);
            return;
        }
        // Invalid UTF-8 (possible only in documents built from unchecked
        // text) becomes U+FFFD byte by byte, so that the JSON stays valid.
        if (!text::is_valid_utf8(s)) {
            repaired.clear();
            for (std::size_t pos = 0; pos < s.size();) text::append_utf8(repaired, text::next_code_point(s, pos));
            s = repaired;
        }
        writer.String(s.data(), size_of(s));
    }
};

Writer::Writer() : impl_(new Impl) {}
Writer::~Writer() { delete impl_; }

Writer& Writer::begin_object() { impl_->writer.StartObject(); return *this; }
Writer& Writer::end_object() { impl_->writer.EndObject(); return *this; }
Writer& Writer::begin_array() { impl_->writer.StartArray(); return *this; }
Writer& Writer::end_array() { impl_->writer.EndArray(); return *this; }
// A key is written as a string; the writer knows from its place that it is a key.
Writer& Writer::key_text(std::string_view k) {
    impl_->text(k);
    return *this;
}
Writer& Writer::key(PlainKey k) {
    impl_->writer.plain(k.text());
    return *this;
}
Writer& Writer::string(std::string_view s) {
    impl_->text(s);
    return *this;
}
Writer& Writer::string(const std::string& s) { return string(std::string_view(s)); }
Writer& Writer::string(const char* s) { return string(std::string_view(s)); }
Writer& Writer::string(const std::optional<std::string>& s) {
    return s ? string(std::string_view(*s)) : null();
}
Writer& Writer::string(const std::optional<std::string_view>& s) { return s ? string(*s) : null(); }
Writer& Writer::uint(std::uint64_t n) { impl_->writer.Uint64(n); return *this; }
Writer& Writer::int64(std::int64_t n) { impl_->writer.Int64(n); return *this; }
Writer& Writer::boolean(bool b) { impl_->writer.Bool(b); return *this; }
Writer& Writer::null() { impl_->writer.Null(); return *this; }

std::string_view Writer::view() const { return {impl_->buffer.GetString(), impl_->buffer.GetSize()}; }
std::string Writer::take() { return std::string(view()); }
void Writer::clear() {
    impl_->buffer.Clear();
    impl_->writer.Reset(impl_->buffer);
}

}  // namespace pellorine::json
