// Answers from the family graph: a person's relatives read off the families
// they belong to, and the walks over generations.
#include <unordered_set>

#include "family.hpp"
#include "text.hpp"

namespace pellorine {

namespace {

// Keeps the first entry of each key: a short list is scanned, a long one hashed,
// so that a person in many families costs no more than their memberships.
class FirstOfEachKey {
public:
    bool admit(std::uint32_t key) {
        if (!many_.empty()) return many_.insert(key).second;
        for (std::uint32_t k : few_)
            if (k == key) return false;
        few_.push_back(key);
        if (few_.size() > 16) many_.insert(few_.begin(), few_.end());
        return true;
    }

private:
    std::vector<std::uint32_t> few_;
    std::unordered_set<std::uint32_t> many_;
};

}  // namespace

std::uint32_t FamilyGraph::key_of(std::string_view xref) const {
    const auto* e = keys_.find(xref);
    return e ? e->value : none;
}

Relatives FamilyGraph::relatives(std::uint32_t key, Relation relation) const {
    Relatives out;
    if (key == none) return out;
    const Span& in = relation == Relation::Parents ? child_in_[key] : partner_in_[key];
    const auto& members = relation == Relation::Children ? family_children_ : family_partners_;
    FirstOfEachKey seen;
    for (std::uint32_t i = in.begin; i < in.end; ++i) {
        const Span& span = members[memberships_[i]];
        for (std::uint32_t m = span.begin; m < span.end; ++m) {
            std::uint32_t k = member_keys_[m];
            if (relation == Relation::Partners && k == key) continue;
            if (seen.admit(k)) out.push_back(spellings_[members_[m]]);
        }
    }
    return out;
}

Relatives FamilyGraph::parents_of(std::string_view xref) const { return relatives(key_of(xref), Relation::Parents); }
Relatives FamilyGraph::children_of(std::string_view xref) const {
    return relatives(key_of(xref), Relation::Children);
}
Relatives FamilyGraph::partners_of(std::string_view xref) const {
    return relatives(key_of(xref), Relation::Partners);
}

std::optional<FamilyMembers> FamilyGraph::family(std::string_view xref) const {
    std::uint32_t key = key_of(xref);
    if (key == none || family_of_key_[key] == none) return std::nullopt;
    std::uint32_t f = family_of_key_[key];
    FamilyMembers out;
    for (std::uint32_t m = family_partners_[f].begin; m < family_partners_[f].end; ++m)
        out.partners.push_back(spellings_[members_[m]]);
    for (std::uint32_t m = family_children_[f].begin; m < family_children_[f].end; ++m)
        out.children.push_back(spellings_[members_[m]]);
    return out;
}

// Breadth first from `start`, one generation at a time. A family is opened
// once: whoever reaches it again finds all its members already seen, so the
// walk costs the families it touches, however many routes lead to them.
std::unordered_map<std::string, std::uint32_t> FamilyGraph::walk(std::string_view start, Relation relation) const {
    std::unordered_map<std::string, std::uint32_t> out;
    std::uint32_t first = key_of(start);
    if (first == none) {
        out.emplace(text::ascii_uppercase(start), 0);
        return out;
    }
    const auto& via = relation == Relation::Parents ? child_in_ : partner_in_;
    const auto& members = relation == Relation::Parents ? family_partners_ : family_children_;
    std::unordered_map<std::uint32_t, std::uint32_t> seen{{first, 0}};
    std::unordered_set<std::uint32_t> opened;
    std::vector<std::uint32_t> frontier{first}, next;
    for (std::uint32_t generation = 1; generation <= max_generations && !frontier.empty(); ++generation) {
        next.clear();
        for (std::uint32_t key : frontier) {
            for (std::uint32_t i = via[key].begin; i < via[key].end; ++i) {
                std::uint32_t f = memberships_[i];
                if (!opened.insert(f).second) continue;
                for (std::uint32_t m = members[f].begin; m < members[f].end; ++m) {
                    std::uint32_t k = member_keys_[m];
                    if (seen.try_emplace(k, generation).second) next.push_back(k);
                }
            }
        }
        frontier.swap(next);
    }
    out.reserve(seen.size());
    for (const auto& [key, generation] : seen)
        out.emplace(text::ascii_uppercase(spellings_[key]), generation);
    return out;
}

std::unordered_map<std::string, std::uint32_t> FamilyGraph::ancestors(std::string_view xref) const {
    return walk(xref, Relation::Parents);
}

std::unordered_map<std::string, std::uint32_t> FamilyGraph::descendants(std::string_view xref) const {
    return walk(xref, Relation::Children);
}

}  // namespace pellorine
