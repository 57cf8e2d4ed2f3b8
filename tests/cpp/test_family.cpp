// The family graph: which links count, the walks' bound, hostile shapes, and
// every answer against a plain construction over random files (links from
// both sides, identifier case, the null pointer, the duplicate rule, cycles).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "document.hpp"
#include "family.hpp"
#include "text.hpp"

using namespace pellorine;

namespace {

using Names = std::vector<std::string>;
using Generations = std::map<std::string, std::uint32_t>;

FamilyGraph graph(const std::string& text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    if (!doc) return FamilyGraph::new_(Document::new_v7());
    return FamilyGraph::new_(*doc);
}

Names names(const Relatives& r) { return Names(r.begin(), r.end()); }
Generations ordered(const std::unordered_map<std::string, std::uint32_t>& m) { return {m.begin(), m.end()}; }

TEST(FamilyGraph, WhichLinksCount) {
    const std::pair<const char*, Names> cases[] = {  // lines under "0 @F1@ FAM", the partners found
        {"1 HUSB @Void@\n1 WIFE @VOID@\n", {"@Void@"}},  // only the upper-case null pointer is none
        {"1 HUSB  @H@\n", {}},      // a leading space: no pointer shape
        {"1 HUSB @H@ \n", {}},      // nor a trailing one
        {"1 HUSB @H\n2 CONC @\n", {}},  // the own payload counts, not the logical one
        {"1 HUSB @@\n1 HUSB @a@b@\n1 HUSB H\n1 HUSB\n", {}},
        {"1 husb @H@\n1 _HUSB @H@\n2 HUSB @K@\n", {}},  // exact tags, direct children only
    };
    for (const auto& [lines, partners] : cases) {
        FamilyGraph g = graph(std::string("0 @F1@ FAM\n") + lines);
        auto f = g.family("@F1@");
        ASSERT_TRUE(f) << lines;  // every family record is present, members or not
        EXPECT_EQ(names(f->partners), partners) << lines;
        EXPECT_TRUE(f->children.empty()) << lines;
    }
}

TEST(FamilyGraph, RecordTagsAreExact) {
    // Records without an identifier, and links to families without a record,
    // are among the random files compared with the plain construction below.
    FamilyGraph g = graph("0 @F2@ fam\n1 HUSB @H@\n1 CHIL @C@\n0 @P@ indi\n1 FAMS @F3@\n");
    EXPECT_TRUE(g.parents_of("@C@").empty());
    EXPECT_FALSE(g.family("@F2@"));
    EXPECT_FALSE(g.family("@F3@"));
}

TEST(FamilyGraph, WalksStopAfter128Generations) {
    for (int length : {128, 129}) {  // people @P0@ .. @P{length}@, each the parent of the next
        std::string text;
        for (int i = 0; i < length; ++i)
            text += "0 @F" + std::to_string(i) + "@ FAM\n1 WIFE @P" + std::to_string(i) + "@\n1 CHIL @P" +
                    std::to_string(i + 1) + "@\n";
        FamilyGraph g = graph(text);
        auto up = g.ancestors("@P" + std::to_string(length) + "@");
        auto down = g.descendants("@P0@");
        std::size_t expected = std::min(length, 128) + 1;
        EXPECT_EQ(std::pair(up.size(), down.size()), std::pair(expected, expected)) << length;
        EXPECT_EQ(down.at("@P" + std::to_string(std::min(length, 128)) + "@"), std::min(length, 128));
        EXPECT_EQ(down.count("@P129@"), 0u);
    }
}

TEST(FamilyGraph, HostileShapesStayLinear) {
    // These would take hours with a scan per append or a visit per route.
    const int n = 200000;
    std::string many_children = "0 @F1@ FAM\n1 HUSB @H@\n1 WIFE @W@\n";
    for (int i = 0; i < n; ++i) many_children += "1 CHIL @C" + std::to_string(i) + "@\n";
    many_children += "1 CHIL @c0@\n";
    FamilyGraph g = graph(many_children);
    Relatives kids = g.children_of("@W@");
    ASSERT_EQ(kids.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(kids.front(), "@C0@");
    EXPECT_EQ(kids.back(), "@C" + std::to_string(n - 1) + "@");
    EXPECT_EQ(g.descendants("@H@").size(), static_cast<std::size_t>(n) + 1);

    // Lists per person would hold n * n entries here: answers are read off the family instead.
    std::string crowd = "0 @F1@ FAM\n";
    for (int i = 0; i < n / 4; ++i) crowd += "1 HUSB @H" + std::to_string(i) + "@\n1 CHIL @K" + std::to_string(i) + "@\n";
    FamilyGraph c = graph(crowd);
    EXPECT_EQ(c.parents_of("@K7@").size(), static_cast<std::size_t>(n / 4));
    EXPECT_EQ(c.partners_of("@H7@").size(), static_cast<std::size_t>(n / 4 - 1));
    EXPECT_EQ(c.children_of("@H0@").back(), "@K" + std::to_string(n / 4 - 1) + "@");
    EXPECT_EQ(c.ancestors("@K0@").size(), static_cast<std::size_t>(n / 4) + 1);

    std::string many_families = "0 @P@ INDI\n";
    for (int i = 0; i < n / 2; ++i) many_families += "1 FAMS @F" + std::to_string(i) + "@\n";
    for (int i = 0; i < n / 2; ++i)
        many_families += "0 @F" + std::to_string(i) + "@ FAM\n1 WIFE @Q@\n1 CHIL @K" + std::to_string(i % 7) + "@\n";
    FamilyGraph h = graph(many_families);
    EXPECT_EQ(names(h.partners_of("@P@")), (Names{"@Q@"}));
    EXPECT_EQ(h.children_of("@p@").size(), 7u);
    EXPECT_EQ(h.parents_of("@K3@").size(), 2u);
    EXPECT_EQ(h.descendants("@Q@").size(), 8u);
    EXPECT_EQ(h.ancestors("@K0@").size(), 3u);
}

// The graph built the plain way, one scanned list per key, with the families
// taken in the order they were first met: the order the graph answers in.
struct PlainGraph {
    struct Members { Names partners, children; };
    Names family_order;  // uppercased keys
    std::map<std::string, Members> families;
    std::map<std::string, Names> parents, children, partners;

    static void add(Names& list, const std::string& entry) {
        for (const std::string& e : list)
            if (text::ascii_iequals(e, entry)) return;
        list.push_back(entry);
    }
    static void add(std::map<std::string, Names>& map, const std::string& key, const std::string& entry) {
        add(map[text::ascii_uppercase(key)], entry);
    }
    Members& family(const std::string& xref) {
        std::string key = text::ascii_uppercase(xref);
        if (!families.count(key)) family_order.push_back(key);
        return families[key];
    }
    // The pointers other than @VOID@ of the children of `r` with this tag, in order.
    static Names links(const Node& r, std::string_view tag) {
        Names out;
        for (const Node& c : r.children())
            if (auto p = c.pointer(); p && *p != "@VOID@" && c.tag() == tag) out.emplace_back(*p);
        return out;
    }

    explicit PlainGraph(const Document& doc) {
        for (const Node& r : doc.records) {
            if (r.tag() != "FAM" || !r.xref()) continue;
            Members& m = family(std::string(*r.xref()));
            for (const char* tag : {"HUSB", "WIFE", "CHIL"})
                for (const std::string& p : links(r, tag)) add(tag[0] == 'C' ? m.children : m.partners, p);
        }
        for (const Node& r : doc.records) {
            if (r.tag() != "INDI" || !r.xref()) continue;
            for (const char* tag : {"FAMC", "FAMS"})
                for (const std::string& f : links(r, tag))
                    add(tag[3] == 'C' ? family(f).children : family(f).partners, std::string(*r.xref()));
        }
        for (const std::string& key : family_order) {
            const Members& m = families[key];
            for (const std::string& p : m.partners)
                for (const std::string& q : m.partners)
                    if (&p != &q) add(partners, p, q);
            for (const std::string& c : m.children)
                for (const std::string& p : m.partners) {
                    add(parents, c, p);
                    add(children, p, c);
                }
        }
    }

    static Names lookup(const std::map<std::string, Names>& map, std::string_view xref) {
        auto it = map.find(text::ascii_uppercase(xref));
        return it == map.end() ? Names{} : it->second;
    }
    static Generations walk(std::string_view start, const std::map<std::string, Names>& via) {
        Generations seen{{text::ascii_uppercase(start), 0}};
        Names frontier{text::ascii_uppercase(start)};
        for (std::uint32_t g = 1; g <= 128 && !frontier.empty(); ++g) {
            Names next;
            for (const std::string& key : frontier)
                for (const std::string& r : lookup(via, key))
                    if (seen.emplace(text::ascii_uppercase(r), g).second) next.push_back(text::ascii_uppercase(r));
            frontier = next;
        }
        return seen;
    }
};

TEST(FamilyGraph, AnswersAsThePlainConstruction) {
    // Among them: spellings differing in case, beyond ASCII or letters (\xc3\xa9 and \xc3\x89,
    // [ and {, differ by a case bit but do not fold), the null pointer, no at-signs, and
    // identifiers of 16 and 17 bytes, either side of those the index keeps inline.
    const char* ids[] = {"@A@", "@a@", "@B@", "@C@", "@c@", "@D@", "@E@", "@VOID@", "@void@", "E", "@F1@",
                         "@\xc3\xa9@", "@\xc3\x89@", "@[@", "@{@", "@ABCDEFGHIJKLMN@", "@abcdefghijklmn@",
                         "@ABCDEFGHIJKLMNO@", "@abcdefghijklmnO@"};
    const char* fams[] = {"@F1@", "@f1@", "@F2@", "@F3@", "@A@"};
    std::mt19937 rnd(1871);
    auto pick = [&](auto& from) { return std::string(from[rnd() % std::size(from)]); };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int r = rnd() % 12; r > 0; --r) {
            bool fam = rnd() % 2, named = rnd() % 8 != 0;
            text += std::string("0 ") + (named ? (fam ? pick(fams) : pick(ids)) + " " : "") + (fam ? "FAM\n" : "INDI\n");
            for (int l = rnd() % 7; l > 0; --l) {
                static const char* fam_tags[] = {"HUSB", "WIFE", "CHIL", "CHIL", "NOTE"};
                static const char* indi_tags[] = {"FAMC", "FAMS", "FAMS", "NAME"};
                text += "1 " + (fam ? pick(fam_tags) + " " + pick(ids) : pick(indi_tags) + " " + pick(fams)) + "\n";
            }
        }
        auto doc = Document::parse(text);
        ASSERT_TRUE(doc) << text;
        FamilyGraph g = FamilyGraph::new_(*doc);
        PlainGraph plain(*doc);
        for (const char* id : ids) {
            EXPECT_EQ(std::tuple(names(g.parents_of(id)), names(g.children_of(id)), names(g.partners_of(id))),
                      std::tuple(PlainGraph::lookup(plain.parents, id), PlainGraph::lookup(plain.children, id),
                                 PlainGraph::lookup(plain.partners, id))) << id << "\n" << text;
            EXPECT_EQ(std::pair(ordered(g.ancestors(id)), ordered(g.descendants(id))),
                      std::pair(PlainGraph::walk(id, plain.parents), PlainGraph::walk(id, plain.children)))
                << id << "\n" << text;
        }
        for (const char* f : fams) {
            auto got = g.family(f);
            auto it = plain.families.find(text::ascii_uppercase(f));
            ASSERT_EQ(got.has_value(), it != plain.families.end()) << f << "\n" << text;
            if (!got) continue;
            EXPECT_EQ(std::pair(names(got->partners), names(got->children)),
                      std::pair(it->second.partners, it->second.children)) << f << "\n" << text;
        }
    }
}

TEST(FamilyGraph, IdentifiersLongerThanAStorageBlock) {
    // An identifier longer than the graph's storage block gets a block of its
    // own; the identifiers after it must not be written past that block.
    for (std::size_t length : {64u * 1024 - 2, 64u * 1024 - 1, 100000u}) {  // with its at-signs: 64 KiB, one past, more
        const std::string longest = "@" + std::string(length, 'L') + "@";
        std::string text = "0 @F1@ FAM\n1 HUSB " + longest + "\n";
        for (int i = 0; i < 50; ++i) text += "1 CHIL @C" + std::to_string(i) + "@\n";
        FamilyGraph g = graph(text);
        ASSERT_EQ(g.children_of(longest).size(), 50u) << length;
        EXPECT_EQ(names(g.parents_of("@c49@")), (Names{longest})) << length;
        EXPECT_EQ(g.children_of(longest).back(), "@C49@") << length;
    }
}

}  // namespace
