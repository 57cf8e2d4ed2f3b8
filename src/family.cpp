// Building the family graph: identifiers interned under their case-folded
// key, family memberships gathered in file order, then grouped by family and
// by person with counting sorts, so that no step scans a list per append.
//
// The links are read a batch at a time: their hashes are computed and their
// index slots fetched ahead, so that the lookups of a large file overlap
// their cache misses instead of waiting for each in turn.
#include <algorithm>
#include <cstring>

#include "family.hpp"

namespace pellorine {

namespace {

// The payload of a linking structure when it counts: a pointer, and not the null pointer.
std::optional<std::string_view> link_of(const Node& node) {
    auto p = node.pointer();
    if (!p || *p == "@VOID@") return std::nullopt;
    return p;
}

// Whether `tag` is the four-letter tag `name` (a comparison the compiler inlines).
bool is_tag(std::string_view tag, const char (&name)[5]) {
    return tag.size() == 4 && std::memcmp(tag.data(), name, 4) == 0;
}

// Byte equality of two texts already known to fold alike (so of one length);
// a plain loop, cheaper than a library call for identifiers this short.
bool same_bytes(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// What one identifier met while reading the records stands for.
enum class Met : std::uint8_t {
    Family,     // a family record's own identifier
    Partner,    // its HUSB or WIFE
    Child,      // its CHIL
    Person,     // an individual record's own identifier
    ChildOf,    // its FAMC
    PartnerOf,  // its FAMS
};

struct Occurrence {
    std::string_view text;
    std::uint64_t hash;
    Met met;
};

constexpr std::size_t batch_size = 1024;
constexpr std::size_t block_size = 64 * 1024;

}  // namespace

// Fills a graph from a document; lives for the one call of FamilyGraph::new_.
struct GraphBuilder {
    // A spelling and the key it folds to.
    struct Interned {
        std::uint32_t spelling, key;
    };
    // A membership: family index, spelling, key.
    struct Link {
        std::uint32_t family, spelling, key;
    };

    FamilyGraph& g;
    std::unordered_map<std::string_view, std::uint32_t> variants;  // spellings other than a key's first
    std::vector<std::uint32_t> family_keys;                        // per family index
    std::vector<Link> partner_links, child_links;                  // in the order met
    std::vector<Occurrence> batch;
    std::vector<std::string_view> wives, children, spouse_in;  // held back to keep the order of roles
    std::size_t block_used = block_size;
    std::uint32_t family = 0;           // the family record being read
    Occurrence person{};                // the individual record being read
    std::optional<Interned> person_is;  // its spelling, once one of its links counted

    explicit GraphBuilder(FamilyGraph& graph) : g(graph) { batch.reserve(batch_size); }

    // A copy of `text` in the graph's blocks.
    std::string_view keep(std::string_view text) {
        // A block made for one long text is full at once, past block_size.
        if (block_used > block_size || text.size() > block_size - block_used) {
            g.blocks_.push_back(std::make_unique<char[]>(std::max(block_size, text.size())));
            block_used = 0;
        }
        char* at = g.blocks_.back().get() + block_used;
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        block_used += text.size();
        return {at, text.size()};
    }

    // Keys are numbered as their first spelling, so the per-key tables are
    // per-spelling tables with a few unused rows for other spellings.
    std::uint32_t new_spelling(std::string_view kept) {
        g.spellings_.push_back(kept);
        g.family_of_key_.push_back(FamilyGraph::none);
        return static_cast<std::uint32_t>(g.spellings_.size() - 1);
    }

    Interned intern(const Occurrence& o) {
        if (auto* e = g.keys_.find(o.text, o.hash)) {
            std::uint32_t key = e->value;
            if (same_bytes(e->key(), o.text)) return {key, key};
            auto it = variants.find(o.text);
            if (it == variants.end()) {
                std::string_view kept = keep(o.text);
                it = variants.emplace(kept, new_spelling(kept)).first;
            }
            return {it->second, key};
        }
        std::string_view kept = keep(o.text);
        std::uint32_t key = new_spelling(kept);
        g.keys_.insert(kept, o.hash, key);
        return {key, key};
    }

    // The index of the family with this key, made when it has none yet.
    std::uint32_t family_index(std::uint32_t key) {
        std::uint32_t& index = g.family_of_key_[key];
        if (index == FamilyGraph::none) {
            index = static_cast<std::uint32_t>(family_keys.size());
            family_keys.push_back(key);
        }
        return index;
    }

    void meet(std::string_view text, Met met) {
        batch.push_back({text, 0, met});
        if (batch.size() == batch_size) flush();
    }

    // Fetching a few lookups ahead keeps as many misses in flight as the
    // processor can hold, no more.
    void flush() {
        constexpr std::size_t ahead = 16;
        for (Occurrence& o : batch) o.hash = g.keys_.hash(o.text);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (i + ahead < batch.size()) g.keys_.prefetch(batch[i + ahead].hash);
            take(batch[i]);
        }
        batch.clear();
    }

    void take(const Occurrence& o) {
        switch (o.met) {
            case Met::Family: family = family_index(intern(o).key); return;
            case Met::Partner:
            case Met::Child: {
                Interned m = intern(o);
                (o.met == Met::Partner ? partner_links : child_links).push_back({family, m.spelling, m.key});
                return;
            }
            case Met::Person:
                person = o;
                person_is.reset();
                return;
            case Met::ChildOf:
            case Met::PartnerOf: {
                std::uint32_t f = family_index(intern(o).key);
                if (!person_is) person_is = intern(person);
                (o.met == Met::ChildOf ? child_links : partner_links).push_back({f, person_is->spelling, person_is->key});
                return;
            }
        }
    }

    void family_record(const Node& record, std::string_view xref) {
        meet(xref, Met::Family);
        // All husbands, then all wives, then the children, whatever the line order.
        wives.clear();
        children.clear();
        for (const Node& c : record.children()) {
            std::string_view tag = c.tag();
            auto p = is_tag(tag, "HUSB") || is_tag(tag, "WIFE") || is_tag(tag, "CHIL") ? link_of(c) : std::nullopt;
            if (!p) continue;
            if (tag[0] == 'H') meet(*p, Met::Partner);
            else (tag[0] == 'W' ? wives : children).push_back(*p);
        }
        for (std::string_view p : wives) meet(p, Met::Partner);
        for (std::string_view p : children) meet(p, Met::Child);
    }

    void individual_record(const Node& record, std::string_view xref) {
        // The FAMC links first, then the FAMS links.
        spouse_in.clear();
        bool announced = false;
        auto announce = [&] {
            if (!announced) meet(xref, Met::Person);
            announced = true;
        };
        for (const Node& c : record.children()) {
            std::string_view tag = c.tag();
            auto p = is_tag(tag, "FAMC") || is_tag(tag, "FAMS") ? link_of(c) : std::nullopt;
            if (!p) continue;
            if (tag[3] == 'S') {
                spouse_in.push_back(*p);
            } else {
                announce();
                meet(*p, Met::ChildOf);
            }
        }
        for (std::string_view p : spouse_in) {
            announce();
            meet(p, Met::PartnerOf);
        }
    }

    // Groups one kind of membership by family, in the order met, keeping the
    // first spelling of each key within a family.
    void group_by_family(const std::vector<Link>& links, std::vector<FamilyGraph::Span>& spans,
                         std::vector<std::uint32_t>& stamp, std::uint32_t mark_base) {
        std::size_t families = family_keys.size();
        std::vector<std::uint32_t> start(families + 1, 0);
        for (const Link& l : links) ++start[l.family + 1];
        for (std::size_t f = 0; f < families; ++f) start[f + 1] += start[f];
        // Sorted straight into the members' tables, then compacted in place.
        auto base = static_cast<std::uint32_t>(g.members_.size());
        g.members_.resize(base + links.size());
        g.member_keys_.resize(base + links.size());
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (const Link& l : links) {
            std::uint32_t at = base + fill[l.family]++;
            g.members_[at] = l.spelling;
            g.member_keys_[at] = l.key;
        }
        spans.resize(families);
        std::uint32_t kept = base;
        for (std::uint32_t f = 0; f < families; ++f) {
            spans[f].begin = kept;
            for (std::uint32_t i = base + start[f]; i < base + start[f + 1]; ++i) {
                std::uint32_t key = g.member_keys_[i];
                if (stamp[key] == mark_base + f + 1) continue;
                stamp[key] = mark_base + f + 1;
                g.members_[kept] = g.members_[i];
                g.member_keys_[kept++] = key;
            }
            spans[f].end = kept;
        }
        g.members_.resize(kept);
        g.member_keys_.resize(kept);
    }

    // For each key, the families whose `spans` hold it, in family order.
    void group_by_person(const std::vector<FamilyGraph::Span>& spans, std::vector<FamilyGraph::Span>& out) {
        std::size_t keys = g.spellings_.size();
        std::vector<std::uint32_t> start(keys + 1, 0);
        for (const auto& span : spans)
            for (std::uint32_t i = span.begin; i < span.end; ++i) ++start[g.member_keys_[i] + 1];
        for (std::size_t k = 0; k < keys; ++k) start[k + 1] += start[k];
        auto base = static_cast<std::uint32_t>(g.memberships_.size());
        g.memberships_.resize(base + start[keys]);
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::uint32_t f = 0; f < spans.size(); ++f)
            for (std::uint32_t i = spans[f].begin; i < spans[f].end; ++i)
                g.memberships_[base + fill[g.member_keys_[i]]++] = f;
        out.resize(keys);
        for (std::size_t k = 0; k < keys; ++k) out[k] = {base + start[k], base + start[k + 1]};
    }

    void finish() {
        flush();
        std::vector<std::uint32_t> stamp(g.spellings_.size(), 0);
        auto families = static_cast<std::uint32_t>(family_keys.size());
        g.members_.reserve(partner_links.size() + child_links.size());
        g.member_keys_.reserve(partner_links.size() + child_links.size());
        group_by_family(partner_links, g.family_partners_, stamp, 0);
        group_by_family(child_links, g.family_children_, stamp, families);
        partner_links = {};
        child_links = {};
        g.memberships_.reserve(g.members_.size());
        group_by_person(g.family_children_, g.child_in_);
        group_by_person(g.family_partners_, g.partner_in_);
    }
};

FamilyGraph FamilyGraph::new_(const Document& document) {
    FamilyGraph g;
    g.keys_ = family::FoldedIndex(document.records.size());
    GraphBuilder b(g);
    b.partner_links.reserve(document.records.size());
    b.child_links.reserve(document.records.size());
    // The family records first, then the individuals.
    std::vector<std::pair<const Node*, std::string_view>> individuals;
    for (const Node& record : document.records) {
        auto xref = record.xref();
        if (!xref) continue;
        std::string_view tag = record.tag();
        if (tag == "FAM") b.family_record(record, *xref);
        else if (is_tag(tag, "INDI")) individuals.emplace_back(&record, *xref);
    }
    for (auto [record, xref] : individuals) b.individual_record(*record, xref);
    b.finish();
    return g;
}

}  // namespace pellorine
