#include "keyserv/SqlDatabase.h"

#include <libpq-fe.h>

#include <mutex>

namespace keyserv {
namespace {

class PostgresConnection final : public SqlConnection {
public:
    explicit PostgresConnection(PGconn* conn) : m_conn(conn) {}
    bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows& rows,
              std::string& error) override {
        rows.clear();
        std::vector<std::string> texts;
        texts.reserve(params.size());
        for (const SqlValue& p : params)
            texts.push_back(std::holds_alternative<std::int64_t>(p)
                                ? std::to_string(std::get<std::int64_t>(p))
                                : std::get<std::string>(p));
        std::vector<const char*> values;
        for (const std::string& t : texts)
            values.push_back(t.c_str());
        PGresult* result = PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                        values.data(), nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok) {
            error = PQerrorMessage(m_conn);
            while (!error.empty() && error.back() == '\n')
                error.pop_back();
        } else {
            for (int r = 0; r < PQntuples(result); ++r) {
                std::vector<std::string> row;
                for (int c = 0; c < PQnfields(result); ++c)
                    row.emplace_back(PQgetvalue(result, r, c),
                                     static_cast<std::size_t>(PQgetlength(result, r, c)));
                rows.push_back(std::move(row));
            }
        }
        PQclear(result);
        return ok;
    }

private:
    PGconn* m_conn;
};

// A pool of connections, one for each request being answered at the time; a connection the
// server dropped is reset before it is used again.
class PostgresDatabase final : public SqlDatabase {
public:
    explicit PostgresDatabase(std::string uri) : m_uri(std::move(uri)) {}
    ~PostgresDatabase() override {
        for (PGconn* conn : m_idle)
            PQfinish(conn);
    }
    bool WithConnection(const std::function<bool(SqlConnection&, std::string&)>& use,
                        std::string& error) override {
        PGconn* conn = Acquire(error);
        if (!conn)
            return false;
        PostgresConnection connection(conn);
        const bool ok = use(connection, error);
        if (!ok && PQtransactionStatus(conn) != PQTRANS_IDLE) {
            PGresult* result = PQexec(conn, "ROLLBACK");
            PQclear(result);
        }
        Release(conn);
        return ok;
    }
    std::string MigrationLock() const override { return "SELECT pg_advisory_xact_lock(715517)"; }
    std::string BeginWrite() const override { return "BEGIN"; }

    PGconn* Acquire(std::string& error) {
        PGconn* conn = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_idle.empty()) {
                conn = m_idle.back();
                m_idle.pop_back();
            }
        }
        if (conn && PQstatus(conn) != CONNECTION_OK)
            PQreset(conn);
        if (!conn)
            conn = PQconnectdb(m_uri.c_str());
        if (!conn || PQstatus(conn) != CONNECTION_OK) {
            error =
                std::string("cannot reach the database: ") + (conn ? PQerrorMessage(conn) : "out of memory");
            while (!error.empty() && error.back() == '\n')
                error.pop_back();
            PQfinish(conn);
            return nullptr;
        }
        return conn;
    }
    void Release(PGconn* conn) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_idle.push_back(conn);
    }

private:
    std::string m_uri;
    std::mutex m_mutex;
    std::vector<PGconn*> m_idle;
};

} // namespace

std::unique_ptr<SqlDatabase> OpenPostgres(const std::string& uri, std::string& error) {
    auto db = std::make_unique<PostgresDatabase>(uri);
    PGconn* first = db->Acquire(error);
    if (!first)
        return nullptr;
    db->Release(first);
    return db;
}

} // namespace keyserv
