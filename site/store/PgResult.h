#pragma once

#include <cstdint>
#include <string>

struct pg_result;

namespace sitestore {

// One libpq result, cleared by its destructor.
class PgResult {
public:
    explicit PgResult(pg_result* result = nullptr) : result_(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    // A command that ran, with or without rows.
    bool Ok() const;
    std::string SqlState() const;
    std::string Message() const;
    int Rows() const;
    std::string Text(int row, int column) const;
    std::int64_t Int(int row, int column) const;
    bool IsNull(int row, int column) const;

private:
    pg_result* result_;
};

} // namespace sitestore
