// Fuzz target: the bytes as an archive file, opened as a container through
// the exported calls and used as a host would: listed recursively, every
// name tested, every entry opened, read whole, sought and read again.
//
// Bytes that hold no archive go on to the store, as the container selection
// does, and are used the same way. Besides surviving, an entry that reads to
// its end without an error must read the same bytes again after a seek back,
// and end where a seek to its end says it does; a listed file must exist.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "FuzzInput.h"
#include "kivfs.h"

namespace kivfs_fuzz {
namespace {

// Bounds on the work one input may cause: a few bytes of deflate data can
// stand for megabytes, and many entries may share them.
constexpr size_t kMaxEntryBytes = 4u << 20;
constexpr size_t kMaxRunBytes = 16u << 20;
constexpr int kMaxNames = 512;
constexpr int kMaxDepth = 8;

void Expect(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

// What reading an entry from where it stands gave.
struct Reading {
    std::string bytes;
    bool clean = false;  // ended with 0 and kivfsError, without a -1
};

Reading ReadToEnd(FileHandle* file, size_t limit) {
    Reading reading;
    // Mixed piece sizes: zziplib's inflate keeps state across reads.
    static const int kPieces[] = {1, 7, 4096, 65536, 300};
    char buffer[65536];
    for (size_t i = 0; reading.bytes.size() < limit; ++i) {
        const int count = kivfsRead(file, buffer, kPieces[i % 5]);
        if (count <= 0) {
            reading.clean = count == 0 && kivfsError(file);
            break;
        }
        Expect(count <= kPieces[i % 5], "read more than asked");
        if (Tracing())
            std::fprintf(stderr, "read %d: %d, tell %d\n", kPieces[i % 5], count, kivfsTell(file));
        reading.bytes.append(buffer, count);
    }
    return reading;
}

class ArchiveRun {
  public:
    // A "\" in a stored name is a "/" to every call, so the names are looked
    // for in the bytes read that way.
    ArchiveRun(DirHandle* dir, std::string bytes) : dir_(dir), bytes_(std::move(bytes)) {
        std::replace(bytes_.begin(), bytes_.end(), '\\', '/');
    }

    // Collects every file name below `directory` (its text, with its "/").
    void List(const std::string& directory, int depth);
    // Tests, opens and reads each listed file.
    void ReadAll();

  private:
    void ReadOne(const std::string& name);

    DirHandle* dir_;
    std::string bytes_;  // the archive file's bytes, each "\" a "/"
    std::vector<std::string> files_;
    size_t budget_ = kMaxRunBytes;
};

void ArchiveRun::List(const std::string& directory, int depth) {
    EnumHandle* listing = kivfsCreateEnumIndir(dir_, directory.c_str());
    if (!listing) return;
    std::vector<std::string> subdirectories;
    for (int pass = 0; pass < 2; ++pass) {
        while (kivfsMoveNext(listing) && files_.size() < kMaxNames) {
            char* name = nullptr;
            char* fullName = nullptr;
            Expect(kivfsGetName(listing, &name) && kivfsGetFullName(listing, &fullName),
                   "listed names");
            // The calls read a "\" in the directory's text as "/".
            const std::string full = fullName;
            Expect(full == Normalized(directory) + name, "full name is the directory and the name");
            if (pass == 0) (kivfsIsDirectory(listing) ? subdirectories : files_).push_back(full);
            kivfsFreeName(name);
            kivfsFreeName(fullName);
        }
        kivfsReset(listing);
    }
    kivfsCloseEnum(listing);
    if (depth >= kMaxDepth) return;
    for (const std::string& sub : subdirectories) {
        bool exists = false;
        kivfsIsDirectoryExist(dir_, sub.c_str(), &exists);
        List(sub, depth + 1);
    }
}

void ArchiveRun::ReadAll() {
    for (const std::string& name : files_) {
        // A file's full name is an entry's name as stored (a "\" read as
        // "/"): bytes of the archive, never bytes from anywhere else.
        Expect(bytes_.find(name) != std::string::npos,
               "listed name '" + name + "' is not in the archive");
        bool exists = false;
        Expect(kivfsIsFileExist(dir_, name.c_str(), &exists), "file exists query");
        Expect(exists || name.empty(), "listed file '" + name + "' does not exist");
        if (budget_ > 0) ReadOne(name);
    }
}

// Reads the entry whole, then again after seeking back to its start and to
// its middle; a seek before the start fails and one to the end lands there.
void ArchiveRun::ReadOne(const std::string& name) {
    FileHandle* file = kivfsCreateFileIndir(dir_, name.c_str(), 0);
    if (Tracing()) std::fprintf(stderr, "entry '%s': %s\n", name.c_str(), file ? "open" : "none");
    if (!file) return;
    Expect(kivfsTell(file) == 0, "a new entry stands at 0");
    const Reading first = ReadToEnd(file, std::min(budget_, kMaxEntryBytes));
    budget_ -= std::min(budget_, first.bytes.size());
    if (first.clean && budget_ > first.bytes.size()) {
        const int size = static_cast<int>(first.bytes.size());
        Expect(kivfsTell(file) == size, "tell at the end");
        Expect(kivfsSeek(file, 0, 2) == size, "seek to the end");
        Expect(kivfsSeek(file, 1, 2) == -1 && kivfsTell(file) == size, "seek past the end");
        Expect(kivfsSeek(file, 0, 0) == 0, "seek to the start");
        const Reading again = ReadToEnd(file, kMaxEntryBytes);
        Expect(again.clean && again.bytes == first.bytes, "second reading differs");
        Expect(kivfsSeek(file, size / 2, 0) == size / 2, "seek to the middle");
        const Reading tail = ReadToEnd(file, kMaxEntryBytes);
        Expect(tail.bytes == first.bytes.substr(size / 2), "reading from the middle differs");
        Expect(kivfsSeek(file, -1, 0) == -1, "seek before the start");
        budget_ -= std::min(budget_, 2 * first.bytes.size());
    }
    kivfsCloseFile(file);
}

}  // namespace
}  // namespace kivfs_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = kivfs_fuzz::SandboxPath() + "/input.zip";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    DirHandle* dir = kivfsOpenDir(path.c_str());
    if (dir) {
        kivfs_fuzz::ArchiveRun run(dir, std::string(reinterpret_cast<const char*>(data), size));
        run.List("", 0);
        run.ReadAll();
        kivfsCloseDir(dir);
    }
    return 0;
}
