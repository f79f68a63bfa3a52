#include "StreamErrors.h"

#include <cstring>
#include <filesystem>

namespace tarvolo::docstore {

std::string ExpandedPath(const std::string& path)
{
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return absolute.empty() ? path : absolute.lexically_normal().string();
}

EFOpenError::EFOpenError(const std::string& path, const std::string& reason)
    : std::runtime_error("Cannot open file \"" + ExpandedPath(path) + "\". " + reason)
{
}

EFCreateError::EFCreateError(const std::string& path, const std::string& reason)
    : std::runtime_error("Cannot create file \"" + ExpandedPath(path) + "\". " + reason)
{
}

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

std::string QuotedPath(const std::string& path)
{
    std::string quoted = "\"";
    quoted += ExpandedPath(path);
    quoted += '"';
    return quoted;
}

} // namespace tarvolo::docstore
