#include "httpserver/MultipartForm.h"

#include "httpserver/Request.h"

#include <utility>

namespace httpserver {

namespace {

using Parameters = std::vector<std::pair<std::string, std::string>>;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// "type; a=b; c="d e"": the type, and the parameters in order. Quoted values
// run to the next quote, as browsers write them (a quote inside is sent as
// %22, a backslash as it is).
bool ParseValueWithParameters(std::string_view text, std::string_view& type, Parameters& out) {
    const std::size_t semicolon = text.find(';');
    type = Trim(text.substr(0, semicolon));
    if (semicolon == std::string_view::npos)
        return true;
    text.remove_prefix(semicolon + 1);
    while (!Trim(text).empty()) {
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            return false;
        const std::string_view name = Trim(text.substr(0, equals));
        std::string_view rest = text.substr(equals + 1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
            rest.remove_prefix(1);
        std::string_view value;
        if (!rest.empty() && rest.front() == '"') {
            const std::size_t close = rest.find('"', 1);
            if (close == std::string_view::npos)
                return false;
            value = rest.substr(1, close - 1);
            rest.remove_prefix(close + 1);
            const std::size_t next = rest.find(';');
            if (!Trim(rest.substr(0, next)).empty())
                return false;
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        } else {
            const std::size_t next = rest.find(';');
            value = Trim(rest.substr(0, next));
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        }
        if (name.empty())
            return false;
        out.emplace_back(std::string(name), std::string(value));
        text = rest;
    }
    return true;
}

const std::string* Find(const Parameters& parameters, std::string_view name) {
    for (const auto& [key, value] : parameters)
        if (EqualsIgnoringCase(key, name))
            return &value;
    return nullptr;
}

bool ValidBoundary(std::string_view boundary) {
    if (boundary.empty() || boundary.size() > 70 || boundary.back() == ' ')
        return false;
    for (const char c : boundary) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') ||
                        std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
        if (!ok)
            return false;
    }
    return true;
}

// One part's header block (without its final empty line) into part.
bool ReadPartHeaders(std::string_view block, FormPart& part, std::string& error) {
    bool disposition = false;
    while (!block.empty()) {
        const std::size_t end = block.find("\r\n");
        const std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view() : block.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0 || line.front() == ' ' ||
            line.front() == '\t') {
            error = "malformed part header";
            return false;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsIgnoringCase(name, "Content-Type")) {
            part.contentType = std::string(value);
        } else if (EqualsIgnoringCase(name, "Content-Disposition")) {
            std::string_view type;
            Parameters parameters;
            if (disposition || !ParseValueWithParameters(value, type, parameters) ||
                !EqualsIgnoringCase(type, "form-data")) {
                error = "a part that is not form data";
                return false;
            }
            const std::string* fieldName = Find(parameters, "name");
            if (!fieldName || fieldName->empty()) {
                error = "a part without a name";
                return false;
            }
            part.name = *fieldName;
            if (const std::string* file = Find(parameters, "filename"))
                part.filename = *file;
            disposition = true;
        }
    }
    if (!disposition)
        error = "a part without a Content-Disposition";
    return disposition;
}

} // namespace

std::string MultipartBoundary(std::string_view contentType) {
    std::string_view type;
    Parameters parameters;
    if (!ParseValueWithParameters(contentType, type, parameters) ||
        !EqualsIgnoringCase(type, "multipart/form-data"))
        return {};
    const std::string* boundary = Find(parameters, "boundary");
    return boundary && ValidBoundary(*boundary) ? *boundary : std::string();
}

MultipartForm SplitMultipart(std::string_view body, std::string_view boundary,
                             const MultipartLimits& limits) {
    MultipartForm form;
    auto fail = [&](std::string error) {
        form.parts.clear();
        form.error = std::move(error);
        return std::move(form);
    };
    if (boundary.empty())
        return fail("no boundary");
    const std::string delimiter = "--" + std::string(boundary);
    const std::string nextDelimiter = "\r\n" + delimiter;
    // The first delimiter opens the body or follows a preamble's line break.
    std::size_t at = 0;
    if (body.substr(0, delimiter.size()) != delimiter) {
        at = body.find(nextDelimiter);
        if (at == std::string_view::npos)
            return fail("no boundary in the body");
        at += 2;
    }
    at += delimiter.size();
    while (true) {
        if (body.substr(at, 2) == "--")
            return form; // the close delimiter; anything after it is epilogue
        while (at < body.size() && (body[at] == ' ' || body[at] == '\t'))
            ++at;
        if (body.substr(at, 2) != "\r\n")
            return fail("malformed boundary line");
        at += 2;
        if (form.parts.size() >= limits.maxParts)
            return fail("too many parts");
        std::size_t headersEnd = at;
        if (body.substr(at, 2) != "\r\n") {
            const std::string_view window = body.substr(at, limits.maxPartHeaderBytes + 4);
            const std::size_t blank = window.find("\r\n\r\n");
            if (blank == std::string_view::npos && window.size() <= limits.maxPartHeaderBytes)
                return fail("body ends inside a part header");
            if (blank == std::string_view::npos || blank + 2 > limits.maxPartHeaderBytes)
                return fail("part header too large");
            headersEnd = at + blank + 2;
        }
        FormPart part;
        std::string error;
        if (!ReadPartHeaders(body.substr(at, headersEnd - at), part, error))
            return fail(std::move(error));
        const std::size_t dataStart = headersEnd + 2;
        const std::size_t dataEnd = body.find(nextDelimiter, dataStart);
        if (dataEnd == std::string_view::npos)
            return fail("body ends inside a part");
        part.data = body.substr(dataStart, dataEnd - dataStart);
        form.parts.push_back(std::move(part));
        at = dataEnd + nextDelimiter.size();
    }
}

} // namespace httpserver
