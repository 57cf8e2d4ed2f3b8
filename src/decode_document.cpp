// Reading a document from bytes: decode once, then parse under the same limits.
// Kept apart from the decoders so that they link without the parser.
#include "decode.hpp"

namespace pellorine::decode {

Result<std::pair<Document, EncodingReport>> from_bytes_with(std::string_view bytes, const ParseLimits& limits) {
    auto decoded = decode_gedcom_with(bytes, limits);
    if (!decoded) return fail(std::move(decoded.error()));
    // The decoded text is not needed afterwards, so the nodes may view it in place.
    auto document = Document::parse_owned_with(std::move(decoded->first), limits);
    if (!document) return fail(std::move(document.error()));
    return std::pair<Document, EncodingReport>{std::move(*document), std::move(decoded->second)};
}

Result<std::pair<Document, EncodingReport>> from_borrowed_bytes_with(std::string_view bytes, TextKeeper keeper,
                                                                        const ParseLimits& limits) {
    auto decoded = decode_gedcom_borrowing(bytes, limits);
    if (!decoded) return fail(std::move(decoded.error()));
    auto& text = decoded->first;
    auto document = text.borrowed ? Document::parse_borrowed_with(*text.borrowed, std::move(keeper), limits)
                                  : Document::parse_owned_with(std::move(text.owned), limits);
    if (!document) return fail(std::move(document.error()));
    return std::pair<Document, EncodingReport>{std::move(*document), std::move(decoded->second)};
}

Result<std::pair<Document, EncodingReport>> from_bytes(std::string_view bytes) {
    return from_bytes_with(bytes, default_limits);
}

}  // namespace pellorine::decode
