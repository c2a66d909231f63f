// Key rings: loading, adding, replacing and deleting keys, damaged and old rings, and two
// programs changing one ring at once.
#include "corecrypt/KeyRing.h"
#include "KeyTestSupport.h"
#include "TestSupport.h"
#include "corecrypt/QMException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using keytest::kNow;
using keytest::MakePair;
using keytest::MakePublic;

namespace {

class KeyRing : public keytest::CheapKdf {
protected:
    void SetUp() override {
        CheapKdf::SetUp();
        const std::string dir = qmtest::MakeTempDir("rings");
        pub = dir + "/pubring.qkr";
        sec = dir + "/secring.qkr";
    }

    PublicKeySlots LoadPublic(int expected) {
        PublicKeySlots slots(corecrypt::kRingSlots);
        char error[2000] = "";
        EXPECT_EQ(LoadPublicKeyRing(slots, pub.c_str(), error, sizeof error), expected) << error;
        return slots;
    }

    void Add(const CPublicKey& key) {
        char error[1000] = "";
        ASSERT_EQ(AddPublicKeyToFile(key, pub.c_str(), error, sizeof error), 1) << error;
    }

    std::string pub;
    std::string sec;
};

// A ring of the earlier layout, as older versions wrote it.
std::string OldRing(corecrypt::RingKind kind, const std::vector<std::string>& records) {
    std::string out = "QMKR";
    out.push_back(1);
    out.push_back(static_cast<char>(kind));
    auto u32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<char>(v >> s));
    };
    u32(static_cast<std::uint32_t>(records.size()));
    for (const auto& r : records) {
        u32(static_cast<std::uint32_t>(r.size()));
        out += r;
    }
    return out;
}

} // namespace

TEST_F(KeyRing, KeysKeepTheirPositionsThroughDeletionsAndTheSlotAfterTheLastIsEmpty) {
    auto a = MakePublic("A", "a@x.org");
    auto b = MakePublic("B", "b@x.org");
    auto c = MakePublic("C", "c@x.org");
    LoadPublic(0); // no ring yet: an empty one
    Add(*a);
    Add(*b);
    Add(*c);
    auto slots = LoadPublic(3);
    EXPECT_EQ(slots[1]->m_nRingPos, 1u);
    EXPECT_STREQ(slots[1]->GetEmail(), "b@x.org");
    EXPECT_FALSE(slots[3]);

    char error[2000] = "";
    // A stale position (another key there now) removes nothing.
    EXPECT_EQ(DeletePublicKey(1, a->GetKeyIDPbyte(), pub.c_str(), error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("no such key at ring position 1"), std::string::npos) << error;
    EXPECT_EQ(DeletePublicKey(7, b->GetKeyIDPbyte(), pub.c_str(), error, sizeof error), 0);
    LoadPublic(3);
    ASSERT_EQ(DeletePublicKey(1, b->GetKeyIDPbyte(), pub.c_str(), error, sizeof error), 1) << error;
    slots = LoadPublic(2);
    EXPECT_EQ(slots[0]->m_nRingPos, 0u);
    EXPECT_EQ(slots[1]->m_nRingPos, 2u);
    // A position is never given again.
    Add(*b);
    slots = LoadPublic(3);
    EXPECT_EQ(slots[2]->m_nRingPos, 3u);
}

TEST_F(KeyRing, ANewerRevisionReplacesInPlaceAndAnOlderOneIsRefused) {
    auto pair = MakePair("A", "a@x.org");
    auto original = pair->GetPublicKey();
    Add(*MakePublic("Other", "o@x.org"));
    Add(*original);
    Add(*original); // the same copy again changes nothing
    LoadPublic(2);
    std::string error;
    ASSERT_TRUE(pair->Revise("pass", 0, true, kNow + 100, error)) << error;
    Add(*pair->GetPublicKey());
    auto slots = LoadPublic(2);
    EXPECT_EQ(slots[1]->m_nRingPos, 1u);
    EXPECT_EQ(slots[1]->m_bRevoked, 1);
    EXPECT_EQ(slots[1]->GetRevocationTime(), kNow + 100);

    const std::string before = qmtest::ReadFile(pub);
    char text[1000] = "";
    EXPECT_EQ(AddPublicKeyToFile(*original, pub.c_str(), text, sizeof text), 0);
    EXPECT_NE(std::string(text).find("already holds a newer or different copy"), std::string::npos) << text;
    EXPECT_EQ(qmtest::ReadFile(pub), before);
}

TEST_F(KeyRing, APrivateKeyGoesInWithItsPublicHalfAndBothLoad) {
    auto pair = MakePair("Own", "own@x.org", kNow + 1000);
    char error[1000] = "";
    ASSERT_EQ(AddPrivateKeyToFile(*pair, sec.c_str(), pub.c_str(), error, sizeof error), 1) << error;
    ASSERT_EQ(AddPrivateKeyToFile(*pair, sec.c_str(), pub.c_str(), error, sizeof error), 1) << error;
    PrivateKeySlots privates(corecrypt::kRingSlots);
    ASSERT_EQ(LoadPrivateKeyRing(privates, sec.c_str(), error, sizeof error), 1) << error;
    auto publics = LoadPublic(1);
    EXPECT_EQ(std::memcmp(privates[0]->GetKeyIDPbyte(), publics[0]->GetKeyIDPbyte(), 16), 0);
    corecrypt::LockedBytes secrets;
    std::string why;
    EXPECT_TRUE(privates[0]->Unlock("pass", secrets, why)) << why;
    // The private ring is the owner's alone.
    struct stat st {};
    ASSERT_EQ(::stat(sec.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The public ring is the wrong kind for the private loader.
    EXPECT_EQ(LoadPrivateKeyRing(privates, pub.c_str(), error, sizeof error), -1);
    EXPECT_NE(std::string(error).find("the other kind"), std::string::npos) << error;
}

TEST_F(KeyRing, ChangedPassphraseAndLocalStateAreWrittenAtTheKeysPosition) {
    auto pair = MakePair("Own", "own@x.org");
    char error[1000] = "";
    ASSERT_EQ(AddPrivateKeyToFile(*pair, sec.c_str(), pub.c_str(), error, sizeof error), 1) << error;
    PrivateKeySlots privates(corecrypt::kRingSlots);
    ASSERT_EQ(LoadPrivateKeyRing(privates, sec.c_str(), error, sizeof error), 1);
    std::string why;
    ASSERT_TRUE(privates[0]->ChangePassphrase("pass", "fresh", why)) << why;
    ASSERT_EQ(ReplaceKeyInFile(*privates[0], sec.c_str(), error, sizeof error), 1) << error;
    ASSERT_EQ(LoadPrivateKeyRing(privates, sec.c_str(), error, sizeof error), 1);
    corecrypt::LockedBytes secrets;
    EXPECT_TRUE(privates[0]->Unlock("fresh", secrets, why)) << why;

    auto publics = LoadPublic(1);
    publics[0]->m_nStatus = corecrypt::kStatusSynchronized;
    publics[0]->m_bExpired = 1;
    ASSERT_EQ(SetKeyState(*publics[0], pub.c_str(), error, sizeof error), 1) << error;
    publics = LoadPublic(1);
    EXPECT_EQ(publics[0]->m_nStatus, corecrypt::kStatusSynchronized);
    EXPECT_EQ(publics[0]->m_bExpired, 1);
    EXPECT_EQ(publics[0]->m_bRevoked, 0);
    // Storing a copy gives it a position of its own; the old copy goes by its position.
    StoreKeyInFile(*publics[0], pub.c_str(), 3);
    publics = LoadPublic(2);
    EXPECT_EQ(publics[1]->m_nRingPos, 1u);
    EXPECT_EQ(publics[1]->m_nStatus, corecrypt::kStatusSynchronized);
    ASSERT_EQ(DeletePublicKey(0, publics[0]->GetKeyIDPbyte(), pub.c_str(), error, sizeof error), 1);
    LoadPublic(1);
    EXPECT_THROW(StoreKeyInFile(*publics[0], "", 3), CQMException);
}

TEST_F(KeyRing, ADamagedRingIsRefusedWithAReasonAndChangesNothing) {
    Add(*MakePublic("A", "a@x.org"));
    Add(*MakePublic("B", "b@x.org"));
    const std::string good = qmtest::ReadFile(pub);
    char error[2000] = "";
    PublicKeySlots slots(corecrypt::kRingSlots);
    auto loadFails = [&](const std::string& bytes, const std::string& reason) {
        qmtest::WriteFile(pub, bytes);
        EXPECT_EQ(LoadPublicKeyRing(slots, pub.c_str(), error, sizeof error), -1) << reason;
        EXPECT_NE(std::string(error).find(reason), std::string::npos) << error;
        EXPECT_FALSE(slots[0]);
        // A change refuses to work on it, and leaves it as it was.
        EXPECT_EQ(AddPublicKeyToFile(*MakePublic("C", "c@x.org"), pub.c_str(), error, sizeof error), 0);
        EXPECT_EQ(qmtest::ReadFile(pub), bytes);
    };
    std::string flipped = good;
    flipped[40] ^= 4;
    loadFails(flipped, "its checksum does not match");
    loadFails(good.substr(0, good.size() - 1), "its checksum does not match");
    loadFails(good.substr(0, 20), "too short");
    loadFails("QMKR\x09\x01" + std::string(50, '\0'), "unknown format version (9)");
    loadFails("not a ring at all", "not a public key ring");
    EXPECT_EQ(LoadPublicKeyRing(slots, "", error, sizeof error), -1);
}

TEST_F(KeyRing, AnOldRingRaisesCode61AndIsConvertedInPlaceWithABackup) {
    auto a = MakePublic("A", "a@x.org");
    auto b = MakePublic("B", "b@x.org");
    const std::string old = OldRing(corecrypt::RingKind::Public, {a->GetRecordBytes(), b->GetRecordBytes()});
    qmtest::WriteFile(pub, old);
    PublicKeySlots slots(corecrypt::kRingSlots);
    char error[2000] = "";
    try {
        LoadPublicKeyRing(slots, pub.c_str(), error, sizeof error);
        ADD_FAILURE() << "no exception";
    } catch (const CQMException& e) {
        EXPECT_EQ(e.GetCode(), 61);
    }
    std::string why;
    // The wrong kind converts nothing.
    EXPECT_FALSE(corecrypt::ConvertRing(pub, corecrypt::RingKind::Private, why));
    ASSERT_TRUE(corecrypt::ConvertRing(pub, corecrypt::RingKind::Public, why)) << why;
    EXPECT_EQ(qmtest::ReadFile(pub + ".v1.bak"), old);
    slots = LoadPublic(2);
    EXPECT_EQ(slots[1]->m_nRingPos, 1u);
    EXPECT_STREQ(slots[1]->GetEmail(), "b@x.org");
    // Converting again leaves the current ring alone.
    const std::string converted = qmtest::ReadFile(pub);
    ASSERT_TRUE(corecrypt::ConvertRing(pub, corecrypt::RingKind::Public, why)) << why;
    EXPECT_EQ(qmtest::ReadFile(pub), converted);

    // An old ring with a damaged record is not converted at all.
    std::string broken = a->GetRecordBytes();
    broken.resize(broken.size() - 3);
    const std::string bad = OldRing(corecrypt::RingKind::Public, {b->GetRecordBytes(), broken});
    qmtest::WriteFile(pub, bad);
    EXPECT_FALSE(corecrypt::ConvertRing(pub, corecrypt::RingKind::Public, why));
    EXPECT_EQ(qmtest::ReadFile(pub), bad);
}

TEST_F(KeyRing, ARingOfMoreThanTenThousandKeysLoadsWhole) {
    auto key = MakePublic("A", "a@x.org");
    corecrypt::RingContents ring;
    for (std::uint32_t i = 0; i < 10005; ++i)
        ring.entries.push_back({i, 0, 0, key->GetRecordBytes()});
    ring.nextPosition = 10005;
    std::string why;
    ASSERT_TRUE(corecrypt::WriteRing(pub, ring, why)) << why;
    auto slots = LoadPublic(10005);
    ASSERT_GE(slots.size(), 10006u);
    EXPECT_EQ(slots[10004]->m_nRingPos, 10004u);
    EXPECT_FALSE(slots[10005]);
}

TEST_F(KeyRing, TwoProcessesAddingAtOnceLoseNoKey) {
    constexpr int kEach = 15;
    std::vector<std::unique_ptr<CPublicKey>> keys;
    for (int i = 0; i < 2 * kEach; ++i)
        keys.push_back(MakePublic("K" + std::to_string(i), "k" + std::to_string(i) + "@x.org"));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            char error[1000];
            int failures = 0;
            for (int i = 0; i < kEach; ++i)
                failures += AddPublicKeyToFile(*keys[static_cast<std::size_t>(c * kEach + i)], pub.c_str(),
                                               error, sizeof error) == 1
                                ? 0
                                : 1;
            ::_exit(failures);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    LoadPublic(2 * kEach);
}
