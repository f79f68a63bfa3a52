#include "docstore/AtomicFileWriter.h"
#include "docstore/FileStream.h"
#include "docstore/StreamErrors.h"
#include "docstore/TQRPageList.h"
#include "docstore/TQRStream.h"
#include "metafile/Metafile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvolo;
using namespace tarvolo::docstore;
using tarvolo::test::Bytes;
using tarvolo::test::MakeEmf;
using tarvolo::test::ReadFileBytes;
using tarvolo::test::TempDir;
using tarvolo::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

struct stat StatOf(const fs::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        ADD_FAILURE() << "cannot stat " << path;
    return info;
}

std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The message text as a POSIX extended expression matching exactly that text.
std::string Literally(const std::string& text)
{
    std::string pattern;
    for (const char c : text) {
        if (std::string_view("\\.[]()*+?{}|^$").find(c) != std::string_view::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

std::string CreateError(const fs::path& path, const std::string& reason)
{
    return "Cannot create file \"" + path.string() + "\". " + reason;
}

// A finished three-page report in its page stream, as a producer leaves it, ready to be saved.
class SaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.SetRecordStream(TQRStream::CreateInMemory(100000));
        for (std::uint8_t i = 0; i < 3; ++i)
            list.AppendPage(emf::Metafile(MakeEmf(1000 + 200u * i, i)));
        list.CompleteFile();
        ByteStream& stream = *list.RecordStream();
        report.resize(static_cast<std::size_t>(stream.Size()));
        stream.SetPosition(0);
        stream.ReadExact(report.data(), static_cast<std::int64_t>(report.size()));
    }

    // Saves and returns the error text, or "" when the save succeeded.
    std::string SaveTo(const fs::path& path)
    {
        try {
            list.CopyToFile(path);
            return "";
        } catch (const std::exception& error) {
            return error.what();
        }
    }

    TempDir folder;
    TQRPageList list;
    Bytes report;
};

} // namespace

TEST(OpeningAReport, AnythingButARegularFileIsRefusedAtOnce)
{
    TempDir folder;
    const fs::path fifo = folder / "pipe.qrp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder / "folder.qrp");
    const struct {
        fs::path path;
        const char* reason;
    } cases[] = {
        {fifo, "Not a regular file"}, // nobody writes to it: an open that waits would never return
        {"/dev/zero", "Not a regular file"},
        {folder / "folder.qrp", "Is a directory"},
    };
    for (const auto& c : cases) {
        auto attempt = std::async(std::launch::async, [&c]() -> std::string {
            try {
                TQRStream::OpenOnFile(c.path);
                return "opened";
            } catch (const EFOpenError& error) {
                return error.what();
            }
        });
        if (attempt.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            // Give the blocked open its writer so that the test can end.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            attempt.wait();
            ::close(writer);
            ADD_FAILURE() << "opening " << c.path << " waited";
            continue;
        }
        EXPECT_EQ(attempt.get(), "Cannot open file \"" + c.path.string() + "\". " + c.reason);
    }

    // A regular file still reads with ordinary, blocking reads.
    WriteFileBytes(folder / "report.qrp", Bytes(300, 7));
    auto stream = TQRStream::OpenOnFile(folder / "report.qrp");
    EXPECT_EQ(::fcntl(stream->FileDescriptor(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(stream->Size(), 300);
}

TEST_F(SaveTest, ATargetTheUserMayNotWriteIsRefusedAndLeftAlone)
{
    // Root passes every permission check of the kernel, so the file's mode bits for the caller's
    // class must refuse on their own; the strangers' rows need root to give files away.
    constexpr uid_t kStranger = 54321;
    const bool root = ::geteuid() == 0;
    const struct {
        const char* name;
        mode_t mode;
        bool foreignOwner;
        bool foreignGroup;
        bool saved;
    } cases[] = {
        {"own, read-only", 0444, false, false, false},
        {"own, others may write", 0066, false, false, false},
        {"own, writable", 0640, false, false, true},
        {"in the group, the group may write", 0464, true, false, true},
        {"in the group, only others may write", 0446, true, false, false},
        {"stranger, others may write", 0446, true, true, true},
        {"stranger, the group may write", 0664, true, true, false},
    };
    int index = 0;
    for (const auto& c : cases) {
        if (c.foreignOwner && !root)
            continue;
        SCOPED_TRACE(c.name);
        const fs::path target = folder / ("target" + std::to_string(index++) + ".qrp");
        const Bytes previous(40, 'p');
        WriteFileBytes(target, previous);
        const uid_t owner = c.foreignOwner ? kStranger : ::geteuid();
        const gid_t group = c.foreignGroup ? kStranger : ::getegid();
        ASSERT_EQ(::chown(target.c_str(), owner, group), 0);
        ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
        const std::set<std::string> before = Entries(folder.Path());

        const std::string error = SaveTo(target);
        if (c.saved) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ReadFileBytes(target), report);
        } else {
            EXPECT_EQ(error, CreateError(target, "Permission denied"));
            EXPECT_EQ(ReadFileBytes(target), previous);
        }
        const struct stat info = StatOf(target);
        EXPECT_EQ(info.st_mode & 07777, c.mode);
        EXPECT_EQ(info.st_uid, owner);
        EXPECT_EQ(info.st_gid, group);
        EXPECT_EQ(Entries(folder.Path()), before) << "no temporary file is left";
    }
}

TEST_F(SaveTest, ALinkIsFollowedToTheFileItNamesAndStaysALink)
{
    fs::create_directories(folder / "data");
    fs::create_directories(folder / "links" / "sub");
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link (under links/) -> what it holds
        std::string replaced;                                    // under the test folder
        bool existed;
    } cases[] = {
        {"beside", {{"a.qrp", "a-real.qrp"}}, "links/a-real.qrp", true},
        {"absolute", {{"b.qrp", (folder / "data" / "b.qrp").string()}}, "data/b.qrp", true},
        // Each relative link counts from its own folder, not from the first link's nor the process's.
        {"chain through a subfolder", {{"c.qrp", "sub/c-hop.qrp"}, {"sub/c-hop.qrp", "../../data/c.qrp"}}, "data/c.qrp", true},
        {"dangling", {{"d.qrp", "../data/d-new.qrp"}}, "data/d-new.qrp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path replaced = folder / c.replaced;
        if (c.existed) {
            WriteFileBytes(replaced, Bytes(20, 'o'));
            ASSERT_EQ(::chmod(replaced.c_str(), 0604), 0);
        }
        for (const auto& [link, holds] : c.links)
            fs::create_symlink(holds, folder / "links" / link);
        const fs::path saved = folder / "links" / c.links.front().first;

        EXPECT_EQ(SaveTo(saved), "");
        EXPECT_EQ(ReadFileBytes(replaced), report);
        for (const auto& [link, holds] : c.links) {
            EXPECT_TRUE(fs::is_symlink(folder / "links" / link)) << link;
            EXPECT_EQ(fs::read_symlink(folder / "links" / link), fs::path(holds));
        }
        if (c.existed) {
            EXPECT_EQ(StatOf(replaced).st_mode & 07777, 0604u);
        }
    }
    // Only the files the links name were created; nothing else was left in either folder.
    EXPECT_EQ(Entries(folder / "data"), (std::set<std::string>{"b.qrp", "c.qrp", "d-new.qrp"}));
    EXPECT_EQ(Entries(folder / "links"), (std::set<std::string>{"a.qrp", "a-real.qrp", "b.qrp", "c.qrp", "d.qrp", "sub"}));
}

TEST_F(SaveTest, ALinkChainLongerThanTheSystemFollowsIsALoop)
{
    // Chains of n links: link0 -> link1 -> ... -> link(n-1) -> end.qrp
    const auto makeChain = [&](const std::string& stem, int n) {
        WriteFileBytes(folder / (stem + "-end.qrp"), Bytes(8, 'o'));
        for (int i = 0; i < n; ++i) {
            const std::string next = i + 1 < n ? stem + std::to_string(i + 1) : stem + "-end.qrp";
            fs::create_symlink(next, folder / (stem + std::to_string(i)));
        }
        return folder / (stem + "0");
    };
    const fs::path longest = makeChain("ok", 40);
    const fs::path tooLong = makeChain("long", 41);
    fs::create_symlink("self.qrp", folder / "self.qrp");
    const std::set<std::string> before = Entries(folder.Path());

    EXPECT_EQ(SaveTo(longest), "");
    EXPECT_EQ(ReadFileBytes(folder / "ok-end.qrp"), report);
    EXPECT_EQ(SaveTo(tooLong), CreateError(tooLong, "Too many levels of symbolic links"));
    EXPECT_EQ(ReadFileBytes(folder / "long-end.qrp"), Bytes(8, 'o'));
    EXPECT_EQ(SaveTo(folder / "self.qrp"), CreateError(folder / "self.qrp", "Too many levels of symbolic links"));
    EXPECT_EQ(Entries(folder.Path()), before);
}

TEST_F(SaveTest, ANameOfTheLongestLengthIsSavedThroughARecognisableTemporaryName)
{
    std::string accented = "x"; // then 2-byte characters: the cut falls inside one
    while (accented.size() < NAME_MAX)
        accented += "\xC3\xA9";
    std::string euros; // 3-byte characters
    while (euros.size() < NAME_MAX)
        euros += "\xE2\x82\xAC";
    const std::string names[] = {std::string(NAME_MAX, 'r'), accented, euros};
    for (const std::string& name : names) {
        ASSERT_EQ(name.size(), std::size_t{NAME_MAX});
        const fs::path target = folder / name;
        AtomicFileWriter writer(target);
        std::set<std::string> entries = Entries(folder.Path());
        entries.erase(name);
        ASSERT_EQ(entries.size(), 1u);
        const std::string temporary = *entries.begin();
        EXPECT_LE(temporary.size(), std::size_t{NAME_MAX});
        ASSERT_TRUE(temporary.starts_with(".") && temporary.ends_with(".part")) << temporary;
        const std::string kept = temporary.substr(1, temporary.size() - 1 - 14);
        EXPECT_TRUE(name.starts_with(kept)) << temporary;
        EXPECT_GE(kept.size(), std::size_t{NAME_MAX} - 15 - 3) << "the name is cut no more than a character needs";
        EXPECT_NE(static_cast<unsigned char>(name[kept.size()]) & 0xC0, 0x80) << "cut inside a character";

        writer.Stream().WriteExact(report.data(), static_cast<std::int64_t>(report.size()));
        writer.Commit();
        EXPECT_EQ(ReadFileBytes(target), report);
        EXPECT_EQ(Entries(folder.Path()).size(), 1u);
        fs::remove(target);
    }
    // The whole save takes the same way.
    EXPECT_EQ(SaveTo(folder / names[1]), "");
    EXPECT_EQ(ReadFileBytes(folder / names[1]), report);
}

TEST_F(SaveTest, AnOpenedReportThatChangedSinceIsNotCopied)
{
    const fs::path source = folder / "source.qrp";
    const fs::path target = folder / "target.qrp";
    const auto size = static_cast<std::int64_t>(report.size());
    const std::string sizeThen = std::to_string(size) + " bytes";
    const struct {
        const char* name;
        void (*change)(const fs::path&);
        std::string detail; // empty: the copy succeeds
    } cases[] = {
        {"unchanged", [](const fs::path&) {}, ""},
        {"cut short", [](const fs::path& p) { ASSERT_EQ(::truncate(p.c_str(), 2000), 0); },
         sizeThen + " then, 2000 now"},
        {"grown", [](const fs::path& p) { ASSERT_EQ(::truncate(p.c_str(), fs::file_size(p) + 100), 0); },
         sizeThen + " then, " + std::to_string(size + 100) + " now"},
        {"rewritten in place", [](const fs::path& p) {
             const int fd = ::open(p.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             const Bytes other(500, 0x5A);
             EXPECT_EQ(::pwrite(fd, other.data(), other.size(), 1000), 500);
             // A clock too coarse to tell the two writes apart must not hide the change.
             struct stat info {};
             ::fstat(fd, &info);
             const timespec times[2] = {info.st_atim, {info.st_mtim.tv_sec + 10, info.st_mtim.tv_nsec}};
             EXPECT_EQ(::futimens(fd, times), 0);
             ::close(fd);
         },
         sizeThen + " then and now, modified since"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        list.CopyToFile(source);
        const Bytes previous(64, 'p');
        WriteFileBytes(target, previous);
        TQRPageList opened;
        opened.OpenFile(source);
        c.change(source);

        const Bytes sourceNow = ReadFileBytes(source);
        try {
            opened.CopyToFile(target);
            EXPECT_EQ(c.detail, "") << "the copy should have failed";
            EXPECT_EQ(ReadFileBytes(target), report);
        } catch (const EReadError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Stream read error: \"" + source.string() + "\" changed after it was opened (" + c.detail + ")");
            EXPECT_EQ(ReadFileBytes(target), previous);
        }
        EXPECT_EQ(Entries(folder.Path()), (std::set<std::string>{"source.qrp", "target.qrp"}));
    }
}

TEST_F(SaveTest, AFileSizeLimitFailsTheSaveNamingTheTargetAndTheReason)
{
    const fs::path target = folder / "limited.qrp";
    const Bytes previous(64, 'p');
    WriteFileBytes(target, previous);
    ASSERT_GT(report.size(), 2048u);
    // The limit would end the whole test program; only a child process gets it.
    const auto saveUnderTheLimit = [&] {
        const rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        try {
            list.CopyToFile(target);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            std::_Exit(1);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(saveUnderTheLimit(), ::testing::ExitedWithCode(1),
                Literally("Stream write error: cannot write \"" + target.string() + "\": File too large"));
    EXPECT_EQ(ReadFileBytes(target), previous);
    EXPECT_EQ(Entries(folder.Path()), std::set<std::string>{"limited.qrp"}) << "no temporary file is left";
}

TEST(FileStreamWrite, AFullDeviceGivesTheSystemsReasonAfterTheFileName)
{
    const struct {
        std::string path; // the name the stream was given, if any
        std::string message;
    } cases[] = {
        {"/dev/full", "Stream write error: cannot write \"/dev/full\": No space left on device"},
        {"", "Stream write error: No space left on device"},
    };
    for (const auto& c : cases) {
        const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        FileStream stream(UniqueFd(fd), FileStream::Access::ReadWrite, c.path);
        const Bytes bytes(100, 1);
        try {
            stream.WriteExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
            ADD_FAILURE() << "the write should have failed";
        } catch (const EWriteError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
        EXPECT_EQ(stream.LastWriteError(), ENOSPC);
    }
}
