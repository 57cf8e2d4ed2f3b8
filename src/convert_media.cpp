// Media objects toward 7.0: formats and media moved onto their files.
#include "convert.hpp"

namespace pellorine::convert {

bool media_form_to_7(Node&, Pass&) { return false; }

void forget_subtree_verbatim(Node& node) {
    node.forget_verbatim();
    for (Node& child : node.children()) forget_subtree_verbatim(child);
}

}  // namespace pellorine::convert
