#pragma once

#include "TQRStream.h"
#include "metafile/Metafile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarvolo::docstore {

// The pages of one report, kept in the report file layout inside a page stream. Pages are
// appended as records, plain or compressed, and read back by walking the record links from
// wherever the stream stands. Every link is checked before it is followed, so a damaged file
// ends a walk with an error naming the page and the offset instead of looping or reading
// outside the file.
class TQRPageList {
public:
    TQRPageList() = default;
    TQRPageList(const TQRPageList&) = delete;
    TQRPageList& operator=(const TQRPageList&) = delete;

    void Reset() { RecordCount_ = 0; }
    void Lock() { ListLock_.lock(); }
    void Unlock() { ListLock_.unlock(); }

    void AppendPage(const emf::Metafile& page);
    // Rewrites the header so that it carries the final page count.
    void CompleteFile();
    // Replaces the stream by the report file opened read-only and reads its header.
    void OpenFile(const std::string& path);
    // Writes a byte-for-byte copy of the stream to path. The previous file at path stays intact
    // until the copy is complete; the stream's own file is refused.
    void CopyToFile(const std::string& path);
    // A new page holding page n, or nothing when n is not between 1 and RecordCount.
    std::unique_ptr<emf::Metafile> ReadPage(int n);

    // Reads the header of the stream, which stands anywhere, and takes the page count from it.
    void ReadHeader();

    int RecordCount() const { return RecordCount_; }
    bool CompressPages() const { return CompressPages_; }
    void SetCompressPages(bool compress) { CompressPages_ = compress; }
    const std::shared_ptr<TQRStream>& RecordStream() const { return RecordStream_; }
    void SetRecordStream(std::shared_ptr<TQRStream> stream);

private:
    void WriteHeader();
    // The walk's positions; firstRecord (the header size) and size are found once per read.
    std::int64_t PositionAtLastPage(int n, std::int64_t firstRecord, std::int64_t size);
    std::int64_t PositionAtPage(int n, std::int64_t resumeOffset, std::int64_t firstRecord, std::int64_t size);
    std::int64_t WalkForward(int n, std::int64_t start, std::int64_t size);
    std::int64_t WalkBackward(int n, std::int64_t start, std::int64_t firstRecord, std::int64_t size);
    void BeginPageRecord();
    void EndPageRecord();
    ByteStream& Stream();

    std::recursive_mutex ListLock_;
    bool CompressPages_ = false;
    int RecordCount_ = 0;
    std::shared_ptr<TQRStream> RecordStream_;

    // Where the last operation left the stream on a record start, so that a walk may begin
    // there; -1 when that is unknown (after a failed read, for instance).
    std::int64_t resumeOffset_ = -1;
    std::int64_t recordStart_ = 0;
    std::int64_t nextRecordField_ = 0;
};

} // namespace tarvolo::docstore
