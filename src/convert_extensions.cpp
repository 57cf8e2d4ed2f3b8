// Extension tags declared in the header's schema at the end of a conversion toward 7.0.
#include "convert.hpp"

namespace pellorine::convert {

void declare_extensions(std::vector<Node>&, const std::vector<OwnedExtension>&, Pass&) {}

}  // namespace pellorine::convert
