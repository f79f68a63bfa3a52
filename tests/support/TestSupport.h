#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace tarvolo::test {

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path SharedDir();
// The pages a real GDI recorded, from the reference renderer's folder.
std::vector<std::filesystem::path> OraclePages();
Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A well-formed EMF of exactly totalBytes bytes (at least 120, a multiple of 4): a header, a
// comment record as filler and EMR_EOF. Its frame is frameWidth x frameHeight in 0.01 mm on a
// 1024 x 768 pixel, 320 x 240 mm reference device; `seed` varies the filler bytes.
Bytes MakeEmf(std::uint32_t totalBytes, std::uint8_t seed = 0, std::int32_t frameWidth = 21000,
              std::int32_t frameHeight = 29700);

// One EMF record built field by field, little-endian, its size field kept up to date:
//   RecordBuilder(emr::StretchDIBits).I32(x)...U16(24).Raw(bits).Build()
class RecordBuilder {
public:
    explicit RecordBuilder(std::uint32_t type);
    RecordBuilder& U32(std::uint32_t value);
    RecordBuilder& I32(std::int32_t value) { return U32(static_cast<std::uint32_t>(value)); }
    RecordBuilder& U16(std::uint16_t value);
    RecordBuilder& Raw(const Bytes& bytes);
    Bytes Build() const { return bytes_; }

private:
    void UpdateSize();

    Bytes bytes_;
};

// A record whose fields are all 32 bits wide: MakeRecord(emr::Rectangle, {10, 10, 50, 50}).
Bytes MakeRecord(std::uint32_t type, std::initializer_list<std::int64_t> fields);

// A metafile of the given records, closed by EMR_EOF, on a 100 x 100 pixel page of a 96-dpi
// reference device (1024 x 768 pixels, 271 x 203 mm).
Bytes MakeMetafile(const std::vector<Bytes>& records);

// A folder of its own for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace tarvolo::test
