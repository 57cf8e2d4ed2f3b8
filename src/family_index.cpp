// The flat identifier index shared by the family graph and the validation.
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

#include <sys/mman.h>

#include "family.hpp"
#include "text.hpp"

namespace pellorine::family {

std::size_t FoldedHash::operator()(std::string_view s) const noexcept {
    std::uint64_t h = text::folded_fnv1a(s, text::fnv1a_basis ^ seed);
    // A final mix, so that the seed reaches every bit a table looks at.
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

namespace {

// Linear probing stays short up to three quarters full.
bool too_full(std::size_t size, std::size_t slots) { return size * 4 > slots * 3; }

}  // namespace

constexpr std::size_t huge_page = 2 * 1024 * 1024;

FoldedIndex::Entry* FoldedIndex::SlotAllocator::allocate(std::size_t n) {
    std::size_t bytes = n * sizeof(Entry);
    bool huge = bytes >= huge_page;
    if (huge) bytes = (bytes + huge_page - 1) / huge_page * huge_page;
    void* p = std::aligned_alloc(huge ? huge_page : alignof(Entry), bytes);
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (huge) madvise(p, bytes, MADV_HUGEPAGE);  // a hint; refused, it changes nothing
#endif
    return static_cast<Entry*>(p);
}

void FoldedIndex::SlotAllocator::deallocate(Entry* p, std::size_t) noexcept { std::free(p); }

FoldedIndex::FoldedIndex(std::size_t expected) : hash_{random_seed()} {
    std::size_t slots = 16;
    while (too_full(expected, slots)) slots *= 2;
    slots_.resize(slots);
}

void FoldedIndex::prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }

const FoldedIndex::Entry* FoldedIndex::lookup(std::string_view text, std::uint64_t hash) const {
    std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Entry& e = slots_[i];
        if (e.length == 0) return nullptr;
        if (e.hash == hash && e.length == text.size() + 1 && ::pellorine::text::ascii_iequals(e.key(), text)) return &e;
    }
}

FoldedIndex::Entry* FoldedIndex::find(std::string_view text, std::uint64_t hash) {
    return const_cast<Entry*>(lookup(text, hash));
}

const FoldedIndex::Entry* FoldedIndex::find(std::string_view text) const { return lookup(text, hash(text)); }

void FoldedIndex::place(const Entry& entry) {
    std::size_t mask = slots_.size() - 1;
    std::size_t i = entry.hash & mask;
    while (slots_[i].length != 0) i = (i + 1) & mask;
    slots_[i] = entry;
}

void FoldedIndex::insert(std::string_view text, std::uint64_t hash, std::uint32_t value) {
    if (too_full(size_ + 1, slots_.size())) {
        std::vector<Entry, SlotAllocator> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Entry& e : old)
            if (e.length != 0) place(e);
    }
    Entry e;
    e.hash = hash;
    e.length = static_cast<std::uint32_t>(text.size()) + 1;
    e.value = value;
    if (text.size() <= sizeof e.bytes) {
        if (!text.empty()) std::memcpy(e.bytes, text.data(), text.size());
    } else {
        e.text = text.data();
    }
    place(e);
    ++size_;
}

}  // namespace pellorine::family
