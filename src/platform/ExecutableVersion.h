#pragma once

#include <QString>

#include <cstdint>

namespace tarvolo::platform {

// The version an executable carries, laid out as a Windows version resource keeps it: the file
// version in two double words of two 16-bit numbers each, and the file flags.
struct ExecutableVersion {
    static constexpr std::uint32_t VS_FF_PRIVATEBUILD = 0x8;

    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwFileFlags = 0;

    static ExecutableVersion Make(std::uint16_t major, std::uint16_t minor, std::uint16_t patch, std::uint16_t build, bool privateBuild);
    // The version compiled into this program; a build that is not a release build is private.
    static ExecutableVersion Running();

    // "1.05.2.300": the second number has at least two digits; "*" follows on a private build.
    QString Text() const;
};

} // namespace tarvolo::platform
