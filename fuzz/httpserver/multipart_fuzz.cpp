// Any bytes as a Content-Type line and a multipart body: the parts must lie
// inside the body, stay within the limits, and come back the same when the
// form is written again and split once more.
#include "httpserver/MultipartForm.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Plain(std::string_view text) {
    return text.find_first_of(std::string_view("\"\r\n\0", 4)) == std::string_view::npos;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view contentType = input.substr(0, newline);
    const std::string_view body =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
    std::string boundary = httpserver::MultipartBoundary(contentType);
    if (boundary.empty())
        boundary = "B";
    const httpserver::MultipartLimits limits{4, 256};
    const httpserver::MultipartForm form = httpserver::SplitMultipart(body, boundary, limits);
    Check(form.error.empty() || form.parts.empty());
    Check(form.parts.size() <= limits.maxParts);

    std::string again;
    for (const httpserver::FormPart& part : form.parts) {
        Check(part.data.data() >= body.data() &&
              part.data.data() + part.data.size() <= body.data() + body.size());
        if (!Plain(part.name) || !Plain(part.filename) || !Plain(part.contentType))
            return 0;
        again += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (!part.filename.empty())
            again += "; filename=\"" + part.filename + "\"";
        if (!part.contentType.empty())
            again += "\r\nContent-Type: " + part.contentType;
        again += "\r\n\r\n" + std::string(part.data) + "\r\n";
    }
    again += "--" + boundary + "--\r\n";
    const httpserver::MultipartForm reread = httpserver::SplitMultipart(again, boundary, limits);
    Check(reread.error.empty() && reread.parts.size() == form.parts.size());
    for (std::size_t i = 0; i < form.parts.size(); ++i)
        Check(reread.parts[i].name == form.parts[i].name &&
              reread.parts[i].filename == form.parts[i].filename &&
              reread.parts[i].data == form.parts[i].data);
    return 0;
}
