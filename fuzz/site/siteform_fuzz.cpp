// Feeds any bytes to what the site reads from strangers: the feedback form
// (percent escapes, GBK), forwarded addresses, dates and versions. Whatever
// the form decodes to is UTF-8 and within its limits.
#include "siteweb/ClientAddress.h"
#include "siteweb/FeedbackForm.h"
#include "siteweb/FormFields.h"
#include "siteweb/Releases.h"
#include "siteweb/UtcTime.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    siteweb::FeedbackForm form;
    std::string field;
    if (siteweb::ParseFeedbackForm(bytes, form, field) == siteweb::FormProblem::None) {
        for (const std::string* text :
             {&form.product, &form.contact, &form.text, &form.installation, &form.clientTime})
            if (!siteweb::IsUtf8(*text) || text->find('\0') != std::string::npos)
                std::abort();
        if (form.text.empty() || form.text.size() > 3 * 24 * 1024)
            std::abort();
    }
    siteweb::FormPairs pairs;
    siteweb::DecodeForm(bytes, pairs);
    const std::string address =
        siteweb::ClientAddress("127.0.0.1", {std::string(bytes)}, {"127.0.0.1"});
    if (address != "127.0.0.1" && siteweb::NormalAddress(address) != address)
        std::abort();
    std::int64_t ms = 0;
    if (siteweb::ParseUtc(bytes, ms)) {
        std::int64_t again = 0;
        if (!siteweb::ParseUtc(siteweb::FormatUtc(ms), again) || again != ms)
            std::abort();
    }
    const std::size_t half = size / 2;
    if (siteweb::CompareVersions(bytes.substr(0, half), bytes.substr(half)) !=
        -siteweb::CompareVersions(bytes.substr(half), bytes.substr(0, half)))
        std::abort();
    return 0;
}
