#include "ZipReaderComparison.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "backend/Failure.h"
#include "zip/OpenZipFs.h"

namespace kivfs_test {

namespace {

using kivfs::FsBackend;
using kivfs::FsFile;

// Bounds on the work one archive may cause: a little deflate data can stand
// for megabytes.
constexpr int kMaxNames = 400;
constexpr int kMaxOpens = 120;
constexpr int kMaxDepth = 8;
constexpr long kMaxEntryBytes = 4l << 20;

class Transcript {
  public:
    Transcript() { scope_.emplace(); }

    // Appends a line, with the failure noted since the last line: every call
    // is judged by its result and its cause. Each step runs in a scope of its
    // own, as an exported call does, whose cause is published here (-1 when
    // nothing was noted, written as 0).
    void Note(const std::string& line) { Add(line, Published()); }
    // The same for a cause handed back as a value.
    void Note(const std::string& line, int cause) {
        Published();
        Add(line, cause);
    }
    std::vector<std::string> Take() { return std::move(lines_); }

  private:
    int Published() {
        scope_->Fail(-1);
        const int code = kivfs::LastErrorCode();
        scope_.emplace();
        return code == -1 ? 0 : code;
    }
    void Add(const std::string& line, int cause) {
        lines_.push_back(line + " | noted " + std::to_string(cause));
    }

    std::optional<kivfs::CallScope> scope_;
    std::vector<std::string> lines_;
};

std::string Crc(const char* bytes, int count) {
    return std::to_string(
        crc32(0, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(std::max(count, 0))));
}

// One read of `length` bytes, written down with where it left the file.
int ReadStep(FsFile& file, int length, Transcript& out) {
    std::string buffer(static_cast<std::size_t>(length), '\0');
    const int count = file.Read(buffer.data(), length);
    out.Note("read " + std::to_string(length) + " -> " + std::to_string(count) + " crc " +
             Crc(buffer.data(), count) + " tell " + std::to_string(file.Tell()) + " error " +
             std::to_string(file.Error()));
    return count;
}

// Reads on in mixed piece sizes until the end, an error or the bound.
void ReadToEnd(FsFile& file, Transcript& out) {
    static const int kPieces[] = {1, 7, 4096, 65536, 300};
    long total = 0;
    for (int i = 0; total < kMaxEntryBytes; ++i) {
        const int count = ReadStep(file, kPieces[i % 5], out);
        if (count <= 0) return;
        total += count;
    }
}

void SeekStep(FsFile& file, int offset, int origin, Transcript& out) {
    const int result = file.Seek(offset, origin);
    out.Note("seek " + std::to_string(offset) + "," + std::to_string(origin) + " -> " +
             std::to_string(result) + " tell " + std::to_string(file.Tell()));
    ReadStep(file, 100, out);
}

// Seeks of every kind, each followed by a read; the size is what a seek to
// the end says (the same for both readers, or the lines differ already).
void SeekAround(FsFile& file, Transcript& out) {
    const int size = file.Seek(0, 2);
    out.Note("size " + std::to_string(size));
    if (size < 0 || size > kMaxEntryBytes) return;
    const int steps[][2] = {{0, 0},  {size / 2, 0}, {-3, 1}, {size / 3, 1},    {1, 2},
                            {-1, 0}, {size + 1, 0}, {-1, 2}, {-(size + 1), 2}, {size / 4, 0},
                            {0, 1},  {-10, 2},      {5, 3}};
    for (const auto& step : steps) SeekStep(file, step[0], step[1], out);
}

// Every listing below `dir`, depth first; collects file and directory names.
void List(FsBackend& fs, const std::string& dir, int depth, std::vector<std::string>& files,
          std::vector<std::string>& dirs, Transcript& out) {
    auto listing = fs.CreateEnum(dir);
    out.Note("list '" + dir + "'");
    while (listing->MoveNext() && files.size() + dirs.size() < kMaxNames) {
        char* name = nullptr;
        listing->GetName(&name);
        const std::string text = name ? name : "";
        delete[] name;
        const bool isDirectory = listing->IsDirectory();
        out.Note("  " + std::string(isDirectory ? "dir '" : "file '") + text + "'");
        if (!isDirectory) {
            files.push_back(dir + text);
        } else {
            dirs.push_back(dir + text);
            if (depth < kMaxDepth) List(fs, dir + text, depth + 1, files, dirs, out);
        }
    }
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void AskExistence(FsBackend& fs, const std::string& name, Transcript& out) {
    for (const std::string& asked : {name, Upper(name)}) {
        bool file = false;
        bool dir = false;
        const bool fileOk = fs.IsFileExist(asked, &file);
        const bool dirOk = fs.IsDirectoryExist(asked, &dir);
        out.Note("exists '" + asked + "' " + std::to_string(fileOk) + std::to_string(file) +
                 std::to_string(dirOk) + std::to_string(dir));
    }
}

std::unique_ptr<FsFile> Open(FsBackend& fs, const std::string& name, Transcript& out) {
    auto file = fs.OpenFile(name, 0);
    out.Note("open '" + name + "' " + (file ? "ok" : "null"));
    return file;
}

}  // namespace

std::vector<std::string> ZipTranscript(const std::string& path, kivfs::ArchiveOpener open) {
    Transcript out;
    kivfs::OpenedBackend opened = kivfs::OpenZipFsWith(path, open);
    std::unique_ptr<FsBackend> fs = std::move(opened.backend);
    out.Note(std::string("probe ") + (fs ? "ok" : "null"), opened.cause);
    if (!fs) return out.Take();

    std::vector<std::string> files;
    std::vector<std::string> dirs;
    List(*fs, "", 0, files, dirs, out);
    for (const auto& name : files) AskExistence(*fs, name, out);
    for (const auto& name : dirs) AskExistence(*fs, name, out);
    AskExistence(*fs, "", out);

    int opens = 0;
    for (const auto& name : files) {
        if (++opens > kMaxOpens) break;
        auto file = Open(*fs, name, out);
        if (!file) continue;
        ReadToEnd(*file, out);
        SeekAround(*file, out);
    }
    // Case-insensitive opens go through the index once an open came before.
    if (!files.empty()) Open(*fs, Upper(files.front()), out);

    // Two streams of one archive, a few bytes at a time each in turn, one
    // of them closed halfway; then one read on after the archive is gone.
    if (files.size() >= 2) {
        auto first = Open(*fs, files[0], out);
        auto second = Open(*fs, files[1], out);
        for (int round = 0; round < 12 && first && second; ++round) {
            ReadStep(*first, 5, out);
            ReadStep(*second, 3, out);
            if (round == 6) second.reset();
        }
        if (first) {
            SeekStep(*first, 20, 1, out);
            SeekStep(*first, 2, 0, out);
        }
        // A forward seek right after the stream that read last was closed.
        second = Open(*fs, files[1], out);
        second.reset();
        if (first) SeekStep(*first, 1, 1, out);
    }
    if (!files.empty()) {
        auto last = Open(*fs, files.back(), out);
        fs.reset();
        if (last) {
            ReadStep(*last, 10, out);
            SeekStep(*last, 0, 0, out);
            ReadToEnd(*last, out);
        }
    }
    return out.Take();
}

std::string CompareZipReaders(const std::string& path) {
    const std::vector<std::string> zziplib = ZipTranscript(path, kivfs::OpenWithZziplib);
    const std::vector<std::string> kzip = ZipTranscript(path, kivfs::OpenWithKzip);
    const std::size_t common = std::min(zziplib.size(), kzip.size());
    for (std::size_t line = 0; line < common; ++line) {
        if (zziplib[line] != kzip[line]) {
            return path + " line " + std::to_string(line) + ":\n  zziplib: " + zziplib[line] +
                   "\n  kzip:    " + kzip[line];
        }
    }
    if (zziplib.size() != kzip.size()) {
        return path + ": zziplib gave " + std::to_string(zziplib.size()) + " lines, kzip " +
               std::to_string(kzip.size());
    }
    return std::string();
}

}  // namespace kivfs_test
