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
#include <memory>
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
    std::uint64_t seed = 0;  // the table's own seed
    // The hash of `text` with ASCII letters folded to uppercase, mixed with the seed.
    std::size_t operator()(std::string_view text) const noexcept;
    // The same for a FoldedXref's text.
    std::size_t operator()(const FoldedXref& x) const noexcept { return (*this)(x.text); }
};

// A seed for a FoldedHash, from the system's random source.
std::uint64_t random_seed();

// A map from identifiers, compared without regard to ASCII case, to numbers:
// open addressing over one flat array, so that a lookup in a large table
// costs one or two cache misses. The texts stay the caller's and must
// outlive the index.
class FoldedIndex {
public:
    // One identifier and its number. An identifier of up to 16 bytes is kept
    // in the entry itself, so that finding it reads no memory but the slot.
    struct Entry {
        std::uint64_t hash = 0;    // the identifier's hash, as FoldedIndex::hash gives it
        std::uint32_t length = 0;  // of the identifier, plus one; 0: a free slot
        std::uint32_t value = 0;   // the number stored for the identifier
        union {
            const char* text;  // a longer identifier, the caller's
            char bytes[16];    // an identifier of up to 16 bytes, kept here
        };

        Entry() : text(nullptr) {}  // a free slot
        // The identifier as it was inserted (valid until the index grows).
        std::string_view key() const {
            return length - 1 <= sizeof bytes ? std::string_view(bytes, length - 1) : std::string_view(text, length - 1);
        }
    };

    // An empty index sized for about `expected` identifiers.
    explicit FoldedIndex(std::size_t expected = 0);

    // The hash of `text` that the calls below take.
    std::uint64_t hash(std::string_view text) const { return hash_(text); }
    // Asks the processor to fetch the slot where a lookup of `hash` starts.
    void prefetch(std::uint64_t hash) const;
    // The entry of `text`, or nullptr.
    Entry* find(std::string_view text, std::uint64_t hash);
    // The same, hashing `text` itself.
    const Entry* find(std::string_view text) const;
    // Stores `value` for `text`, which must not be present yet.
    void insert(std::string_view text, std::uint64_t hash, std::uint32_t value);

private:
    const Entry* lookup(std::string_view text, std::uint64_t hash) const;
    void place(const Entry& entry);

    // Large tables ask for huge pages: lookups land anywhere in them, and with
    // small pages the address translations would miss as often as the data.
    struct SlotAllocator {
        using value_type = Entry;
        template <class U>
        struct rebind {
            using other = SlotAllocator;  // only ever asked for Entry
        };
        SlotAllocator() = default;
        Entry* allocate(std::size_t n);
        void deallocate(Entry* p, std::size_t n) noexcept;
        bool operator==(const SlotAllocator&) const = default;
    };

    FoldedHash hash_;
    std::vector<Entry, SlotAllocator> slots_;
    std::size_t size_ = 0;
};

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

    // A run [begin, end) of `members_` or `memberships_`.
    struct Span {
        std::uint32_t begin = 0, end = 0;
    };

    std::uint32_t key_of(std::string_view xref) const;  // `none` when unknown
    Relatives relatives(std::uint32_t key, Relation relation) const;
    std::unordered_map<std::string, std::uint32_t> walk(std::string_view start, Relation relation) const;

    // The texts of every spelling, in blocks that never move, so that the
    // views below stay valid however the graph itself is moved.
    std::vector<std::unique_ptr<char[]>> blocks_;
    // Per spelling id. A key is the id of the spelling met first, so the
    // tables per key below have a row for every spelling.
    std::vector<std::string_view> spellings_;
    family::FoldedIndex keys_;                  // identifier -> key
    std::vector<std::uint32_t> family_of_key_;  // per key: its family's index, or `none`
    // Per family, in the order families were first met: its partners and its
    // children, as runs of `members_` (spelling ids) and `member_keys_` (their keys).
    std::vector<Span> family_partners_, family_children_;
    std::vector<std::uint32_t> members_, member_keys_;
    // Per key: the families it is a child of, a partner of, as runs of family
    // indices in `memberships_`, in family order.
    std::vector<Span> child_in_, partner_in_;
    std::vector<std::uint32_t> memberships_;
};

}  // namespace pellorine
