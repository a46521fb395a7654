// pack and unpack: every file of a container (or of one of its folders)
// into a store or a zip archive, or out into a local folder. A source that
// cannot be taken (a file that does not open, a name a container must not
// hold) is named on standard error and left out; the rest is copied, and the
// command then fails with a summary. A failure or an interruption while
// copying leaves the target as it was.
#include <CLI/CLI.hpp>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Commands.h"
#include "Container.h"
#include "Interrupt.h"
#include "LibraryReason.h"
#include "LocalFiles.h"
#include "PathContent.h"
#include "SafeName.h"
#include "SkipReport.h"
#include "StoreTarget.h"
#include "ToolError.h"
#include "Transfer.h"
#include "Tree.h"
#include "ZipWriter.h"

namespace kivfs_tool {

namespace {

// The most entries an archive holds without zip64 records, which the
// library does not read: libzip writes them from 65,535 entries on.
constexpr std::size_t kZipEntryLimit = 65534;

struct TreeOptions {
    std::string source;
    std::string target;
    bool zip = false;
    bool store = false;
};

// A file to pack: its full name in the source, and its name in the target
// (relative to the folders named on both sides).
struct PackFile {
    std::string from;
    std::string to;
};

// "1 file", "2 files".
std::string Counted(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Opens a listed file for copying, or skips it for a reason of its own (it
// is gone, not readable, not a regular file, refused by the archive). A
// failure of the whole container or of the machine stops the command.
FilePtr OpenForCopy(const Container& source, const std::string& name, SkipReport& skips) {
    FilePtr file(kivfsCreateFileIndir(source.handle(), name.c_str(), 0));
    if (file) return file;
    const std::string where = source.Display(name);
    if (LastFailureIsGeneral()) throw source.Failure("cannot open " + Quoted(where), "");
    skips.Skip(where, source.Reason(name, "cannot open it"));
    return nullptr;
}

// The folder of the source a command takes ("" for the whole container),
// as a listing prefix; a name that is no folder is refused.
std::string SourceFolder(const Container& source, const ContainerPath& path, const char* verb,
                         const char* forAFile) {
    if (source.IsDirectory(path.name)) return DirectoryPrefix(path.name);
    const std::string what = std::string("cannot ") + verb + " " + Quoted(path.Display());
    if (source.IsFile(path.name)) throw ToolError(what + ": is a file (" + forAFile + ")");
    throw ToolError(what + ": no such directory");
}

// The files of `tree` that can be packed: names that unpack would write
// back, of files that open. Their bytes are read only when copied: a file
// that fails then (damaged data) fails the whole pack.
std::vector<PackFile> PackableFiles(const Container& source, const std::vector<TreeEntry>& tree,
                                    const std::string& folder, SkipReport& skips) {
    std::vector<PackFile> files;
    for (const TreeEntry& entry : tree) {
        ThrowIfInterrupted();
        if (entry.isDirectory) continue;
        const std::string relative = entry.name.substr(folder.size());
        const std::string reason = UnsafeNameReason(relative, false);
        if (!reason.empty()) {
            skips.Skip(source.Display(entry.name), reason);
            continue;
        }
        if (OpenForCopy(source, entry.name, skips)) files.push_back(PackFile{entry.name, relative});
    }
    return files;
}

// The last `suffix.size()` characters of `path` in lower case.
std::string LowerTail(const std::string& path, std::size_t length) {
    std::string tail = path.size() < length ? path : path.substr(path.size() - length);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail;
}

bool HasZipExtension(const std::string& path) {
    return path.size() >= 4 && LowerTail(path, 4) == ".zip";
}

// The suffix of `path` when it names a kind of archive pack does not write
// (which a store of that name would only pass for), or "".
std::string ForeignSuffix(const std::string& path) {
    static const char* const kSuffixes[] = {
        ".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".tar", ".tgz",  ".tbz2", ".txz",
        ".gz",     ".bz2",     ".xz",     ".zst",     ".lz",  ".lzma", ".7z",   ".rar",
        ".cab",    ".iso",     ".jar",    ".war",     ".apk", ".pk3",  ".cpio", ".ar"};
    for (const char* suffix : kSuffixes) {
        const std::string text = suffix;
        if (path.size() > text.size() && LowerTail(path, text.size()) == text) return text;
    }
    return "";
}

// Whether pack writes a zip archive (--zip, or a name ending with ".zip"
// without --store) or a store. What already stands at the target must be of
// that kind: a new archive replaces an old one, a store takes the files in,
// and anything else is refused before any work. So is a new target named
// like an archive of another kind, unless --store or --zip says what to
// write.
bool PacksIntoZip(const TreeOptions& options, const std::string& path) {
    const bool zip = options.zip || (!options.store && HasZipExtension(path));
    const std::string what = "cannot pack into " + Quoted(options.target);
    switch (WhatPathHolds(path)) {
        case PathContent::Nothing:
        case PathContent::EmptyFile: {
            const std::string suffix = ForeignSuffix(path);
            if (!options.zip && !options.store && !suffix.empty()) {
                throw ToolError(what + ": pack writes stores and zip archives, not " +
                                Quoted(suffix) + " files (--store or --zip says which to write)");
            }
            return zip;
        }
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

// Copies `files` into the folder `folder` of `store`, inside its
// transaction. A store's directories exist through the files below them;
// none is copied alone.
void CopyIntoStore(const Container& source, const std::vector<PackFile>& files,
                   const std::string& folder, const Container& store, Progress& progress,
                   SkipReport& skips) {
    for (const PackFile& file : files) {
        FilePtr in = OpenForCopy(source, file.from, skips);
        if (!in) continue;
        const int size = FileSizeOf(in.get());
        ContainerWriter writer(store, folder + file.to,
                               size > 0 ? static_cast<std::uint64_t>(size) : 0);
        ReadToEnd(
            in.get(), source, file.from,
            [&writer](const char* data, std::size_t count) { writer.Write(data, count); },
            progress);
        writer.Finish();
        progress.FileDone();
    }
}

// All of it in one transaction, or (StoreTarget) nothing.
void PackIntoStore(const Container& source, const std::vector<PackFile>& files,
                   const std::string& path, const std::string& folder, const std::string& what,
                   Progress& progress, SkipReport& skips) {
    StoreTarget target(path, what);
    CopyIntoStore(source, files, folder, target.store(), progress, skips);
    target.Commit();
}

// Every folder that holds a packed file gets an entry of its own, as zip
// -r makes them, so that readers (kivfsIsDirectoryExist among them) find
// the folder itself. The entry count is checked before anything is written.
void PackIntoZip(const Container& source, const std::vector<PackFile>& files,
                 const std::string& target, Progress& progress) {
    std::map<std::string, const PackFile*> entries;
    for (const PackFile& file : files) {
        entries[file.to] = &file;
        for (size_t slash = file.to.find('/'); slash != std::string::npos;
             slash = file.to.find('/', slash + 1)) {
            entries.emplace(file.to.substr(0, slash + 1), nullptr);
        }
    }
    if (entries.size() > kZipEntryLimit) {
        throw ToolError("cannot write " + Quoted(target) + ": " + std::to_string(entries.size()) +
                        " entries (files and folders), more than the 65,534 a zip archive holds "
                        "without zip64 records, which kivfs does not read");
    }
    ZipWriter zip(target);
    for (const auto& [name, file] : entries) {
        ThrowIfInterrupted();
        if (file) {
            zip.Add(source, file->from, name);
        } else {
            zip.AddDirectory(name);
        }
    }
    zip.Commit(progress);
}

void RunPack(const TreeOptions& options) {
    const ContainerPath from = ParseContainerPath(options.source);
    const Container source = Container::Open(from.container, OpenMode::MustExist);
    const std::string sourceFolder = SourceFolder(source, from, "pack", "put copies one file");
    const ContainerPath to = ParseContainerPath(options.target);
    const std::string what = "cannot pack into " + Quoted(options.target);
    if (SameLocalFile(from.container, to.container)) {
        throw ToolError("cannot pack " + Quoted(options.source) + " into itself");
    }
    const bool zip = PacksIntoZip(options, to.container);
    std::string targetFolder;
    if (!to.givenName.empty()) {
        if (zip) {
            throw ToolError(what + ": a zip archive is written whole, not into a folder of it");
        }
        const std::string reason = UnsafeNameReason(to.givenName, true);
        if (!reason.empty()) throw ToolError(what + ": " + reason);
        targetFolder = DirectoryPrefix(to.name);
    }
    SkipReport skips;
    const std::vector<TreeEntry> tree = ListTree(source, sourceFolder, &skips);
    const std::vector<PackFile> files = PackableFiles(source, tree, sourceFolder, skips);
    Progress progress(ProgressWanted(true, 0), 0, files.size());
    skips.Attach(&progress);
    if (zip) {
        PackIntoZip(source, files, to.container, progress);
    } else {
        PackIntoStore(source, files, to.container, targetFolder, what, progress, skips);
    }
    progress.Finish();
    skips.ThrowIfAny("packed " + Counted(files.size(), "file") + " into " + Quoted(options.target));
}

// The local side of unpack: files are written to part files beside their
// targets and all renamed into place at the end, so a failure or an
// interruption leaves no file replaced and removes the folders it made.
class UnpackTarget {
  public:
    explicit UnpackTarget(const std::string& root) { MakeLocalDirectories(root, &made_); }
    ~UnpackTarget() {
        if (done_) return;
        files_.clear();
        std::error_code ignored;
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            std::filesystem::remove(*it, ignored);
        }
    }
    UnpackTarget(const UnpackTarget&) = delete;
    UnpackTarget& operator=(const UnpackTarget&) = delete;

    void MakeFolder(const std::filesystem::path& folder) {
        MakeLocalDirectories(Utf8Text(folder), &made_);
    }
    // A written, closed part file, renamed by Finish.
    void Stage(std::unique_ptr<LocalOutput> file) { files_.push_back(std::move(file)); }
    // The last check for a signal comes before the first rename.
    void Finish() {
        ThrowIfInterrupted();
        for (const auto& file : files_) file->Commit();
        done_ = true;
    }

  private:
    std::vector<std::filesystem::path> made_;
    std::vector<std::unique_ptr<LocalOutput>> files_;
    bool done_ = false;
};

// Names are written relative to the folder of the container named.
void RunUnpack(const TreeOptions& options) {
    const ContainerPath from = ParseContainerPath(options.source);
    const Container source = Container::Open(from.container, OpenMode::MustExist);
    const std::string folder = SourceFolder(source, from, "unpack", "get copies one file");
    SkipReport skips;
    const std::vector<TreeEntry> tree = ListTree(source, folder, &skips);
    UnpackTarget out(options.target);
    const std::filesystem::path root = LocalPath(options.target);
    std::size_t fileCount = 0;
    for (const TreeEntry& entry : tree) fileCount += entry.isDirectory ? 0 : 1;
    Progress progress(ProgressWanted(true, 0), 0, fileCount);
    skips.Attach(&progress);
    std::set<std::filesystem::path> written;
    std::size_t unpacked = 0;
    for (const TreeEntry& entry : tree) {
        ThrowIfInterrupted();
        // The name is checked before it becomes a local path, the path then
        // against links already in the folder that lead out of it.
        const std::string relative = entry.name.substr(folder.size());
        const std::string badName = UnsafeNameReason(relative, entry.isDirectory);
        if (!badName.empty()) {
            skips.Skip(source.Display(entry.name), badName);
            continue;
        }
        const std::filesystem::path target = root / LocalPath(relative);
        if (!LiesInside(root, target)) {
            skips.Skip(source.Display(entry.name),
                       "a link leads outside " + Quoted(options.target));
            continue;
        }
        if (entry.isDirectory) {
            out.MakeFolder(target);
            continue;
        }
        // Two entries of one name would share one part file.
        if (!written.insert(target).second) {
            skips.Skip(source.Display(entry.name), "an entry of the same name came first");
            continue;
        }
        FilePtr in = OpenForCopy(source, entry.name, skips);
        if (!in) continue;
        out.MakeFolder(target.parent_path());
        const std::string local = Utf8Text(target);
        auto file = std::make_unique<LocalOutput>(local);
        ReadToEnd(in.get(), source, entry.name, StreamSink(file->stream(), Quoted(local)),
                  progress);
        file->Close();
        out.Stage(std::move(file));
        progress.FileDone();
        ++unpacked;
    }
    out.Finish();
    progress.Finish();
    skips.ThrowIfAny("unpacked " + Counted(unpacked, "file") + " into " + Quoted(options.target));
}

}  // namespace

void AddTreeCommands(CLI::App& app) {
    auto pack = std::make_shared<TreeOptions>();
    CLI::App* packCommand = app.add_subcommand(
        "pack",
        "Copy every file of a container (or of its folder, SOURCE:DIR) into a store (or its "
        "folder, TARGET:DIR) in one transaction, or into a new deflated zip archive for a name "
        "ending in .zip or with --zip; all or nothing. Files that cannot be read are named and "
        "skipped (exit status 1)");
    packCommand->add_option("SOURCE", pack->source, "The container (or CONTAINER:DIR) to copy")
        ->required();
    packCommand
        ->add_option("TARGET", pack->target,
                     "The store (or STORE:DIR) or zip archive to write; names of other kinds of "
                     "archive (.tar, .7z ...) need --store or --zip")
        ->required();
    CLI::Option* zip =
        packCommand->add_flag("--zip", pack->zip, "Write a zip archive whatever TARGET's name");
    packCommand->add_flag("--store", pack->store, "Write a store whatever TARGET's name")
        ->excludes(zip);
    packCommand->callback([pack] { RunPack(*pack); });

    auto unpack = std::make_shared<TreeOptions>();
    CLI::App* unpackCommand = app.add_subcommand(
        "unpack",
        "Copy every file and directory of a container (or of its folder, CONTAINER:DIR) into a "
        "local folder; all or nothing. Names that would land outside it, or that a folder must "
        "not hold, are named and skipped (exit status 1)");
    unpackCommand
        ->add_option("CONTAINER", unpack->source, "The container (or CONTAINER:DIR) to copy")
        ->required();
    unpackCommand->add_option("DIR", unpack->target, "The folder to write into")->required();
    unpackCommand->callback([unpack] { RunUnpack(*unpack); });
}

}  // namespace kivfs_tool
