// Feeds arbitrary bytes to everything that reads a report file: the header, every page in both
// forms, and the verifier. Any crash, hang or runaway allocation is a finding.

#include "docstore/ReportVerifier.h"
#include "docstore/TQRPageList.h"

#include <cstdint>
#include <exception>

using namespace tarvolo::docstore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (bool compressed : {false, true}) {
        auto stream = TQRStream::CreateInMemory(1 << 30);
        stream->WriteExact(data, static_cast<std::int64_t>(size));
        TQRPageList list;
        list.SetRecordStream(stream);
        list.SetCompressPages(compressed);
        try {
            list.ReadHeader();
        } catch (const std::exception&) {
            return 0;
        }
        // Pages in an order that exercises both walking directions.
        for (int n : {2, 1, 3, list.RecordCount(), 2, list.RecordCount() - 1}) {
            try {
                list.ReadPage(n);
            } catch (const std::exception&) {
            }
        }
        if (!compressed) {
            ReportVerifier verifier(*stream);
            verifier.Verify();
        }
    }
    return 0;
}
