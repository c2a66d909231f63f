#include "keyserv/KeyStore.h"

#include "keyserv/SqlDatabase.h"

#include <string_view>

namespace keyserv {
namespace {

// Schema versions in order; the server applies those the database has not seen yet.
const std::vector<std::vector<std::string>> kMigrations = {
    {
        "CREATE TABLE keys (key_id TEXT PRIMARY KEY, email TEXT NOT NULL, key_text TEXT NOT NULL,"
        " signed_at BIGINT NOT NULL, revoked BIGINT NOT NULL, confirmed INTEGER NOT NULL)",
        "CREATE INDEX keys_by_email ON keys (email)",
        "CREATE TABLE tokens (token_hash TEXT PRIMARY KEY, key_id TEXT NOT NULL, email TEXT NOT NULL,"
        " expires BIGINT NOT NULL)",
        "CREATE INDEX tokens_by_key ON tokens (key_id)",
        "CREATE TABLE revocations (key_id TEXT PRIMARY KEY, code_hash TEXT NOT NULL, expires BIGINT NOT NULL,"
        " sent_at BIGINT NOT NULL, attempts INTEGER NOT NULL)",
    },
};

std::int64_t Number(const std::string& text) {
    std::int64_t value = 0;
    bool negative = false;
    for (char c : text) {
        if (c == '-')
            negative = true;
        else if (c >= '0' && c <= '9')
            value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

StoredKey KeyFromRow(const std::vector<std::string>& row) {
    StoredKey key;
    key.keyId = row[0];
    key.email = row[1];
    key.text = row[2];
    key.signedAt = Number(row[3]);
    key.revoked = Number(row[4]);
    key.confirmed = Number(row[5]) != 0;
    return key;
}

const char kKeyColumns[] = "key_id, email, key_text, signed_at, revoked, confirmed";

class SqlKeyStore final : public KeyStore {
public:
    explicit SqlKeyStore(std::unique_ptr<SqlDatabase> db) : m_db(std::move(db)) {}

    bool Migrate(std::string& error) {
        return m_db->WithConnection(
            [&](SqlConnection& c, std::string& err) {
                SqlRows rows;
                if (!c.Exec(m_db->BeginWrite(), {}, rows, err))
                    return false;
                const std::string lock = m_db->MigrationLock();
                if (!lock.empty() && !c.Exec(lock, {}, rows, err))
                    return false;
                if (!c.Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", {}, rows,
                            err) ||
                    !c.Exec("SELECT version FROM schema_version", {}, rows, err))
                    return false;
                const std::int64_t have = rows.empty() ? 0 : Number(rows[0][0]);
                if (have > static_cast<std::int64_t>(kMigrations.size())) {
                    err = "the database was made by a newer keyserv (schema " + std::to_string(have) + ")";
                    return false;
                }
                for (std::size_t v = static_cast<std::size_t>(have); v < kMigrations.size(); ++v)
                    for (const std::string& statement : kMigrations[v])
                        if (!c.Exec(statement, {}, rows, err))
                            return false;
                const std::int64_t now = static_cast<std::int64_t>(kMigrations.size());
                if (!c.Exec("DELETE FROM schema_version", {}, rows, err) ||
                    !c.Exec("INSERT INTO schema_version (version) VALUES ($1)", {now}, rows, err))
                    return false;
                return c.Exec("COMMIT", {}, rows, err);
            },
            error);
    }

    bool GetKey(const std::string& keyId, std::optional<StoredKey>& key, std::string& error) override {
        SqlRows rows;
        if (!Exec(std::string("SELECT ") + kKeyColumns + " FROM keys WHERE key_id = $1", {keyId}, rows,
                  error))
            return false;
        key.reset();
        if (!rows.empty())
            key = KeyFromRow(rows[0]);
        return true;
    }
    bool FindConfirmed(const std::string& email, std::vector<StoredKey>& keys, std::string& error) override {
        SqlRows rows;
        if (!Exec(std::string("SELECT ") + kKeyColumns +
                      " FROM keys WHERE email = $1 AND confirmed = 1 ORDER BY signed_at DESC",
                  {email}, rows, error))
            return false;
        keys.clear();
        for (const auto& row : rows)
            keys.push_back(KeyFromRow(row));
        return true;
    }
    bool CountKeysForAddress(const std::string& email, std::int64_t now, int& count,
                             std::string& error) override {
        SqlRows rows;
        if (!Exec("SELECT COUNT(*) FROM keys k WHERE k.email = $1 AND (k.confirmed = 1 OR EXISTS"
                  " (SELECT 1 FROM tokens t WHERE t.key_id = k.key_id AND t.email = k.email AND t.expires > "
                  "$2))",
                  {email, now}, rows, error))
            return false;
        count = rows.empty() ? 0 : static_cast<int>(Number(rows[0][0]));
        return true;
    }
    bool PutKey(const StoredKey& key, bool& stored, std::string& error) override {
        SqlRows rows;
        if (!Exec("INSERT INTO keys (key_id, email, key_text, signed_at, revoked, confirmed)"
                  " VALUES ($1, $2, $3, $4, $5, 0) ON CONFLICT (key_id) DO UPDATE SET email = excluded.email,"
                  " key_text = excluded.key_text, signed_at = excluded.signed_at, revoked = excluded.revoked,"
                  " confirmed = CASE WHEN keys.email = excluded.email THEN keys.confirmed ELSE 0 END"
                  " WHERE keys.signed_at < excluded.signed_at AND keys.revoked = 0 RETURNING key_id",
                  {key.keyId, key.email, key.text, key.signedAt, key.revoked}, rows, error))
            return false;
        stored = !rows.empty();
        return true;
    }
    bool PutRevokedKey(const StoredKey& key, std::string& error) override {
        SqlRows rows;
        return Exec("UPDATE keys SET key_text = $2, signed_at = $3, revoked = $4 WHERE key_id = $1",
                    {key.keyId, key.text, key.signedAt, key.revoked}, rows, error);
    }
    bool AddToken(const std::string& tokenHash, const std::string& keyId, const std::string& email,
                  std::int64_t expires, std::string& error) override {
        SqlRows rows;
        return Exec("INSERT INTO tokens (token_hash, key_id, email, expires) VALUES ($1, $2, $3, $4)",
                    {tokenHash, keyId, email, expires}, rows, error);
    }
    bool ConfirmToken(const std::string& tokenHash, std::int64_t now, bool& confirmed,
                      std::string& error) override {
        confirmed = false;
        SqlRows rows;
        if (!Exec("DELETE FROM tokens WHERE token_hash = $1 RETURNING key_id, email, expires", {tokenHash},
                  rows, error))
            return false;
        if (rows.empty() || Number(rows[0][2]) <= now)
            return Exec("DELETE FROM tokens WHERE expires <= $1", {now}, rows, error);
        const std::string keyId = rows[0][0];
        const std::string email = rows[0][1];
        if (!Exec("UPDATE keys SET confirmed = 1 WHERE key_id = $1 AND email = $2 RETURNING key_id",
                  {keyId, email}, rows, error))
            return false;
        confirmed = !rows.empty();
        return true;
    }
    bool SetRevocationCode(const std::string& keyId, const RevocationCode& code,
                           std::string& error) override {
        SqlRows rows;
        return Exec(
            "INSERT INTO revocations (key_id, code_hash, expires, sent_at, attempts)"
            " VALUES ($1, $2, $3, $4, 0) ON CONFLICT (key_id) DO UPDATE SET code_hash = excluded.code_hash,"
            " expires = excluded.expires, sent_at = excluded.sent_at, attempts = 0",
            {keyId, code.codeHash, code.expires, code.sentAt}, rows, error);
    }
    bool CountRevocationAttempt(const std::string& keyId, std::optional<RevocationCode>& code,
                                std::string& error) override {
        return ReadCode("UPDATE revocations SET attempts = attempts + 1 WHERE key_id = $1"
                        " RETURNING code_hash, expires, sent_at, attempts",
                        keyId, code, error);
    }
    bool GetRevocationCode(const std::string& keyId, std::optional<RevocationCode>& code,
                           std::string& error) override {
        return ReadCode("SELECT code_hash, expires, sent_at, attempts FROM revocations WHERE key_id = $1",
                        keyId, code, error);
    }
    bool TakeRevocationCode(const std::string& keyId, const std::string& codeHash, bool& removed,
                            std::string& error) override {
        SqlRows rows;
        if (!Exec("DELETE FROM revocations WHERE key_id = $1 AND code_hash = $2 RETURNING key_id",
                  {keyId, codeHash}, rows, error))
            return false;
        removed = !rows.empty();
        return true;
    }

private:
    bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows& rows,
              std::string& error) {
        return m_db->WithConnection(
            [&](SqlConnection& c, std::string& err) { return c.Exec(sql, params, rows, err); }, error);
    }
    bool ReadCode(const std::string& sql, const std::string& keyId, std::optional<RevocationCode>& code,
                  std::string& error) {
        SqlRows rows;
        if (!Exec(sql, {keyId}, rows, error))
            return false;
        code.reset();
        if (!rows.empty())
            code = RevocationCode{rows[0][0], Number(rows[0][1]), Number(rows[0][2]),
                                  static_cast<int>(Number(rows[0][3]))};
        return true;
    }

    std::unique_ptr<SqlDatabase> m_db;
};

} // namespace

std::unique_ptr<KeyStore> OpenKeyStore(const std::string& database, std::string& error) {
    const std::string_view db = database;
    const bool postgres = db.starts_with("postgresql://") || db.starts_with("postgres://");
    auto sql = postgres ? OpenPostgres(database, error) : OpenSqlite(database, error);
    if (!sql)
        return nullptr;
    auto store = std::make_unique<SqlKeyStore>(std::move(sql));
    if (!store->Migrate(error)) {
        error = "cannot prepare the database: " + error;
        return nullptr;
    }
    return store;
}

} // namespace keyserv
