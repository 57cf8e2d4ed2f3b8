#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "tags.hpp"
#include "text.hpp"

using namespace pellorine;
using tags::TagKind;

namespace {

struct LabelRow {
    std::string_view tag;
    std::string_view label;
};

// The whole label vocabulary, in the order it is usually presented (by column).
constexpr LabelRow kExpectedLabels[] = {
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

constexpr std::string_view kExpectedRecords[] = {"FAM",  "HEAD",  "INDI", "NOTE", "OBJE", "REPO",
                                                 "SNOTE", "SOUR", "SUBM", "SUBN", "TRLR"};
constexpr std::string_view kExpectedEvents[] = {
    "ADOP", "ANUL", "BAPM", "BARM", "BASM", "BIRT", "BLES", "BURI", "CENS", "CHR", "CHRA",
    "CONF", "CREM", "DEAT", "DIV",  "DIVF", "EMIG", "ENGA", "EVEN", "FCOM", "GRAD", "IMMI",
    "MARB", "MARC", "MARL", "MARR", "MARS", "NATU", "ORDN", "PROB", "RETI", "WILL"};
constexpr std::string_view kExpectedAttributes[] = {"CAST", "DSCR", "EDUC", "FACT", "IDNO", "NATI", "NCHI",
                                                    "NMR",  "OCCU", "PROP", "RELI", "RESI", "SSN",  "TITL"};

constexpr LabelRow kExpectedVendor[] = {
    {"_AKA", "Also known as"},
    {"_FOOT", "Footnote"},
    {"_FREL", "Relationship to father"},
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

template <std::size_t N>
bool in(const std::string_view (&set)[N], std::string_view tag) {
    return std::find(std::begin(set), std::end(set), tag) != std::end(set);
}

std::string lower(std::string_view s) { return text::ascii_lowercase(s); }

// Capitalised: first letter upper, rest lower ("Birt").
std::string capitalised(std::string_view s) {
    std::string out = lower(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
            break;
        }
    return out;
}

}  // namespace

TEST(TagLabels, EveryListedTagHasItsLabelAndClass) {
    ASSERT_EQ(std::size(kExpectedLabels), 150u);
    int events = 0, attributes = 0, structures = 0;
    for (const auto& row : kExpectedLabels) {
        SCOPED_TRACE(std::string(row.tag));
        EXPECT_EQ(tags::label(row.tag), std::optional<std::string_view>(row.label));
        EXPECT_EQ(tags::display_label(row.tag), row.label);
        EXPECT_EQ(tags::kind(row.tag, 0), in(kExpectedRecords, row.tag) ? TagKind::Record : TagKind::Unknown);
        TagKind deep = tags::kind(row.tag, 1);
        EXPECT_EQ(tags::kind(row.tag, 7), deep);
        EXPECT_EQ(tags::kind(row.tag, 65535), deep);
        if (in(kExpectedEvents, row.tag)) {
            EXPECT_EQ(deep, TagKind::Event);
            ++events;
        } else if (in(kExpectedAttributes, row.tag)) {
            EXPECT_EQ(deep, TagKind::Attribute);
            ++attributes;
        } else {
            EXPECT_EQ(deep, TagKind::Structure);
            ++structures;
        }
        EXPECT_EQ(tags::is_event(row.tag), in(kExpectedEvents, row.tag));
        EXPECT_EQ(tags::is_attribute(row.tag), in(kExpectedAttributes, row.tag));
        EXPECT_EQ(tags::is_extension(row.tag), row.tag == "_UID");
    }
    EXPECT_EQ(events, 32);
    EXPECT_EQ(attributes, 14);
    EXPECT_EQ(structures, 104);
    // The published table and the module's table are the same set.
    EXPECT_EQ(tags::label_table().size(), std::size(kExpectedLabels));
    for (const auto& e : tags::label_table()) {
        auto it = std::find_if(std::begin(kExpectedLabels), std::end(kExpectedLabels),
                               [&](const LabelRow& r) { return r.tag == e.tag; });
        ASSERT_NE(it, std::end(kExpectedLabels)) << e.tag;
        EXPECT_EQ(it->label, e.label);
    }
}

TEST(TagLabels, OtherSpellingsOfEveryTagAreUnknown) {
    for (const auto& row : kExpectedLabels) {
        std::string tag(row.tag);
        std::string spaced_before(" ");
        spaced_before.append(tag);
        for (const std::string& variant : {lower(tag), capitalised(tag), spaced_before, tag + " ", tag + "X"}) {
            if (variant == row.tag) continue;  // tags without letters to fold
            SCOPED_TRACE(variant);
            EXPECT_FALSE(tags::label(variant).has_value());
            EXPECT_EQ(tags::display_label(variant), variant);
            EXPECT_FALSE(tags::is_event(variant));
            EXPECT_FALSE(tags::is_attribute(variant));
            for (std::uint16_t level : {0, 1, 3})
                EXPECT_EQ(tags::kind(variant, level), TagKind::Unknown);
        }
    }
}

TEST(TagKinds, RecordTagsAtEveryLevel) {
    for (std::string_view tag : kExpectedRecords) {
        SCOPED_TRACE(std::string(tag));
        EXPECT_EQ(tags::kind(tag, 0), TagKind::Record);
        EXPECT_EQ(tags::kind(tag, 1), TagKind::Structure);  // every record tag has a label
        EXPECT_TRUE(tags::is_record(tag));
    }
    EXPECT_EQ(std::size(kExpectedEvents), 32u);
    EXPECT_EQ(std::size(kExpectedAttributes), 14u);
}

struct KindCase {
    std::string_view tag;
    std::uint16_t level;
    TagKind kind;
};

TEST(TagKinds, Cases) {
    const KindCase cases[] = {
        {"INDI", 0, TagKind::Record},       {"INDI", 1, TagKind::Structure},  {"BIRT", 0, TagKind::Unknown},
        {"BIRT", 2, TagKind::Event},        {"RESI", 1, TagKind::Attribute},  {"FACT", 1, TagKind::Attribute},
        {"EVEN", 1, TagKind::Event},        {"_UID", 1, TagKind::Structure},  {"_UID", 0, TagKind::Unknown},
        {"_MARNM", 1, TagKind::Unknown},    {"SNOTE", 0, TagKind::Record},    {"CHAN", 0, TagKind::Unknown},
        {"", 0, TagKind::Unknown},          {"", 1, TagKind::Unknown},        {"", 64, TagKind::Unknown},
        {"NOTE", 1, TagKind::Structure},    {"HEIGHT", 3, TagKind::Structure}, {"_", 1, TagKind::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " at " + std::to_string(c.level));
        EXPECT_EQ(tags::kind(c.tag, c.level), c.kind);
    }
    EXPECT_EQ(tags::kind_name(TagKind::Record), "record");
    EXPECT_EQ(tags::kind_name(TagKind::Event), "event");
    EXPECT_EQ(tags::kind_name(TagKind::Attribute), "attribute");
    EXPECT_EQ(tags::kind_name(TagKind::Structure), "structure");
    EXPECT_EQ(tags::kind_name(TagKind::Unknown), "unknown");
}

TEST(TagLabels, NamedEdgeCases) {
    EXPECT_FALSE(tags::label("Birt"));
    EXPECT_FALSE(tags::label("birt"));
    EXPECT_EQ(tags::label("HEIG"), "Height");
    EXPECT_EQ(tags::label("HEIGHT"), "Height");
    EXPECT_EQ(tags::label("UID"), "Unique identifier");
    EXPECT_EQ(tags::label("_UID"), "Unique identifier");
    EXPECT_FALSE(tags::label("_MARNM"));
    EXPECT_FALSE(tags::label(""));
    EXPECT_EQ(tags::display_label("_MARNM"), "_MARNM");
    EXPECT_EQ(tags::display_label("BIRT"), "Birth");
    EXPECT_EQ(tags::display_label(""), "");
    // A tag with an embedded NUL is not a prefix match of a real tag.
    EXPECT_FALSE(tags::label(std::string_view("BIRT\0", 5)));
}

TEST(TagVendorLabels, Table) {
    ASSERT_EQ(tags::vendor_table().size(), 21u);
    for (const auto& row : kExpectedVendor) {
        SCOPED_TRACE(std::string(row.tag));
        EXPECT_EQ(tags::vendor_label(row.tag), row.label);
        EXPECT_TRUE(tags::is_extension(row.tag));
        if (row.tag != "_UID") {
            EXPECT_FALSE(tags::label(row.tag));
            EXPECT_EQ(tags::kind(row.tag, 1), TagKind::Unknown);
        }
    }
    // The two service identifiers: a service name and the words that say what it is.
    auto chars = [](std::string_view s) {
        std::size_t n = 0, pos = 0;
        while (pos < s.size()) text::next_code_point(s, pos), ++n;
        return n;
    };
    ASSERT_TRUE(tags::vendor_label("_APID"));
    EXPECT_EQ(chars(*tags::vendor_label("_APID")), 26u);
    EXPECT_TRUE(tags::vendor_label("_APID")->ends_with(" record identifier"));
    ASSERT_TRUE(tags::vendor_label("_FSFTID"));
    EXPECT_EQ(chars(*tags::vendor_label("_FSFTID")), 23u);
    EXPECT_TRUE(tags::vendor_label("_FSFTID")->ends_with(" identifier"));
    EXPECT_FALSE(tags::vendor_label("_marnm"));
    EXPECT_FALSE(tags::vendor_label("MARNM"));
    EXPECT_FALSE(tags::vendor_label("BIRT"));
}

TEST(TagExtension, Cases) {
    EXPECT_FALSE(tags::is_extension(""));
    EXPECT_TRUE(tags::is_extension("_"));
    EXPECT_TRUE(tags::is_extension("_x"));
    EXPECT_FALSE(tags::is_extension("A_B"));
    EXPECT_FALSE(tags::is_extension("BIRT_"));
}

struct CodeCase {
    std::string_view (*fn)(std::string_view);
    std::string_view payload;
    std::string_view expected;
};

TEST(TagCodes, Cases) {
    const CodeCase cases[] = {
        {tags::pedigree_label, "birth", "Birth"},
        {tags::pedigree_label, " birth ", "Birth"},
        {tags::pedigree_label, "Birth", "Birth"},
        {tags::pedigree_label, "BIRTH", "Birth"},
        {tags::pedigree_label, "ADOPTED", "Adopted"},
        {tags::pedigree_label, "adopted", "Adopted"},
        {tags::pedigree_label, "Foster", "Foster"},
        {tags::pedigree_label, "SEALING", "Sealing"},
        {tags::pedigree_label, "step", "Step"},
        {tags::pedigree_label, "\tOther\n", "Other"},
        {tags::pedigree_label, "bIrth", "bIrth"},
        {tags::pedigree_label, "BIrth", "BIrth"},
        {tags::pedigree_label, "birtH", "birtH"},
        {tags::pedigree_label, "  births ", "births"},
        {tags::pedigree_label, "", ""},
        {tags::pedigree_label, "   ", ""},
        {tags::pedigree_label, "\u00a0birth\u3000", "Birth"},  // Unicode white space trims too
        {tags::certainty_label, "0", "Unreliable"},
        {tags::certainty_label, "1", "Questionable"},
        {tags::certainty_label, "2", "Secondary evidence"},
        {tags::certainty_label, " 3 ", "Direct primary evidence"},
        {tags::certainty_label, "02", "02"},
        {tags::certainty_label, "4", "4"},
        {tags::certainty_label, "", ""},
        {tags::sex_label, "F", "Female"},
        {tags::sex_label, "M", "Male"},
        {tags::sex_label, " M ", "Male"},
        {tags::sex_label, "X", "Neither male nor female"},
        {tags::sex_label, "U", "Unknown"},
        {tags::sex_label, "f", "f"},
        {tags::sex_label, "FM", "FM"},
        {tags::sex_label, "  ", ""},
        {tags::sex_label, " male ", "male"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.payload));
        EXPECT_EQ(c.fn(c.payload), c.expected);
    }
}

TEST(TagCodes, UnmatchedResultIsAPieceOfTheArgument) {
    std::string payload = "  something else  ";
    std::string_view out = tags::sex_label(payload);
    EXPECT_EQ(out, "something else");
    EXPECT_EQ(out.data(), payload.data() + 2);
}
