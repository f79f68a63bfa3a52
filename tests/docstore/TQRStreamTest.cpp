#include "docstore/MemoryStream.h"
#include "docstore/StreamErrors.h"
#include "docstore/TQRStream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace tarvolo::docstore;
using tarvolo::test::Bytes;
using tarvolo::test::TempDir;

namespace {

// Points TMPDIR at a folder for the length of a test.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const std::string& folder)
    {
        if (const char* old = std::getenv("TMPDIR"))
            old_ = old;
        Set(folder);
    }
    ~TemporaryFolderOverride()
    {
        if (old_.empty())
            unsetenv("TMPDIR");
        else
            Set(old_);
    }
    void Set(const std::string& folder) { setenv("TMPDIR", folder.c_str(), 1); }

private:
    std::string old_;
};

Bytes Sequence(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

Bytes ReadAll(ByteStream& stream)
{
    Bytes bytes(static_cast<std::size_t>(stream.Size()));
    stream.SetPosition(0);
    stream.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

} // namespace

TEST(TQRStream, SpillsOnceTheSizePassesTheLimitKeepingPositionSizeAndContent)
{
    TempDir folder;
    TemporaryFolderOverride tmp(folder.Path());
    std::string spillFile;
    {
        auto stream = TQRStream::CreateInMemory(100);
        const Bytes data = Sequence(101);
        stream->WriteExact(data.data(), 100);
        EXPECT_TRUE(stream->IsMemoryBacked()) << "exactly at the limit stays in memory";

        // Overwriting inside the stream does not grow it, so it does not spill either.
        stream->SetPosition(10);
        stream->WriteExact(data.data() + 10, 10);
        EXPECT_TRUE(stream->IsMemoryBacked());

        stream->SetPosition(100);
        stream->WriteExact(data.data() + 100, 1);
        ASSERT_FALSE(stream->IsMemoryBacked());
        EXPECT_EQ(stream->Position(), 101);
        EXPECT_EQ(stream->Size(), 101);
        EXPECT_EQ(ReadAll(*stream), data);

        spillFile = stream->SpillFile();
        const std::string name = std::filesystem::path(spillFile).filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex("QRP[0-9A-F]{4}\\.TMP"))) << name;
        EXPECT_EQ(std::filesystem::path(spillFile).parent_path(), folder.Path());
        struct stat info {};
        ASSERT_EQ(stat(spillFile.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(tarvolo::test::ReadFileBytes(spillFile), data);
    }
    EXPECT_FALSE(std::filesystem::exists(spillFile)) << "destroying a spilled stream deletes its file";
}

TEST(TQRStream, FailedSpillKeepsTheDataInMemoryAndRetriesOnTheNextWrite)
{
    TempDir folder;
    TemporaryFolderOverride tmp((folder.Path() / "missing").string());
    auto stream = TQRStream::CreateInMemory(10);
    const Bytes data = Sequence(20);
    stream->WriteExact(data.data(), 10);
    try {
        stream->WriteBytes(data.data() + 10, 5);
        FAIL() << "the spill should have failed";
    } catch (const EFCreateError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("Cannot create file \"" + folder.Path().string() + "/missing/"))
            << error.what();
    }
    EXPECT_TRUE(stream->IsMemoryBacked());
    EXPECT_EQ(ReadAll(*stream), Bytes(data.begin(), data.begin() + 15));

    tmp.Set(folder.Path());
    stream->SeekTo(0, SeekOrigin::End);
    stream->WriteExact(data.data() + 15, 5);
    EXPECT_FALSE(stream->IsMemoryBacked());
    EXPECT_EQ(ReadAll(*stream), data);
}

TEST(TQRStream, OpenedReportFileIsReadOnlyAndOutlivesTheStream)
{
    TempDir folder;
    const auto path = folder / "report.qrp";
    const Bytes data = Sequence(300);
    tarvolo::test::WriteFileBytes(path, data);
    {
        auto stream = TQRStream::OpenOnFile(path);
        EXPECT_EQ(stream->Position(), 0);
        EXPECT_EQ(ReadAll(*stream), data);
        EXPECT_EQ(stream->WriteBytes(data.data(), 10), 0);
        try {
            stream->WriteExact(data.data(), 10);
            ADD_FAILURE() << "the write should have failed";
        } catch (const EWriteError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Stream write error: cannot write \"" + path.string() + "\": opened for reading only");
        }
        EXPECT_TRUE(stream->SpillFile().empty());
    }
    EXPECT_EQ(tarvolo::test::ReadFileBytes(path), data);
}

TEST(TQRStream, OpeningAMissingFileNamesTheFullPathAndTheReason)
{
    TempDir folder;
    const std::filesystem::path missing = folder / "absent.qrp";
    std::filesystem::current_path(folder.Path());
    try {
        TQRStream::OpenOnFile("absent.qrp");
        FAIL();
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    std::filesystem::current_path("/");
}

TEST(TQRStream, ReadAtTheEndReturnsNothingAndLeavesTheBufferAlone)
{
    auto stream = TQRStream::CreateInMemory(100000);
    const Bytes data = Sequence(5);
    stream->WriteExact(data.data(), 5);
    std::uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(stream->ReadBytes(buffer, 4), 0);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_THROW(stream->ReadExact(buffer, 1), EReadError);
}

TEST(TQRStream, CopyToCopiesEverythingInChunksAndEndsAtTheEnd)
{
    TempDir folder;
    TemporaryFolderOverride tmp(folder.Path());
    for (std::size_t size : {std::size_t{0}, std::size_t{10240}, std::size_t{25000}, std::size_t{150000}}) {
        auto stream = TQRStream::CreateInMemory(100000);
        const Bytes data = Sequence(size);
        stream->WriteExact(data.data(), static_cast<std::int64_t>(size));
        stream->SetPosition(size / 2);
        MemoryStream copy;
        stream->CopyTo(copy);
        EXPECT_EQ(copy.Data(), data) << size;
        EXPECT_EQ(stream->Position(), static_cast<std::int64_t>(size));
    }
}

TEST(TQRStream, CopyToReportsADestinationThatRefusesBytes)
{
    struct FullDisk : MemoryStream {
        std::int64_t WriteBytes(const void*, std::int64_t) override { return 0; }
    } destination;
    auto stream = TQRStream::CreateInMemory(100000);
    const Bytes data = Sequence(10);
    stream->WriteExact(data.data(), 10);
    EXPECT_THROW(stream->CopyTo(destination), EWriteError);
}

TEST(TQRStream, ASpilledStreamThatCannotGrowNamesItsFileAndTheReason)
{
    TempDir folder;
    TemporaryFolderOverride tmp(folder.Path());
    // The limit would end the whole test program; only a child process gets it.
    const auto growUnderTheLimit = [] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        auto stream = TQRStream::CreateInMemory(100);
        const Bytes data = Sequence(8000);
        stream->WriteExact(data.data(), 101);
        if (stream->IsMemoryBacked())
            std::_Exit(2);
        try {
            stream->WriteExact(data.data() + 101, 7899);
        } catch (const EWriteError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            std::_Exit(1);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(growUnderTheLimit(), ::testing::ExitedWithCode(1),
                "Stream write error: cannot write \"" + folder.Path().string() + "/QRP[0-9A-F]{4}\\.TMP\": File too large");
}
