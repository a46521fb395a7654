// Moving bytes in and out of containers: whole files read in chunks, and
// files written so that a store never pays for many small appends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>

#include "Container.h"
#include "Progress.h"

namespace kivfs_tool {

// Receives the bytes of a file, chunk by chunk.
using ChunkSink = std::function<void(const char* data, std::size_t size)>;

// Fills up to `size` bytes of `data` and returns how many; 0 at the end.
// Throws ToolError when reading fails.
using ChunkSource = std::function<std::size_t(char* data, std::size_t size)>;

// A source reading `in`, failing with the name of what it reads.
ChunkSource StreamSource(std::istream& in, const std::string& inName);

// A source reading standard input through C stdio, whose reads return when
// a signal arrives (the C++ stream would wait on for more input).
ChunkSource StandardInputSource();

// A sink that writes to `out`, failing with the system's reason and
// `outName`, the words that follow "cannot write" ("'a.txt'", "to standard
// output").
ChunkSink StreamSink(std::ostream& out, const std::string& outName);

// Reads an open file from its current position to its end into `sink`,
// counting bytes on `progress`, and stops (Interrupted) once a signal has
// arrived. The end is told apart from a failed read
// by the file's end-of-data state; a failure throws ToolError naming the
// file, `name` inside `source`, and the library's reason.
void ReadToEnd(FileHandle* file, const Container& source, const std::string& name,
               const ChunkSink& sink, Progress& progress);

// Writes one file of a container from scratch, replacing any content it
// had. A store grows its file in few large steps (each one rewrites the
// whole content) and writes in place in between, rather than appending
// piece by piece, which would rewrite the content on every chunk.
class ContainerWriter {
  public:
    // Opens `name` for writing; `sizeHint` is the expected size, 0 when
    // unknown. Throws ToolError for a zip archive or when the file cannot
    // be created. Messages name the file `shownName` when given (a part
    // file standing in for it).
    ContainerWriter(const Container& container, const std::string& name, std::uint64_t sizeHint,
                    const std::string& shownName = "");

    void Write(const char* data, std::size_t size);
    // Gives the file its final length and closes it.
    void Finish();

  private:
    void Reserve(std::uint64_t size);
    // The error for a library call on the file that has just failed.
    ToolError Failed(const std::string& fallback) const;
    // The error for a file longer than the container holds.
    ToolError TooLarge() const;

    const Container& container_;
    FilePtr file_;
    bool isStore_;
    std::string where_;
    std::uint64_t written_ = 0;
    std::uint64_t reserved_ = 0;
};

// Writes everything `source` gives into `writer`, counting on `progress`.
void CopyStream(const ChunkSource& source, ContainerWriter& writer, Progress& progress);

}  // namespace kivfs_tool
