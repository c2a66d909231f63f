#include "extractor/core/SfxFormat.h"
#include "extractor/core/SfxWriter.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace {

using namespace sfx;

const std::string kPassword = "correct horse";

std::string ReadError(const std::string& bytes, const std::string& password = kPassword) {
    MemorySource source(bytes.data(), bytes.size());
    SfxArchive archive;
    try {
        ReadDirectory(source, password, archive);
    } catch (const EException& e) {
        EXPECT_EQ(e.code(), 0);
        return e.what();
    }
    return {};
}

std::string DecodeAll(const std::string& bytes, std::string* error = nullptr) {
    MemorySource source(bytes.data(), bytes.size());
    SfxArchive archive;
    std::string out;
    try {
        ReadDirectory(source, kPassword, archive);
        ChunkDecoder decoder(kPassword);
        for (std::size_t e = 0; e < archive.count; ++e)
            decoder.Decode(source, archive.entries[e].dataOffset, archive.DataAreaSize(e),
                           [&](const std::uint8_t* p, std::size_t n) {
                               out.append(reinterpret_cast<const char*>(p), n);
                           });
    } catch (const EException& e) {
        if (error)
            *error = e.what();
    }
    return out;
}

// One enciphered chunk holding `stream` (any bytes, for damaged cases).
std::string RawChunk(const std::string& stream) {
    std::string enciphered(stream.size(), '\0');
    ApplyKeystream(MakeKeySchedule(kPassword), reinterpret_cast<const std::uint8_t*>(stream.data()),
                   reinterpret_cast<std::uint8_t*>(enciphered.data()), stream.size());
    std::string out;
    AppendU32(out, std::uint32_t(stream.size()));
    return out + enciphered;
}

std::string Compressed(const std::string& content) {
    std::string out(compressBound(content.size()), '\0');
    uLongf n = out.size();
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(content.data()),
             content.size());
    out.resize(n);
    return out;
}

// A file of `prefix`, one data area and a one-record directory.
std::string OneEntryFile(const std::string& prefix, const std::string& area, const std::string& name = "f") {
    SfxEntry entry;
    entry.name = name;
    entry.dataOffset = std::uint32_t(prefix.size());
    return prefix + area + EncodeRecord(entry) + EncodeTail(1, VerifyPassword(kPassword));
}

TEST(ReadDirectory, ReadsRecordsBackwardsWithTimesAndTailSize) {
    const std::string prefix = "#!stub program bytes";
    const std::string bytes = BuildArchive(
        kPassword,
        {{"first.txt", "one", 0x0102030405060708ull, 0x1112131415161718ull}, {"sub\\second.bin", "", 1, 2}},
        prefix);
    MemorySource source(bytes.data(), bytes.size());
    SfxArchive archive;
    ReadDirectory(source, kPassword, archive);
    ASSERT_EQ(archive.count, 2u);
    EXPECT_EQ(archive.entries[0].name, "first.txt");
    EXPECT_EQ(archive.entries[0].dataOffset, prefix.size());
    EXPECT_EQ(archive.entries[0].creationTime, 0x0102030405060708ull);
    EXPECT_EQ(archive.entries[0].lastWriteTime, 0x1112131415161718ull);
    EXPECT_EQ(archive.entries[1].name, "sub\\second.bin");
    EXPECT_EQ(archive.tailSize, 12u + (28 + 9) + (28 + 14));
    // The last area ends where the directory starts.
    EXPECT_EQ(archive.entries[1].dataOffset + archive.DataAreaSize(1), bytes.size() - archive.tailSize);
}

TEST(ReadDirectory, ChecksThePasswordBeforeTheCount) {
    const std::string empty = EncodeTail(0, VerifyPassword(kPassword));
    EXPECT_EQ(ReadError(empty, "wrong"), "Invalid password.");
    EXPECT_EQ(ReadError(empty), "No files to process.");
    const std::string one = BuildArchive(kPassword, {{"a", "x"}});
    EXPECT_EQ(ReadError(one, kPassword + "!"), "Invalid password.");
    EXPECT_EQ(ReadError(one), "");
}

TEST(ReadDirectory, AFileWithBytesAppendedOrCutOffIsDamagedWhateverThePassword) {
    // Times as real files have them: a record of zero words could pass for an empty archive's tail.
    const std::uint64_t t = 132593079671234567ull;
    const std::string good =
        BuildArchive(kPassword, {{"a", std::string(70000, 'a'), t, t}, {"b\\c", "x", t, t + 1}}, "stub");
    for (std::size_t extra = 1; extra <= 16; ++extra)
        for (const std::string& password : {kPassword, std::string("wrong")})
            EXPECT_EQ(ReadError(good + std::string(extra, char(extra)), password), "The archive is damaged.")
                << extra << " appended, " << password;
    for (std::size_t cut = 1; cut <= 16; ++cut)
        EXPECT_EQ(ReadError(good.substr(0, good.size() - cut), "wrong"), "The archive is damaged.") << cut;
    EXPECT_EQ(ReadError(good, "wrong"), "Invalid password.");
}

TEST(ReadDirectory, RejectsDirectoriesThatDoNotFitTheFile) {
    const CheckWords check = VerifyPassword(kPassword);
    EXPECT_EQ(ReadError("short"), "The archive is damaged.");
    // A count far beyond what the file can hold is refused before anything is allocated.
    EXPECT_EQ(ReadError(std::string(40, 'x') + EncodeTail(0xFFFFFFFF, check)), "The archive is damaged.");

    // A name length over 1000, zero, or running past the start of the file.
    for (std::uint32_t len : {1001u, 0u, 5000u}) {
        std::string bytes(2000, 'n');
        AppendU32(bytes, len);
        bytes += EncodeTail(1, check);
        EXPECT_EQ(ReadError(bytes), "The archive is damaged.") << len;
    }
    // A 1000-byte name is still fine.
    const std::string longName(1000, 'n');
    EXPECT_EQ(ReadError(OneEntryFile("", RawChunk(Compressed("")), longName)), "");
    // Two records where the file has room for one.
    EXPECT_EQ(ReadError(EncodeRecord(SfxEntry{"f", 0, 0, 0, 0}) + EncodeTail(2, check)),
              "The archive is damaged.");
}

TEST(ReadDirectory, RejectsDataOffsetsOutOfOrderOrInsideTheDirectory) {
    const CheckWords check = VerifyPassword(kPassword);
    const std::string area = RawChunk(Compressed("abc"));
    const auto file = [&](std::uint32_t o0, std::uint32_t o1) {
        return area + area + EncodeRecord(SfxEntry{"a", o0, 0, 0, 0}) +
               EncodeRecord(SfxEntry{"b", o1, 0, 0, 0}) + EncodeTail(2, check);
    };
    const auto n = std::uint32_t(area.size());
    EXPECT_EQ(ReadError(file(0, n)), "");
    EXPECT_EQ(ReadError(file(n, 0)), "The archive is damaged.");         // out of order
    EXPECT_EQ(ReadError(file(0, 2 * n + 1)), "The archive is damaged."); // inside the directory
    EXPECT_EQ(ReadError(file(0, 2)), "The archive is damaged.");         // an area too small for a length
}

TEST(ChunkDecoder, InflatesChunksInOrderAcrossEntries) {
    const std::string big = qmtest::PseudoRandomBytes(70000, 7) + std::string(130000, 'z');
    const std::string bytes =
        BuildArchive(kPassword, {{"big", big}, {"empty", ""}, {"exact", std::string(65536, 'e')}});
    std::string error;
    EXPECT_EQ(DecodeAll(bytes, &error), big + std::string(65536, 'e'));
    EXPECT_EQ(error, "");
}

TEST(ChunkDecoder, ReportsChunksThatDoNotAddUpOrDoNotInflate) {
    const std::string good = RawChunk(Compressed("hello"));
    std::string error;
    // Chunk lengths that do not meet the area size: too long, and a few bytes left over.
    std::string overrun = good;
    overrun[0] = char(overrun[0] + 1);
    DecodeAll(OneEntryFile("", overrun), &error);
    EXPECT_EQ(error, "The archive is damaged.");
    error.clear();
    DecodeAll(OneEntryFile("", good + "xy"), &error);
    EXPECT_EQ(error, "The archive is damaged.");

    // A stream cut short, one with bytes after its end, one that inflates past 65536 bytes, and
    // bytes that are no stream at all.
    const std::string stream = Compressed(std::string(1000, 'q'));
    for (const std::string& bad : {stream.substr(0, stream.size() - 3), stream + "tail",
                                   Compressed(std::string(65537, 'q')), std::string("not a zlib stream")}) {
        error.clear();
        EXPECT_EQ(DecodeAll(OneEntryFile("", RawChunk(bad)), &error), "");
        EXPECT_EQ(error, "The archive is damaged.");
    }
    // A stream of exactly 65536 bytes is fine.
    error.clear();
    EXPECT_EQ(DecodeAll(OneEntryFile("", RawChunk(Compressed(std::string(65536, 'q')))), &error).size(),
              65536u);
    EXPECT_EQ(error, "");
}

TEST(ChunkDecoder, ReportsAShortReadOfTheFile) {
    const std::string bytes = BuildArchive(kPassword, {{"a", qmtest::PseudoRandomBytes(5000, 3)}});
    MemorySource source(bytes.data(), bytes.size());
    SfxArchive archive;
    ReadDirectory(source, kPassword, archive);
    // The source ends before the area does (the file shrank after its directory was read).
    MemorySource cut(bytes.data(), 3000);
    ChunkDecoder decoder(kPassword);
    EXPECT_THROW(decoder.Decode(cut, archive.entries[0].dataOffset, archive.DataAreaSize(0),
                                [](const std::uint8_t*, std::size_t) {}),
                 EException);
}

TEST(SfxWriter, RefusesWhatTheReaderCouldNotRead) {
    std::string sink;
    auto put = [&](const void* p, std::size_t n) { sink.append(static_cast<const char*>(p), n); };
    EXPECT_THROW(SfxWriter(std::string(1024, 'p'), 0, put), std::runtime_error);
    SfxWriter writer(kPassword, 0, put);
    EXPECT_THROW(writer.AddEntry(std::string(1001, 'n'), 0, 0, std::string_view("x")), std::runtime_error);
    EXPECT_THROW(writer.AddEntry("", 0, 0, std::string_view("x")), std::runtime_error);
    // Near 2 GiB the writer stops rather than write offsets the extractor would misread.
    SfxWriter late(kPassword, 0x7FFFFFF0ull, put);
    EXPECT_THROW(late.AddEntry("a", 0, 0, qmtest::PseudoRandomBytes(100, 1)), std::runtime_error);
}

} // namespace
