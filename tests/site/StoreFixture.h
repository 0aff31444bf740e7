#pragma once

// Runs a suite against both back ends: a fresh SQLite file, and a fresh
// database on the test's own PostgreSQL cluster.

#include "PgCluster.h"
#include "sitestore/Store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// Runs SQL outside the store interface (to fake a newer schema, say).
bool ExecRaw(const std::string& spec, const std::string& sql, std::string& error);

class BackendTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "postgresql") {
            PgCluster* cluster = PgCluster::Get();
            if (!cluster && PgCluster::Installed())
                FAIL() << PgCluster::SkipReason();
            if (!cluster)
                GTEST_SKIP() << "PostgreSQL cases skipped: " << PgCluster::SkipReason();
            spec_ = cluster->NewDatabase();
            ASSERT_FALSE(spec_.empty()) << "createdb failed";
        } else {
            ASSERT_TRUE(dir_.isValid());
            spec_ = "sqlite:" + dir_.filePath("site.sqlite3").toStdString();
        }
        store_ = Open();
        ASSERT_TRUE(store_);
    }
    // A new connection to the same database, schema brought up to date.
    std::unique_ptr<sitestore::Store> Open() {
        std::string error;
        auto store = sitestore::OpenStore(spec_, error);
        EXPECT_TRUE(store) << error;
        if (store) {
            EXPECT_TRUE(store->Migrate(error)) << error;
        }
        return store;
    }

    QTemporaryDir dir_;
    std::string spec_;
    std::unique_ptr<sitestore::Store> store_;
};

// Names the instantiations "Sqlite/..." and "Postgres/...", so the PostgreSQL
// cases run in the one process that starts the cluster.
#define QUILL_BOTH_BACKENDS(Suite)                                                                 \
    INSTANTIATE_TEST_SUITE_P(Sqlite, Suite, ::testing::Values("sqlite"));                          \
    INSTANTIATE_TEST_SUITE_P(Postgres, Suite, ::testing::Values("postgresql"))
