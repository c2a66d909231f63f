// Fills a keyserv database with COUNT confirmed keys of the addresses user0@bench.test,
// user1@bench.test, ... for the find benchmark. Every row carries the text of one real key, so the
// answers have a real key's size.
#include "corecrypt/AsymmKey.h"
#include "corecrypt/Primitives.h"
#include "keyserv/KeyStore.h"
#include "keyserv/SqlDatabase.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: keyserv_seed DATABASE COUNT\n");
        return 2;
    }
    const std::string database = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    std::string error;
    // Opening through the store creates the schema.
    if (!keyserv::OpenKeyStore(database, error)) {
        std::fprintf(stderr, "keyserv_seed: %s\n", error.c_str());
        return 1;
    }
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    auto key = CPrivateKey::Generate("Bench Person", "user0@bench.test", std::time(nullptr), 0, "x", error);
    if (!key) {
        std::fprintf(stderr, "keyserv_seed: %s\n", error.c_str());
        return 1;
    }
    const auto publicHalf = key->GetPublicKey();
    const std::string text(publicHalf->GetEnvelop(), publicHalf->m_nEnvelopLen);
    const bool postgres = database.rfind("postgres", 0) == 0;
    auto db = postgres ? keyserv::OpenPostgres(database, error) : keyserv::OpenSqlite(database, error);
    const bool ok =
        db && db->WithConnection(
                  [&](keyserv::SqlConnection& c, std::string& err) {
                      keyserv::SqlRows rows;
                      if (!c.Exec("BEGIN", {}, rows, err))
                          return false;
                      for (long i = 0; i < count; ++i) {
                          char id[33];
                          std::snprintf(id, sizeof id, "%032lx", i);
                          if (!c.Exec("INSERT INTO keys (key_id, email, key_text, signed_at, revoked,"
                                      " confirmed) VALUES ($1, $2, $3, 1, 0, 1)",
                                      {std::string(id), "user" + std::to_string(i) + "@bench.test", text},
                                      rows, err))
                              return false;
                      }
                      return c.Exec("COMMIT", {}, rows, err);
                  },
                  error);
    if (!ok) {
        std::fprintf(stderr, "keyserv_seed: %s\n", error.c_str());
        return 1;
    }
    std::printf("%ld keys stored\n", count);
    return 0;
}
