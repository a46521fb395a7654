// Runs one archive file through both zip readers (zziplib and kzip) at the
// backend interface, and tells where their results part.
//
// Each reader's run is written down as a transcript, one line per call:
// the probe; every listing, recursively; both existence questions for every
// name and its upper-cased form; every entry opened and read whole in mixed
// piece sizes (count, Tell, Error and a CRC-32 of the bytes after each
// read); seeks forward, backward, past the end and from the end, each with
// a read after it; two entries read alternately; and an entry read on after
// its ZipFs is gone. Every line carries the failure the call noted, which is
// what kivfsLastError would report.
#pragma once

#include <string>
#include <vector>

#include "zip/ArchiveReader.h"

namespace kivfs_test {

// The transcript of the archive at `path` read through `open`.
std::vector<std::string> ZipTranscript(const std::string& path, kivfs::ArchiveOpener open);

// Empty when both readers give the same transcript for `path`; otherwise the
// first line where they differ, from each.
std::string CompareZipReaders(const std::string& path);

}  // namespace kivfs_test
