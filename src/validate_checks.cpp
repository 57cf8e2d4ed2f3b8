// The checks over a whole document. They read only what they need of each
// record: the events an individual's view would list, with their date
// texts, and the partners and children a family's view would list. Building
// the whole views (names, places, date displays) would cost more than
// everything else together. An event's label is made from its view only
// when a finding shows it.
#include <cstring>

#include "family.hpp"
#include "tags.hpp"
#include "text.hpp"
#include "validate_internal.hpp"

namespace pellorine::validate {

namespace {

// Ages and spans are differences of 32-bit years: computed in 64 bits.
std::int64_t minus(std::int32_t a, std::int32_t b) { return std::int64_t{a} - b; }
std::string number(std::int64_t n) { return std::to_string(n); }

constexpr std::uint32_t no_life = 0xFFFFFFFFu;

// An event that may come after a death: its structure, its index among the
// record's children, and its years.
struct DatedEvent {
    const Node* node;
    std::size_t index;
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

// An event's date text as its view holds it: the first DATE child's logical
// payload, absent when blank. Without continuation lines it is the payload
// itself, viewed in place; otherwise it is joined into `joined`.
std::optional<std::string_view> date_text(const Node& event, std::string& joined) {
    const Node* date = event.first("DATE");
    if (!date) return std::nullopt;
    std::string_view text;
    if (date->children().empty()) {
        text = date->value().value_or(std::string_view{});
    } else {
        joined = date->logical_value();
        text = joined;
    }
    if (text::trim(text).empty()) return std::nullopt;
    return text;
}

// The pointer-shaped payload of a node, if any (a family view's partner or child).
std::optional<std::string_view> pointer_of(const Node* node) {
    return node ? node->pointer() : std::nullopt;
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
    std::vector<const Life*> lives_of(const std::vector<std::string_view>& xrefs) {
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
            Person p{&record, no_life, dated_.size(), dated_.size()};
            // Without an identifier a person has no life, and only the source check applies.
            if (record.xref()) {
                p.life = static_cast<std::uint32_t>(lives_.size());
                lives_.push_back(read_life(record));
                p.events_end = dated_.size();
            }
            people_.push_back(p);
        }
        index_lives();
    }

    // The life of an individual record, as `life_of` reads it from the view,
    // and its dated events that may follow a death, kept in `dated_`.
    Life read_life(const Node& record) {
        Life life;
        bool birth = false, death = false, burial = false;
        // Only the first event of each tag counts, dated or not.
        auto take = [](const std::optional<Years>& years, bool& done, std::optional<Years>& into) {
            if (!done) into = years;
            done = true;
        };
        const auto& kids = record.children();
        for (std::size_t i = 0; i < kids.size(); ++i) {
            std::string_view tag = kids[i].tag();
            // The individual's view lists exactly these among its events.
            if (!tags::is_event_or_attribute(tag)) continue;
            std::optional<Years> years;
            if (auto text = date_text(kids[i], joined_)) years = dates_.of(*text);
            if (tag == "BIRT") take(years, birth, life.birth);
            else if (tag == "DEAT") take(years, death, life.death);
            else if (tag == "BURI") take(years, burial, life.burial);
            else if (may_follow_death(tag) && years && years->earliest)
                dated_.push_back({&kids[i], i, *years->earliest, *years});
        }
        return life;
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
                            "died " + d->display() + ", and " + view::EventView::from_node(*e.node, {e.index}).label +
                                " is dated " + e.years.display());
                }
            }
        }
        if (!cites_a_source(record))
            add(findings_, record, "no-source", Severity::Missing, "nothing on this record cites a source");
    }

    void family_checks(const Node& record) {
        // The family view's partners (its first HUSB, then its first WIFE, each
        // when a pointer) and children (every pointer among the CHIL lines).
        std::optional<std::string_view> husband = pointer_of(record.first("HUSB"));
        std::optional<std::string_view> wife = pointer_of(record.first("WIFE"));
        std::vector<std::string_view> partners, children;
        if (husband) partners.push_back(*husband);
        if (wife) partners.push_back(*wife);
        for (const Node& c : record.children())
            if (c.tag() == "CHIL")
                if (auto p = c.pointer()) children.push_back(*p);
        std::optional<Years> marriage;
        if (const Node* marr = record.first("MARR"))
            if (const Node* date = marr->first("DATE")) marriage = dates_.of(date->logical_value());

        // Each member's life is looked up once, all lookups started together.
        std::vector<const Life*> of_children = lives_of(children);
        std::vector<const Life*> of_partners = lives_of(partners);
        for (std::size_t i = 0; i < partners.size(); ++i) {
            const Life* life = of_partners[i];
            if (!life) continue;
            // Only the first WIFE decides who is the mother.
            bool mother = wife && text::ascii_iequals(*wife, partners[i]);
            marriage_checks(record, marriage, life->birth);
            for (const Life* of_child : of_children) {
                if (!of_child || !of_child->birth) continue;
                parent_checks(record, *life, mother, *of_child->birth);
            }
        }
        repeated_children(record, children);
        if (partners.empty() && children.empty())
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
    void repeated_children(const Node& record, const std::vector<std::string_view>& children) {
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
                    std::string(child) + " is listed as a child of this family more than once");
        }
    }

    const Document& document_;
    family::FoldedIndex index_;  // identifier -> its life in `lives_`
    std::vector<Life> lives_;
    bool replaced_ = false;  // some identifier was carried by two records
    DateYears dates_;
    std::vector<Person> people_;
    std::vector<DatedEvent> dated_;
    std::string joined_;  // a date text joined from continuation lines
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> inspect(const Document& document) { return Inspector(document).run(); }

}  // namespace pellorine::validate
