#pragma once

// A generated key store for the control center's core tests: key files, encrypted files and
// archives written with the header bytes the store reads, in a fresh folder, with the settings
// (locations, key folder) of this test process's own home.

#include "StoreFiles.h"
#include "TestSupport.h"
#include "center/core/KeyManager.h"
#include "center/core/StoreWindows.h"
#include "misckit/Registry.h"
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

} // namespace storetest
