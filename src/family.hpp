// The family graph: parents, children and partners of each person, gathered
// from both sides of the family links (the family records' HUSB, WIFE and
// CHIL, the individuals' FAMC and FAMS), so that a file recording a link on
// one side only still answers.
//
// Identifiers are matched without regard to ASCII case; the texts handed back
// are spelled as the file first wrote them. Nothing here fails: a link that is
// not a pointer, or is the null pointer "@VOID@", is skipped in silence.
//
// The graph stores who belongs to each family and, for each person, the
// families they belong to; a person's relatives are read off those families
// when asked. So building and every answer cost time in proportion to the
// links involved, even for a family of a million children or a person in a
// hundred thousand families.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document.hpp"

namespace pellorine {

// Identifiers as the graph spells them: views into the graph's own texts,
// valid as long as the graph lives.
using Relatives = std::vector<std::string_view>;

// Who belongs to one family.
struct FamilyMembers {
    Relatives partners;  // HUSB, then WIFE, then the individuals whose FAMS names the family
    Relatives children;  // CHIL, then the individuals whose FAMC names the family
};

namespace family {

// Identifier text hashed without regard to ASCII case, from a seed that each
// table picks afresh, so that no file can be written to collide in it.
struct FoldedHash {
    std::uint64_t seed = 0;
    std::size_t operator()(std::string_view text) const noexcept;
    std::size_t operator()(const FoldedXref& x) const noexcept { return (*this)(x.text); }
};

// A seed for a FoldedHash, from the system's random source.
std::uint64_t random_seed();

}  // namespace family

class FamilyGraph {
public:
    // Gathers every family link of `document` (`FamilyGraph::new`); never fails.
    static FamilyGraph new_(const Document& document);

    // The partners of every family in which `xref` is a child; empty when none.
    Relatives parents_of(std::string_view xref) const;
    // The children of every family in which `xref` is a partner; empty when none.
    Relatives children_of(std::string_view xref) const;
    // The other partners of every family in which `xref` is a partner; empty when none.
    Relatives partners_of(std::string_view xref) const;
    // The members of the family `xref`, or nothing when no link names it.
    std::optional<FamilyMembers> family(std::string_view xref) const;
    // Every ancestor within 128 generations: uppercased identifier -> generation (the start is 0).
    std::unordered_map<std::string, std::uint32_t> ancestors(std::string_view xref) const;
    // Every descendant within 128 generations: uppercased identifier -> generation (the start is 0).
    std::unordered_map<std::string, std::uint32_t> descendants(std::string_view xref) const;

    // The farthest generation the walks reach.
    static constexpr std::uint32_t max_generations = 128;

private:
    FamilyGraph() = default;
    friend struct GraphBuilder;

    static constexpr std::uint32_t none = 0xFFFFFFFFu;
    enum class Relation { Parents, Children, Partners };

    // One spelling of an identifier: its bytes in `text_` and the key it folds to.
    struct Spelling {
        std::size_t offset;
        std::uint32_t length;
        std::uint32_t key;
    };
    // A run [begin, end) of `members_` or `memberships_`.
    struct Span {
        std::uint32_t begin = 0, end = 0;
    };

    std::string_view spelling(std::uint32_t id) const;
    std::uint32_t key_of(std::string_view xref) const;  // `none` when unknown
    Relatives relatives(std::uint32_t key, Relation relation) const;
    std::unordered_map<std::string, std::uint32_t> walk(std::string_view start, Relation relation) const;

    std::string text_;                   // every spelling, one after another
    std::vector<Spelling> spellings_;
    std::vector<std::uint32_t> first_spelling_;  // per key
    family::FoldedHash hash_;
    std::vector<std::uint32_t> slots_;   // open addressing over keys: key + 1, 0 when free
    std::vector<std::uint32_t> family_of_key_;  // per key: its family's index, or `none`
    // Per family, in the order families were first met: its partners and its
    // children, as runs of spelling ids in `members_`.
    std::vector<Span> family_partners_, family_children_;
    std::vector<std::uint32_t> members_;
    // Per key: the families it is a child of, a partner of, as runs of family
    // indices in `memberships_`, in family order.
    std::vector<Span> child_in_, partner_in_;
    std::vector<std::uint32_t> memberships_;
};

}  // namespace pellorine
