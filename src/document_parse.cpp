// The line grammar and the parser: decoded text to a document of record trees.
//
// One forward pass reads the lines and builds the trees at once. The nodes view
// one shared text (the caller's, when it can stay as it is); a node's children are gathered on a per-level
// scratch list and moved into a vector of exactly their number when the node is
// complete, so a large file costs one small allocation per parent. There is no
// recursion: the open nodes form an explicit stack as deep as the deepest level.
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "document.hpp"

namespace pellorine {

Result<void> check_input_size(std::size_t size, const ParseLimits& limits) {
    constexpr std::uint64_t kMiB = 1048576;
    if (size > limits.max_bytes) {
        return fail(GedcomError::limit("the file is " + std::to_string(size / kMiB) + " MB and the limit is " +
                                       std::to_string(limits.max_bytes / kMiB) + " MB"));
    }
    return {};
}

namespace {

// A node keeps its tag length in 30 bits; longer lines are refused as too long.
constexpr std::uint64_t kLongestStorableLine = (1u << 30) - 1;

// CR LF becomes LF, then every lone CR becomes LF; in place, since the text only shrinks.
void normalise_line_ends(std::string& s) {
    std::size_t w = 0;
    const std::size_t n = s.size();
    for (std::size_t r = 0; r < n; ++r) {
        char c = s[r];
        if (c == '\r') {
            c = '\n';
            if (r + 1 < n && s[r + 1] == '\n') ++r;
        }
        s[w++] = c;
    }
    s.resize(w);
}

// Reads the level: an optional '+', then decimal digits, at most 65535.
std::optional<std::uint16_t> read_level(const char* p, const char* end) {
    if (p < end && *p == '+') ++p;
    if (p == end) return std::nullopt;
    std::uint32_t v = 0;
    for (; p < end; ++p) {
        unsigned d = static_cast<unsigned char>(*p) - '0';
        if (d > 9) return std::nullopt;
        v = v * 10 + d;
        if (v > 65535) return std::nullopt;
    }
    return static_cast<std::uint16_t>(v);
}

// The level as render_line writes it: no sign, no leading zero.
bool canonical_level(const char* p, const char* end) {
    return *p != '+' && (end - p == 1 || *p != '0');
}

const char* find(const char* from, const char* end, char c) {
    const void* hit = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

}  // namespace

struct Parser {
    const ParseLimits& limits;
    const std::string_view text;
    const TextKeeper keeper;
    Node::Storage* storage = nullptr;      // the part of the text the current nodes view
    const char* storage_start = nullptr;
    Document doc;
    std::vector<Node> open;                // the nodes still being read, one per level
    std::vector<std::vector<Node>> kids;   // the finished children of each open node
    std::optional<GedcomError> deferred;   // the first tree failure; a line error anywhere wins over it

    Parser(const ParseLimits& l, std::string_view t, TextKeeper k) : limits(l), text(t), keeper(std::move(k)) {}
    ~Parser() { Node::Storage::release(storage); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    void close_top() {
        const std::size_t depth = open.size() - 1;
        Node n = std::move(open.back());
        open.pop_back();
        std::vector<Node>& k = kids[depth];
        if (!k.empty()) {
            n.children_.assign(std::make_move_iterator(k.begin()), std::make_move_iterator(k.end()));
            k.clear();
        }
        if (depth == 0) {
            doc.records.push_back(std::move(n));
        } else {
            kids[depth - 1].push_back(std::move(n));
        }
    }

    void close_to(std::size_t depth) {
        while (open.size() > depth) close_top();
    }

    void defer(GedcomError e) {
        deferred = std::move(e);
        // Nothing built will be returned now; only the line checks go on.
        open.clear();
        kids.clear();
        doc.records.clear();
    }

    // Places one parsed line in the tree, or records why it cannot stand where it is.
    // A node's offset has 32 bits, so the nodes of a longer text view it in parts,
    // each beginning at a line start and running to the end of the text.
    void view_from(const char* line_start, const char* token) {
        if (storage && static_cast<std::uint64_t>(token - storage_start) <= std::numeric_limits<std::uint32_t>::max()) {
            return;
        }
        Node::Storage::release(storage);
        storage = nullptr;
        storage = Node::Storage::viewing(text.substr(static_cast<std::size_t>(line_start - text.data())), keeper);
        storage_start = line_start;
    }

    void place(std::uint16_t level, std::uint64_t line_no, const char* line_start, const char* token,
               bool verbatim, bool has_xref, std::uint32_t tag_len) {
        if (deferred) return;
        if (level == 0) {
            close_to(0);
            if (doc.records.size() >= limits.max_records) {
                return defer(GedcomError::limit("the file has too many records", line_no));
            }
        } else if (open.empty()) {
            return defer(GedcomError::structure("a record must begin at level 0", line_no));
        } else if (level > open.size()) {
            return defer(GedcomError::structure("the line skips a nesting level", line_no));
        } else {
            close_to(level);
        }
        view_from(line_start, token);
        Node n;
        n.storage_ = Node::Storage::retain(storage);
        n.offset_ = static_cast<std::uint32_t>(token - storage_start);
        n.verbatim_ = verbatim;
        n.has_xref_ = has_xref;
        n.tag_len_ = tag_len;
        open.push_back(std::move(n));
        if (kids.size() < open.size()) kids.emplace_back();
    }

    Result<Document> run() {
        const char* const data = text.data();
        const char* const end = data + text.size();
        const std::uint64_t longest = std::min(limits.max_line_bytes, kLongestStorableLine);
        std::uint64_t line_no = 0;
        std::uint64_t parsed = 0;

        for (const char* p = data; p < end;) {
            const char* eol = find(p, end, '\n');
            const char* next = eol < end ? eol + 1 : end;
            ++line_no;
            if (eol == p) {
                p = next;
                continue;
            }
            auto line_error = [&](GedcomError (*make)(std::string, std::uint64_t), const char* msg) {
                return fail(make(msg, line_no));
            };
            if (parsed >= limits.max_lines) return line_error(GedcomError::limit, "the file has too many lines");
            if (static_cast<std::uint64_t>(eol - p) > longest) {
                return line_error(GedcomError::limit, "the line is longer than the limit");
            }
            const char* sp = find(p, eol, ' ');
            if (sp == eol) return line_error(GedcomError::syntax, "the line has no tag");
            std::optional<std::uint16_t> level = read_level(p, sp);
            if (!level) return line_error(GedcomError::syntax, "the line does not begin with a level");
            if (*level > limits.max_depth) {
                return line_error(GedcomError::limit, "the line is nested deeper than the limit");
            }
            const char* q = sp;
            while (q < eol && *q == ' ') ++q;
            if (q == eol) return line_error(GedcomError::syntax, "the line has no tag");

            const char* tag = q;
            bool has_xref = false;
            if (*q == '@') {
                const char* token_end = find(q, eol, ' ');
                std::string_view token(q, static_cast<std::size_t>(token_end - q));
                if (!is_xref(token)) {
                    return line_error(GedcomError::syntax,
                                      "the cross-reference identifier is not closed, or contains a space");
                }
                if (token_end == eol || token_end + 1 == eol) {
                    return line_error(GedcomError::syntax, "the record has an identifier but no tag");
                }
                has_xref = true;
                tag = token_end + 1;
            }
            const char* tag_end = find(tag, eol, ' ');
            bool tag_ok = tag_end > tag;
            for (const char* t = tag; tag_ok && t < tag_end; ++t) tag_ok = detail::is_tag_byte(static_cast<unsigned char>(*t));
            if (!tag_ok) return line_error(GedcomError::syntax, "a tag must be ASCII letters, digits, or underscore");
            ++parsed;

            // The line as read is kept only where the canonical rendering would differ from it.
            const bool canonical = q - sp == 1 && canonical_level(p, sp);
            place(*level, line_no, p, q, !canonical, has_xref, static_cast<std::uint32_t>(tag_end - tag));
            p = next;
        }
        if (deferred) return fail(std::move(*deferred));
        close_to(0);
        return std::move(doc);
    }
};

namespace {

Result<Document> parse_text(std::string text, const ParseLimits& limits) {
    if (text.find('\r') != std::string::npos) normalise_line_ends(text);
    auto owned = std::make_shared<const std::string>(std::move(text));
    std::string_view view = *owned;
    Parser parser(limits, view, std::move(owned));
    return parser.run();
}

}  // namespace

Result<Document> Document::parse(std::string_view text) { return parse_with(text, default_limits); }

Result<Document> Document::parse_with(std::string_view text, const ParseLimits& limits) {
    if (auto ok = check_input_size(text.size(), limits); !ok) return fail(std::move(ok.error()));
    // The nodes outlive the caller's text, so they view a copy of it.
    return parse_text(std::string(text), limits);
}

Result<Document> Document::parse_owned(std::string text) { return parse_owned_with(std::move(text), default_limits); }

Result<Document> Document::parse_owned_with(std::string text, const ParseLimits& limits) {
    if (auto ok = check_input_size(text.size(), limits); !ok) return fail(std::move(ok.error()));
    return parse_text(std::move(text), limits);
}

Result<Document> Document::parse_borrowed_with(std::string_view text, TextKeeper keeper, const ParseLimits& limits) {
    if (auto ok = check_input_size(text.size(), limits); !ok) return fail(std::move(ok.error()));
    if (text.find('\r') != std::string_view::npos) return parse_text(std::string(text), limits);
    Parser parser(limits, text, std::move(keeper));
    return parser.run();
}

}  // namespace pellorine
