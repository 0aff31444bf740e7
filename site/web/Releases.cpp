#include "siteweb/Releases.h"

#include <algorithm>
#include <cstdint>

namespace siteweb {

namespace {

// The update dialog's profile reader cuts values at this many bytes.
constexpr std::size_t kMaxIniValue = 2047;
constexpr std::size_t kMaxNotes = 16 * 1024;

std::vector<std::string_view> Parts(std::string_view version) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t dot = version.find('.');
        parts.push_back(version.substr(0, dot));
        if (dot == std::string_view::npos)
            return parts;
        version.remove_prefix(dot + 1);
    }
}

// Compares digit strings by value without converting them (no overflow).
int CompareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool HasControl(std::string_view text, bool allowNewline) {
    return std::any_of(text.begin(), text.end(), [&](char c) {
        const auto u = static_cast<unsigned char>(c);
        if (allowNewline && (c == '\n' || c == '\t'))
            return false;
        return u < 0x20 || u == 0x7F;
    });
}

bool IsWebAddress(std::string_view path) {
    std::string_view rest;
    if (path.substr(0, 7) == "http://")
        rest = path.substr(7);
    else if (path.substr(0, 8) == "https://")
        rest = path.substr(8);
    else
        return false;
    const std::size_t hostEnd = rest.find_first_of("/?#");
    // Only what an address may hold unescaped, so the page's link and the
    // browser read it alike.
    const bool clean = std::all_of(path.begin(), path.end(), [](char c) {
        return c > ' ' && c < 0x7F &&
               std::string_view("<>\"{}|\\^`").find(c) == std::string_view::npos;
    });
    return hostEnd != 0 && !rest.empty() && clean;
}

} // namespace

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= text.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are no characters.
        static const std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool IsVersion(std::string_view text) {
    if (text.empty() || text.size() > 32 || text.front() == '.' || text.back() == '.')
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && text[i - 1] == '.')
            return false;
        if (c != '.' && (c < '0' || c > '9'))
            return false;
    }
    return true;
}

int CompareVersions(std::string_view a, std::string_view b) {
    const auto pa = Parts(a);
    const auto pb = Parts(b);
    for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const int c = CompareNumbers(i < pa.size() ? pa[i] : "0", i < pb.size() ? pb[i] : "0");
        if (c != 0)
            return c;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return 0;
}

const sitestore::Release* NewestRelease(const std::vector<sitestore::Release>& releases) {
    const sitestore::Release* newest = nullptr;
    for (const auto& r : releases)
        if (!newest || CompareVersions(r.version, newest->version) > 0)
            newest = &r;
    return newest;
}

bool CheckRelease(sitestore::Release& release, std::string& error) {
    std::string notes;
    for (std::size_t i = 0; i < release.notes.size(); ++i)
        if (!(release.notes[i] == '\r' && i + 1 < release.notes.size() &&
              release.notes[i + 1] == '\n'))
            notes += release.notes[i];
    release.notes = std::move(notes);

    if (!IsVersion(release.version))
        error = "the version is digits and dots, such as 8.1: \"" + release.version + "\"";
    else if (!IsWebAddress(release.path))
        error = "the path is an http:// or https:// address (the program opens no other): \"" +
                release.path + "\"";
    else if (release.path.size() > kMaxIniValue || HasControl(release.path, false))
        error = "the path is one line of at most 2047 bytes";
    else if (!IsUtf8(release.prompt) || HasControl(release.prompt, false) ||
             release.prompt.size() > kMaxIniValue)
        error = "the prompt is one line of UTF-8 text of at most 2047 bytes";
    else if (!IsUtf8(release.notes) || HasControl(release.notes, true) ||
             release.notes.size() > kMaxNotes)
        error = "the notes are UTF-8 text of at most 16 KiB";
    else
        return true;
    return false;
}

} // namespace siteweb
