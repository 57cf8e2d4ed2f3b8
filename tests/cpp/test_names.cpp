// Personal names: slashed surnames, the piece substructures, and the display
// and sort forms.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "names.hpp"

namespace pellorine {
namespace {

// "given|surname|surname prefix|name prefix|suffix|nickname|type => display ; sort form", "-" for absent.
std::string show(const PersonalName& n) {
    std::string s;
    for (const auto* f : {&n.given, &n.surname, &n.surname_prefix, &n.name_prefix, &n.suffix, &n.nickname,
                          &n.name_type})
        s += (s.empty() ? "" : "|") + (*f ? **f : "-");
    return s + " => " + n.display() + " ; " + n.sort_form();
}

TEST(PersonalName, FromPayload) {
    const std::pair<std::string, std::string> cases[] = {
        {"a/b/c/d", "a|b|-|-|c/d|-|- => a b c/d ; b, a"},
        {"John Smith", "John Smith|-|-|-|-|-|- => John Smith ; John Smith"},
        {"John /Smith", "John|Smith|-|-|-|-|- => John Smith ; Smith, John"},
        {"  John   /  Smith  /  Jr.  ", "John|Smith|-|-|Jr.|-|- => John Smith Jr. ; Smith, John"},
        {"/ /", "-|-|-|-|-|-|- =>  ; "},
        {"\u00a0Jos\u00e9\u00a0/Garc\u00eda/\u3000",
         "Jos\u00e9|Garc\u00eda|-|-|-|-|- => Jos\u00e9 Garc\u00eda ; Garc\u00eda, Jos\u00e9"},
    };
    for (const auto& [payload, expected] : cases) {
        PersonalName n = PersonalName::from_payload(payload);
        EXPECT_EQ(n.value, payload);
        EXPECT_EQ(show(n), expected) << payload;
    }
    for (const auto& [payload, empty] : {std::pair{"", true}, {" \t\u00a0", true}, {"/ /", false}, {"x", false}})
        EXPECT_EQ(PersonalName::from_payload(payload).is_empty(), empty) << payload;
}

TEST(PersonalName, FromNode) {
    using Children = std::vector<std::pair<std::string, std::string>>;
    const std::tuple<std::string, Children, std::string> cases[] = {
        {"John /Smith/", {{"SURN", "Smythe"}, {"NPFX", "Dr."}},
         "John|Smythe|-|Dr.|-|-|- => Dr. John Smythe ; Smythe, John"},
        {"John /Smith/", {{"GIVN", "   "}, {"GIVN", "Jack"}}, "John|Smith|-|-|-|-|- => John Smith ; Smith, John"},
        {"John /Smith/ Sr.", {{"GIVN", "Johannes"}, {"GIVN", "Jack"}, {"NSFX", " Jr. "}},
         "Johannes|Smith|-|-|Jr.|-|- => Johannes Smith Jr. ; Smith, Johannes"},
        {"", {{"GIVN", "John"}, {"SPFX", "van"}, {"SURN", "Smith"}, {"NSFX", "Jr."}, {"NPFX", "Dr."},
              {"NICK", "Jack"}, {"TYPE", "birth"}},
         "John|Smith|van|Dr.|Jr.|Jack|birth => Dr. John van Smith Jr. ; Smith, John"},
        {"/J/", {{"NICK", "Jack"}, {"surn", "X"}}, "-|J|-|-|-|Jack|- => J ; J"},
        {"/Sm", {{"CONC", "ith/"}, {"GIVN", "John\nHenry"}},
         "John\nHenry|Smith|-|-|-|-|- => John\nHenry Smith ; Smith, John\nHenry"},
    };
    for (const auto& [payload, children, expected] : cases) {
        Node name = payload.empty() ? Node::new_("NAME") : Node::with_value("NAME", payload);
        for (const auto& [tag, value] : children) name.push(Node::with_value(tag, value));
        EXPECT_EQ(show(PersonalName::from_node(name)), expected) << payload;
    }
}

TEST(PersonalName, Slashed) {
    const std::pair<std::string, std::string> cases[] = {
        {"John Henry Smith", "John Henry /Smith/"}, {"Smith", "/Smith/"}, {"   ", "//"},
        {"  John  Smith  ", "John  /Smith/"},       {" a/b ", "a/b"},     {"John\u00a0Smith", "/John\u00a0Smith/"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(slashed(in), out) << in;
}

}  // namespace
}  // namespace pellorine
