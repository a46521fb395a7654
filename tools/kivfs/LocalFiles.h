// Files and folders of the machine the tool runs on, outside any container:
// the sources of put, the targets of get and unpack, and the existence
// checks that keep read-only commands from creating stores by accident.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kivfs_tool {

// The local path for a UTF-8 text as given on the command line.
std::filesystem::path LocalPath(const std::string& utf8);
// The UTF-8 text of a local path, for messages and for the library.
std::string Utf8Text(const std::filesystem::path& path);

// The system's words for a C library error number, in the lower case of
// every error line ("no space left on device"); a plain fallback for 0.
std::string SystemReason(int error);

bool LocalExists(const std::string& utf8);
bool LocalIsDirectory(const std::string& utf8);

// Where a file that replaces `target` is written until complete: the
// target's name with ".kivfs-part" added, beside it.
std::string PartFileName(const std::string& target);

// Removes a file if it exists; failures are ignored (used for leftovers).
void RemoveLocalFile(const std::string& utf8);
// Renames `from` over `to`; throws ToolError naming `to` on failure.
void RenameLocalFile(const std::string& from, const std::string& to);

// True when both paths exist and name the same file or folder.
bool SameLocalFile(const std::string& a, const std::string& b);

// The last component of a name inside a container ("docs/a.txt" -> "a.txt").
std::string BaseName(const std::string& name);

// True when `target`, with every link in its existing part resolved, lies
// inside `root` (also resolved). Guards unpack against links placed inside
// the target folder that point elsewhere.
bool LiesInside(const std::filesystem::path& root, const std::filesystem::path& target);

// An input file opened for binary reading; throws ToolError when it cannot be.
class LocalInput {
  public:
    explicit LocalInput(const std::string& utf8);
    std::istream& stream() { return in_; }
    // Its size in bytes, known before reading.
    std::uintmax_t size() const { return size_; }

  private:
    std::ifstream in_;
    std::uintmax_t size_ = 0;
};

// An output file that replaces `target` only when complete: bytes go to a
// temporary file beside it, renamed over the target by Commit(). A file
// left uncommitted (an error part-way) is removed, and the target keeps its
// old content.
class LocalOutput {
  public:
    explicit LocalOutput(const std::string& utf8);
    ~LocalOutput();
    LocalOutput(const LocalOutput&) = delete;
    LocalOutput& operator=(const LocalOutput&) = delete;

    std::ostream& stream() { return out_; }
    // Flushes and closes the part file; throws ToolError on failure.
    void Close();
    // Closes (if still open) and renames; throws ToolError on failure.
    void Commit();

  private:
    std::string target_;
    std::filesystem::path partPath_;
    std::ofstream out_;
    bool committed_ = false;
};

// A part file that something else writes (the library, libzip), renamed
// over its target by Keep and removed if it is not kept.
class LocalPart {
  public:
    // The part of `target` (see PartFileName); a leftover of an earlier
    // run is removed first.
    explicit LocalPart(const std::string& target);
    ~LocalPart();
    LocalPart(const LocalPart&) = delete;
    LocalPart& operator=(const LocalPart&) = delete;

    const std::string& path() const { return part_; }
    // Renames the part over the target; throws ToolError on failure.
    void Keep();

  private:
    std::string target_;
    std::string part_;
    bool kept_ = false;
};

// Creates `utf8` and its missing parents as folders; throws ToolError when
// that fails or when a non-folder stands in the way. Each folder made is
// added to `created` when given, parents first.
void MakeLocalDirectories(const std::string& utf8,
                          std::vector<std::filesystem::path>* created = nullptr);

}  // namespace kivfs_tool
