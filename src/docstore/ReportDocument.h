#pragma once

#include "ReportFileFormat.h"
#include "TQRPageList.h"
#include "TQRStream.h"
#include "metafile/Metafile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarvolo::docstore {

// One open report: its pages in the report file layout, read from a file or being recorded.
// Opening, counting, reading page n and saving a copy happen here and nowhere else; the printer
// object, qrptool and the verifier all go through this class.
//
// Every member may be called from any thread: each takes the document's one lock for its whole
// use of the stream, so a page walk never sees the position another read, or a copy, left behind.
// Pages() and Stream() hand out the parts themselves, for the recording path and for tests,
// outside that promise.
class ReportDocument {
public:
    // A report being recorded stays in memory up to this size, then moves to a temporary file.
    static constexpr std::int64_t kSpillLimit = 100000;

    ReportDocument() = default;
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    // Replaces whatever the document held by the report in path. Fails with "Cannot open file"
    // for a file that cannot be opened or is not a regular file, with "Stream read error" for one
    // too short for a header, and with a damage report for a page count the file cannot hold.
    // After a failure the document holds nothing.
    void Open(const std::string& path);
    // Starts a new, empty report in memory, its pages stored plain or compressed.
    void CreateNew(bool compressPages);
    void AppendPage(const emf::Metafile& page);
    // Rewrites the header so that it carries the final page count.
    void Complete();
    // Holds nothing any more: no stream, no pages.
    void Close();

    bool IsOpen() const;
    int PageCount() const;
    // Page n as a new metafile, or nothing when n is not between 1 and PageCount(). Fails, naming
    // the page and the offsets, when the record links do not lead to page n.
    std::unique_ptr<emf::Metafile> Page(int n);
    // Writes the report byte for byte to path, replacing the file there only once the copy is
    // complete.
    void SaveCopy(const std::string& path);

    // The header as stored now, and the size of the report in bytes.
    HeaderRead Header();
    std::int64_t Size();
    bool PagesCompressed() const;

    TQRPageList& Pages() { return pages_; }
    const std::shared_ptr<TQRStream>& Stream() const { return pages_.RecordStream(); }

    // Whether the pages of the report in stream are stored compressed: the header says so and the
    // first record does not hold a plain metafile. The one rule every reader of report files uses.
    static bool StoresCompressedPages(ByteStream& stream, const HeaderRead& header);

private:
    // What Close does, for callers that hold the lock already.
    void DropPages();

    mutable std::mutex mutex_;
    TQRPageList pages_;
};

} // namespace tarvolo::docstore
