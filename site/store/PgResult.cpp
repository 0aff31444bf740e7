#include "sitestore/PgResult.h"

#include <cstdlib>
#include <libpq-fe.h>

namespace sitestore {

PgResult::~PgResult() {
    PQclear(result_);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

bool PgResult::Ok() const {
    const ExecStatusType status = PQresultStatus(result_);
    return result_ && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

std::string PgResult::SqlState() const {
    const char* state = result_ ? PQresultErrorField(result_, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

std::string PgResult::Message() const {
    std::string message = result_ ? PQresultErrorMessage(result_) : "no result";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

int PgResult::Rows() const {
    return PQntuples(result_);
}

std::string PgResult::Text(int row, int column) const {
    return std::string(PQgetvalue(result_, row, column),
                       std::size_t(PQgetlength(result_, row, column)));
}

std::int64_t PgResult::Int(int row, int column) const {
    return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

bool PgResult::IsNull(int row, int column) const {
    return PQgetisnull(result_, row, column) != 0;
}

} // namespace sitestore
