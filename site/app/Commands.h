#pragma once

#include "SiteOptions.h"
#include "sitestore/Store.h"

#include <cstdio>
#include <memory>

namespace site {

// Runs one of the maker's commands on the database; the exit status: 0, 1
// when the database failed or the id does not exist, 2 for a bad value.
int RunMakerCommand(const SiteCommand& command, std::FILE* out, std::FILE* err);

// Opens the database and brings its schema up to date (the server and every
// command do this first).
std::unique_ptr<sitestore::Store> OpenMigrated(const std::string& spec, std::string& error);

} // namespace site
