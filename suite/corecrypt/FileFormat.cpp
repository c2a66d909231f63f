#include "corecrypt/FileFormat.h"

#include "corecrypt/ChunkPipeline.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace corecrypt {
namespace {

constexpr char kMagic[4] = {'Q', 'M', 'P', 'F'};
constexpr char kArchiveMagic[4] = {'Q', 'M', 'P', 'A'};
constexpr std::uint8_t kRevision = 1;
constexpr std::uint8_t kMetadataRevision = 1;
constexpr std::size_t kMetadataFixed = 1 + 1 + 8 + 8 + 4 + 8 + 4 + 2;

void ChunkNonce(std::uint64_t index, bool final, std::uint8_t nonce[12]) {
    for (int i = 0; i < 8; ++i)
        nonce[i] = static_cast<std::uint8_t>(index >> (56 - 8 * i));
    nonce[8] = final ? 1 : 0;
    nonce[9] = nonce[10] = nonce[11] = 0;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// Reads until `size` bytes or the end; the count, or -1.
long ReadFull(ByteSource& in, std::uint8_t* buffer, std::size_t size, std::string& error) {
    std::size_t got = 0;
    while (got < size) {
        const long n = in.Read(buffer + got, size - got, error);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

bool ParseMetadata(const std::uint8_t* p, std::size_t size, FileMetadata& m, std::size_t& used, bool named) {
    if (size < kMetadataFixed || p[0] != kMetadataRevision || (p[1] & ~1u) != 0)
        return false;
    m.compressed = (p[1] & 1) != 0;
    m.size = GetLE(p + 2, 8);
    m.modified = static_cast<std::int64_t>(GetLE(p + 10, 8));
    m.modifiedNanos = static_cast<std::uint32_t>(GetLE(p + 18, 4));
    m.accessed = static_cast<std::int64_t>(GetLE(p + 22, 8));
    m.accessedNanos = static_cast<std::uint32_t>(GetLE(p + 30, 4));
    const std::size_t nameLength = GetLE(p + 34, 2);
    if (size - kMetadataFixed < nameLength || m.modifiedNanos >= 1000000000u ||
        m.accessedNanos >= 1000000000u || m.size > (std::uint64_t{1} << 62))
        return false;
    m.name.assign(reinterpret_cast<const char*>(p + kMetadataFixed), nameLength);
    used = kMetadataFixed + nameLength;
    return named ? ValidName(m.name) : m.name.empty();
}

// Passes the verified plain stream on: the file's bytes, inflated when compressed, never more
// than the stored size.
class BodyOutput {
public:
    BodyOutput(PlainSink& sink) : m_sink(sink) {}
    ~BodyOutput() {
        if (m_inflating)
            inflateEnd(&m_zs);
    }

    bool Begin(const FileMetadata& m, std::string& error) {
        m_meta = m;
        if (m.compressed) {
            std::memset(&m_zs, 0, sizeof m_zs);
            if (inflateInit(&m_zs) != Z_OK) {
                error = "Cannot start decompression.";
                return false;
            }
            m_inflating = true;
            m_out.CleanNew(1 << 16);
        }
        return m_sink.Begin(m, error);
    }

    bool Write(const std::uint8_t* data, std::size_t size, std::string& error) {
        if (!m_meta.compressed)
            return Deliver(data, size, error);
        m_zs.next_in = const_cast<std::uint8_t*>(data);
        m_zs.avail_in = static_cast<uInt>(size);
        while (m_zs.avail_in > 0) {
            if (m_ended) {
                error = "The compressed data is damaged (bytes after its end).";
                return false;
            }
            m_zs.next_out = m_out.data();
            m_zs.avail_out = static_cast<uInt>(m_out.size());
            const int rc = inflate(&m_zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                error = "The compressed data is damaged.";
                return false;
            }
            if (rc == Z_STREAM_END)
                m_ended = true;
            if (!Deliver(m_out.data(), m_out.size() - m_zs.avail_out, error))
                return false;
        }
        return true;
    }

    bool End(std::string& error) {
        if (m_meta.compressed && !m_ended) {
            error = "The compressed data is damaged (it ends early).";
            return false;
        }
        if (m_total != m_meta.size) {
            error = "The decrypted size does not match the stored size.";
            return false;
        }
        return true;
    }

private:
    bool Deliver(const std::uint8_t* data, std::size_t size, std::string& error) {
        if (size > m_meta.size - m_total) {
            error = "The decrypted data is longer than the stored size.";
            return false;
        }
        m_total += size;
        return size == 0 || m_sink.Write(data, size, error);
    }

    PlainSink& m_sink;
    FileMetadata m_meta;
    z_stream m_zs{};
    bool m_inflating = false;
    bool m_ended = false;
    SecureBytes m_out;
    std::uint64_t m_total = 0;
};

} // namespace

bool ParseFileHeader(const std::uint8_t* p, std::size_t size, FileHeader& h, int& errorCode,
                     std::string& error) {
    errorCode = 0;
    if (size < 1) {
        error = "The file is empty.";
        return false;
    }
    if (p[0] != kFileVersion) {
        errorCode = 53;
        error = "Wrong version of file header.";
        return false;
    }
    if (size < kHeaderSize) {
        error = "The file is truncated (incomplete header).";
        return false;
    }
    h.archive = std::memcmp(p + 1, kArchiveMagic, 4) == 0;
    if ((std::memcmp(p + 1, kMagic, 4) != 0 && !h.archive) || p[5] != kRevision) {
        error = "This is not an encrypted file of this format.";
        return false;
    }
    std::memcpy(h.bytes, p, kHeaderSize);
    h.keyFile = (p[9] & 1) != 0;
    h.code = p[10];
    h.cost = KdfCost{p[43], p[44], p[45]};
    const bool reservedClear = p[6] == 0 && p[7] == 0 && p[8] == 0 && (p[9] & ~1u) == 0 && p[63] == 0;
    if (!reservedClear || h.code < 1 || h.code > kAlgorithmCount * kModeCount || p[62] < 12 || p[62] > 20) {
        error = "The file header is damaged.";
        return false;
    }
    h.chunkSize = std::size_t{1} << p[62];
    if (!h.keyFile && !KdfCostAcceptable(h.cost, error))
        return false;
    return true;
}

bool ReadFileHeader(ByteSource& in, FileHeader& header, int& errorCode, std::string& error) {
    std::uint8_t bytes[kHeaderSize];
    const long got = ReadFull(in, bytes, kHeaderSize, error);
    errorCode = 0;
    if (got < 0)
        return false;
    return ParseFileHeader(bytes, static_cast<std::size_t>(got), header, errorCode, error);
}

bool DeriveMasterKey(const FileHeader& h, const OpeningKey& key, SecureBytes& master, std::string& error) {
    master.CleanNew(32);
    if (h.keyFile) {
        if (!key.haveKeyFile) {
            error = "This file needs a key file.";
            return false;
        }
        if (!DeriveHkdf(key.keySecret.data(), key.keySecret.size(), h.salt(), 16, "quillmark qmp key file",
                        master.data(), master.size(), error))
            return false;
    } else if (!DeriveScrypt(key.password, h.salt(), 16, h.cost, master.data(), master.size(), error)) {
        return false;
    }
    return true;
}

bool ExpandFileKeys(const SecureBytes& master, int code, const std::string& info, FileKeys& keys,
                    std::string& error) {
    const std::size_t cipherSize = ModeCipher::KeySize(code);
    SecureBytes all(cipherSize + 96);
    if (!DeriveHkdf(master.data(), master.size(), nullptr, 0, info, all.data(), all.size(), error))
        return false;
    keys.cipher.Assign(all.data(), cipherSize);
    keys.mac.Assign(all.data() + cipherSize, 32);
    keys.header.Assign(all.data() + cipherSize + 32, 32);
    keys.iv.Assign(all.data() + cipherSize + 64, 32);
    return true;
}

bool DeriveFileKeys(const FileHeader& h, const OpeningKey& key, FileKeys& keys, std::string& error,
                    SecureBytes* masterOut) {
    SecureBytes own;
    SecureBytes& master = masterOut ? *masterOut : own;
    return DeriveMasterKey(h, key, master, error) &&
           ExpandFileKeys(master, h.code, std::string("quillmark qmp keys ") + std::to_string(h.code), keys,
                          error);
}

bool HeaderMacMatches(const FileHeader& h, const FileKeys& keys, std::string& error) {
    std::uint8_t mac[32];
    if (!HmacSha256(keys.header.data(), keys.header.size(), h.bytes, kHeaderSignedSize, mac, error))
        return false;
    return EqualSecret(mac, h.bytes + kHeaderSignedSize, 32);
}

bool NewFileHeader(int code, const OpeningKey& key, FileHeader& h, FileKeys& keys, std::string& error,
                   bool archive, SecureBytes* master) {
    std::uint8_t* p = h.bytes;
    std::memset(p, 0, kHeaderSize);
    p[0] = kFileVersion;
    h.archive = archive;
    std::memcpy(p + 1, archive ? kArchiveMagic : kMagic, 4);
    p[5] = kRevision;
    h.keyFile = key.haveKeyFile;
    p[9] = h.keyFile ? 1 : 0;
    h.code = code;
    p[10] = static_cast<std::uint8_t>(code);
    if (!RandomBytes(p + 11, 16, error) || !RandomBytes(p + 46, 16, error))
        return false;
    if (h.keyFile) {
        std::memcpy(p + 27, key.keyId, kKeyIdSize);
    } else {
        h.cost = DefaultKdfCost();
        p[43] = h.cost.log2N;
        p[44] = h.cost.r;
        p[45] = h.cost.p;
    }
    p[62] = kChunkLog2;
    h.chunkSize = std::size_t{1} << kChunkLog2;
    return DeriveFileKeys(h, key, keys, error, master) &&
           HmacSha256(keys.header.data(), keys.header.size(), p, kHeaderSignedSize, p + kHeaderSignedSize,
                      error);
}

std::string EncodeMetadata(const FileMetadata& m) {
    std::string out;
    out.push_back(static_cast<char>(kMetadataRevision));
    out.push_back(m.compressed ? 1 : 0);
    PutLE(out, m.size, 8);
    PutLE(out, static_cast<std::uint64_t>(m.modified), 8);
    PutLE(out, m.modifiedNanos, 4);
    PutLE(out, static_cast<std::uint64_t>(m.accessed), 8);
    PutLE(out, m.accessedNanos, 4);
    const std::size_t n = std::min(m.name.size(), kMaxNameLength);
    PutLE(out, n, 2);
    out.append(m.name, 0, n);
    return out;
}

namespace {

using Job = ChunkPipeline::Job;

// Chunks per batch: a batch stays near half a MiB whatever chunk size a file names.
int BatchChunks(std::size_t chunkSize) {
    const std::size_t chunks = (std::size_t{1} << 19) / chunkSize;
    return static_cast<int>(std::clamp<std::size_t>(chunks, 1, ChunkPipeline::kBatch));
}

// One worker's cipher, MAC and IV generator: each worker thread keeps its own.
struct ChunkCrypto {
    std::unique_ptr<ModeCipher> cipher;
    ChunkMac mac;
    BlockPrf ivs;
    int code = 0;

    bool Init(const FileHeader& h, const FileKeys& keys, bool encrypt, std::string& error) {
        code = h.code;
        cipher = ModeCipher::Create(h.code, encrypt, keys.cipher.data(), h.iv(), error);
        return cipher && mac.SetKey(keys.mac.data(), error) && ivs.SetKey(keys.iv.data(), error);
    }

    // Chunk `index`'s own IV.
    bool ChunkIv(const FileHeader& h, std::uint64_t index, std::uint8_t iv[16], std::string& error) {
        std::uint8_t in[16];
        std::memcpy(in, h.iv(), 16);
        for (int i = 0; i < 8; ++i)
            in[8 + i] ^= static_cast<std::uint8_t>(index >> (56 - 8 * i));
        return ivs.Compute(in, iv, error);
    }

    // Runs the cipher over the batch's chunks in place, chunk i at data + i * stride with
    // job.sizes[i] bytes, each from its own IV; the full chunks side by side.
    bool Cipher(const FileHeader& h, Job& job, std::uint8_t* data, std::size_t stride) {
        std::uint8_t ivBytes[ChunkPipeline::kBatch][16];
        std::uint8_t* runs[ChunkPipeline::kBatch];
        const std::uint8_t* ivList[ChunkPipeline::kBatch];
        std::size_t full = 0;
        for (int i = 0; i < job.count; ++i) {
            std::uint8_t* chunk = data + static_cast<std::size_t>(i) * stride;
            std::uint8_t* iv = ivBytes[i];
            if (!ChunkIv(h, job.index + static_cast<std::uint64_t>(i), iv, job.error))
                return false;
            if (job.sizes[i] == h.chunkSize) {
                runs[full] = chunk;
                ivList[full++] = iv;
            } else if (!cipher->Restart(iv, job.error) ||
                       !cipher->Process(chunk, chunk, job.sizes[i], job.error)) {
                return false;
            }
        }
        return full == 0 || cipher->ProcessRuns(runs, ivList, full, h.chunkSize, job.error);
    }

    bool Tag(std::uint64_t index, bool final, const std::uint8_t* data, std::size_t size,
             std::uint8_t tag[16], std::string& error) {
        std::uint8_t nonce[12];
        ChunkNonce(index, final, nonce);
        return mac.Compute(nonce, data, size, tag, error);
    }
};

bool MakeWorkers(const FileHeader& h, const FileKeys& keys, bool encrypt,
                 std::vector<std::unique_ptr<ChunkCrypto>>& workers, std::string& error, int count = 0) {
    for (int i = 0; i < (count > 0 ? count : ChunkPipeline::WorkerCount()); ++i) {
        workers.push_back(std::make_unique<ChunkCrypto>());
        if (!workers.back()->Init(h, keys, encrypt, error))
            return false;
    }
    return true;
}

// Enciphers a batch and puts each chunk's tag right behind it: the records lie back to back.
bool EncryptBatch(ChunkCrypto& c, const FileHeader& h, Job& job, std::uint8_t* data) {
    const std::size_t stride = h.chunkSize + kTagSize;
    if (!c.Cipher(h, job, data, stride))
        return false;
    for (int i = 0; i < job.count; ++i) {
        std::uint8_t* chunk = data + static_cast<std::size_t>(i) * stride;
        const bool last = i == job.count - 1;
        if (!c.Tag(job.index + static_cast<std::uint64_t>(i), job.final && last, chunk, job.sizes[i],
                   chunk + job.sizes[i], job.error))
            return false;
    }
    return true;
}

// The bytes of a batch of records as they go to the file.
std::size_t BatchBytes(const Job& job, std::size_t stride) {
    return static_cast<std::size_t>(job.count - 1) * stride + job.sizes[job.count - 1] + kTagSize;
}

} // namespace

// The pipeline starts only once a stream fills its first chunk: a small stream (most files in
// an archive) is enciphered on the calling thread, without starting threads for it.
struct ChunkWriter::State {
    State(const FileKeys& k, ByteSink& o) : keys(k), out(o) {}
    const FileKeys& keys;
    ByteSink& out;
    SecureBytes first;
    std::vector<std::unique_ptr<ChunkCrypto>> workers;
    std::unique_ptr<ChunkPipeline> pipeline;
    int batch = 1;
    Job job; // the batch being filled: job.count chunks are full
};

ChunkWriter::ChunkWriter(const FileHeader& header, const FileKeys& keys, ByteSink& out)
    : m_header(header), m_state(std::make_unique<State>(keys, out)) {
    m_state->first.New(header.chunkSize + 16 + kTagSize);
    m_state->batch = BatchChunks(header.chunkSize);
    m_buffer = m_state->first.data();
}

ChunkWriter::~ChunkWriter() = default;

bool ChunkWriter::StartPipeline(std::string& error) {
    if (!MakeWorkers(m_header, m_state->keys, true, m_state->workers, error))
        return false;
    State* state = m_state.get();
    const FileHeader* h = &m_header;
    const std::size_t stride = m_header.chunkSize + kTagSize;
    auto work = [state, h](int worker, Job& job, std::uint8_t* data) {
        return EncryptBatch(*state->workers[static_cast<std::size_t>(worker)], *h, job, data);
    };
    auto consume = [state, stride](const Job& job, const std::uint8_t* data, std::string& consumeError) {
        return state->out.Write(data, BatchBytes(job, stride), consumeError);
    };
    // The last chunk of a stream may grow by a block of padding.
    m_state->pipeline = std::make_unique<ChunkPipeline>(
        static_cast<int>(m_state->workers.size()), static_cast<std::size_t>(m_state->batch) * stride + 16,
        work, consume);
    std::uint8_t* slot = m_state->pipeline->Acquire(m_slot, error);
    if (!slot)
        return false;
    std::memcpy(slot, m_state->first.data(), m_header.chunkSize);
    m_state->first.New(0);
    m_buffer = slot;
    return true;
}

bool ChunkWriter::Next(std::string& error) {
    m_fill = 0;
    m_state->job = Job{};
    m_buffer = m_state->pipeline->Acquire(m_slot, error);
    return m_buffer != nullptr;
}

std::uint8_t* ChunkWriter::Space(std::size_t& room, std::string& error) {
    if (!m_buffer) {
        error = m_setupError.empty() ? "The stream was already finished." : m_setupError;
        return nullptr;
    }
    room = m_header.chunkSize - m_fill;
    return m_buffer + static_cast<std::size_t>(m_state->job.count) * (m_header.chunkSize + kTagSize) + m_fill;
}

bool ChunkWriter::Commit(std::size_t size, std::string& error) {
    m_fill += size;
    if (m_fill < m_header.chunkSize)
        return true;
    if (!m_state->pipeline && !StartPipeline(error)) {
        m_buffer = nullptr;
        m_setupError = error;
        return false;
    }
    Job& job = m_state->job;
    job.sizes[job.count++] = m_fill;
    m_fill = 0;
    if (job.count < m_state->batch)
        return true;
    job.slot = m_slot;
    m_state->pipeline->Submit(job);
    return Next(error);
}

bool ChunkWriter::Add(const std::uint8_t* data, std::size_t size, std::string& error) {
    while (size > 0) {
        std::size_t room = 0;
        std::uint8_t* space = Space(room, error);
        if (!space)
            return false;
        const std::size_t n = std::min(size, room);
        std::memcpy(space, data, n);
        data += n;
        size -= n;
        if (!Commit(n, error))
            return false;
    }
    return true;
}

bool ChunkWriter::Finish(std::string& error) {
    std::size_t room = 0;
    std::uint8_t* free = Space(room, error);
    if (!free)
        return false;
    std::uint8_t* last = free - m_fill;
    std::size_t size = m_fill;
    if (ModeCipher::NeedsPadding(m_header.code)) {
        const std::size_t block = ModeCipher::BlockSize(m_header.code);
        const std::size_t pad = block - size % block;
        std::memset(last + size, static_cast<int>(pad), pad);
        size += pad;
    }
    std::uint8_t* buffer = m_buffer;
    m_buffer = nullptr;
    Job job = m_state->job;
    job.sizes[job.count++] = size;
    job.final = true;
    job.slot = m_slot;
    if (m_state->pipeline) {
        m_state->pipeline->Submit(job);
        return m_state->pipeline->Drain(error);
    }
    ChunkCrypto c;
    if (!c.Init(m_header, m_state->keys, true, error))
        return false;
    if (!EncryptBatch(c, m_header, job, buffer)) {
        error = job.error;
        return false;
    }
    return m_state->out.Write(buffer, BatchBytes(job, m_header.chunkSize + kTagSize), error);
}

bool DecryptBody(ByteSource& in, const FileHeader& h, const OpeningKey& key, PlainSink& sink,
                 const std::string& name, std::string& error) {
    FileKeys keys;
    if (h.keyFile && key.haveKeyFile && std::memcmp(key.keyId, h.keyId(), kKeyIdSize) != 0) {
        error = "The key file does not open " + name + " (it was encrypted for another key).";
        return false;
    }
    if (!DeriveFileKeys(h, key, keys, error))
        return false;
    if (!HeaderMacMatches(h, keys, error)) {
        if (error.empty())
            error = h.keyFile ? "Wrong key file, or the file " + name + " is damaged."
                              : "Wrong password, or the file " + name + " is damaged.";
        return false;
    }
    return DecryptStream(in, h, keys, sink, name, true, error);
}

namespace {

// Verifies and deciphers one chunk stream and hands its plain bytes on in order: the steps of
// DecryptStream. A stream of one batch is handled on the calling thread; a longer one goes
// through a chunk pipeline, whose workers verify and decipher while this thread reads.
class StreamDecryptor {
public:
    StreamDecryptor(ByteSource& in, const FileHeader& h, PlainSink& sink, const std::string& name, bool named)
        : m_in(in), m_header(h), m_record(h.chunkSize + kTagSize), m_block(ModeCipher::BlockSize(h.code)),
          m_padded(ModeCipher::NeedsPadding(h.code)), m_named(named),
          m_damaged("The file " + name + " is damaged or was changed"),
          m_truncated("The file " + name + " is truncated."), m_output(sink),
          m_batchBytes(static_cast<std::size_t>(BatchChunks(h.chunkSize)) * m_record) {}

    bool Run(const FileKeys& keys, std::string& error) {
        SecureBytes first;
        Job head;
        if (!ReadFirstBatch(first, head, error))
            return false;
        if (head.final)
            return DecryptAlone(keys, first, head, error);
        return DecryptInPipeline(keys, first, head, error);
    }

private:
    // The first chunk is read alone, as most streams end there; when it does not, the rest of
    // the first batch follows.
    bool ReadFirstBatch(SecureBytes& first, Job& head, std::string& error) {
        first.New(m_record);
        if (!ReadRecords(first.data(), 0, m_record, head, error))
            return false;
        if (!head.final) {
            SecureBytes batch;
            batch.New(m_batchBytes);
            std::memcpy(batch.data(), first.data(), m_record);
            if (!ReadRecords(batch.data(), m_record, m_batchBytes, head, error))
                return false;
            first.swap(batch);
        }
        if (CutShort(head)) {
            error = m_truncated;
            return false;
        }
        return true;
    }

    // A stream of one batch at most (a small file, an archive's directory), without threads.
    bool DecryptAlone(const FileKeys& keys, SecureBytes& batch, Job& job, std::string& error) {
        if (!MakeWorkers(m_header, keys, false, m_workers, error, 1))
            return false;
        if (!VerifyAndDecipher(*m_workers[0], job, batch.data())) {
            error = job.error;
            return false;
        }
        return HandOn(job, batch.data(), error) && m_output.End(error);
    }

    bool DecryptInPipeline(const FileKeys& keys, SecureBytes& first, const Job& head, std::string& error) {
        if (!MakeWorkers(m_header, keys, false, m_workers, error))
            return false;
        ChunkPipeline pipeline(
            static_cast<int>(m_workers.size()), m_batchBytes,
            [this](int worker, Job& job, std::uint8_t* data) {
                return VerifyAndDecipher(*m_workers[static_cast<std::size_t>(worker)], job, data);
            },
            [this](const Job& job, const std::uint8_t* data, std::string& consumeError) {
                return HandOn(job, data, consumeError);
            });
        bool firstPending = true;
        while (true) {
            int slot = -1;
            std::uint8_t* buffer = pipeline.Acquire(slot, error);
            if (!buffer)
                return false;
            Job job;
            if (firstPending) {
                // The batch read above goes first, as it is.
                std::memcpy(buffer, first.data(), m_batchBytes);
                first.New(0);
                job = head;
                firstPending = false;
            } else if (!ReadRecords(buffer, 0, m_batchBytes, job, error)) {
                return false;
            }
            if (CutShort(job)) {
                // Whatever came before must still be consumed in order to report the first fault.
                if (!pipeline.Drain(error))
                    return false;
                error = m_truncated;
                return false;
            }
            job.slot = slot;
            const bool final = job.final;
            pipeline.Submit(std::move(job));
            if (final)
                break;
        }
        return pipeline.Drain(error) && m_output.End(error);
    }

    // Every chunk of a batch is verified before any is deciphered; runs on a worker.
    bool VerifyAndDecipher(ChunkCrypto& c, Job& job, std::uint8_t* data) {
        for (int i = 0; i < job.count; ++i) {
            const bool final = job.final && i == job.count - 1;
            std::uint8_t* chunk = data + static_cast<std::size_t>(i) * m_record;
            const std::size_t size = job.sizes[i] - kTagSize;
            std::uint8_t tag[kTagSize];
            if (!c.Tag(job.index + static_cast<std::uint64_t>(i), final, chunk, size, tag, job.error))
                return false;
            if (!EqualSecret(tag, chunk + size, kTagSize)) {
                job.error = m_damaged +
                            (final ? " (its end is missing or altered)." : " (a chunk failed verification).");
                return false;
            }
            if (m_padded && (size % m_block != 0 || (final && size == 0))) {
                job.error = m_damaged + ".";
                return false;
            }
            job.sizes[i] = size;
        }
        if (!c.Cipher(m_header, job, data, m_record))
            return false;
        return !(job.final && m_padded) || RemovePadding(job, data);
    }

    bool RemovePadding(Job& job, const std::uint8_t* data) {
        const std::size_t size = job.sizes[job.count - 1];
        const std::uint8_t* chunk = data + static_cast<std::size_t>(job.count - 1) * m_record;
        const std::size_t pad = chunk[size - 1];
        bool ok = pad >= 1 && pad <= m_block;
        for (std::size_t i = 0; ok && i < pad; ++i)
            ok = chunk[size - 1 - i] == pad;
        if (!ok) {
            job.error = m_damaged + " (bad padding).";
            return false;
        }
        job.sizes[job.count - 1] -= pad;
        return true;
    }

    // Hands a deciphered batch to the output, in stream order; the stream's first chunk opens
    // with the file record.
    bool HandOn(const Job& job, const std::uint8_t* data, std::string& error) {
        for (int i = 0; i < job.count; ++i) {
            const std::uint8_t* plain = data + static_cast<std::size_t>(i) * m_record;
            std::size_t size = job.sizes[i];
            if (job.index + static_cast<std::uint64_t>(i) == 0) {
                FileMetadata meta;
                std::size_t used = 0;
                if (!ParseMetadata(plain, size, meta, used, m_named)) {
                    error = m_damaged + " (bad file record).";
                    return false;
                }
                if (!m_output.Begin(meta, error))
                    return false;
                plain += used;
                size -= used;
            }
            if (!m_output.Write(plain, size, error))
                return false;
        }
        return true;
    }

    // Fills `buffer` (already holding `got` bytes) up to `want` bytes of records, and splits them;
    // a byte read ahead tells whether the stream goes on after a full buffer.
    bool ReadRecords(std::uint8_t* buffer, std::size_t got, std::size_t want, Job& job, std::string& error) {
        if (m_haveCarry && got < want) {
            buffer[got++] = m_carry;
            m_haveCarry = false;
        }
        const long n = ReadFull(m_in, buffer + got, want - got, error);
        if (n < 0)
            return false;
        got += static_cast<std::size_t>(n);
        bool final = got < want;
        if (!final && !m_haveCarry) {
            const long more = ReadFull(m_in, &m_carry, 1, error);
            if (more < 0)
                return false;
            final = more == 0;
            m_haveCarry = more == 1;
        }
        job.final = final;
        job.count = static_cast<int>((got + m_record - 1) / m_record);
        for (int i = 0; i < job.count; ++i)
            job.sizes[i] = std::min(m_record, got - static_cast<std::size_t>(i) * m_record);
        return true;
    }

    // A batch without a whole tag at its end: the stream was cut.
    static bool CutShort(const Job& job) { return job.count == 0 || job.sizes[job.count - 1] < kTagSize; }

    ByteSource& m_in;
    const FileHeader& m_header;
    const std::size_t m_record;
    const std::size_t m_block;
    const bool m_padded;
    const bool m_named;
    const std::string m_damaged;
    const std::string m_truncated;
    BodyOutput m_output;
    const std::size_t m_batchBytes;
    std::vector<std::unique_ptr<ChunkCrypto>> m_workers;
    bool m_haveCarry = false;
    std::uint8_t m_carry = 0;
};

} // namespace

bool DecryptStream(ByteSource& in, const FileHeader& h, const FileKeys& keys, PlainSink& sink,
                   const std::string& name, bool named, std::string& error) {
    StreamDecryptor decryptor(in, h, sink, name, named);
    return decryptor.Run(keys, error);
}

} // namespace corecrypt
