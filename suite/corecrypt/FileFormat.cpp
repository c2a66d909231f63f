#include "corecrypt/FileFormat.h"

#include <zlib.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace corecrypt {
namespace {

constexpr char kMagic[4] = {'Q', 'M', 'P', 'F'};
constexpr std::uint8_t kRevision = 1;
constexpr std::uint8_t kMetadataRevision = 1;
constexpr std::size_t kMetadataFixed = 1 + 1 + 8 + 8 + 4 + 8 + 4 + 2;

void PutLE(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t GetLE(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

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

bool ParseMetadata(const std::uint8_t* p, std::size_t size, FileMetadata& m, std::size_t& used) {
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
    return ValidName(m.name);
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
    if (std::memcmp(p + 1, kMagic, 4) != 0 || p[5] != kRevision) {
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

bool DeriveFileKeys(const FileHeader& h, const OpeningKey& key, FileKeys& keys, std::string& error) {
    SecureBytes master(32);
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
    const std::size_t cipherSize = ModeCipher::KeySize(h.code);
    SecureBytes all(cipherSize + 64);
    const std::string info = std::string("quillmark qmp keys ") + std::to_string(h.code);
    if (!DeriveHkdf(master.data(), master.size(), nullptr, 0, info, all.data(), all.size(), error))
        return false;
    keys.cipher.Assign(all.data(), cipherSize);
    keys.mac.Assign(all.data() + cipherSize, 32);
    keys.header.Assign(all.data() + cipherSize + 32, 32);
    return true;
}

bool NewFileHeader(int code, const OpeningKey& key, FileHeader& h, FileKeys& keys, std::string& error) {
    std::uint8_t* p = h.bytes;
    std::memset(p, 0, kHeaderSize);
    p[0] = kFileVersion;
    std::memcpy(p + 1, kMagic, 4);
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
    return DeriveFileKeys(h, key, keys, error) && HmacSha256(keys.header.data(), keys.header.size(), p,
                                                             kHeaderSignedSize, p + kHeaderSignedSize, error);
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

// A few chunk buffers handed between the cipher thread and the writing thread, in order.
struct ChunkWriter::Pipeline {
    static constexpr int kSlots = 4;

    struct Job {
        int slot;
        std::size_t size;
        bool final;
        std::uint64_t index;
    };

    Pipeline(const FileKeys& keys, ByteSink& out, std::size_t slotSize, std::string& error) : out(out) {
        for (auto& s : slots)
            s.CleanNew(slotSize);
        for (int i = kSlots - 1; i >= 0; --i)
            free.push_back(i);
        if (mac.SetKey(keys.mac.data(), error))
            worker = std::thread([this] { Run(); });
        else
            failed = true;
    }

    ~Pipeline() { Stop(); }

    void Stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    // A free slot to fill, or -1 once writing failed.
    int Take() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return failed || !free.empty(); });
        if (failed)
            return -1;
        const int slot = free.back();
        free.pop_back();
        return slot;
    }

    void Submit(int slot, std::size_t size, bool final) {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(Job{slot, size, final, next++});
        }
        changed.notify_all();
    }

    // Waits until every submitted chunk is written; false with the reason when one failed.
    bool Drain(std::string& error) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return failed || (jobs.empty() && busy == 0); });
        if (failed)
            error = workerError;
        return !failed;
    }

    bool Failed(std::string& error) {
        std::lock_guard lock(mutex);
        if (failed)
            error = workerError;
        return failed;
    }

    void Run() {
        while (true) {
            Job job;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || !jobs.empty(); });
                if (jobs.empty() || failed)
                    return;
                job = jobs.front();
                jobs.pop_front();
                ++busy;
            }
            std::uint8_t* data = slots[job.slot].data();
            std::uint8_t nonce[12];
            ChunkNonce(job.index, job.final, nonce);
            std::string error;
            const bool ok = mac.Compute(nonce, data, job.size, data + job.size, error) &&
                            out.Write(data, job.size + kTagSize, error);
            {
                std::lock_guard lock(mutex);
                --busy;
                free.push_back(job.slot);
                if (!ok) {
                    failed = true;
                    workerError = error;
                }
            }
            changed.notify_all();
            if (!ok)
                return;
        }
    }

    ByteSink& out;
    ChunkMac mac;
    SecureBytes slots[kSlots];
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> jobs;
    std::vector<int> free;
    int busy = 0;
    std::uint64_t next = 0;
    bool failed = false;
    bool stopping = false;
    std::string workerError;
    std::thread worker;
};

ChunkWriter::ChunkWriter(const FileHeader& header, const FileKeys& keys, ByteSink& out) : m_header(header) {
    m_cipher = ModeCipher::Create(header.code, true, keys.cipher.data(), header.iv(), m_setupError);
    if (!m_cipher)
        return;
    m_pipeline = std::make_unique<Pipeline>(keys, out, header.chunkSize + 16 + kTagSize, m_setupError);
    const int slot = m_pipeline->Take();
    if (slot < 0) {
        if (m_setupError.empty())
            m_setupError = "Cannot start writing.";
        return;
    }
    m_slot = slot;
    m_buffer = m_pipeline->slots[slot].data();
}

ChunkWriter::~ChunkWriter() = default;

bool ChunkWriter::Add(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (!m_setupError.empty()) {
        error = m_setupError;
        return false;
    }
    while (size > 0) {
        const std::size_t n = std::min(size, m_header.chunkSize - m_fill);
        std::memcpy(m_buffer + m_fill, data, n);
        m_fill += n;
        data += n;
        size -= n;
        if (m_fill == m_header.chunkSize && !Submit(m_fill, false, error))
            return false;
    }
    return true;
}

bool ChunkWriter::Finish(std::string& error) {
    if (!m_setupError.empty()) {
        error = m_setupError;
        return false;
    }
    std::size_t size = m_fill;
    if (ModeCipher::NeedsPadding(m_header.code)) {
        const std::size_t block = ModeCipher::BlockSize(m_header.code);
        const std::size_t pad = block - size % block;
        std::memset(m_buffer + size, static_cast<int>(pad), pad);
        size += pad;
    }
    if (!m_cipher->Process(m_buffer, m_buffer, size, error))
        return false;
    m_pipeline->Submit(m_slot, size, true);
    m_buffer = nullptr;
    return m_pipeline->Drain(error);
}

bool ChunkWriter::Submit(std::size_t size, bool final, std::string& error) {
    if (m_pipeline->Failed(error) || !m_cipher->Process(m_buffer, m_buffer, size, error))
        return false;
    m_pipeline->Submit(m_slot, size, final);
    m_fill = 0;
    const int slot = m_pipeline->Take();
    if (slot < 0) {
        m_pipeline->Failed(error);
        return false;
    }
    m_slot = slot;
    m_buffer = m_pipeline->slots[slot].data();
    return true;
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
    std::uint8_t mac[32];
    if (!HmacSha256(keys.header.data(), keys.header.size(), h.bytes, kHeaderSignedSize, mac, error))
        return false;
    if (!EqualSecret(mac, h.bytes + kHeaderSignedSize, 32)) {
        error = h.keyFile ? "Wrong key file, or the file " + name + " is damaged."
                          : "Wrong password, or the file " + name + " is damaged.";
        return false;
    }

    std::string setupError;
    auto cipher = ModeCipher::Create(h.code, false, keys.cipher.data(), h.iv(), error);
    ChunkMac chunkMac;
    if (!cipher || !chunkMac.SetKey(keys.mac.data(), error))
        return false;
    const std::size_t record = h.chunkSize + kTagSize;
    const std::size_t block = ModeCipher::BlockSize(h.code);
    const bool padded = ModeCipher::NeedsPadding(h.code);
    SecureBytes buffer(record + 1);
    BodyOutput output(sink);
    const std::string damaged = "The file " + name + " is damaged or was changed";
    bool carry = false;
    for (std::uint64_t index = 0;; ++index) {
        std::size_t got = carry ? 1 : 0;
        const long n = ReadFull(in, buffer.data() + got, record - got, error);
        if (n < 0)
            return false;
        got += static_cast<std::size_t>(n);
        bool final = got < record;
        if (!final) {
            // A full record is the last one only when nothing follows it.
            const long more = ReadFull(in, buffer.data() + record, 1, error);
            if (more < 0)
                return false;
            final = more == 0;
            carry = more == 1;
        }
        if (got < kTagSize) {
            error = "The file " + name + " is truncated.";
            return false;
        }
        const std::size_t size = got - kTagSize;
        std::uint8_t nonce[12];
        std::uint8_t tag[kTagSize];
        ChunkNonce(index, final, nonce);
        if (!chunkMac.Compute(nonce, buffer.data(), size, tag, error))
            return false;
        if (!EqualSecret(tag, buffer.data() + size, kTagSize)) {
            error =
                damaged + (final ? " (its end is missing or altered)." : " (a chunk failed verification).");
            return false;
        }
        if (padded && (size % block != 0 || (final && size == 0))) {
            error = damaged + ".";
            return false;
        }
        if (!cipher->Process(buffer.data(), buffer.data(), size, error))
            return false;
        std::size_t plain = size;
        if (final && padded) {
            const std::size_t pad = buffer[size - 1];
            bool ok = pad >= 1 && pad <= block;
            for (std::size_t i = 0; ok && i < pad; ++i)
                ok = buffer[size - 1 - i] == pad;
            if (!ok) {
                error = damaged + " (bad padding).";
                return false;
            }
            plain -= pad;
        }
        const std::uint8_t* data = buffer.data();
        if (index == 0) {
            FileMetadata meta;
            std::size_t used = 0;
            if (!ParseMetadata(data, plain, meta, used)) {
                error = damaged + " (bad file record).";
                return false;
            }
            if (!output.Begin(meta, error))
                return false;
            data += used;
            plain -= used;
        }
        if (!output.Write(data, plain, error))
            return false;
        if (carry)
            buffer[0] = buffer[record];
        if (final)
            return output.End(error);
    }
}

} // namespace corecrypt
