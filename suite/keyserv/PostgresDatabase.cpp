#include "keyserv/SqlDatabase.h"

#include <libpq-fe.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace keyserv {
namespace {

// One connection to the server with the statements it has prepared: each statement is parsed and
// planned once per connection, not on every request.
struct Pooled {
    PGconn* conn = nullptr;
    std::unordered_map<std::string, std::string> prepared; // statement text -> name
};

void TrimError(std::string& error) {
    while (!error.empty() && error.back() == '\n')
        error.pop_back();
}

class PostgresConnection final : public SqlConnection {
public:
    explicit PostgresConnection(Pooled& pooled) : m_pooled(pooled) {}
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
        PGconn* conn = m_pooled.conn;
        PGresult* result = nullptr;
        // Statements without parameters (transaction control, schema changes) run as they are.
        if (params.empty()) {
            result = PQexec(conn, sql.c_str());
        } else {
            const std::string* name = Prepared(sql, error);
            if (!name)
                return false;
            result = PQexecPrepared(conn, name->c_str(), static_cast<int>(values.size()), values.data(),
                                    nullptr, nullptr, 0);
        }
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok) {
            error = PQerrorMessage(conn);
            TrimError(error);
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
    const std::string* Prepared(const std::string& sql, std::string& error) {
        if (const auto it = m_pooled.prepared.find(sql); it != m_pooled.prepared.end())
            return &it->second;
        const std::string name = "s" + std::to_string(m_pooled.prepared.size() + 1);
        PGresult* result = PQprepare(m_pooled.conn, name.c_str(), sql.c_str(), 0, nullptr);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        if (!ok) {
            error = PQerrorMessage(m_pooled.conn);
            TrimError(error);
            return nullptr;
        }
        return &m_pooled.prepared.emplace(sql, name).first->second;
    }

    Pooled& m_pooled;
};

// A pool of at most a few connections per CPU. More would not answer sooner: the server's
// processes would only wait for each other's locks, and with more processes than CPUs a lock
// holder that loses its CPU keeps the others sleeping for up to a second. Requests beyond the
// pool wait for a connection in the order they came; a connection the server dropped is reset
// before it is used again.
class PostgresDatabase final : public SqlDatabase {
public:
    explicit PostgresDatabase(std::string uri)
        : m_uri(std::move(uri)),
          m_limit(std::clamp<std::size_t>(2 * std::max(1u, std::thread::hardware_concurrency()), 4, 32)) {}
    ~PostgresDatabase() override {
        for (Pooled* pooled : m_idle) {
            PQfinish(pooled->conn);
            delete pooled;
        }
    }
    bool WithConnection(const std::function<bool(SqlConnection&, std::string&)>& use,
                        std::string& error) override {
        Pooled* pooled = Acquire(error);
        if (!pooled)
            return false;
        PostgresConnection connection(*pooled);
        const bool ok = use(connection, error);
        if (!ok && PQtransactionStatus(pooled->conn) != PQTRANS_IDLE) {
            PGresult* result = PQexec(pooled->conn, "ROLLBACK");
            PQclear(result);
        }
        Release(pooled);
        return ok;
    }
    std::string MigrationLock() const override { return "SELECT pg_advisory_xact_lock(715517)"; }
    std::string BeginWrite() const override { return "BEGIN"; }

    Pooled* Acquire(std::string& error) {
        Pooled* pooled = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_idle.empty() && m_waiting.empty()) {
                pooled = m_idle.back();
                m_idle.pop_back();
            } else if (m_open < m_limit) {
                ++m_open; // made below, outside the lock
            } else {
                Waiter me;
                m_waiting.push_back(&me);
                me.ready.wait(lock, [&] { return me.handed != nullptr || me.mayOpen; });
                pooled = me.handed; // or null: the place of a connection that failed, to open anew
            }
        }
        if (pooled && PQstatus(pooled->conn) != CONNECTION_OK) {
            PQreset(pooled->conn);
            pooled->prepared.clear();
        }
        if (!pooled)
            pooled = new Pooled{PQconnectdb(m_uri.c_str()), {}};
        if (!pooled->conn || PQstatus(pooled->conn) != CONNECTION_OK) {
            error = std::string("cannot reach the database: ") +
                    (pooled->conn ? PQerrorMessage(pooled->conn) : "out of memory");
            TrimError(error);
            PQfinish(pooled->conn);
            delete pooled;
            Forget();
            return nullptr;
        }
        return pooled;
    }
    void Release(Pooled* pooled) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_waiting.empty()) {
            Waiter* next = m_waiting.front();
            m_waiting.pop_front();
            next->handed = pooled;
            next->ready.notify_one();
            return;
        }
        m_idle.push_back(pooled);
    }

private:
    struct Waiter {
        std::condition_variable ready;
        Pooled* handed = nullptr;
        bool mayOpen = false;
    };

    // A connection that could not be made: its place in the pool goes to the next who waits.
    void Forget() {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_open;
        if (!m_waiting.empty()) {
            ++m_open;
            Waiter* next = m_waiting.front();
            m_waiting.pop_front();
            next->mayOpen = true;
            next->ready.notify_one();
        }
    }

    std::string m_uri;
    std::size_t m_limit;
    std::mutex m_mutex;
    std::size_t m_open = 0;
    std::vector<Pooled*> m_idle;
    std::deque<Waiter*> m_waiting;
};

} // namespace

std::unique_ptr<SqlDatabase> OpenPostgres(const std::string& uri, std::string& error) {
    auto db = std::make_unique<PostgresDatabase>(uri);
    Pooled* first = db->Acquire(error);
    if (!first)
        return nullptr;
    db->Release(first);
    return db;
}

} // namespace keyserv
