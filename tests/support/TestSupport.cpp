#include "TestSupport.h"

#include "metafile/EmfHeader.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarvolo::test {

std::filesystem::path SharedDir()
{
    return TARVOLO_SHARED_DIR;
}

std::vector<std::filesystem::path> OraclePages()
{
    std::vector<std::filesystem::path> pages;
    for (const auto& entry : std::filesystem::directory_iterator(SharedDir() / "oracle" / "pages"))
        if (entry.path().extension() == ".emf")
            pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    if (pages.empty())
        throw std::runtime_error("no reference pages under " + SharedDir().string());
    return pages;
}

Bytes ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

Bytes MakeEmf(std::uint32_t totalBytes, std::uint8_t seed, std::int32_t frameWidth, std::int32_t frameHeight)
{
    constexpr std::uint32_t kHeader = 88, kEof = 20, kCommentMin = 12;
    if (totalBytes < kHeader + kCommentMin + kEof || totalBytes % 4 != 0)
        throw std::invalid_argument("MakeEmf: bad size");
    Bytes emf(totalBytes, 0);
    std::uint8_t* p = emf.data();
    WriteU32LE(p + 0, emf::emr::Header);
    WriteU32LE(p + 4, kHeader); // nSize
    WriteI32LE(p + 8, 0);       // rclBounds
    WriteI32LE(p + 12, 0);
    WriteI32LE(p + 16, frameWidth * 1024 / 32000);
    WriteI32LE(p + 20, frameHeight * 768 / 24000);
    WriteI32LE(p + 24, 0); // rclFrame
    WriteI32LE(p + 28, 0);
    WriteI32LE(p + 32, frameWidth);
    WriteI32LE(p + 36, frameHeight);
    WriteU32LE(p + 40, emf::kEmfSignature);
    WriteU32LE(p + 44, 0x10000);
    WriteU32LE(p + 48, totalBytes);
    WriteU32LE(p + 52, 3); // nRecords
    WriteU16LE(p + 56, 1); // nHandles
    WriteI32LE(p + 72, 1024);
    WriteI32LE(p + 76, 768);
    WriteI32LE(p + 80, 320);
    WriteI32LE(p + 84, 240);

    const std::uint32_t commentSize = totalBytes - kHeader - kEof;
    std::uint8_t* comment = p + kHeader;
    WriteU32LE(comment + 0, emf::emr::GdiComment);
    WriteU32LE(comment + 4, commentSize);
    WriteU32LE(comment + 8, commentSize - kCommentMin);
    for (std::uint32_t i = kCommentMin; i < commentSize; ++i)
        comment[i] = static_cast<std::uint8_t>((i * 7 + seed) % 13 == 0 ? seed + i : (i % 5)); // compressible, varied

    std::uint8_t* eof = p + totalBytes - kEof;
    WriteU32LE(eof + 0, emf::emr::Eof);
    WriteU32LE(eof + 4, kEof);
    WriteU32LE(eof + 12, 16); // offPalEntries
    WriteU32LE(eof + 16, kEof);
    return emf;
}

RecordBuilder::RecordBuilder(std::uint32_t type)
{
    U32(type).U32(0);
}

RecordBuilder& RecordBuilder::U32(std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    UpdateSize();
    return *this;
}

RecordBuilder& RecordBuilder::U16(std::uint16_t value)
{
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    UpdateSize();
    return *this;
}

RecordBuilder& RecordBuilder::Raw(const Bytes& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    UpdateSize();
    return *this;
}

void RecordBuilder::UpdateSize()
{
    if (bytes_.size() >= 8)
        WriteU32LE(bytes_.data() + 4, static_cast<std::uint32_t>(bytes_.size()));
}

Bytes MakeRecord(std::uint32_t type, std::initializer_list<std::int64_t> fields)
{
    RecordBuilder record(type);
    for (std::int64_t field : fields)
        record.U32(static_cast<std::uint32_t>(field));
    return record.Build();
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvolo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes MakeMetafile(const std::vector<Bytes>& records)
{
    Bytes emf = MakeEmf(120);
    emf.resize(88);
    WriteI32LE(emf.data() + 32, 2646); // 100 px on 1024 px / 271 mm
    WriteI32LE(emf.data() + 36, 2643);
    WriteI32LE(emf.data() + 72, 1024);
    WriteI32LE(emf.data() + 76, 768);
    WriteI32LE(emf.data() + 80, 271);
    WriteI32LE(emf.data() + 84, 203);
    WriteU16LE(emf.data() + 56, 8);
    for (const Bytes& r : records)
        emf.insert(emf.end(), r.begin(), r.end());
    const Bytes eof = MakeRecord(emf::emr::Eof, {0, 16, 20});
    emf.insert(emf.end(), eof.begin(), eof.end());
    WriteU32LE(emf.data() + 48, static_cast<std::uint32_t>(emf.size()));
    WriteU32LE(emf.data() + 52, static_cast<std::uint32_t>(records.size() + 2));
    return emf;
}

} // namespace tarvolo::test
