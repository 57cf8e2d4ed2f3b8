// Date readings and their output forms: the 7.0 and 5.5.1 forms of a reading,
// when present, read back to the same calendar and points. A short input is
// one payload; a longer one (a GEDCOM file among the seeds) gives the payload
// of each line that has " DATE ".
#include <string>

#include "dates.hpp"
#include "harness.hpp"
#include "json.hpp"

using namespace pellorine;

namespace {

constexpr std::size_t kOnePayload = 256;

void expect_same_points(const GedcomDate& from, const std::optional<std::string>& form, std::string_view grammar) {
    if (!form) return;
    GedcomDate again = GedcomDate::parse(*form);
    const std::string detail = "\"" + from.original + "\" written as \"" + *form + "\"";
    fuzz::check(again.calendar == from.calendar, std::string(grammar) + " form reads as another calendar", detail);
    fuzz::check(again.earliest == from.earliest && again.latest == from.latest,
                std::string(grammar) + " form reads as other points", detail);
}

void one(std::string_view payload) {
    GedcomDate d = GedcomDate::parse(payload);
    (void)d.display();
    (void)d.sort_key();
    (void)d.precision();
    (void)d.year_hint();
    json::Writer w;
    w.begin_object();
    d.write_json_entries(w);
    w.end_object();
    (void)w.take();
    expect_same_points(d, d.to_gedcom_7(), "the 7.0");
    expect_same_points(d, d.to_gedcom_5_5_1(), "the 5.5.1");
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    std::string_view input = fuzz::bytes_of(data, size);
    if (input.size() <= kOnePayload) {
        one(input);
        return 0;
    }
    for (std::size_t pos = 0; pos < input.size();) {
        std::size_t end = std::min(input.find('\n', pos), input.size());
        std::string_view line = input.substr(pos, end - pos);
        if (auto at = line.find(" DATE "); at != std::string_view::npos) one(line.substr(at + 6));
        pos = end + 1;
    }
    return 0;
}
