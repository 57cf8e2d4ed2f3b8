// The header's schema: the SCHMA structure of a 7.0 header, whose TAG lines
// declare each extension tag with the URI that documents it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document.hpp"

namespace pellorine::schema {

// The base of the URIs written for extension tags whose definition nobody gave
// us. The host is under a reserved top-level domain, so no other party can ever own it.
inline constexpr std::string_view UNDOCUMENTED_EXTENSION_URI = "https://pellorine.invalid/undocumented";

// The URI declaring `tag` as undocumented: the base, "#" and the tag as a fragment
// (bytes a fragment cannot hold as they are written %XX). A reader of 7.0 takes one
// URI for one extension, so every tag needs a URI of its own.
std::string undocumented_uri(std::string_view tag);

// True when a TAG line under any SCHMA of `header` has `tag` as its first word.
bool is_declared(const Node& header, std::string_view tag);

// Declares `tag` at `uri` in the header's first SCHMA (made as its last child
// when it has none); false, changing nothing, when it is declared already.
bool declare(Node& header, std::string_view tag, std::string_view uri);

// Every declaration of the header, in order: the first word of each TAG line
// with a word, and the words after it joined by single spaces.
std::vector<std::pair<std::string, std::string>> declarations(const Node& header);

// The header's first SCHMA child, appended as its last child when it has none.
Node& first_schema(Node& header);

// A TAG line declaring `tag` at `uri`.
Node declaration(std::string_view tag, std::string_view uri);

}  // namespace pellorine::schema
