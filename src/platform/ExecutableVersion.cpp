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

QString ExecutableVersion::Text() const
{
    QString text = QString("%1.%2.%3.%4")
                       .arg(dwFileVersionMS >> 16)
                       .arg(dwFileVersionMS & 0xFFFF, 2, 10, QChar('0'))
                       .arg(dwFileVersionLS >> 16)
                       .arg(dwFileVersionLS & 0xFFFF);
    if (dwFileFlags & VS_FF_PRIVATEBUILD)
        text += '*';
    return text;
}

} // namespace tarvolo::platform
