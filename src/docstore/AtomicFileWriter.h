#pragma once

#include "FileStream.h"

#include <memory>
#include <string>

namespace tarvolo::docstore {

// Writes a file so that it either appears complete or not at all: the bytes go to a new file in
// the target's folder, which Commit() syncs and renames over the target. Until then the old
// target is untouched, and a writer dropped without Commit() removes its temporary file.
//
// Otherwise it behaves as creating the target with truncation would: a target the caller may not
// write is refused, a symbolic link is followed (the file it names is replaced, the link stays),
// a replaced file keeps its permissions and, where the caller may set it, its owner.
class AtomicFileWriter {
public:
    // Fails with "Cannot create file "<target>". <reason>" when the target may not be written or
    // the temporary file cannot be made.
    explicit AtomicFileWriter(std::string target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The temporary file; its write failures name the target.
    FileStream& Stream() { return *stream_; }
    // Fails with "Cannot create file" when the data cannot be made durable or put in place.
    void Commit();

private:
    std::string target_;
    // The file that is replaced: the target, or the end of the chain of links it starts.
    std::string resolvedTarget_;
    std::string temporaryPath_;
    std::unique_ptr<FileStream> stream_;
    bool committed_ = false;
};

} // namespace tarvolo::docstore
