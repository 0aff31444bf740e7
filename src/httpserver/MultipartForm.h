#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace httpserver {

// A multipart/form-data body split into its parts. Bytes in, parts out: the
// parts' data point into the body, so the body must outlive them. Safe against
// any input: it never reads outside the body and stops at its limits.
struct FormPart {
    std::string name;
    std::string filename; // empty for a text field
    std::string contentType;
    std::string_view data;
};

struct MultipartLimits {
    std::size_t maxParts = 16;
    std::size_t maxPartHeaderBytes = 4096; // one part's header block
};

struct MultipartForm {
    std::vector<FormPart> parts;
    std::string error; // empty when the body was well formed
};

// The boundary of a "multipart/form-data; boundary=..." Content-Type; empty
// when the type is another or the boundary is missing or malformed.
std::string MultipartBoundary(std::string_view contentType);

MultipartForm SplitMultipart(std::string_view body, std::string_view boundary,
                             const MultipartLimits& limits = {});

} // namespace httpserver
