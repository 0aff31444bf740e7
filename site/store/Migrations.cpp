#include "sitestore/Migrations.h"

namespace sitestore {

// Times are integer milliseconds since the epoch (UTC) in both back ends, so
// both compare and print them alike. Feedback ids are never reused, so a
// deleted message's id never names another one.
const std::vector<Migration>& Migrations() {
    static const std::vector<Migration> steps = {
        {1,
         R"(CREATE TABLE releases (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    version TEXT NOT NULL UNIQUE,
    path TEXT NOT NULL,
    prompt TEXT NOT NULL DEFAULT '',
    notes TEXT NOT NULL DEFAULT '',
    published_ms INTEGER NOT NULL
);
CREATE TABLE feedback (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    received_ms INTEGER NOT NULL,
    address TEXT NOT NULL,
    contact TEXT NOT NULL,
    text TEXT NOT NULL,
    installation TEXT NOT NULL,
    client_time TEXT NOT NULL,
    product TEXT NOT NULL,
    answered_ms INTEGER
);
CREATE INDEX feedback_by_address ON feedback (address, received_ms);
CREATE INDEX feedback_by_received ON feedback (received_ms);)",
         R"(CREATE TABLE releases (
    id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    version TEXT NOT NULL UNIQUE,
    path TEXT NOT NULL,
    prompt TEXT NOT NULL DEFAULT '',
    notes TEXT NOT NULL DEFAULT '',
    published_ms BIGINT NOT NULL
);
CREATE TABLE feedback (
    id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    received_ms BIGINT NOT NULL,
    address TEXT NOT NULL,
    contact TEXT NOT NULL,
    text TEXT NOT NULL,
    installation TEXT NOT NULL,
    client_time TEXT NOT NULL,
    product TEXT NOT NULL,
    answered_ms BIGINT
);
CREATE INDEX feedback_by_address ON feedback (address, received_ms);
CREATE INDEX feedback_by_received ON feedback (received_ms);)"},
    };
    return steps;
}

} // namespace sitestore
