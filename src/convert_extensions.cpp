// Extension tags declared in the header's schema at the end of a conversion toward 7.0.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "convert_internal.hpp"
#include "schema.hpp"

namespace pellorine::convert {

void declare_extensions(std::vector<Node>& records, const std::vector<OwnedExtension>& owned, Pass& pass) {
    ExtensionTags used;
    for (const Node& record : records) {
        if (record.tag() == "HEAD") continue;
        Node::Walk walk = record.walk();
        while (const Node* node = walk.next()) used.add(node->tag());
    }
    declare_extensions(records, std::move(used), owned, pass);
}

void declare_extensions(std::vector<Node>& records, ExtensionTags used, const std::vector<OwnedExtension>& owned,
                        Pass& pass) {
    pass.record.reset();
    std::vector<std::string_view> tags = std::move(used.tags);
    std::sort(tags.begin(), tags.end());
    auto header = std::find_if(records.begin(), records.end(), [](const Node& r) { return r.tag() == "HEAD"; });
    if (header == records.end()) return;

    // What the header declares already, and the caller's URIs (the first pair
    // for a tag wins), each looked up once per tag rather than searched.
    const std::vector<std::pair<std::string, std::string>> existing = schema::declarations(*header);
    std::unordered_set<std::string_view> declared;
    for (const auto& [tag, uri] : existing) declared.insert(tag);
    std::unordered_map<std::string_view, std::string_view> uris;
    for (const auto& [tag, uri] : owned) uris.emplace(tag, uri);

    Node* target = nullptr;  // the SCHMA new declarations go to, found or made on first need
    for (std::string_view tag : tags) {
        if (declared.contains(tag)) continue;
        auto found = uris.find(tag);
        if (!target) {
            target = &schema::first_schema(*header);
            header->forget_verbatim();
        }
        target->push(schema::declaration(tag, found != uris.end() ? std::string(found->second)
                                                                   : schema::undocumented_uri(tag)));
        if (found != uris.end()) {
            pass.note(tag, ConversionKind::Converted,
                      "declared in the header, which version 7 requires of every extension");
        } else {
            pass.note(tag, ConversionKind::Kept,
                      "another application's extension, declared as undocumented rather than dropped");
        }
    }
}

}  // namespace pellorine::convert
