// Opens arbitrary bytes as a report file through the report document, as the viewer and qrptool
// do, and reads its pages in an order that walks the links both ways. A clear error is fine; a
// crash, hang, runaway allocation or leak is a finding.

#include "docstore/ReportDocument.h"

#include <cstdint>
#include <exception>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace tarvolo::docstore;

namespace {

// One in-memory file for the whole run, rewritten for each input.
int ReportFile()
{
    static const int fd = ::memfd_create("report.qrp", 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = ReportFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    ReportDocument report;
    try {
        report.Open("/proc/self/fd/" + std::to_string(fd));
    } catch (const std::exception&) {
        return 0;
    }
    const int count = report.PageCount();
    for (int n : {1, count, 2, count - 1, 3, 2, count + 1}) {
        try {
            report.Page(n);
        } catch (const std::exception&) {
        }
    }
    return 0;
}
