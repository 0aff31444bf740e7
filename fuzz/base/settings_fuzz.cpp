// Any bytes as the settings file: the parser must never crash, and whatever it
// accepts must come back unchanged through a rewrite, or a save would alter
// values the user never touched.
#include "base/SettingsText.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool Same(const SettingsValue& a, const SettingsValue& b) {
    if (a.name != b.name || a.kind != b.kind)
        return false;
    switch (a.kind) {
    case SettingsValue::Integer:
        return a.integer == b.integer;
    case SettingsValue::String:
        return a.text == b.text;
    case SettingsValue::Other:
        return a.raw == b.raw;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingsValues values;
    if (!ParseSettingsText(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)),
                           values))
        return 0;
    SettingsValues again;
    if (!ParseSettingsText(WriteSettingsText(values), again) || again.size() != values.size())
        std::abort();
    for (size_t i = 0; i < values.size(); ++i) {
        if (!Same(values[i], again[i]))
            std::abort();
    }
    return 0;
}
