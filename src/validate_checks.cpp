// The checks over a whole document. Each individual's view is built once:
// what the later checks need of it (its life, its dated events, whether it
// cites a source) is kept, the view itself is not.
#include <unordered_map>
#include <unordered_set>

#include "family.hpp"
#include "text.hpp"
#include "validate.hpp"

namespace pellorine::validate {

namespace {

using Lives = std::unordered_map<FoldedXref, Life, family::FoldedHash>;

// Ages and spans are differences of 32-bit years: computed in 64 bits.
std::int64_t minus(std::int32_t a, std::int32_t b) { return std::int64_t{a} - b; }
std::string number(std::int64_t n) { return std::to_string(n); }

// An event that may come after a death: its label and its years.
struct DatedEvent {
    std::string label;
    std::int32_t earliest;
    Years years;
};

struct Person {
    const Node* record;
    std::size_t events_begin, events_end;  // in `dated`
};

bool cites_a_source(const Node& record) {
    Node::Walk walk = record.walk();
    while (const Node* n = walk.next())
        if (n->tag() == "SOUR") return true;
    return false;
}

bool may_follow_death(std::string_view tag) {
    return tag != "BIRT" && tag != "DEAT" && tag != "BURI" && tag != "CREM" && tag != "PROB" && tag != "WILL";
}

const Life* life_in(const Lives& lives, std::string_view xref) {
    auto it = lives.find(FoldedXref{xref});
    return it == lives.end() ? nullptr : &it->second;
}

class Inspector {
public:
    explicit Inspector(const Document& document) : document_(document), lives_(0, family::FoldedHash{family::random_seed()}) {}

    std::vector<Finding> run() {
        gather_people();
        for (const Person& p : people_) individual_checks(p);
        for (const Node& record : document_.records)
            if (record.tag() == "FAM") family_checks(record);
        return std::move(findings_);
    }

private:
    void gather_people() {
        for (const Node& record : document_.records) {
            if (record.tag() != "INDI") continue;
            view::IndividualView view = view::IndividualView::from_node(record);
            Person p{&record, dated_.size(), 0};
            for (view::EventView& e : view.events) {
                if (!e.date || !may_follow_death(e.tag)) continue;
                auto years = Years::of_date(*e.date);
                if (years && years->earliest) dated_.push_back({std::move(e.label), *years->earliest, *years});
            }
            p.events_end = dated_.size();
            // A later record with the same identifier replaces the earlier one's life.
            if (auto xref = record.xref()) lives_.insert_or_assign(FoldedXref{*xref}, life_of(view));
            people_.push_back(p);
        }
    }

    void individual_checks(const Person& p) {
        const Node& record = *p.record;
        auto xref = record.xref();
        const Life* life = xref ? life_in(lives_, *xref) : nullptr;
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
            if (const Node* date = marr->first("DATE")) marriage = Years::of_date(date->logical_value());
        // Only the first WIFE decides who is the mother (FamilyView takes the same one).
        const std::optional<std::string>& wife = family.wife;

        for (const std::string& partner : partners) {
            const Life* life = life_in(lives_, partner);
            if (!life) continue;
            bool mother = wife && text::ascii_iequals(*wife, partner);
            marriage_checks(record, marriage, life->birth);
            for (const std::string& child : family.children) {
                const Life* of_child = life_in(lives_, child);
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
        std::string both = "a parent born " + p->display() + " with a child born " + c.display() + ", ";
        if (c.latest && p->earliest && minus(*c.latest, *p->earliest) < 12) {
            std::int64_t g = minus(*c.latest, *p->earliest);
            std::optional<std::int64_t> l;
            if (c.earliest && p->latest) l = minus(*c.earliest, *p->latest);
            std::string phrase = g < 0     ? number(-g) + " years before the parent was born"
                                 : l == g ? "at " + number(g) + " years old"
                                          : "at most " + number(g) + " years old";
            add(findings_, record, "parent-too-young", Severity::Contradiction, both + phrase);
        } else if (c.earliest && p->latest && minus(*c.earliest, *p->latest) > (mother ? 55 : 80)) {
            add(findings_, record, "parent-too-old", Severity::Question, both + age(*p, c));
        }
    }

    // One finding for each child that repeats an earlier one of the family.
    // A few children are compared with each other, many go through a hash set.
    void repeated_children(const Node& record, const std::vector<std::string>& children) {
        constexpr std::size_t few = 16;
        std::unordered_set<FoldedXref, family::FoldedHash> seen(0, lives_.hash_function());
        for (std::size_t i = 0; i < children.size(); ++i) {
            FoldedXref child{children[i]};
            bool repeat = false;
            if (children.size() <= few) {
                for (std::size_t j = 0; j < i && !repeat; ++j) repeat = FoldedXref{children[j]} == child;
            } else {
                repeat = !seen.insert(child).second;
            }
            if (repeat)
                add(findings_, record, "child-listed-twice", Severity::Question,
                    children[i] + " is listed as a child of this family more than once");
        }
    }

    const Document& document_;
    Lives lives_;
    std::vector<Person> people_;
    std::vector<DatedEvent> dated_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> inspect(const Document& document) { return Inspector(document).run(); }

}  // namespace pellorine::validate
