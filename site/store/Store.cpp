#include "sitestore/Store.h"

#include "sitestore/PostgresStore.h"
#include "sitestore/SearchPattern.h"
#include "sitestore/SqliteStore.h"

namespace sitestore {

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsPostgres(const std::string& spec) {
    return StartsWith(spec, "postgresql://") || StartsWith(spec, "postgres://");
}

} // namespace

std::string ContainsPattern(std::string_view words) {
    std::string pattern = "%";
    for (char c : words) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    pattern += '%';
    return pattern;
}

bool IsStoreSpec(const std::string& spec) {
    return (StartsWith(spec, "sqlite:") && spec.size() > 7) || IsPostgres(spec);
}

std::unique_ptr<Store> OpenStore(const std::string& spec, std::string& error) {
    if (StartsWith(spec, "sqlite:") && spec.size() > 7)
        return SqliteStore::Open(spec.substr(7), error);
    if (IsPostgres(spec))
        return PostgresStore::Open(spec, error);
    error = "a database is sqlite:PATH or postgresql://..., not \"" + spec + "\"";
    return nullptr;
}

} // namespace sitestore
