// A new zip archive made of files of a container, deflated, written with
// libzip (the library itself only reads archives). Nothing reaches the
// target before Commit: the archive is written to a part file beside it and
// renamed over it only when complete, so a failure leaves the target as it
// was. A build without libzip (kivfs_tool without KIVFS_TOOL_HAVE_LIBZIP)
// refuses to make one, saying so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Container.h"
#include "Progress.h"

namespace kivfs_tool {

class ZipWriter {
  public:
    // Prepares an archive to replace `target`; throws ToolError when it
    // cannot be made (no libzip in this build, a folder that cannot be
    // written).
    explicit ZipWriter(const std::string& target);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Adds the file `name` of `source` as `entryName`, measuring its size;
    // throws ToolError when it cannot be opened or read. Its bytes are read
    // when Commit writes the archive, so `source` must stay open until then.
    void Add(const Container& source, const std::string& name, const std::string& entryName);

    // Adds an entry for the folder `name` (ending with "/").
    void AddDirectory(const std::string& name);

    // Writes the archive, reading every file added and counting on
    // `progress`, and puts it in place of the target. Throws ToolError,
    // naming the file that could not be read or the reason of the write,
    // and leaving the target untouched; an archive of no files, one that
    // came out needing zip64 records, and a signal (Interrupted) stop it.
    void Commit(Progress& progress);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// "libzip 1.7.3", or the words saying that this build has none.
std::string ZipWriterVersionText();

}  // namespace kivfs_tool
