#pragma once

#include <stdexcept>
#include <string>

namespace tarvolo::docstore {

class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
};

class EWriteError : public std::runtime_error {
public:
    EWriteError() : std::runtime_error("Stream write error") {}
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

} // namespace tarvolo::docstore
