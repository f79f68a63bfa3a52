// qrptool: inspects, unpacks, packs and verifies report files from the command line.

#include "docstore/AtomicFileWriter.h"
#include "docstore/ReportFileFormat.h"
#include "docstore/ReportVerifier.h"
#include "docstore/StreamErrors.h"
#include "docstore/TQRPageList.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tarvolo;
using namespace tarvolo::docstore;

constexpr std::int64_t kPageStreamSpillLimit = 100000;
constexpr const char* kUsage =
    "usage: qrptool info FILE | unpack FILE DIR | pack OUT.qrp [--compressed] PAGE.emf... | verify FILE";

class UsageError : public std::runtime_error {
public:
    UsageError() : std::runtime_error(kUsage) {}
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    auto file = FileStream::OpenExisting(path, FileStream::Access::ReadOnly);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    AtomicFileWriter writer(path);
    writer.Stream().WriteExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    writer.Commit();
}

int Info(std::span<const std::string> args)
{
    if (args.size() != 1)
        throw UsageError();
    TQRPageList pages;
    pages.OpenFile(args[0]);
    ByteStream& stream = *pages.RecordStream();
    const HeaderRead header = ReadReportHeader(stream);
    const auto createdAt = OleDateToIso8601(header.header.CreatedAt);
    std::printf("{\"pages\": %d, \"header_size\": %lld, \"compressed\": %s, \"created_at\": %s, \"file_size\": %lld}\n",
                pages.RecordCount(), static_cast<long long>(header.size), header.header.PagesCompressed ? "true" : "false",
                createdAt ? ("\"" + *createdAt + "\"").c_str() : "null", static_cast<long long>(stream.Size()));
    return 0;
}

int Unpack(std::span<const std::string> args)
{
    if (args.size() != 2)
        throw UsageError();
    TQRPageList pages;
    pages.OpenFile(args[0]);
    pages.SetCompressPages(ReadReportHeader(*pages.RecordStream()).header.PagesCompressed);
    const std::filesystem::path folder(args[1]);
    std::filesystem::create_directories(folder);
    for (int n = 1; n <= pages.RecordCount(); ++n) {
        const auto page = pages.ReadPage(n);
        char name[32];
        std::snprintf(name, sizeof name, "page-%04d.emf", n);
        WriteWholeFile((folder / name).string(), page->Bytes());
    }
    std::printf("%d pages written to %s\n", pages.RecordCount(), folder.string().c_str());
    return 0;
}

int Pack(std::span<const std::string> args)
{
    if (args.empty())
        throw UsageError();
    TQRPageList pages;
    pages.SetRecordStream(TQRStream::CreateInMemory(kPageStreamSpillLimit));
    for (const std::string& arg : args.subspan(1)) {
        if (arg == "--compressed")
            pages.SetCompressPages(true);
        else if (arg.starts_with("--"))
            throw UsageError();
    }
    for (const std::string& arg : args.subspan(1)) {
        if (arg.starts_with("--"))
            continue;
        try {
            pages.AppendPage(emf::Metafile(ReadWholeFile(arg)));
        } catch (const emf::EInvalidGraphic& error) {
            throw std::runtime_error(arg + ": " + error.what());
        }
    }
    pages.CompleteFile();
    pages.CopyToFile(args[0]);
    std::printf("%d pages written to %s\n", pages.RecordCount(), args[0].c_str());
    return 0;
}

int Verify(std::span<const std::string> args)
{
    if (args.size() != 1)
        throw UsageError();
    const auto stream = TQRStream::OpenOnFile(args[0]);
    ReportVerifier verifier(*stream);
    const auto problems = verifier.Verify();
    for (const auto& problem : problems)
        std::printf("offset %lld: %s\n", static_cast<long long>(problem.offset), problem.message.c_str());
    if (!problems.empty())
        throw std::runtime_error(args[0] + " is not a sound report: " + std::to_string(problems.size()) +
                                 (problems.size() == 1 ? " problem" : " problems") +
                                 (problems.size() >= ReportVerifier::kMostProblems ? " or more" : ""));
    std::printf("%s is a sound report\n", args[0].c_str());
    return 0;
}

int Run(const std::vector<std::string>& words)
{
    if (words.empty())
        throw UsageError();
    const std::string_view command = words[0];
    const std::span<const std::string> args(words.begin() + 1, words.end());
    if (command == "info")
        return Info(args);
    if (command == "unpack")
        return Unpack(args);
    if (command == "pack")
        return Pack(args);
    if (command == "verify")
        return Verify(args);
    throw UsageError();
}

// Messages go out on one line, whatever they carry.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qrptool: %s\n", OneLine(error.what()).c_str());
        return 1;
    }
}
