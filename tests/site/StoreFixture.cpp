#include "StoreFixture.h"

#include <libpq-fe.h>
#include <sqlite3.h>

bool ExecRaw(const std::string& spec, const std::string& sql, std::string& error) {
    if (spec.rfind("sqlite:", 0) == 0) {
        sqlite3* db = nullptr;
        bool ok = sqlite3_open(spec.substr(7).c_str(), &db) == SQLITE_OK;
        char* message = nullptr;
        ok = ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
        if (!ok)
            error = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        sqlite3_close(db);
        return ok;
    }
    PGconn* conn = PQconnectdb(spec.c_str());
    PGresult* r = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    if (!ok)
        error = PQerrorMessage(conn);
    PQclear(r);
    PQfinish(conn);
    return ok;
}
