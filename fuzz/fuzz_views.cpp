// The views: every record of any document gives its record view, and its
// individual or family view, as JSON text that is valid UTF-8, and the title
// and raw lines of every record.
#include <string>

#include "decode.hpp"
#include "harness.hpp"
#include "text.hpp"
#include "view.hpp"

using namespace pellorine;

namespace {

void expect_utf8(const std::string& json, std::string_view view) {
    fuzz::check(!json.empty() && text::is_valid_utf8(json), std::string(view) + " is not UTF-8 JSON", json);
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    for (const Node& record : read->first.records) {
        expect_utf8(view::RecordView::from_node(record).to_json(), "a record view");
        if (record.tag() == "INDI") {
            auto person = view::IndividualView::from_node(record);
            expect_utf8(person.to_json(), "an individual view");
            (void)person.display_name();
            (void)person.life_years();
        } else if (record.tag() == "FAM") {
            auto family = view::FamilyView::from_node(record);
            expect_utf8(family.to_json(), "a family view");
            (void)family.partners();
        }
        (void)view::record_title(record);
        (void)view::raw_lines(record);
    }
    return 0;
}
