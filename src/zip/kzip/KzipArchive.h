// KzipArchive: the library's own zip reader behind the ArchiveReader seam,
// for builds where zziplib cannot be had (Windows) and for comparing the two.
// It reads end record, central directory, local headers, stored and deflated
// data (inflated with zlib) through the mapped handlers (KzipIo), and nothing
// more: no writing, no zip64, no encryption (the backend refuses encrypted
// entries before they are opened).
#pragma once

#include <memory>

#include "zip/ArchiveReader.h"
#include "zip/kzip/KzipDirectory.h"

namespace kivfs {

class KzipArchive : public ArchiveReader {
  public:
    // Over a directory read whole (never null).
    explicit KzipArchive(std::shared_ptr<KzipDirectory> directory)
        : directory_(std::move(directory)) {}
    // Lets go of the directory; open entry streams keep it (and the archive
    // file) until the last of them closes.
    ~KzipArchive() override = default;

    void VisitNames(const std::function<void(const char*)>& visit) override;
    // Opens the very entry whose name pointer this is, without a name scan.
    std::unique_ptr<EntryReader> OpenEntry(const char* storedName) override;

  private:
    std::shared_ptr<KzipDirectory> directory_;
};

}  // namespace kivfs
