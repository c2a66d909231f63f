#include "keyserv/SqlDatabase.h"

#include <sqlite3.h>

#include <mutex>

namespace keyserv {
namespace {

// SQLite numbers its parameters ?1, ?2, ...
std::string ToSqliteParameters(const std::string& sql) {
    std::string out = sql;
    for (std::size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == '$' && out[i + 1] >= '0' && out[i + 1] <= '9')
            out[i] = '?';
    return out;
}

class SqliteConnection final : public SqlConnection {
public:
    explicit SqliteConnection(sqlite3* db) : m_db(db) {}
    bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows& rows,
              std::string& error) override {
        rows.clear();
        sqlite3_stmt* stmt = nullptr;
        const std::string text = ToSqliteParameters(sql);
        if (sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &stmt, nullptr) !=
            SQLITE_OK) {
            error = sqlite3_errmsg(m_db);
            return false;
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int index = static_cast<int>(i) + 1;
            if (const auto* number = std::get_if<std::int64_t>(&params[i]))
                sqlite3_bind_int64(stmt, index, *number);
            else {
                const std::string& value = std::get<std::string>(params[i]);
                sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const auto* value = sqlite3_column_text(stmt, c);
                row.emplace_back(value ? reinterpret_cast<const char*>(value) : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            error = sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE;
    }

private:
    sqlite3* m_db;
};

// One connection behind a lock: the server's threads take turns, which for lookups of a few
// microseconds costs less than a connection per thread would save.
class SqliteDatabase final : public SqlDatabase {
public:
    ~SqliteDatabase() override { sqlite3_close(m_db); }
    bool Open(const std::string& path, std::string& error) {
        if (sqlite3_open_v2(path.c_str(), &m_db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            error = "cannot open " + path + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
            return false;
        }
        sqlite3_busy_timeout(m_db, 5000);
        SqliteConnection connection(m_db);
        SqlRows rows;
        return connection.Exec("PRAGMA journal_mode=WAL", {}, rows, error) &&
               connection.Exec("PRAGMA synchronous=NORMAL", {}, rows, error);
    }
    bool WithConnection(const std::function<bool(SqlConnection&, std::string&)>& use,
                        std::string& error) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        SqliteConnection connection(m_db);
        return use(connection, error);
    }
    std::string MigrationLock() const override { return {}; }
    std::string BeginWrite() const override { return "BEGIN IMMEDIATE"; }

private:
    sqlite3* m_db = nullptr;
    std::mutex m_mutex;
};

} // namespace

std::unique_ptr<SqlDatabase> OpenSqlite(const std::string& path, std::string& error) {
    auto db = std::make_unique<SqliteDatabase>();
    if (!db->Open(path, error))
        return nullptr;
    return db;
}

} // namespace keyserv
