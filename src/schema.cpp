// The header's schema of extension declarations.
#include "schema.hpp"

#include "text.hpp"

namespace pellorine::schema {

namespace {

constexpr std::string_view kSchema = "SCHMA";
constexpr std::string_view kTag = "TAG";

// Splits `s` into its words, separated by Unicode White_Space; empty words do not count.
std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    std::size_t start = std::string_view::npos;
    while (pos < s.size()) {
        std::size_t at = pos;
        bool space = text::is_white_space(text::next_code_point(s, pos));
        if (space && start != std::string_view::npos) {
            out.push_back(s.substr(start, at - start));
            start = std::string_view::npos;
        } else if (!space && start == std::string_view::npos) {
            start = at;
        }
    }
    if (start != std::string_view::npos) out.push_back(s.substr(start));
    return out;
}

// Calls `f` with the words of each TAG line that has any, under every SCHMA of
// the header in order, until `f` returns true; true when it did.
template <class F>
bool any_declaration(const Node& header, F f) {
    for (const Node& schema : header.children()) {
        if (schema.tag() != kSchema) continue;
        for (const Node& line : schema.children()) {
            if (line.tag() != kTag) continue;
            std::string payload = line.logical_value();
            std::vector<std::string_view> w = words(payload);
            if (!w.empty() && f(w)) return true;
        }
    }
    return false;
}

// Bytes a URI fragment holds as they are: unreserved ones, sub-delimiters, ':', '@', '/' and '?'.
bool fragment_byte(char c) {
    return text::is_ascii_alpha(c) || text::is_ascii_digit(c) ||
           std::string_view("-._~!$&'()*+,;=:@/?").find(c) != std::string_view::npos;
}

}  // namespace

std::string undocumented_uri(std::string_view tag) {
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string out(UNDOCUMENTED_EXTENSION_URI);
    out.push_back('#');
    for (char c : tag) {
        if (fragment_byte(c)) {
            out.push_back(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += {'%', hex[byte >> 4], hex[byte & 0xF]};
        }
    }
    return out;
}

bool is_declared(const Node& header, std::string_view tag) {
    return any_declaration(header, [&](const std::vector<std::string_view>& w) { return w.front() == tag; });
}

bool declare(Node& header, std::string_view tag, std::string_view uri) {
    if (is_declared(header, tag)) return false;
    first_schema(header).push(declaration(tag, uri));
    return true;
}

std::vector<std::pair<std::string, std::string>> declarations(const Node& header) {
    std::vector<std::pair<std::string, std::string>> out;
    any_declaration(header, [&](const std::vector<std::string_view>& w) {
        std::string uri;
        for (std::size_t i = 1; i < w.size(); ++i) {
            if (i > 1) uri.push_back(' ');
            uri.append(w[i]);
        }
        out.emplace_back(std::string(w.front()), std::move(uri));
        return false;
    });
    return out;
}

Node& first_schema(Node& header) {
    if (Node* schema = header.first(kSchema)) return *schema;
    header.push(Node::new_(kSchema));
    return header.children().back();
}

Node declaration(std::string_view tag, std::string_view uri) {
    std::string payload;
    payload.reserve(tag.size() + 1 + uri.size());
    payload.append(tag).push_back(' ');
    payload.append(uri);
    return Node::with_value(kTag, payload);
}

}  // namespace pellorine::schema
