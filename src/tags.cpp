#include "tags.hpp"

#include <algorithm>
#include <array>

#include "text.hpp"

namespace pellorine::tags {
namespace {

// Sorted by the tag's bytes so that lookups are a binary search.
constexpr Entry kLabels[] = {
    {"ABBR", "Abbreviation"},
    {"ADDR", "Address"},
    {"ADOP", "Adoption"},
    {"ADR1", "Address line 1"},
    {"ADR2", "Address line 2"},
    {"ADR3", "Address line 3"},
    {"AGE", "Age"},
    {"AGNC", "Agency"},
    {"ALIA", "Also recorded as"},
    {"ANCI", "Ancestor interest"},
    {"ANUL", "Annulment"},
    {"ASSO", "Association"},
    {"AUTH", "Author"},
    {"BAPL", "Baptism (LDS)"},
    {"BAPM", "Baptism"},
    {"BARM", "Bar mitzvah"},
    {"BASM", "Bat mitzvah"},
    {"BIRT", "Birth"},
    {"BLES", "Blessing"},
    {"BURI", "Burial"},
    {"CALN", "Call number"},
    {"CAST", "Caste"},
    {"CAUS", "Cause"},
    {"CENS", "Census"},
    {"CHAN", "Last changed"},
    {"CHAR", "Character set"},
    {"CHIL", "Child"},
    {"CHR", "Christening"},
    {"CHRA", "Adult christening"},
    {"CITY", "City"},
    {"CONC", "Continued"},
    {"CONF", "Confirmation"},
    {"CONL", "Confirmation (LDS)"},
    {"CONT", "Continued on a new line"},
    {"COPR", "Copyright"},
    {"CORP", "Corporation"},
    {"CREA", "Created"},
    {"CREM", "Cremation"},
    {"CROP", "Crop"},
    {"CTRY", "Country"},
    {"DATA", "Data"},
    {"DATE", "Date"},
    {"DEAT", "Death"},
    {"DESI", "Descendant interest"},
    {"DEST", "Destination"},
    {"DIV", "Divorce"},
    {"DIVF", "Divorce filed"},
    {"DSCR", "Physical description"},
    {"EDUC", "Education"},
    {"EMAIL", "Email"},
    {"EMIG", "Emigration"},
    {"ENDL", "Endowment (LDS)"},
    {"ENGA", "Engagement"},
    {"EVEN", "Event"},
    {"EXID", "External identifier"},
    {"FACT", "Fact"},
    {"FAM", "Family"},
    {"FAMC", "Child in family"},
    {"FAMS", "Spouse in family"},
    {"FAX", "Fax"},
    {"FCOM", "First communion"},
    {"FILE", "File"},
    {"FONE", "Phonetic form"},
    {"FORM", "Format"},
    {"GEDC", "GEDCOM version"},
    {"GIVN", "Given name"},
    {"GRAD", "Graduation"},
    {"HEAD", "Header"},
    {"HEIG", "Height"},
    {"HEIGHT", "Height"},
    {"HUSB", "Husband"},
    {"IDNO", "Identifying number"},
    {"IMMI", "Immigration"},
    {"INDI", "Individual"},
    {"INIL", "Initiatory"},
    {"LANG", "Language"},
    {"LATI", "Latitude"},
    {"LEFT", "Crop from the left"},
    {"LONG", "Longitude"},
    {"MAP", "Coordinates"},
    {"MARB", "Marriage banns"},
    {"MARC", "Marriage contract"},
    {"MARL", "Marriage licence"},
    {"MARR", "Marriage"},
    {"MARS", "Marriage settlement"},
    {"MEDI", "Medium"},
    {"MIME", "Media type"},
    {"NAME", "Name"},
    {"NATI", "Nationality"},
    {"NATU", "Naturalization"},
    {"NCHI", "Number of children"},
    {"NICK", "Nickname"},
    {"NMR", "Number of marriages"},
    {"NO", "Did not happen"},
    {"NOTE", "Note"},
    {"NPFX", "Name prefix"},
    {"NSFX", "Name suffix"},
    {"OBJE", "Media object"},
    {"OCCU", "Occupation"},
    {"ORDN", "Ordination"},
    {"PAGE", "Where in the source"},
    {"PEDI", "Pedigree"},
    {"PHON", "Telephone"},
    {"PHRASE", "As written"},
    {"PLAC", "Place"},
    {"POST", "Postal code"},
    {"PROB", "Probate"},
    {"PROP", "Property"},
    {"PUBL", "Publication"},
    {"QUAY", "Certainty"},
    {"REFN", "Reference number"},
    {"RELA", "Relationship"},
    {"RELI", "Religion"},
    {"REPO", "Repository"},
    {"RESI", "Residence"},
    {"RESN", "Restriction"},
    {"RETI", "Retirement"},
    {"RIN", "Record identifier"},
    {"ROLE", "Role"},
    {"ROMN", "Romanized form"},
    {"SCHMA", "Extension declarations"},
    {"SDATE", "Sort date"},
    {"SEX", "Sex"},
    {"SLGC", "Sealing to parents (LDS)"},
    {"SLGS", "Sealing to spouse (LDS)"},
    {"SNOTE", "Shared note"},
    {"SOUR", "Source"},
    {"SPFX", "Surname prefix"},
    {"SSN", "Social security number"},
    {"STAE", "State"},
    {"STAT", "Status"},
    {"SUBM", "Submitter"},
    {"SUBN", "Submission"},
    {"SURN", "Surname"},
    {"TAG", "Extension tag"},
    {"TEMP", "Temple"},
    {"TEXT", "Text from the source"},
    {"TIME", "Time"},
    {"TITL", "Title"},
    {"TOP", "Crop from the top"},
    {"TRAN", "Translation"},
    {"TRLR", "End of file"},
    {"TYPE", "Type"},
    {"UID", "Unique identifier"},
    {"VERS", "Version"},
    {"WIDTH", "Width"},
    {"WIFE", "Wife"},
    {"WILL", "Will"},
    {"WWW", "Web address"},
    {"_UID", "Unique identifier"},
};

constexpr Entry kVendorLabels[] = {
    {"_AKA", "Also known as"},
    {"_APID", "Ancestry record identifier"},
    {"_FOOT", "Footnote"},
    {"_FREL", "Relationship to father"},
    {"_FSFTID", "FamilySearch identifier"},
    {"_HTITL", "Husband's title"},
    {"_LINK", "Web link"},
    {"_MARNM", "Married name"},
    {"_MDCL", "Medical"},
    {"_MILT", "Military service"},
    {"_MREL", "Relationship to mother"},
    {"_PHOTO", "Preferred picture"},
    {"_PRIM", "Preferred picture"},
    {"_SEPR", "Separation"},
    {"_TODO", "To do"},
    {"_UID", "Unique identifier"},
    {"_UPD", "Last updated"},
    {"_URL", "Web address"},
    {"_WEBTAG", "Web link"},
    {"_WTITL", "Wife's title"},
    {"_WWW", "Web address"},
};

constexpr std::string_view kRecordTags[] = {
    "FAM", "HEAD", "INDI", "NOTE", "OBJE", "REPO", "SNOTE", "SOUR", "SUBM", "SUBN", "TRLR",
};

constexpr std::string_view kEventTags[] = {
    "ADOP", "ANUL", "BAPM", "BARM", "BASM", "BIRT", "BLES", "BURI", "CENS", "CHR", "CHRA",
    "CONF", "CREM", "DEAT", "DIV",  "DIVF", "EMIG", "ENGA", "EVEN", "FCOM", "GRAD", "IMMI",
    "MARB", "MARC", "MARL", "MARR", "MARS", "NATU", "ORDN", "PROB", "RETI", "WILL",
};

constexpr std::string_view kAttributeTags[] = {
    "CAST", "DSCR", "EDUC", "FACT", "IDNO", "NATI", "NCHI",
    "NMR",  "OCCU", "PROP", "RELI", "RESI", "SSN",  "TITL",
};

constexpr bool tag_less(const Entry& a, const Entry& b) { return a.tag < b.tag; }

static_assert(std::size(kLabels) == 150);
static_assert(std::size(kVendorLabels) == 21);
static_assert(std::size(kRecordTags) == 11);
static_assert(std::size(kEventTags) == 32);
static_assert(std::size(kAttributeTags) == 14);
static_assert(std::ranges::is_sorted(kLabels, tag_less));
static_assert(std::ranges::adjacent_find(kLabels, [](const Entry& a, const Entry& b) { return a.tag == b.tag; }) ==
              std::end(kLabels));
static_assert(std::ranges::is_sorted(kVendorLabels, tag_less));
static_assert(std::ranges::is_sorted(kRecordTags));
static_assert(std::ranges::is_sorted(kEventTags));
static_assert(std::ranges::is_sorted(kAttributeTags));

constexpr std::optional<std::string_view> find_label(std::span<const Entry> table, std::string_view tag) {
    auto it = std::ranges::lower_bound(table, tag, {}, &Entry::tag);
    if (it != table.end() && it->tag == tag) return it->label;
    return std::nullopt;
}

constexpr bool contains(std::span<const std::string_view> set, std::string_view tag) {
    return std::ranges::binary_search(set, tag);
}

// Every event and attribute tag has a label, and the two sets do not overlap.
static_assert(std::ranges::all_of(kEventTags, [](std::string_view t) { return find_label(kLabels, t).has_value(); }));
static_assert(
    std::ranges::all_of(kAttributeTags, [](std::string_view t) { return find_label(kLabels, t).has_value(); }));
static_assert(std::ranges::none_of(kEventTags, [](std::string_view t) { return contains(kAttributeTags, t); }));
static_assert(std::ranges::all_of(kRecordTags, [](std::string_view t) { return find_label(kLabels, t).has_value(); }));

// Every labelled tag fits in eight bytes, so a tag is looked up as one
// integer: its bytes, first byte highest, zeros after the end. Keys of tags of
// the same length are equal exactly when the tags are.
constexpr std::size_t kMaxKeyBytes = 8;

constexpr std::uint64_t key_of(std::string_view tag) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < kMaxKeyBytes; ++i)
        key = (key << 8) | (i < tag.size() ? static_cast<unsigned char>(tag[i]) : 0u);
    return key;
}

// One row per labelled tag, with everything the lookups answer.
struct Row {
    std::uint64_t key;
    std::uint8_t size;
    bool record;            // one of the record tags
    TagKind kind_below;     // its class at a level above 0
    std::string_view label;
};

constexpr auto kRows = [] {
    std::array<Row, std::size(kLabels)> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string_view tag = kLabels[i].tag;
        TagKind kind = contains(kEventTags, tag)       ? TagKind::Event
                       : contains(kAttributeTags, tag) ? TagKind::Attribute
                                                       : TagKind::Structure;
        rows[i] = Row{key_of(tag), static_cast<std::uint8_t>(tag.size()), contains(kRecordTags, tag), kind,
                      kLabels[i].label};
    }
    std::ranges::sort(rows, {}, &Row::key);
    return rows;
}();

static_assert(std::ranges::all_of(kLabels, [](const Entry& e) { return e.tag.size() <= kMaxKeyBytes; }));
static_assert(std::ranges::adjacent_find(kRows, {}, &Row::key) == kRows.end());

// The row of a labelled tag; one binary search over integers.
const Row* row_of(std::string_view tag) {
    if (tag.empty() || tag.size() > kMaxKeyBytes) return nullptr;
    std::uint64_t key = key_of(tag);
    auto it = std::ranges::lower_bound(kRows, key, {}, &Row::key);
    if (it == kRows.end() || it->key != key || it->size != tag.size()) return nullptr;
    return &*it;
}

// At level 0 only the record tags count; labels are not consulted there. At
// any other level a labelled tag is an event, an attribute or a structure,
// and an unlabelled one is unknown.
TagKind kind_of_row(const Row* row, std::uint16_t level) {
    if (level == 0) return row && row->record ? TagKind::Record : TagKind::Unknown;
    return row ? row->kind_below : TagKind::Unknown;
}

struct Code {
    std::string_view form;
    std::string_view label;
};

// Each pedigree word in its three accepted spellings; no other mixture of cases.
constexpr Code kPedigree[] = {
    {"birth", "Birth"},     {"Birth", "Birth"},     {"BIRTH", "Birth"},
    {"adopted", "Adopted"}, {"Adopted", "Adopted"}, {"ADOPTED", "Adopted"},
    {"foster", "Foster"},   {"Foster", "Foster"},   {"FOSTER", "Foster"},
    {"sealing", "Sealing"}, {"Sealing", "Sealing"}, {"SEALING", "Sealing"},
    {"step", "Step"},       {"Step", "Step"},       {"STEP", "Step"},
    {"other", "Other"},     {"Other", "Other"},     {"OTHER", "Other"},
};

constexpr Code kCertainty[] = {
    {"0", "Unreliable"},
    {"1", "Questionable"},
    {"2", "Secondary evidence"},
    {"3", "Direct primary evidence"},
};

constexpr Code kSex[] = {
    {"F", "Female"},
    {"M", "Male"},
    {"X", "Neither male nor female"},
    {"U", "Unknown"},
};

std::string_view code_label(std::span<const Code> table, std::string_view payload) {
    std::string_view trimmed = text::trim(payload);
    for (const Code& c : table)
        if (c.form == trimmed) return c.label;
    return trimmed;
}

}  // namespace

std::string_view kind_name(TagKind k) {
    switch (k) {
        case TagKind::Record: return "record";
        case TagKind::Event: return "event";
        case TagKind::Attribute: return "attribute";
        case TagKind::Structure: return "structure";
        case TagKind::Unknown: return "unknown";
    }
    return "unknown";
}

std::optional<std::string_view> label(std::string_view tag) {
    if (const Row* row = row_of(tag)) return row->label;
    return std::nullopt;
}

std::string_view display_label(std::string_view tag) { return label(tag).value_or(tag); }

TagKind kind(std::string_view tag, std::uint16_t level) { return kind_of_row(row_of(tag), level); }

Described describe(std::string_view tag, std::uint16_t level) {
    const Row* row = row_of(tag);
    return Described{row ? row->label : tag, kind_of_row(row, level)};
}

bool is_record(std::string_view tag) {
    const Row* row = row_of(tag);
    return row && row->record;
}
bool is_event(std::string_view tag) { return kind(tag, 1) == TagKind::Event; }
bool is_attribute(std::string_view tag) { return kind(tag, 1) == TagKind::Attribute; }
bool is_event_or_attribute(std::string_view tag) {
    const TagKind k = kind(tag, 1);
    return k == TagKind::Event || k == TagKind::Attribute;
}
bool is_extension(std::string_view tag) { return !tag.empty() && tag.front() == '_'; }

std::optional<std::string_view> vendor_label(std::string_view tag) { return find_label(kVendorLabels, tag); }

std::string_view pedigree_label(std::string_view payload) { return code_label(kPedigree, payload); }
std::string_view certainty_label(std::string_view payload) { return code_label(kCertainty, payload); }
std::string_view sex_label(std::string_view payload) { return code_label(kSex, payload); }

std::span<const Entry> label_table() { return kLabels; }
std::span<const Entry> vendor_table() { return kVendorLabels; }

}  // namespace pellorine::tags
