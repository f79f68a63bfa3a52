#pragma once

#include "ByteStream.h"
#include "metafile/Metafile.h"

#include <cstdint>
#include <memory>

namespace tarvolo::docstore {

struct PageData {
    std::unique_ptr<emf::Metafile> page;
    // The page's length as stored: nBytes for a plain page, UncompressedLength for a compressed one.
    std::int64_t storedLength = 0;
    // The offset just after the last byte of page data that was read.
    std::int64_t end = 0;
};

// Reads the page data of one record, which lies between dataStart and dataEnd, in plain or
// compressed form. Nothing larger than the record's data can claim is allocated. Fails with
// "Metafile is not valid" for data that is no metafile and "Stream read error" for a page cut short.
PageData ReadPageData(ByteStream& stream, bool compressed, std::int64_t dataStart, std::int64_t dataEnd);

} // namespace tarvolo::docstore
