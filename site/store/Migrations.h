#pragma once

#include <vector>

namespace sitestore {

// One step of the schema, in each back end's dialect. Steps are applied in
// order, once, each in the transaction that records it.
struct Migration {
    int version;
    const char* sqlite;
    const char* postgresql;
};

const std::vector<Migration>& Migrations();

} // namespace sitestore
