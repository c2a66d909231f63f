#pragma once

// The little that keyserv asks of a SQL database, so that one set of statements serves SQLite and
// PostgreSQL. Statements number their parameters $1, $2, ...; values come back as text.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace keyserv {

using SqlValue = std::variant<std::int64_t, std::string>;
using SqlRows = std::vector<std::vector<std::string>>;

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    virtual bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows& rows,
                      std::string& error) = 0;
};

class SqlDatabase {
public:
    virtual ~SqlDatabase() = default;
    // Runs `use` on one connection that nobody else uses meanwhile (statements in it may form a
    // transaction).
    virtual bool WithConnection(const std::function<bool(SqlConnection&, std::string&)>& use,
                                std::string& error) = 0;
    // The statement that serialises schema changes between processes, run inside the migration's
    // transaction; empty where the transaction's own lock does it.
    virtual std::string MigrationLock() const = 0;
    // How a transaction that writes at once begins.
    virtual std::string BeginWrite() const = 0;
};

std::unique_ptr<SqlDatabase> OpenSqlite(const std::string& path, std::string& error);
std::unique_ptr<SqlDatabase> OpenPostgres(const std::string& uri, std::string& error);

} // namespace keyserv
