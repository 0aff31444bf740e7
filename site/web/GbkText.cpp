#include "siteweb/GbkText.h"

#include <cerrno>
#include <iconv.h>

namespace siteweb {

namespace {

bool Convert(const char* to, const char* from, std::string_view in, std::string& out) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return false;
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    bool ok = true;
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, std::size_t(outPtr - buffer));
        if (rc == std::size_t(-1) && errno != E2BIG) {
            ok = false; // EILSEQ or EINVAL: not a character, or one cut short
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

} // namespace

bool GbkToUtf8(std::string_view gbk, std::string& out) {
    if (gbk.find('\0') != std::string_view::npos)
        return false;
    // The program converts with "CP936"; the same name reads it back.
    return Convert("UTF-8", "CP936", gbk, out);
}

bool Utf8ToGbk(std::string_view utf8, std::string& out) {
    return Convert("CP936", "UTF-8", utf8, out);
}

} // namespace siteweb
