#pragma once

#include <stdexcept>
#include <string>

namespace tarvolo::docstore {

// "Stream read error", or "Stream read error: <detail>" where the cause is known.
class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
    explicit EReadError(const std::string& detail) : std::runtime_error("Stream read error: " + detail) {}
};

// "Stream write error", or "Stream write error: <detail>" where the cause is known.
class EWriteError : public std::runtime_error {
public:
    EWriteError() : std::runtime_error("Stream write error") {}
    explicit EWriteError(const std::string& detail) : std::runtime_error("Stream write error: " + detail) {}
};

class EOutOfMemory : public std::runtime_error {
public:
    EOutOfMemory() : std::runtime_error("Out of memory while expanding memory stream") {}
};

// "Cannot open file "<absolute path>". <system reason>"
class EFOpenError : public std::runtime_error {
public:
    EFOpenError(const std::string& path, const std::string& reason);
};

// "Cannot create file "<absolute path>". <system reason>"
class EFCreateError : public std::runtime_error {
public:
    EFCreateError(const std::string& path, const std::string& reason);
};

// A report file whose record links cannot be followed.
class EReportFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text the system gives for an errno value.
std::string SystemErrorText(int error);

// The path made absolute, as the file errors name a file.
std::string ExpandedPath(const std::string& path);
// The absolute path in double quotes, as the file errors name a file.
std::string QuotedPath(const std::string& path);

} // namespace tarvolo::docstore
