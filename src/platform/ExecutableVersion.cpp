#include "ExecutableVersion.h"

#include "Version.h"

namespace tarvolo::platform {

ExecutableVersion ExecutableVersion::Make(std::uint16_t major, std::uint16_t minor, std::uint16_t patch, std::uint16_t build,
                                          bool privateBuild)
{
    ExecutableVersion version;
    version.dwFileVersionMS = static_cast<std::uint32_t>(major) << 16 | minor;
    version.dwFileVersionLS = static_cast<std::uint32_t>(patch) << 16 | build;
    version.dwFileFlags = privateBuild ? VS_FF_PRIVATEBUILD : 0;
    return version;
}

ExecutableVersion ExecutableVersion::Running()
{
    return Make(TARVOLO_VERSION_MAJOR, TARVOLO_VERSION_MINOR, TARVOLO_VERSION_PATCH, TARVOLO_VERSION_BUILD, TARVOLO_PRIVATE_BUILD);
}

} // namespace tarvolo::platform
