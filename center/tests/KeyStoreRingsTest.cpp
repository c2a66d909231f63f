// The key store's rings: loading, derived statuses, finding by ID, deleting single keys and pairs
// with the exact questions, and the messages of loading failures.
#include "StoreFixture.h"
#include "center/core/ListRows.h"
#include "corecrypt/KeyRing.h"
#include "platform/Clock.h"

#include <cstring>

using center::CKeyManager;

namespace {

using storetest::Rings;

const char kPairQuestion[] =
    "This public key is your own and has a private key associated with it. If you delete this key pair you "
    "will not be able to decrypt data encrypted with it.\nClick \"Yes\" to proceed or \"No\" to cancel.";
const char kSingleQuestion[] =
    "If you delete this public key, you will not be able to send encrypted data to "
    "the key's owner.\nClick \"Yes\" to proceed or \"No\" to cancel.";

} // namespace

TEST_F(Rings, ReloadLoadsBothRingsAndDerivesOwnAndExpired) {
    const std::string own = AddPair("own");
    const std::string other = AddPublic("other");
    const std::string old = AddPublic("old", platform::Now() - 10);
    CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    EXPECT_EQ(s.GetPubKeys().size(), 3u);
    EXPECT_EQ(s.GetPrivKeys().size(), 1u);
    EXPECT_EQ(s.FindPubKey(Bytes(own))->m_nStatus, corecrypt::kStatusOwn);
    EXPECT_EQ(s.FindPubKey(Bytes(other))->m_nStatus, corecrypt::kStatusNotSynchronized);
    EXPECT_EQ(s.FindPubKey(Bytes(old))->m_nStatus, corecrypt::kStatusExpired);
    EXPECT_TRUE(s.FindPrivKey(Bytes(own)));
    EXPECT_FALSE(s.FindPrivKey(Bytes(other)));
    // A key whose ID differs only in its last byte is another key.
    std::string near = own;
    near[15] = static_cast<char>(near[15] ^ 1);
    EXPECT_FALSE(s.FindPubKey(Bytes(near)));
    // The maps are keyed by ring position.
    for (const auto& [position, key] : s.GetPubKeys())
        EXPECT_EQ(position, key->m_nRingPos);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Rings, DeletingAPublicKeyAsksAndDeletesOnlyOnYes) {
    AddPair("own");
    const std::string other = AddPublic("other");
    CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    const std::uint32_t position = s.FindPubKey(Bytes(other))->m_nRingPos;

    shared.nNavigationKind = 1;
    ui.queueAnswer(uikit::Answer::No);
    EXPECT_EQ(s.DeleteKey(position), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, kSingleQuestion);
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].buttons, uikit::Buttons::YesNo);
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Question);
    EXPECT_TRUE(s.FindPubKey(Bytes(other)));

    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_EQ(s.DeleteKey(position), 1);
    EXPECT_FALSE(s.FindPubKey(Bytes(other)));
    EXPECT_EQ(s.GetPubKeys().size(), 1u);
    EXPECT_EQ(s.GetPrivKeys().size(), 1u);
}

TEST_F(Rings, DeletingOneHalfOfAPairDeletesThePairAfterThePairQuestion) {
    const std::string own = AddPair("own");
    AddPair("keep");
    CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    shared.nNavigationKind = 2;
    ui.queueAnswer(uikit::Answer::Yes);
    EXPECT_EQ(s.DeleteKey(s.FindPrivKey(Bytes(own))->m_nRingPos), 1);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, kPairQuestion);
    EXPECT_FALSE(s.FindPrivKey(Bytes(own)));
    EXPECT_FALSE(s.FindPubKey(Bytes(own)));
    EXPECT_EQ(s.GetPubKeys().size(), 1u);
    EXPECT_EQ(s.GetPrivKeys().size(), 1u);
}

TEST_F(Rings, DeleteOutsideTheKeyKindsOrAtAnEmptyPositionDeletesNothing) {
    AddPair("own");
    CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    shared.nNavigationKind = 3;
    EXPECT_EQ(s.DeleteKey(s.GetPubKeys().begin()->first), 0);
    EXPECT_TRUE(ui.messages().empty());
    shared.nNavigationKind = 1;
    EXPECT_EQ(s.DeleteKey(777), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "KeyManager: unhandled error: #1");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::None);
    EXPECT_EQ(s.GetPubKeys().size(), 1u);
}

TEST_F(Rings, ADamagedRingIsReportedAndLeavesItsMapEmpty) {
    AddPair("own");
    qmtest::WriteFile(pubRing, "QMKR this is no ring");
    CKeyManager s(shared);
    EXPECT_FALSE(s.LoadPubKeys());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Warning);
    EXPECT_FALSE(ui.messages()[0].text.empty());
    EXPECT_TRUE(s.GetPubKeys().empty());
    EXPECT_TRUE(s.LoadPrivKeys());
    EXPECT_EQ(s.GetPrivKeys().size(), 1u);
    EXPECT_FALSE(s.ReloadKeys());
}

TEST_F(Rings, ARingFolderThatCannotBeMadeIsReportedAndAMissingRingIsMadeEmpty) {
    qmtest::WriteFile(dir + "/plainfile", "x");
    CQMRegistry().WriteString(encreg::szPubKeyFile, dir + "/plainfile/sub/pub.qkr");
    CKeyManager s(shared);
    EXPECT_FALSE(s.LoadPubKeys());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text.rfind("Cannot create directory for the public key file: ", 0), 0u);
    EXPECT_NE(
        ui.messages()[0].text.find("\nPlease check your \"Paths\" settings in the Encryption Preferences."),
        std::string::npos);
    EXPECT_EQ(ui.messages()[0].caption, "Error");

    ui.clear();
    CQMRegistry().WriteString(encreg::szPrivKeyFile, dir + "/new/folder/sec.qkr");
    EXPECT_TRUE(s.LoadPrivKeys());
    EXPECT_TRUE(qmtest::Exists(dir + "/new/folder/sec.qkr"));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Rings, KeyRowsShowStatusTextsIconsAndSortByNameEitherWay) {
    AddPublic("bob");
    const std::string own = AddPair("Carol");
    AddPublic("alice", platform::Now() + 86400 * 400);
    // A revoked own key: its revision goes into the public ring.
    std::string error;
    auto revoked = CPrivateKey::Generate("dave", "dave@example.org", platform::Now() - 100, 0, "pw", error);
    ASSERT_TRUE(revoked) << error;
    char text[1000] = "";
    ASSERT_TRUE(AddPrivateKeyToFile(*revoked, privRing.c_str(), pubRing.c_str(), text, sizeof text)) << text;
    ASSERT_TRUE(revoked->Revise("pw", 0, true, platform::Now(), error)) << error;
    ASSERT_TRUE(AddPublicKeyToFile(*revoked->GetPublicKey(), pubRing.c_str(), text, sizeof text)) << text;

    CKeyManager s(shared);
    ASSERT_TRUE(s.ReloadKeys());
    center::CAsymmKeyRows publics(s, false);
    publics.Fill();
    EXPECT_EQ(publics.Kind(), 1);
    ASSERT_EQ(publics.RowCount(), 4);
    EXPECT_EQ(publics.ColumnCount(), 6);
    EXPECT_TRUE(publics.ClickColumn(0));
    std::vector<std::string> names, sync, expires;
    std::vector<int> icons;
    for (int r = 0; r < 4; ++r) {
        names.push_back(publics.CellText(r, 0));
        sync.push_back(publics.CellText(r, 5));
        expires.push_back(publics.CellText(r, 3));
        icons.push_back(publics.Icon(r).nImage);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"alice", "bob", "Carol", "dave"}));
    EXPECT_EQ(sync, (std::vector<std::string>{"Not synchronized", "Not synchronized", "Own", "Revoked"}));
    EXPECT_EQ(icons, (std::vector<int>{0, 0, 1, 2}));
    EXPECT_NE(expires[0], "Not set");
    EXPECT_EQ(expires[1], "Not set");
    EXPECT_EQ(publics.CellText(1, 1), "bob@example.org");
    EXPECT_EQ(publics.CellText(1, 4), "256");
    EXPECT_FALSE(publics.ClickColumn(0));
    EXPECT_EQ(publics.CellText(0, 0), "dave");
    EXPECT_EQ(publics.CellText(3, 0), "alice");

    center::CAsymmKeyRows privates(s, true);
    privates.Fill();
    EXPECT_EQ(privates.Kind(), 2);
    EXPECT_EQ(privates.ColumnCount(), 5);
    ASSERT_EQ(privates.RowCount(), 2);
    EXPECT_EQ(privates.Icon(0).nImage, -1);
    EXPECT_EQ(privates.CellText(0, 3), "Not set");
    EXPECT_EQ(privates.CellText(0, 5), "");
}
