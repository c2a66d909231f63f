// Encrypted files: round trips for every algorithm and mode, the stored name, size and times,
// and refusal of every kind of damage with nothing written.
#include "corecrypt/EncryptedFile.h"
#include "TestSupport.h"
#include "corecrypt/FileFormat.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/StreamIo.h"
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using qmtest::ReadFile;
using qmtest::WriteFile;

constexpr std::size_t kChunk = std::size_t{1} << corecrypt::kChunkLog2;
constexpr std::size_t kRecord = kChunk + corecrypt::kTagSize;

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class EncryptedFile : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_dir = qmtest::MakeTempDir("enc");
        m_out = qmtest::MakeTempDir("out");
        m_key = m_dir + "/k.qmk";
        char error[512];
        ASSERT_NE(CreateKeyFile(m_key.c_str(), error, 512), 0) << error;
    }
    void TearDown() override {
        corecrypt::SetKdfCostForTesting(std::nullopt);
        platform::AtomicFile::FailAfterBytesForTesting(-1);
    }

    std::string Encrypt(const std::string& source, const std::string& secret, bool keyFile, int code,
                        bool compress = false) {
        const std::string dest = source + ".qmp";
        char error[512] = "";
        EXPECT_NE(EncryptFileTo(source.c_str(), dest.c_str(), secret.c_str(), keyFile ? 1 : 0, code,
                                compress ? 1 : 0, error, 512, 0, 0),
                  0)
            << "code " << code << ": " << error;
        return dest;
    }

    // Decrypts into the output folder; the error text, empty on success.
    std::string Decrypt(const std::string& encrypted, const std::string& secret, bool overwrite = false,
                        bool restoreTimes = false, const std::string& destination = {}) {
        char error[512] = "";
        const std::string dest = destination.empty() ? m_out : destination;
        if (DecryptFileTo(encrypted.c_str(), dest.c_str(), secret.c_str(), overwrite ? 1 : 0,
                          restoreTimes ? 1 : 0, error, 512) != 0)
            return {};
        EXPECT_NE(error[0], '\0') << "failure without a reason";
        return error;
    }

    // A changed copy of `encrypted` must be refused with nothing left in the output folder.
    void ExpectRefused(const std::string& encrypted, const std::string& bytes, const std::string& secret,
                       const std::string& what) {
        const std::string bad = m_dir + "/bad.qmp";
        WriteFile(bad, bytes);
        const std::string error = Decrypt(bad, secret);
        EXPECT_FALSE(error.empty()) << what << " was accepted";
        EXPECT_TRUE(Entries(m_out).empty()) << what << " left a file behind";
        (void)encrypted;
    }

    std::string m_dir, m_out, m_key;
};

TEST_F(EncryptedFile, EveryAlgorithmAndModeRoundTripsWithPasswordAndWithKeyFile) {
    // Two full chunks and a part: the cipher runs across chunk borders and pads the last one.
    const std::string plain = qmtest::PseudoRandomBytes(2 * kChunk + 1234, 7);
    const std::string source = m_dir + "/data.bin";
    WriteFile(source, plain);
    for (int code = 1; code <= 40; ++code) {
        for (bool keyFile : {false, true}) {
            const std::string secret = keyFile ? m_key : "pw " + std::to_string(code);
            const std::string encrypted = Encrypt(source, secret, keyFile, code);
            const std::string bytes = ReadFile(encrypted);
            ASSERT_GT(bytes.size(), 96u);
            EXPECT_EQ(bytes[0], 41);
            EXPECT_EQ(bytes[9] & 1, keyFile ? 1 : 0);
            EXPECT_EQ(static_cast<unsigned char>(bytes[10]), code);
            EXPECT_EQ(bytes.find(plain.substr(5000, 64)), std::string::npos) << code;
            ASSERT_EQ(Decrypt(encrypted, secret), "") << "code " << code << " key file " << keyFile;
            EXPECT_EQ(ReadFile(m_out + "/data.bin"), plain) << code;
            ::unlink((m_out + "/data.bin").c_str());
        }
    }
}

TEST_F(EncryptedFile, KeyFileHeaderCarriesTheKeyIdWhereTheKeyStoreReadsIt) {
    const std::string source = m_dir + "/a.txt";
    WriteFile(source, "hello");
    const std::string bytes = ReadFile(Encrypt(source, m_key, true, 0));
    EXPECT_EQ(bytes.substr(27, 16), ReadFile(m_key).substr(0, 16));
    EXPECT_EQ(bytes[10], corecrypt::kDefaultAlgorithmMode); // 0 stands for AES/CBC
}

TEST_F(EncryptedFile, SizesAtChunkBordersAndEmptyFilesRoundTripInStreamAndBlockModes) {
    // The stream is the 41-byte file record ("s.bin") and the bytes. Chunks go to the workers eight
    // at a time: 8 * kChunk - 42 ends the stream with a full padded record that closes a batch,
    // 8 * kChunk - 41 with an empty last chunk that opens the next one.
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, kChunk - 40, kChunk - 36, kChunk, kChunk + 1,
                             2 * kChunk, 8 * kChunk - 42, 8 * kChunk - 41, 16 * kChunk + 5}) {
        for (int code : {2, 3, 5, 36}) {
            const std::string plain = qmtest::PseudoRandomBytes(size, static_cast<std::uint32_t>(size));
            const std::string source = m_dir + "/s.bin";
            WriteFile(source, plain);
            ASSERT_EQ(Decrypt(Encrypt(source, "pw", false, code), "pw"), "") << size << " " << code;
            EXPECT_EQ(ReadFile(m_out + "/s.bin"), plain) << size << " " << code;
            ::unlink((m_out + "/s.bin").c_str());
        }
    }
}

TEST_F(EncryptedFile, ManyChunksPassThroughTheWorkersInOrder) {
    // More chunks than the pipeline has buffers, so buffers are reused while workers run.
    const std::string plain = qmtest::PseudoRandomBytes(23 * kChunk + 77, 5);
    const std::string source = m_dir + "/many.bin";
    WriteFile(source, plain);
    for (int code : {2, 32, 33}) {
        const std::string encrypted = Encrypt(source, m_key, true, code);
        ASSERT_EQ(Decrypt(encrypted, m_key), "") << code;
        EXPECT_EQ(ReadFile(m_out + "/many.bin"), plain) << code;
        ::unlink((m_out + "/many.bin").c_str());
    }
    // Chunks with equal plaintext still encipher differently: every chunk has its own IV.
    const std::string zeros(4 * kChunk, '\0');
    WriteFile(source, zeros);
    const std::string bytes = ReadFile(Encrypt(source, m_key, true, 2));
    EXPECT_NE(bytes.substr(96 + kRecord, 64), bytes.substr(96 + 2 * kRecord, 64));
}

TEST_F(EncryptedFile, CompressionShrinksTextAndRoundTrips) {
    std::string plain;
    for (int i = 0; i < 20000; ++i)
        plain += "line " + std::to_string(i % 97) + " of a very repetitive text\n";
    const std::string source = m_dir + "/t.txt";
    WriteFile(source, plain);
    const std::string encrypted = Encrypt(source, m_key, true, 30, true);
    EXPECT_LT(ReadFile(encrypted).size(), plain.size() / 5);
    ASSERT_EQ(Decrypt(encrypted, m_key), "");
    EXPECT_EQ(ReadFile(m_out + "/t.txt"), plain);
}

TEST_F(EncryptedFile, StoredNameAndTimesAreRestoredWhenAsked) {
    const std::string source = m_dir + "/report 2024.txt";
    WriteFile(source, "content");
    const timespec times[2] = {{1000000000, 5}, {1200000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    const std::string encrypted = Encrypt(source, "pw", false, 0);
    const std::string renamed = m_dir + "/renamed.qmp";
    ASSERT_EQ(::rename(encrypted.c_str(), renamed.c_str()), 0);

    ASSERT_EQ(Decrypt(renamed, "pw", false, true), "");
    struct stat st {};
    ASSERT_EQ(::stat((m_out + "/report 2024.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // plaintext stays private

    // Without the option the file gets the time of its writing.
    const std::string other = qmtest::MakeTempDir("other");
    ASSERT_EQ(Decrypt(renamed, "pw", false, false, other), "");
    ASSERT_EQ(::stat((other + "/report 2024.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1200000000);

    // A file path as destination takes that name instead.
    ASSERT_EQ(Decrypt(renamed, "pw", false, false, other + "/chosen.txt"), "");
    EXPECT_EQ(ReadFile(other + "/chosen.txt"), "content");
}

TEST_F(EncryptedFile, AnExistingOutputIsKeptUnlessOverwriteIsGiven) {
    const std::string source = m_dir + "/x.txt";
    WriteFile(source, "new");
    const std::string encrypted = Encrypt(source, "pw", false, 0);
    WriteFile(m_out + "/x.txt", "old");
    EXPECT_EQ(Decrypt(encrypted, "pw"), "The file " + m_out + "/x.txt already exists.");
    EXPECT_EQ(ReadFile(m_out + "/x.txt"), "old");
    EXPECT_EQ(Entries(m_out), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(Decrypt(encrypted, "pw", true), "");
    EXPECT_EQ(ReadFile(m_out + "/x.txt"), "new");
}

TEST_F(EncryptedFile, NamesUpToTheLimitEncryptAndDecryptInPlaceAndOver) {
    // The encrypted file's name, ".qmp" included, takes all 255 bytes.
    const std::string name(251, 'r');
    WriteFile(m_dir + "/" + name, "long name");
    const std::string encrypted = Encrypt(m_dir + "/" + name, "pw", false, 0);
    EXPECT_EQ(Decrypt(encrypted, "pw"), "");
    EXPECT_EQ(Decrypt(encrypted, "pw", true), "");
    EXPECT_EQ(ReadFile(m_out + "/" + name), "long name");
    EXPECT_EQ(Entries(m_out), std::vector<std::string>{name});
    // Encrypting again replaces the encrypted file.
    EXPECT_EQ(Encrypt(m_dir + "/" + name, "pw", false, 0), encrypted);
    EXPECT_EQ(Entries(m_dir).size(), 3u); // the key file, the source, the encrypted file
}

TEST_F(EncryptedFile, AnEncryptedFileReachedThroughALinkIsReplacedWhereItPointsToButPlaintextNeverIs) {
    const std::string source = m_dir + "/doc.txt";
    WriteFile(source, "contents");
    const std::string real = m_out + "/doc.txt.qmp";
    WriteFile(real, "older");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), (source + ".qmp").c_str()), 0);
    Encrypt(source, "pw", false, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((source + ".qmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Decrypted bytes replace a link at their name rather than write into what it points to.
    const std::string plainDir = qmtest::MakeTempDir("plain");
    ASSERT_EQ(::symlink(source.c_str(), (plainDir + "/doc.txt").c_str()), 0);
    EXPECT_EQ(Decrypt(real, "pw", true, false, plainDir), "");
    ASSERT_EQ(::lstat((plainDir + "/doc.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(plainDir + "/doc.txt"), "contents");
    EXPECT_EQ(ReadFile(source), "contents");
}

TEST_F(EncryptedFile, WrongPasswordAndWrongKeyFileAreRefusedWithClearTextsAndNothingWritten) {
    const std::string source = m_dir + "/s.txt";
    WriteFile(source, "secret");
    const std::string byPassword = Encrypt(source, "right", false, 0);
    EXPECT_EQ(Decrypt(byPassword, "wrong"), "Wrong password, or the file " + byPassword + " is damaged.");

    const std::string byKey = Encrypt(source, m_key, true, 0);
    char error[512];
    const std::string otherKey = m_dir + "/other.qmk";
    ASSERT_NE(CreateKeyFile(otherKey.c_str(), error, 512), 0);
    EXPECT_EQ(Decrypt(byKey, otherKey),
              "The key file does not open " + byKey + " (it was encrypted for another key).");
    // Same key ID, other key material: the header MAC catches it.
    std::string forged = ReadFile(otherKey);
    forged.replace(0, 16, ReadFile(m_key).substr(0, 16));
    WriteFile(otherKey, forged);
    EXPECT_EQ(Decrypt(byKey, otherKey), "Wrong key file, or the file " + byKey + " is damaged.");
    EXPECT_EQ(Decrypt(byKey, "a password"),
              "The file " + byKey + " was encrypted with a key file; no key file was given.");
    EXPECT_TRUE(Entries(m_out).empty());
}

TEST_F(EncryptedFile, EveryKindOfDamageIsRefusedAndLeavesNothingBehind) {
    const std::string source = m_dir + "/d.bin";
    WriteFile(source, qmtest::PseudoRandomBytes(3 * kChunk + 500, 3));
    for (bool keyFile : {false, true}) {
        const std::string secret = keyFile ? m_key : "pw";
        const std::string encrypted = Encrypt(source, secret, keyFile, 2);
        const std::string good = ReadFile(encrypted);
        // The file record (36 bytes and the name) and 500 bytes, padded to 544, end the stream.
        ASSERT_EQ(good.size(), 96 + 3 * kRecord + 544 + 16);

        for (std::size_t at : {1, 9, 10, 11, 30, 45, 50, 62, 70, 95}) {
            std::string bad = good;
            bad[at] ^= 0x01;
            ExpectRefused(encrypted, bad, secret, "header bit at " + std::to_string(at));
        }
        for (std::size_t at : {std::size_t{96 + 10}, 96 + kRecord + 7, 96 + 3 * kRecord + 3}) {
            std::string bad = good;
            bad[at] ^= 0x80;
            ExpectRefused(encrypted, bad, secret, "chunk bit at " + std::to_string(at));
        }
        for (std::size_t at : {96 + kChunk, 96 + 2 * kRecord - 1, good.size() - 1}) {
            std::string bad = good;
            bad[at] ^= 0x01;
            ExpectRefused(encrypted, bad, secret, "tag bit at " + std::to_string(at));
        }
        for (std::size_t size : {std::size_t{0}, std::size_t{50}, std::size_t{96}, std::size_t{96 + 10},
                                 96 + kRecord, 96 + 2 * kRecord, 96 + 3 * kRecord, good.size() - 1})
            ExpectRefused(encrypted, good.substr(0, size), secret, "cut at " + std::to_string(size));

        std::string swapped = good;
        swapped.replace(96 + kRecord, kRecord, good.substr(96 + 2 * kRecord, kRecord));
        swapped.replace(96 + 2 * kRecord, kRecord, good.substr(96 + kRecord, kRecord));
        ExpectRefused(encrypted, swapped, secret, "swapped chunks");
        ExpectRefused(encrypted, good + good.substr(96 + kRecord, kRecord), secret, "appended chunk");
        ExpectRefused(encrypted, good + "x", secret, "appended byte");
        // A chunk copied from another file made with the same key.
        const std::string other = ReadFile(Encrypt(source, secret, keyFile, 2));
        std::string mixed = good;
        mixed.replace(96 + kRecord, kRecord, other.substr(96 + kRecord, kRecord));
        ExpectRefused(encrypted, mixed, secret, "chunk from another file");

        ASSERT_EQ(Decrypt(encrypted, secret), "");
        ::unlink((m_out + "/d.bin").c_str());
    }
}

TEST_F(EncryptedFile, ForeignAndHostileHeadersGiveClearErrors) {
    const std::string path = m_dir + "/f.qmp";
    WriteFile(path, std::string("\x28", 1) + std::string(200, 'a'));
    EXPECT_EQ(Decrypt(path, "pw"), path + ": Wrong version of file header.");
    WriteFile(path, "");
    EXPECT_EQ(Decrypt(path, "pw"), path + ": The file is empty.");

    const std::string source = m_dir + "/s.txt";
    WriteFile(source, "x");
    std::string bytes = ReadFile(Encrypt(source, "pw", false, 0));
    bytes[43] = 28; // N = 2^28
    WriteFile(path, bytes);
    EXPECT_EQ(Decrypt(path, "pw"),
              path + ": The key-derivation parameters ask for more memory or time than allowed.");
    bytes = ReadFile(source + ".qmp");
    bytes[10] = 41;
    WriteFile(path, bytes);
    EXPECT_EQ(Decrypt(path, "pw"), path + ": The file header is damaged.");
    EXPECT_TRUE(Entries(m_out).empty());
}

TEST_F(EncryptedFile, AFailingDiskLeavesNoOutputAndKeepsTheOldFile) {
    const std::string source = m_dir + "/big.bin";
    const std::string plain = qmtest::PseudoRandomBytes(3 * kChunk, 9);
    WriteFile(source, plain);
    const std::string encrypted = Encrypt(source, m_key, true, 0);
    const std::string good = ReadFile(encrypted);

    for (long long after : {0LL, 50LL, 100000LL}) {
        platform::AtomicFile::FailAfterBytesForTesting(after);
        char error[512] = "";
        EXPECT_EQ(EncryptFileTo(source.c_str(), encrypted.c_str(), m_key.c_str(), 1, 0, 0, error, 512, 0, 0),
                  0);
        EXPECT_NE(std::string(error).find("No space left on device"), std::string::npos) << error;
        platform::AtomicFile::FailAfterBytesForTesting(-1);
        EXPECT_EQ(ReadFile(encrypted), good); // the previous encrypted file is intact
        EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"big.bin", "big.bin.qmp", "k.qmk"}));

        platform::AtomicFile::FailAfterBytesForTesting(after);
        EXPECT_NE(Decrypt(encrypted, m_key).find("No space left on device"), std::string::npos);
        platform::AtomicFile::FailAfterBytesForTesting(-1);
        EXPECT_TRUE(Entries(m_out).empty());
    }
}

TEST_F(EncryptedFile, BadArgumentsAreRefused) {
    const std::string source = m_dir + "/s.txt";
    WriteFile(source, "x");
    char error[512];
    EXPECT_EQ(EncryptFileTo(source.c_str(), (source + ".qmp").c_str(), "pw", 0, 41, 0, error, 512, 0, 0), 0);
    EXPECT_STREQ(error, "Unknown algorithm-mode code 41.");
    EXPECT_EQ(
        EncryptFileTo((m_dir + "/none").c_str(), (source + ".qmp").c_str(), "pw", 0, 0, 0, error, 512, 0, 0),
        0);
    EXPECT_EQ(EncryptFileTo(m_dir.c_str(), (source + ".qmp").c_str(), "pw", 0, 0, 0, error, 512, 0, 0), 0);
    EXPECT_EQ(EncryptFileTo(source.c_str(), nullptr, "pw", 0, 0, 0, error, 512, 0, 0), 0);
    EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"k.qmk", "s.txt"}));
}

TEST_F(EncryptedFile, AFifoIsRefusedAtOnceInsteadOfWaitingForAWriter) {
    const std::string fifo = m_dir + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    char error[512] = "";
    EXPECT_EQ(EncryptFileTo(fifo.c_str(), (fifo + ".qmp").c_str(), "pw", 0, 0, 0, error, 512, 0, 0), 0);
    EXPECT_NE(std::string(error).find("not a regular file"), std::string::npos) << error;
    EXPECT_NE(Decrypt(fifo, "pw").find("not a regular file"), std::string::npos);
    // Nor does a FIFO named as the key file hold anything up.
    const std::string source = m_dir + "/s.txt";
    WriteFile(source, "x");
    EXPECT_EQ(
        EncryptFileTo(source.c_str(), (source + ".qmp").c_str(), fifo.c_str(), 1, 0, 0, error, 512, 0, 0), 0);
    EXPECT_NE(std::string(error).find("not a regular file"), std::string::npos) << error;
    ::unlink(source.c_str());
    EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"k.qmk", "pipe"}));
}

} // namespace

namespace {

// The read-back check: a file is encrypted, its copy decrypted again under the same keys and
// compared with the source, so a task may wipe the source only after that.
TEST_F(EncryptedFile, AVerifiedCopyReadsBackAndTellsWhichFileWasRead) {
    for (const bool compress : {false, true}) {
        const std::string source = m_dir + "/v.bin";
        const std::string bytes = qmtest::PseudoRandomBytes(3 * kChunk + 17, 5);
        WriteFile(source, bytes);
        platform::FileSnapshot read;
        std::string error;
        ASSERT_TRUE(
            corecrypt::EncryptFileVerified(source, source + ".qmp", m_key, true, 31, compress, &read, error))
            << error;
        platform::FileSnapshot now;
        ASSERT_TRUE(platform::TakeSnapshot(source, now));
        EXPECT_EQ(read, now);
        EXPECT_EQ(read.size, bytes.size());
        std::string written;
        ASSERT_TRUE(corecrypt::DecryptFile(source + ".qmp", m_out + "/", m_key, true, false, &written, error))
            << error;
        EXPECT_TRUE(ReadFile(written) == bytes);
    }
    // An empty file verifies too; a missing one and a folder fail with a reason.
    WriteFile(m_dir + "/empty", "");
    std::string error;
    EXPECT_TRUE(corecrypt::EncryptFileVerified(m_dir + "/empty", m_dir + "/empty.qmp", "pw", false, 0, false,
                                               nullptr, error))
        << error;
    EXPECT_FALSE(corecrypt::EncryptFileVerified(m_dir + "/none", m_dir + "/none.qmp", m_key, true, 0, false,
                                                nullptr, error));
    EXPECT_FALSE(
        corecrypt::EncryptFileVerified(m_dir, m_dir + "/dir.qmp", m_key, true, 0, false, nullptr, error));
}

TEST_F(EncryptedFile, TheComparisonRefusesEveryDifferenceFromTheSource) {
    const std::string source = m_dir + "/s.txt";
    WriteFile(source, "abcdef");
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto bytes = [](const char* text) { return reinterpret_cast<const std::uint8_t*>(text); };
    corecrypt::FileMetadata meta;
    meta.size = 6;
    std::string error;
    {
        corecrypt::SourceComparison same(fd, 6, source);
        EXPECT_TRUE(same.Begin(meta, error));
        EXPECT_TRUE(same.Write(bytes("abc"), 3, error));
        EXPECT_FALSE(same.Complete(error)) << "half the file is no proof";
        EXPECT_TRUE(same.Write(bytes("def"), 3, error));
        EXPECT_TRUE(same.Complete(error)) << error;
        EXPECT_FALSE(same.Write(bytes("g"), 1, error)) << "bytes past the source's end";
    }
    {
        corecrypt::SourceComparison changed(fd, 6, source);
        EXPECT_TRUE(changed.Begin(meta, error));
        EXPECT_FALSE(changed.Write(bytes("abX"), 3, error));
        EXPECT_NE(error.find("does not read back"), std::string::npos) << error;
    }
    {
        corecrypt::SourceComparison shorter(fd, 6, source);
        meta.size = 5;
        EXPECT_FALSE(shorter.Begin(meta, error));
    }
    {
        // The file shrank after it was encrypted: reading it again fails.
        corecrypt::SourceComparison shrunk(fd, 6, source);
        meta.size = 6;
        ASSERT_EQ(::truncate(source.c_str(), 2), 0);
        EXPECT_TRUE(shrunk.Begin(meta, error));
        EXPECT_FALSE(shrunk.Write(bytes("abcdef"), 6, error));
    }
    ::close(fd);
}

} // namespace
