#pragma once

#include "ByteStream.h"
#include "FileStream.h"
#include "MemoryStream.h"

#include <memory>
#include <mutex>
#include <string>

namespace tarvolo::docstore {

// The byte store behind one report. A stream made in memory moves itself, once, to a private
// temporary file when it grows past its spill limit; a stream opened on a report file reads that
// file and never writes it. Every operation runs under the stream's recursive lock.
class TQRStream : public ByteStream {
public:
    static constexpr std::int64_t kCopyChunk = 10240;

    static std::shared_ptr<TQRStream> CreateInMemory(std::int64_t limit);
    // Fails with "Cannot open file" when the file cannot be opened for reading.
    static std::shared_ptr<TQRStream> OpenOnFile(const std::string& path);

    ~TQRStream() override;
    TQRStream(const TQRStream&) = delete;
    TQRStream& operator=(const TQRStream&) = delete;

    void Lock() { StreamLock.lock(); }
    void Unlock() { StreamLock.unlock(); }

    std::int64_t ReadBytes(void* buffer, std::int64_t count) override;
    std::int64_t WriteBytes(const void* buffer, std::int64_t count) override;
    std::int64_t SeekTo(std::int64_t offset, SeekOrigin origin) override;

    // Copies the whole stream to destination, which must take every byte ("Stream write error"
    // otherwise). The stream is left at its end.
    void CopyTo(ByteStream& destination);

    // A new, empty, uniquely named file "QRPxxxx.TMP" in the temporary folder (TMPDIR, else
    // /tmp), created exclusively and readable by its owner only.
    static std::string MakeSpillFileName();

    bool IsMemoryBacked() const { return MemoryBacked; }
    const std::string& SpillFile() const { return SpillFileName; }
    // The open file behind a file-backed stream, or -1.
    int FileDescriptor() const { return FileBacking ? FileBacking->Descriptor() : -1; }

private:
    TQRStream() = default;
    void Spill();

    std::recursive_mutex StreamLock;
    std::unique_ptr<MemoryStream> MemoryBuffer;
    std::string SpillFileName;
    std::unique_ptr<FileStream> FileBacking;
    bool MemoryBacked = false;
    std::int64_t SpillLimit = 0;
};

} // namespace tarvolo::docstore
