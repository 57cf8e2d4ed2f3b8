// The family graph: any document gives a graph whose answers agree with each
// other. p is a parent of c exactly when c is a child of p, and the walks up
// and down stay within their generation bound.
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "decode.hpp"
#include "family.hpp"
#include "harness.hpp"
#include "text.hpp"

using namespace pellorine;

namespace {

// Identifiers, ASCII-uppercased: the graph matches them without regard to case.
using Folded = std::unordered_set<std::string>;

Folded folded_set(const Relatives& relatives) {
    Folded out;
    for (std::string_view r : relatives) out.insert(text::ascii_uppercase(r));
    return out;
}

void expect_walk(const std::unordered_map<std::string, std::uint32_t>& walk, std::string_view what) {
    for (const auto& [xref, generation] : walk)
        fuzz::check(generation <= FamilyGraph::max_generations, what, xref);
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    const Document& doc = read->first;
    const FamilyGraph graph = FamilyGraph::new_(doc);

    // Each person's relatives are asked once, so a large family costs its links only.
    std::unordered_map<std::string, Folded> parents, children;
    auto parents_of = [&](std::string_view x) -> const Folded& {
        auto [it, fresh] = parents.try_emplace(text::ascii_uppercase(x));
        if (fresh) it->second = folded_set(graph.parents_of(x));
        return it->second;
    };
    auto children_of = [&](std::string_view x) -> const Folded& {
        auto [it, fresh] = children.try_emplace(text::ascii_uppercase(x));
        if (fresh) it->second = folded_set(graph.children_of(x));
        return it->second;
    };

    std::size_t walked = 0;
    for (const Node& record : doc.records) {
        auto x = record.xref();
        if (!x) continue;
        if (record.tag() == "FAM") {
            (void)graph.family(*x);
            continue;
        }
        (void)graph.partners_of(*x);
        const std::string self = text::ascii_uppercase(*x);
        for (const std::string& p : Folded(parents_of(*x)))
            fuzz::check(children_of(p).contains(self), "a parent does not have the child", p + " of " + self);
        for (const std::string& c : Folded(children_of(*x)))
            fuzz::check(parents_of(c).contains(self), "a child does not have the parent", c + " of " + self);
        if (walked++ < 4) {
            expect_walk(graph.ancestors(*x), "an ancestor lies past the generation bound");
            expect_walk(graph.descendants(*x), "a descendant lies past the generation bound");
        }
    }
    return 0;
}
