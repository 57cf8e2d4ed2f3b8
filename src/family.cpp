// Building the family graph: identifiers interned under their case-folded
// key, family memberships gathered in file order, then grouped by family and
// by person with counting sorts, so that no step scans a list per append.
#include "family.hpp"

#include <algorithm>
#include <cstring>
#include <random>

#include "text.hpp"

namespace pellorine {

namespace family {

std::size_t FoldedHash::operator()(std::string_view text) const noexcept {
    std::uint64_t h = 1469598103934665603ull ^ seed;  // FNV-1a over the uppercased bytes
    for (unsigned char c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        h = (h ^ c) * 1099511628211ull;
    }
    // A final mix, so that the seed reaches every bit the table looks at.
    h ^= seed;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h);
}

std::uint64_t random_seed() {
    std::random_device source;
    return (static_cast<std::uint64_t>(source()) << 32) ^ source();
}

}  // namespace family

namespace {

// The payload of a linking structure when it counts: a pointer, and not the null pointer.
std::optional<std::string_view> link_of(const Node& node) {
    auto p = node.pointer();
    if (!p || *p == "@VOID@") return std::nullopt;
    return p;
}

}  // namespace

// Fills a graph from a document; lives for the one call of FamilyGraph::new_.
struct GraphBuilder {
    FamilyGraph& g;
    std::vector<std::size_t> key_hashes;                         // per key
    std::unordered_map<std::string, std::uint32_t> variants;     // spellings other than a key's first
    std::vector<std::uint32_t> family_keys;                      // per family index
    // Memberships in the order they were met: (family index, spelling id).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> partner_links, child_links;

    explicit GraphBuilder(FamilyGraph& graph, std::size_t expected_keys) : g(graph) {
        std::size_t slots = 16;
        while (slots < expected_keys * 2) slots *= 2;
        g.slots_.assign(slots, 0);
    }

    std::uint32_t new_spelling(std::string_view text, std::uint32_t key) {
        g.spellings_.push_back({g.text_.size(), static_cast<std::uint32_t>(text.size()), key});
        g.text_.append(text);
        return static_cast<std::uint32_t>(g.spellings_.size() - 1);
    }

    void place(std::uint32_t key, std::size_t hash) {
        std::size_t mask = g.slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            if (g.slots_[i] == 0) {
                g.slots_[i] = key + 1;
                return;
            }
        }
    }

    void grow() {
        g.slots_.assign(g.slots_.size() * 2, 0);
        for (std::uint32_t k = 0; k < key_hashes.size(); ++k) place(k, key_hashes[k]);
    }

    // The spelling id of `text`, interning it (and its key) when new.
    std::uint32_t intern(std::string_view text) {
        std::size_t hash = g.hash_(text);
        std::size_t mask = g.slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            std::uint32_t slot = g.slots_[i];
            if (slot == 0) break;
            std::uint32_t key = slot - 1;
            if (key_hashes[key] != hash) continue;
            std::uint32_t first = g.first_spelling_[key];
            std::string_view known = g.spelling(first);
            if (known.size() != text.size() || !text::ascii_iequals(known, text)) continue;
            if (known == text) return first;
            auto [it, added] = variants.try_emplace(std::string(text), 0);
            if (added) it->second = new_spelling(text, key);
            return it->second;
        }
        auto key = static_cast<std::uint32_t>(key_hashes.size());
        key_hashes.push_back(hash);
        std::uint32_t id = new_spelling(text, key);
        g.first_spelling_.push_back(id);
        g.family_of_key_.push_back(FamilyGraph::none);
        if (key_hashes.size() * 2 > g.slots_.size()) {
            grow();
        } else {
            place(key, hash);
        }
        return id;
    }

    // The index of the family named by `xref`, made when it has none yet.
    std::uint32_t family_index(std::string_view xref) {
        std::uint32_t key = g.spellings_[intern(xref)].key;
        std::uint32_t& index = g.family_of_key_[key];
        if (index == FamilyGraph::none) {
            index = static_cast<std::uint32_t>(family_keys.size());
            family_keys.push_back(key);
        }
        return index;
    }

    void family_record(const Node& record) {
        std::uint32_t f = family_index(*record.xref());
        // All husbands, then all wives, then the children, whatever the line order.
        for (std::string_view tag : {"HUSB", "WIFE"})
            for (const Node& c : record.children())
                if (c.tag() == tag)
                    if (auto p = link_of(c)) partner_links.emplace_back(f, intern(*p));
        for (const Node& c : record.children())
            if (c.tag() == "CHIL")
                if (auto p = link_of(c)) child_links.emplace_back(f, intern(*p));
    }

    void individual_record(const Node& record) {
        std::optional<std::uint32_t> self;
        auto link = [&](std::string_view tag, auto& links) {
            for (const Node& c : record.children()) {
                if (c.tag() != tag) continue;
                auto p = link_of(c);
                if (!p) continue;
                std::uint32_t f = family_index(*p);
                if (!self) self = intern(*record.xref());
                links.emplace_back(f, *self);
            }
        };
        link("FAMC", child_links);
        link("FAMS", partner_links);
    }

    // Groups one kind of membership by family, in the order met, keeping the
    // first spelling of each key within a family.
    void group_by_family(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& links,
                         std::vector<FamilyGraph::Span>& spans, std::vector<std::uint32_t>& stamp,
                         std::uint32_t mark_base) {
        std::size_t families = family_keys.size();
        std::vector<std::uint32_t> start(families + 1, 0);
        for (const auto& [f, s] : links) ++start[f + 1];
        for (std::size_t f = 0; f < families; ++f) start[f + 1] += start[f];
        std::vector<std::uint32_t> sorted(links.size());
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (const auto& [f, s] : links) sorted[fill[f]++] = s;
        spans.resize(families);
        for (std::uint32_t f = 0; f < families; ++f) {
            spans[f].begin = static_cast<std::uint32_t>(g.members_.size());
            for (std::uint32_t i = start[f]; i < start[f + 1]; ++i) {
                std::uint32_t key = g.spellings_[sorted[i]].key;
                if (stamp[key] == mark_base + f + 1) continue;
                stamp[key] = mark_base + f + 1;
                g.members_.push_back(sorted[i]);
            }
            spans[f].end = static_cast<std::uint32_t>(g.members_.size());
        }
    }

    // For each key, the families whose `spans` hold it, in family order.
    void group_by_person(const std::vector<FamilyGraph::Span>& spans, std::vector<FamilyGraph::Span>& out) {
        std::size_t keys = key_hashes.size();
        std::vector<std::uint32_t> start(keys + 1, 0);
        for (const auto& span : spans)
            for (std::uint32_t i = span.begin; i < span.end; ++i) ++start[g.spellings_[g.members_[i]].key + 1];
        for (std::size_t k = 0; k < keys; ++k) start[k + 1] += start[k];
        auto base = static_cast<std::uint32_t>(g.memberships_.size());
        g.memberships_.resize(base + start[keys]);
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::uint32_t f = 0; f < spans.size(); ++f)
            for (std::uint32_t i = spans[f].begin; i < spans[f].end; ++i)
                g.memberships_[base + fill[g.spellings_[g.members_[i]].key]++] = f;
        out.resize(keys);
        for (std::size_t k = 0; k < keys; ++k) out[k] = {base + start[k], base + start[k + 1]};
    }

    void finish() {
        std::vector<std::uint32_t> stamp(key_hashes.size(), 0);
        auto families = static_cast<std::uint32_t>(family_keys.size());
        group_by_family(partner_links, g.family_partners_, stamp, 0);
        group_by_family(child_links, g.family_children_, stamp, families);
        partner_links = {};
        child_links = {};
        group_by_person(g.family_children_, g.child_in_);
        group_by_person(g.family_partners_, g.partner_in_);
    }
};

FamilyGraph FamilyGraph::new_(const Document& document) {
    FamilyGraph g;
    g.hash_.seed = family::random_seed();
    GraphBuilder b(g, document.records.size());
    for (const Node& record : document.records)
        if (record.tag() == "FAM" && record.xref()) b.family_record(record);
    for (const Node& record : document.records)
        if (record.tag() == "INDI" && record.xref()) b.individual_record(record);
    b.finish();
    return g;
}

}  // namespace pellorine
