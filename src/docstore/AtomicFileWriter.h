#pragma once

#include "FileStream.h"

#include <memory>
#include <string>

namespace tarvolo::docstore {

// Writes a file so that it either appears complete or not at all: the bytes go to a new file in
// the target's folder, which Commit() syncs and renames over the target. Until then the old
// target is untouched, and a writer dropped without Commit() removes its temporary file.
class AtomicFileWriter {
public:
    // Fails with "Cannot create file" when the temporary file cannot be made.
    explicit AtomicFileWriter(std::string target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    FileStream& Stream() { return *stream_; }
    // Fails with "Cannot create file" when the data cannot be made durable or put in place.
    void Commit();

private:
    std::string target_;
    std::string temporaryPath_;
    std::unique_ptr<FileStream> stream_;
    bool committed_ = false;
};

} // namespace tarvolo::docstore
