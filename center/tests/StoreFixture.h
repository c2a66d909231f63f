#pragma once

// A generated key store for the control center's core tests: key files, encrypted files and
// archives written with the header bytes the store reads, in a fresh folder, with the settings
// (locations, key folder) of this test process's own home.

#include "StoreFiles.h"
#include "TestSupport.h"
#include "center/core/KeyManager.h"
#include "center/core/StoreWindows.h"
#include "corecrypt/KeyRing.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace storetest {

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        dir = qmtest::MakeTempDir("store");
        keys = dir + "/keys/";
        files = dir + "/files/";
        Make(keys);
        Make(files);
        SetLocations({files});
        SetKeyFolder(keys);
    }

    static void Make(const std::string& folder) {
        ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    }

    void KeyFile(const std::string& path, const std::string& id, std::size_t size = 40) {
        storetest::KeyFile(path, id, size);
    }

    // Runs a full scan on a new store; the store stays for the test to read.
    center::CKeyManager& RunScan(bool interactive = true, center::KMProgress* progress = nullptr) {
        store = std::make_unique<center::CKeyManager>(shared);
        store->Refresh(progress, interactive);
        return *store;
    }

    std::string dir, keys, files;
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend use{ui};
    center::CenterShared shared;
    std::unique_ptr<center::CKeyManager> store;
};

// A store with the two rings of this test's home, and keys generated into them.
class Rings : public Store {
protected:
    void SetUp() override {
        Store::SetUp();
        pubRing = misckit::GetPubKeyFileName();
        privRing = misckit::GetPrivKeyFileName();
    }

    // A key pair in both rings; returns its ID.
    std::string AddPair(const std::string& name, std::int64_t expires = 0) {
        std::string error;
        auto key =
            CPrivateKey::Generate(name, name + "@example.org", platform::Now() - 100, expires, "pw", error);
        EXPECT_TRUE(key) << error;
        char text[1000] = "";
        EXPECT_TRUE(AddPrivateKeyToFile(*key, privRing.c_str(), pubRing.c_str(), text, sizeof text)) << text;
        return std::string(reinterpret_cast<const char*>(key->GetKeyIDPbyte()), 16);
    }
    // Someone else's public key only.
    std::string AddPublic(const std::string& name, std::int64_t expires = 0) {
        std::string error;
        auto key =
            CPrivateKey::Generate(name, name + "@example.org", platform::Now() - 100, expires, "pw", error);
        EXPECT_TRUE(key) << error;
        char text[1000] = "";
        EXPECT_TRUE(AddPublicKeyToFile(*key->GetPublicKey(), pubRing.c_str(), text, sizeof text)) << text;
        return std::string(reinterpret_cast<const char*>(key->GetKeyIDPbyte()), 16);
    }
    static const unsigned char* Bytes(const std::string& id) {
        return reinterpret_cast<const unsigned char*>(id.data());
    }

    std::string pubRing, privRing;
};

} // namespace storetest
