#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvolo::test {

// A report file of tests/fixtures/reports, each made to show one behaviour and named for it.
inline std::filesystem::path ReportFixture(const std::string& name)
{
    return std::filesystem::path(TARVOLO_FIXTURE_DIR) / "reports" / name;
}

// The bundled sample report.
inline std::filesystem::path SampleReportFile()
{
    return std::filesystem::path(TARVOLO_FIXTURE_DIR) / ".." / ".." / "samples" / "sample-report.qrp";
}

// Every report file of the project: the fixtures and the bundled sample.
inline std::vector<std::filesystem::path> AllReportFiles()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(ReportFixture("")))
        if (entry.path().extension() == ".qrp")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    files.push_back(SampleReportFile());
    return files;
}

// Pictures that once cost the player seconds or gigabytes, from tests/fixtures/pictures.
inline std::vector<std::filesystem::path> HostilePictures()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(TARVOLO_FIXTURE_DIR) / "pictures"))
        if (entry.path().extension() == ".emf")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// How much longer than in an optimised build things take under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSanitizerSlowdown = 10;
#else
constexpr double kSanitizerSlowdown = 1;
#endif

} // namespace tarvolo::test
