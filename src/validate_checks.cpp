// The checks over a whole document. Each individual's view is built once:
// what the later checks need of it (its life, its dated events, whether it
// cites a source) is kept, the view itself is not.
#include <cstring>
#include <functional>

#include "family.hpp"
#include "text.hpp"
#include "validate.hpp"

namespace pellorine::validate {

namespace {

// Ages and spans are differences of 32-bit years: computed in 64 bits.
std::int64_t minus(std::int32_t a, std::int32_t b) { return std::int64_t{a} - b; }
std::string number(std::int64_t n) { return std::to_string(n); }

constexpr std::uint32_t no_life = 0xFFFFFFFFu;

// An event that may come after a death: its label and its years.
struct DatedEvent {
    std::string label;
    std::int32_t earliest;
    Years years;
};

struct Person {
    const Node* record;
    std::uint32_t life;                    // its own, in `lives_`; no_life without identifier
    std::size_t events_begin, events_end;  // in `dated_`
};

bool cites_a_source(const Node& node) {
    if (node.tag() == "SOUR") return true;
    for (const Node& c : node.children())
        if (cites_a_source(c)) return true;
    return false;
}

bool may_follow_death(std::string_view tag) {
    return tag != "BIRT" && tag != "DEAT" && tag != "BURI" && tag != "CREM" && tag != "PROB" && tag != "WILL";
}

// Years of date texts, remembered: a file repeats its dates a great deal.
// Short texts only, in a fixed table probed a few slots deep; a text that
// finds no room is simply read again, so no input can make it slow or large.
class DateYears {
public:
    // A table for about as many texts as a document of `records` records holds.
    explicit DateYears(std::size_t records) {
        std::size_t n = 64;
        while (n < records * 2 && n < max_size) n *= 2;
        slots_.resize(n);
    }

    std::optional<Years> of(std::string_view text) {
        if (text.size() > max_length) return Years::of_date(text);
        std::uint64_t hash = std::hash<std::string_view>{}(text);
        for (std::size_t probe = 0; probe < depth; ++probe) {
            Slot& s = slots_[(hash + probe) & (slots_.size() - 1)];
            if (s.length == 0) {
                if (used_ * 2 >= slots_.size()) break;
                ++used_;
                s.hash = hash;
                s.length = static_cast<std::uint8_t>(text.size() + 1);
                std::memcpy(s.text, text.data(), text.size());
                s.years = Years::of_date(text);
                return s.years;
            }
            if (s.hash == hash && s.length == text.size() + 1 && std::memcmp(s.text, text.data(), text.size()) == 0)
                return s.years;
        }
        return Years::of_date(text);
    }

private:
    static constexpr std::size_t max_size = 1 << 18, depth = 8, max_length = 22;
    struct Slot {
        std::uint64_t hash = 0;
        std::uint8_t length = 0;  // of the text, plus one; 0: free
        char text[max_length + 1];
        std::optional<Years> years;
    };
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

class Inspector {
public:
    explicit Inspector(const Document& document)
        : document_(document), index_(document.records.size()), dates_(document.records.size()) {}

    std::vector<Finding> run() {
        gather_people();
        for (const Person& p : people_) individual_checks(p);
        for (const Node& record : document_.records)
            if (record.tag() == "FAM") family_checks(record);
        return std::move(findings_);
    }

private:
    // The life stored under an identifier: the last record's that carries it.
    const Life* life_of_xref(std::string_view xref) const {
        const auto* e = index_.find(xref);
        return e ? &lives_[e->value] : nullptr;
    }

    // The lives of several identifiers, their slots fetched before any is read.
    std::vector<const Life*> lives_of(const std::vector<std::string>& xrefs) {
        std::vector<std::uint64_t> hashes(xrefs.size());
        for (std::size_t i = 0; i < xrefs.size(); ++i) {
            hashes[i] = index_.hash(xrefs[i]);
            if (i < 16) index_.prefetch(hashes[i]);
        }
        std::vector<const Life*> out(xrefs.size());
        for (std::size_t i = 0; i < xrefs.size(); ++i) {
            if (i + 16 < xrefs.size()) index_.prefetch(hashes[i + 16]);
            const auto* e = index_.find(xrefs[i], hashes[i]);
            out[i] = e ? &lives_[e->value] : nullptr;
        }
        return out;
    }

    void gather_people() {
        for (const Node& record : document_.records) {
            if (record.tag() != "INDI") continue;
            view::IndividualView view = view::IndividualView::from_node(record);
            Person p{&record, no_life, dated_.size(), 0};
            for (view::EventView& e : view.events) {
                if (!e.date || !may_follow_death(e.tag)) continue;
                auto years = dates_.of(*e.date);
                if (years && years->earliest) dated_.push_back({std::move(e.label), *years->earliest, *years});
            }
            p.events_end = dated_.size();
            if (auto xref = record.xref()) {
                p.life = static_cast<std::uint32_t>(lives_.size());
                lives_.push_back(life_of(view, [this](std::string_view t) { return dates_.of(t); }));
            }
            people_.push_back(p);
        }
        index_lives();
    }

    // A later record with the same identifier replaces the earlier one's life.
    // The slots are fetched a few people ahead: they land anywhere in a large table.
    void index_lives() {
        constexpr std::size_t ahead = 16;
        std::vector<std::uint64_t> hashes(people_.size());
        for (std::size_t i = 0; i < people_.size(); ++i)
            if (people_[i].life != no_life) hashes[i] = index_.hash(*people_[i].record->xref());
        for (std::size_t i = 0; i < people_.size(); ++i) {
            if (i + ahead < people_.size()) index_.prefetch(hashes[i + ahead]);
            const Person& p = people_[i];
            if (p.life == no_life) continue;
            std::string_view xref = *p.record->xref();
            if (auto* e = index_.find(xref, hashes[i])) {
                e->value = p.life;
                replaced_ = true;
            } else {
                index_.insert(xref, hashes[i], p.life);
            }
        }
    }

    void individual_checks(const Person& p) {
        const Node& record = *p.record;
        const Life* life = p.life == no_life ? nullptr
                           : replaced_       ? life_of_xref(*record.xref())
                                             : &lives_[p.life];
        if (life) {
            const auto& b = life->birth;
            const auto& d = life->death;
            const auto& u = life->burial;
            bool died_before_born = b && d && b->earliest && d->latest && *d->latest < *b->earliest;
            if (died_before_born) {
                add(findings_, record, "died-before-born", Severity::Contradiction,
                    "born " + b->display() + " and died " + d->display());
            } else if (b && d && b->latest && d->earliest) {
                std::int64_t least = minus(*d->earliest, *b->latest);
                if (least >= 126) {
                    bool exact = b->earliest && d->latest && minus(*d->latest, *b->earliest) == least;
                    add(findings_, record, "improbable-lifespan", Severity::Question,
                        "born " + b->display() + " and died " + d->display() + ", which is " +
                            (exact ? "" : "at least ") + number(least) + " years");
                }
            }
            if (d && u && d->earliest && u->latest && *u->latest < *d->earliest) {
                add(findings_, record, "buried-before-died", Severity::Contradiction,
                    "died " + d->display() + " and buried " + u->display());
            }
            if (d && d->latest) {
                for (std::size_t i = p.events_begin; i < p.events_end; ++i) {
                    const DatedEvent& e = dated_[i];
                    if (*d->latest < e.earliest)
                        add(findings_, record, "event-after-death", Severity::Contradiction,
                            "died " + d->display() + ", and " + e.label + " is dated " + e.years.display());
                }
            }
        }
        if (!cites_a_source(record))
            add(findings_, record, "no-source", Severity::Missing, "nothing on this record cites a source");
    }

    void family_checks(const Node& record) {
        view::FamilyView family = view::FamilyView::from_node(record);
        std::vector<std::string> partners = family.partners();
        std::optional<Years> marriage;
        if (const Node* marr = record.first("MARR"))
            if (const Node* date = marr->first("DATE")) marriage = dates_.of(date->logical_value());
        // Only the first WIFE decides who is the mother (FamilyView takes the same one).
        const std::optional<std::string>& wife = family.wife;

        // Each member's life is looked up once, all lookups started together.
        std::vector<const Life*> of_children = lives_of(family.children);
        std::vector<const Life*> of_partners = lives_of(partners);
        for (std::size_t i = 0; i < partners.size(); ++i) {
            const Life* life = of_partners[i];
            if (!life) continue;
            bool mother = wife && text::ascii_iequals(*wife, partners[i]);
            marriage_checks(record, marriage, life->birth);
            for (const Life* of_child : of_children) {
                if (!of_child || !of_child->birth) continue;
                parent_checks(record, *life, mother, *of_child->birth);
            }
        }
        repeated_children(record, family.children);
        if (partners.empty() && family.children.empty())
            add(findings_, record, "empty-family", Severity::Question, "this family records nobody at all");
    }

    void marriage_checks(const Node& record, const std::optional<Years>& m, const std::optional<Years>& p) {
        if (!m || !p || !m->latest || !p->earliest) return;
        if (*m->latest < *p->earliest) {
            add(findings_, record, "married-before-born", Severity::Contradiction,
                "a marriage " + in_year(*m) + " for somebody born " + p->display());
        } else if (minus(*m->latest, *p->earliest) < 13) {
            add(findings_, record, "married-as-a-child", Severity::Question,
                "married " + in_year(*m) + " " + age(*p, *m) + ", born " + p->display());
        }
    }

    void parent_checks(const Node& record, const Life& parent, bool mother, const Years& c) {
        const auto& p = parent.birth;
        const auto& pd = parent.death;
        if (mother && pd && pd->latest && c.earliest && *pd->latest < *c.earliest) {
            add(findings_, record, "child-born-after-mother-died", Severity::Contradiction,
                "a mother who died " + pd->display() + " with a child born " + c.display());
        }
        if (!p) return;
        auto both = [&] { return "a parent born " + p->display() + " with a child born " + c.display() + ", "; };
        if (c.latest && p->earliest && minus(*c.latest, *p->earliest) < 12) {
            std::int64_t g = minus(*c.latest, *p->earliest);
            std::optional<std::int64_t> l;
            if (c.earliest && p->latest) l = minus(*c.earliest, *p->latest);
            std::string phrase = g < 0     ? number(-g) + " years before the parent was born"
                                 : l == g ? "at " + number(g) + " years old"
                                          : "at most " + number(g) + " years old";
            add(findings_, record, "parent-too-young", Severity::Contradiction, both() + phrase);
        } else if (c.earliest && p->latest && minus(*c.earliest, *p->latest) > (mother ? 55 : 80)) {
            add(findings_, record, "parent-too-old", Severity::Question, both() + age(*p, c));
        }
    }

    // One finding for each child that repeats an earlier one of the family: a
    // few children are compared with each other, many go through an index.
    void repeated_children(const Node& record, const std::vector<std::string>& children) {
        constexpr std::size_t few = 16;
        std::optional<family::FoldedIndex> seen;
        if (children.size() > few) seen.emplace(children.size());
        for (std::size_t i = 0; i < children.size(); ++i) {
            std::string_view child = children[i];
            bool repeat = false;
            if (!seen) {
                for (std::size_t j = 0; j < i && !repeat; ++j) repeat = text::ascii_iequals(children[j], child);
            } else {
                std::uint64_t hash = seen->hash(child);
                repeat = seen->find(child, hash) != nullptr;
                if (!repeat) seen->insert(child, hash, 0);
            }
            if (repeat)
                add(findings_, record, "child-listed-twice", Severity::Question,
                    children[i] + " is listed as a child of this family more than once");
        }
    }

    const Document& document_;
    family::FoldedIndex index_;  // identifier -> its life in `lives_`
    std::vector<Life> lives_;
    bool replaced_ = false;  // some identifier was carried by two records
    DateYears dates_;
    std::vector<Person> people_;
    std::vector<DatedEvent> dated_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> inspect(const Document& document) { return Inspector(document).run(); }

}  // namespace pellorine::validate
