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

    void Lock() { StreamLock_.lock(); }
    void Unlock() { StreamLock_.unlock(); }

    std::int64_t ReadBytes(void* buffer, std::int64_t count) override;
    std::int64_t WriteBytes(const void* buffer, std::int64_t count) override;
    std::int64_t SeekTo(std::int64_t offset, SeekOrigin origin) override;
    // The backing file's account of a short write (a memory backing never writes short).
    std::string WriteFailure() const override;

    // Copies the whole stream to destination, which must take every byte ("Stream write error"
    // otherwise). The stream is left at its end. A stream opened on a file copies only the file
    // it opened: when the file's size or modification time is no longer what it was then, or
    // fewer bytes than its size could be read, the copy fails with "Stream read error: "<path>"
    // changed after it was opened (...)" and the destination is incomplete.
    void CopyTo(ByteStream& destination);

    // A new, empty, uniquely named file "QRPxxxx.TMP" in the temporary folder (TMPDIR, else
    // /tmp), created exclusively and readable by its owner only.
    static std::string MakeSpillFileName();

    bool IsMemoryBacked() const { return MemoryBacked_; }
    const std::string& SpillFile() const { return SpillFileName_; }
    // The open file behind a file-backed stream, or -1.
    int FileDescriptor() const { return FileBacking_ ? FileBacking_->Descriptor() : -1; }
    // The report file a stream opened on a file reads; empty for any other stream.
    const std::string& SourcePath() const { return sourcePath_; }

private:
    // What a file looked like at one moment: enough to notice that it was rewritten.
    struct FileVersion {
        std::int64_t size = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        bool operator==(const FileVersion&) const = default;
    };

    TQRStream() = default;
    void Spill();
    FileVersion SourceVersionNow() const;
    // Fails with "Stream read error" when the opened file is no longer the one that was opened.
    void CheckSourceUnchanged() const;

    mutable std::recursive_mutex StreamLock_;
    std::unique_ptr<MemoryStream> MemoryBuffer_;
    std::string SpillFileName_;
    std::unique_ptr<FileStream> FileBacking_;
    bool MemoryBacked_ = false;
    std::int64_t SpillLimit_ = 0;

    // For a stream opened on a file: its path and how it looked when it was opened.
    std::string sourcePath_;
    FileVersion sourceVersion_;
};

} // namespace tarvolo::docstore
