#include "metafile/LittleEndian.h"
#include "support/FixtureFiles.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace tarvolo;
using tarvolo::test::Bytes;
using tarvolo::test::Qrptool;
using tarvolo::test::RunResult;
using tarvolo::test::TempDir;

namespace {

std::vector<std::string> OraclePagePaths()
{
    std::vector<std::string> paths;
    for (const auto& page : test::OraclePages())
        paths.push_back(page.string());
    return paths;
}

void ExpectOneErrorLine(const RunResult& run, const std::string& what)
{
    EXPECT_EQ(run.status, 1) << what << "\n" << run.err;
    EXPECT_TRUE(run.err.starts_with("qrptool: ")) << what << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
    EXPECT_LT(run.seconds, 10.0) << what; // a safety net against a hang
}

class QrptoolTest : public ::testing::Test {
protected:
    // A report of the reference pages, plain or compressed.
    std::string Pack(const std::string& name, bool compressed)
    {
        std::vector<std::string> words = {"pack", (scratch / name).string()};
        if (compressed)
            words.push_back("--compressed");
        for (const auto& page : OraclePagePaths())
            words.push_back(page);
        const RunResult run = Qrptool(words, scratch);
        EXPECT_EQ(run.status, 0) << run.err;
        return (scratch / name).string();
    }

    TempDir scratch;
};

} // namespace

TEST_F(QrptoolTest, PackedReportsUnpackToTheSamePagesAndVerify)
{
    const auto pages = OraclePagePaths();
    for (bool compressed : {false, true}) {
        const std::string report = Pack(compressed ? "c.qrp" : "p.qrp", compressed);
        const RunResult verify = Qrptool({"verify", report}, scratch);
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

        const RunResult info = Qrptool({"info", report}, scratch);
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("\"pages\": " + std::to_string(pages.size())), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"header_size\": 128"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find(compressed ? "\"compressed\": true" : "\"compressed\": false"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"created_at\": \"20"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\"file_size\": " + std::to_string(std::filesystem::file_size(report))), std::string::npos);

        const auto out = scratch / (compressed ? "unpacked-c" : "unpacked-p");
        const RunResult unpack = Qrptool({"unpack", report, out.string()}, scratch);
        ASSERT_EQ(unpack.status, 0) << unpack.err;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "page-%04zu.emf", i + 1);
            EXPECT_EQ(test::ReadFileBytes(out / name), test::ReadFileBytes(pages[i])) << name;
        }
    }
}

TEST_F(QrptoolTest, PackRefusesFilesThatAreNoMetafiles)
{
    test::WriteFileBytes(scratch / "text.emf", Bytes(500, 'a'));
    const RunResult run = Qrptool({"pack", (scratch / "out.qrp").string(), (scratch / "text.emf").string()}, scratch);
    ExpectOneErrorLine(run, "pack");
    EXPECT_NE(run.err.find("Metafile is not valid"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(scratch / "out.qrp"));
}

TEST_F(QrptoolTest, HostileReportsFailCleanlyAndQuickly)
{
    const Bytes good = test::ReadFileBytes(Pack("good.qrp", false));
    const Bytes goodCompressed = test::ReadFileBytes(Pack("goodc.qrp", true));
    const std::int32_t second = ReadI32LE(&good[132]);
    const auto size = static_cast<std::int32_t>(good.size());
    auto patch = [](Bytes bytes, std::size_t offset, std::int32_t value) {
        WriteI32LE(&bytes[offset], value);
        return bytes;
    };
    std::mt19937 random(11);
    Bytes noise(300000);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());

    struct Case {
        const char* name;
        Bytes file;
    };
    const std::vector<Case> cases = {
        {"truncated header", Bytes(good.begin(), good.begin() + 100)},
        {"page cut short", Bytes(good.begin(), good.begin() + second - 500)},
        {"link to itself", patch(good, second + 4, second)},
        {"link outside the file", patch(good, 132, size + 1000)},
        {"negative link", patch(good, 132, -4)},
        {"StoredPageCount above the record count", patch(good, 8, 1000000)},
        {"negative StoredPageCount", patch(good, 8, -1599358731)},
        {"tail pointer outside", patch(good, good.size() - 4, size + 64)},
        {"negative tail pointer", patch(good, good.size() - 4, -1)},
        {"nBytes beyond the end", patch(good, 136 + 48, size)},
        {"nBytes near 2^31", patch(good, 136 + 48, 0x7FFFFFFC)},
        {"compressed length near 2^31", patch(goodCompressed, 136, 0x7FFFFFF0)},
        {"compressed code damaged", [&] {
             Bytes b = goodCompressed;
             for (std::size_t i = 140; i < 400; ++i)
                 b[i] ^= 0x5A;
             return b;
         }()},
        {"random bytes", noise},
    };
    for (const Case& c : cases) {
        const auto path = (scratch / "hostile.qrp").string();
        test::WriteFileBytes(path, c.file);
        ExpectOneErrorLine(Qrptool({"verify", path}, scratch), std::string("verify ") + c.name);
        const RunResult unpack = Qrptool({"unpack", path, (scratch / "pages").string()}, scratch);
        ExpectOneErrorLine(unpack, std::string("unpack ") + c.name);
        std::filesystem::remove_all(scratch / "pages");
    }
}

TEST_F(QrptoolTest, VerifyNamesEachProblemWithItsOffset)
{
    Bytes file = test::ReadFileBytes(Pack("v.qrp", false));
    const std::int32_t second = ReadI32LE(&file[132]);
    WriteI32LE(&file[8], 3);                 // wrong stored count
    WriteI32LE(&file[second], 7);            // wrong page number
    WriteI32LE(&file[second - 4], 130);      // wrong back link
    test::WriteFileBytes(scratch / "v.qrp", file);
    const RunResult run = Qrptool({"verify", (scratch / "v.qrp").string()}, scratch);
    ExpectOneErrorLine(run, "verify");
    EXPECT_NE(run.out.find("offset 8: the header says 3 pages but the file holds 8 page records"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("offset " + std::to_string(second) + ": record 2 has page number 7"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("offset " + std::to_string(second - 4) + ": record 1 ends with the start offset 130 instead of 128"),
              std::string::npos)
        << run.out;
}

TEST_F(QrptoolTest, PageCountsThatCannotBeAreReportedNotWritten)
{
    struct Case {
        const char* fixture;
        const char* problem;
    };
    const Case cases[] = {
        {"NegativePageCount.qrp", "offset 8: the header says -1599358731 pages"},
        {"ImpossiblePageCount.qrp", "offset 8: the header says 1000000 pages"},
    };
    for (const Case& c : cases) {
        const std::string file = test::ReportFixture(c.fixture).string();
        const RunResult verify = Qrptool({"verify", file}, scratch);
        ExpectOneErrorLine(verify, std::string("verify ") + c.fixture);
        EXPECT_NE(verify.out.find(c.problem), std::string::npos) << verify.out;
        const RunResult unpack = Qrptool({"unpack", file, (scratch / "pages").string()}, scratch);
        ExpectOneErrorLine(unpack, std::string("unpack ") + c.fixture);
        EXPECT_NE(unpack.err.find("Damaged report: the page count at offset 8"), std::string::npos) << unpack.err;
        EXPECT_EQ(unpack.out, "");
    }
}

TEST_F(QrptoolTest, RendersPagesAndWritesAVectorPdf)
{
    const std::string report = Pack("r.qrp", true);
    const RunResult png = Qrptool({"render", report, "--page", "2", "--dpi", "96", "-o", (scratch / "p2.png").string()}, scratch);
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_NE(png.out.find("794x1123"), std::string::npos) << png.out;
    EXPECT_TRUE(std::filesystem::file_size(scratch / "p2.png") > 1000);

    const RunResult sized = Qrptool({"render-emf", OraclePagePaths()[0], "--size", "300x200", "-o", (scratch / "e.png").string()}, scratch);
    ASSERT_EQ(sized.status, 0) << sized.err;
    EXPECT_NE(sized.out.find("300x200"), std::string::npos);

    const RunResult pdf = Qrptool({"pdf", report, "-o", (scratch / "r.pdf").string()}, scratch);
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const Bytes bytes = test::ReadFileBytes(scratch / "r.pdf");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(text.starts_with("%PDF"));
    EXPECT_NE(text.find("/Count " + std::to_string(OraclePagePaths().size())), std::string::npos) << "one PDF page per report page";
    EXPECT_NE(text.find("/FontFile2"), std::string::npos) << "text stays text, with its font embedded";

    ExpectOneErrorLine(Qrptool({"render", report, "--page", "99", "--dpi", "96", "-o", (scratch / "x.png").string()}, scratch),
                       "page out of range");
}

TEST_F(QrptoolTest, DrawingsReplaceTheirOutputOnlyWhenWhole)
{
    // A file size limit stops the program in the middle of writing its output: the old output
    // must survive that, as it survives any failure or interrupt.
    const std::string report = Pack("w.qrp", false);
    for (const char* command : {"pdf", "render"}) {
        const auto output = scratch / (std::string(command) + ".out");
        test::WriteFileBytes(output, Bytes(100, 'x'));
        const std::string run = "ulimit -f 2; exec '" + std::string(QRPTOOL_PATH) + "' " + command + " '" + report +
                                "' --dpi 300 -o '" + output.string() + "' >/dev/null 2>&1";
        EXPECT_NE(std::system(run.c_str()), 0) << command;
        EXPECT_EQ(test::ReadFileBytes(output), Bytes(100, 'x')) << command;
    }
    // The failed writes took their temporary files with them.
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path()))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
}

TEST_F(QrptoolTest, DemoRecordsASoundReportThatInfoDescribes)
{
    const std::string report = (scratch / "demo.qrp").string();
    const RunResult demo = Qrptool({"demo", report, "--pages", "4"}, scratch);
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(Qrptool({"verify", report}, scratch).status, 0);
    const RunResult info = Qrptool({"info", report}, scratch);
    EXPECT_NE(info.out.find("\"pages\": 4"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"paper_size\": \"A4Small\", \"orientation\": \"poPortrait\", \"sheet_width\": 2100, "
                            "\"sheet_length\": 2970"),
              std::string::npos)
        << info.out;
}

TEST_F(QrptoolTest, UsageAndMissingFilesAreOneLineErrors)
{
    ExpectOneErrorLine(Qrptool({}, scratch), "no command");
    ExpectOneErrorLine(Qrptool({"frobnicate"}, scratch), "unknown command");
    ExpectOneErrorLine(Qrptool({"info"}, scratch), "missing file");
    const RunResult missing = Qrptool({"info", (scratch / "none.qrp").string()}, scratch);
    ExpectOneErrorLine(missing, "missing report");
    EXPECT_NE(missing.err.find("Cannot open file \"" + (scratch / "none.qrp").string() + "\". No such file or directory"),
              std::string::npos);
}
