// pack and unpack: every file of a container into a store or a zip
// archive, or out into a local folder. A source that cannot be taken (a
// file that does not open, a name a container must not hold) is named on
// standard error and left out; the rest is copied, and the command then
// fails with a summary. A failure while copying leaves the target as it was.
#include <CLI/CLI.hpp>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "Container.h"
#include "LibraryReason.h"
#include "LocalFiles.h"
#include "PathContent.h"
#include "SafeName.h"
#include "SkipReport.h"
#include "ToolError.h"
#include "Transfer.h"
#include "Tree.h"
#include "ZipWriter.h"

namespace kivfs_tool {

namespace {

struct TreeOptions {
    std::string source;
    std::string target;
    bool zip = false;
};

// Opens a listed file for copying, or skips it for a reason of its own (it
// is gone, not readable, not a regular file, refused by the archive). A
// failure of the whole container or of the machine stops the command.
FilePtr OpenForCopy(const Container& source, const std::string& name, SkipReport& skips) {
    FilePtr file(kivfsCreateFileIndir(source.handle(), name.c_str(), 0));
    if (file) return file;
    const std::string where = source.Display(name);
    if (LastFailureIsGeneral()) throw source.Failure("cannot open " + Quoted(where), "");
    skips.Skip(where, LibraryReason("cannot open it"));
    return nullptr;
}

// The files of `tree` that can be packed: names that unpack would write
// back, of files that open. Their bytes are read only when copied: a file
// that fails then (damaged data) fails the whole pack.
std::vector<std::string> PackableFiles(const Container& source, const std::vector<TreeEntry>& tree,
                                       SkipReport& skips) {
    std::vector<std::string> files;
    for (const TreeEntry& entry : tree) {
        if (entry.isDirectory) continue;
        const std::string reason = UnsafeNameReason(entry.name, false);
        if (!reason.empty()) {
            skips.Skip(source.Display(entry.name), reason);
            continue;
        }
        if (OpenForCopy(source, entry.name, skips)) files.push_back(entry.name);
    }
    return files;
}

bool HasZipExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".zip";
}

// Whether pack writes a zip archive (--zip, or a name ending with ".zip")
// or a store. What already stands at the target must be of that kind: a
// new archive replaces an old one, a store takes the files in, and
// anything else is refused before any work.
bool PacksIntoZip(const TreeOptions& options) {
    const bool zip = options.zip || HasZipExtension(options.target);
    const std::string what = "cannot pack into " + Quoted(options.target);
    switch (WhatPathHolds(options.target)) {
        case PathContent::Nothing:
        case PathContent::EmptyFile:
            return zip;
        case PathContent::Directory:
            throw ToolError(what + ": it is a directory, not a " + (zip ? "zip archive" : "store"));
        case PathContent::ZipArchive:
            if (zip) return true;
            throw ToolError(
                what + ": it is a zip archive, not a store (--zip replaces it with a new one)");
        case PathContent::Store:
            if (!zip) return false;
            throw ToolError(what + ": it is a store, not a zip archive");
        case PathContent::Unreadable:
            throw ToolError(what + ": the file cannot be read");
        case PathContent::Other:
            break;
    }
    throw ToolError(what + ": it is not a " + (zip ? "zip archive" : "store"));
}

// A new store is built in a part file and renamed into place only when
// complete, so that a failed pack leaves no store behind. The part and any
// journal SQLite left beside it are removed first (a journal left by a
// crash would be played into the new file) and again on failure.
class NewStoreFile {
  public:
    explicit NewStoreFile(std::string target)
        : target_(std::move(target)), part_(PartFileName(target_)) {
        RemoveAll();
    }
    ~NewStoreFile() {
        if (!kept_) RemoveAll();
    }
    NewStoreFile(const NewStoreFile&) = delete;
    NewStoreFile& operator=(const NewStoreFile&) = delete;

    const std::string& part() const { return part_; }
    // Renames the closed, complete store over the target.
    void Keep() {
        RenameLocalFile(part_, target_);
        kept_ = true;
    }

  private:
    void RemoveAll() const {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) RemoveLocalFile(part_ + suffix);
    }

    std::string target_;
    std::string part_;
    bool kept_ = false;
};

// Copies `files` into `store` in one transaction. A failure part-way
// leaves the transaction uncommitted, and closing the store then discards
// it, so the store keeps exactly what it held before. A store's
// directories exist through the files below them; none is copied alone.
void CopyIntoStore(const Container& source, const std::vector<std::string>& files,
                   const Container& store, Progress& progress, SkipReport& skips) {
    const std::string what = "cannot pack into " + Quoted(store.path());
    if (!kivfsBeginTrans(store.handle())) throw store.Failure(what, "no transaction");
    for (const std::string& name : files) {
        FilePtr in = OpenForCopy(source, name, skips);
        if (!in) continue;
        const int size = FileSizeOf(in.get());
        ContainerWriter writer(store, name, size > 0 ? static_cast<std::uint64_t>(size) : 0);
        ReadToEnd(
            in.get(), source, name,
            [&writer](const char* data, std::size_t count) { writer.Write(data, count); },
            progress);
        writer.Finish();
        progress.FileDone();
    }
    if (!kivfsCommitTrans(store.handle())) throw store.Failure(what, "commit failed");
}

// Into an existing store the files go by its transaction; a new store is
// built aside (NewStoreFile).
void PackIntoStore(const Container& source, const std::vector<std::string>& files,
                   const std::string& target, Progress& progress, SkipReport& skips) {
    if (LocalExists(target)) {
        const Container store = Container::Open(target, OpenMode::MayCreate);
        CopyIntoStore(source, files, store, progress, skips);
        return;
    }
    NewStoreFile part(target);
    {
        const Container store = Container::Open(part.part(), OpenMode::MayCreate, target);
        CopyIntoStore(source, files, store, progress, skips);
    }
    part.Keep();
}

void PackIntoZip(const Container& source, const std::vector<std::string>& files,
                 const std::string& target, Progress& progress) {
    ZipWriter zip(target);
    for (const std::string& name : files) zip.Add(source, name);
    zip.Commit(progress);
}

void RunPack(const TreeOptions& options) {
    const Container source = Container::Open(options.source, OpenMode::MustExist);
    if (SameLocalFile(options.source, options.target)) {
        throw ToolError("cannot pack " + Quoted(options.source) + " into itself");
    }
    const bool zip = PacksIntoZip(options);
    SkipReport skips;
    const std::vector<TreeEntry> tree = ListTree(source, "", &skips);
    const std::vector<std::string> files = PackableFiles(source, tree, skips);
    Progress progress(ProgressWanted(true, 0), 0, files.size());
    skips.Attach(&progress);
    if (zip) {
        PackIntoZip(source, files, options.target, progress);
    } else {
        PackIntoStore(source, files, options.target, progress, skips);
    }
    progress.Finish();
    skips.ThrowIfAny("packed " + std::to_string(files.size()) + " files into " +
                     Quoted(options.target));
}

// Local files are written beside their targets and renamed over them
// when complete, so an existing file is never left half written.
void RunUnpack(const TreeOptions& options) {
    const Container source = Container::Open(options.source, OpenMode::MustExist);
    SkipReport skips;
    const std::vector<TreeEntry> tree = ListTree(source, "", &skips);
    MakeLocalDirectories(options.target);
    const std::filesystem::path root = LocalPath(options.target);
    std::size_t fileCount = 0;
    for (const TreeEntry& entry : tree) fileCount += entry.isDirectory ? 0 : 1;
    Progress progress(ProgressWanted(true, 0), 0, fileCount);
    skips.Attach(&progress);
    std::size_t written = 0;
    for (const TreeEntry& entry : tree) {
        // The name is checked before it becomes a local path, the path then
        // against links already in the folder that lead out of it.
        const std::string badName = UnsafeNameReason(entry.name, entry.isDirectory);
        if (!badName.empty()) {
            skips.Skip(source.Display(entry.name), badName);
            continue;
        }
        const std::filesystem::path target = root / LocalPath(entry.name);
        if (!LiesInside(root, target)) {
            skips.Skip(source.Display(entry.name),
                       "a link leads outside " + Quoted(options.target));
            continue;
        }
        if (entry.isDirectory) {
            MakeLocalDirectories(Utf8Text(target));
            continue;
        }
        FilePtr in = OpenForCopy(source, entry.name, skips);
        if (!in) continue;
        MakeLocalDirectories(Utf8Text(target.parent_path()));
        const std::string local = Utf8Text(target);
        LocalOutput out(local);
        ReadToEnd(in.get(), source, entry.name, StreamSink(out.stream(), local), progress);
        out.Commit();
        progress.FileDone();
        ++written;
    }
    progress.Finish();
    skips.ThrowIfAny("unpacked " + std::to_string(written) + " files into " +
                     Quoted(options.target));
}

}  // namespace

void AddTreeCommands(CLI::App& app) {
    auto pack = std::make_shared<TreeOptions>();
    CLI::App* packCommand = app.add_subcommand(
        "pack",
        "Copy every file of a directory, zip archive or store into a store (created if missing; "
        "one transaction) or, for a name ending in .zip or with --zip, into a new deflated zip "
        "archive replacing any old one; all of it or, on failure, nothing. Only contents are "
        "kept: no modes, times, links or empty folders. Files that cannot be read are named "
        "and skipped (exit status 1)");
    packCommand->add_option("SOURCE", pack->source, "The container to copy")->required();
    packCommand->add_option("TARGET", pack->target, "The store or zip archive to write")
        ->required();
    packCommand->add_flag("--zip", pack->zip, "Write a zip archive whatever TARGET's name");
    packCommand->callback([pack] { RunPack(*pack); });

    auto unpack = std::make_shared<TreeOptions>();
    CLI::App* unpackCommand = app.add_subcommand(
        "unpack",
        "Copy every file and directory of a container into a local folder (created if missing); "
        "names that would land outside it, or that a folder must not hold, are named and "
        "skipped (exit status 1)");
    unpackCommand->add_option("CONTAINER", unpack->source, "The container to copy")->required();
    unpackCommand->add_option("DIR", unpack->target, "The folder to write into")->required();
    unpackCommand->callback([unpack] { RunUnpack(*unpack); });
}

}  // namespace kivfs_tool
