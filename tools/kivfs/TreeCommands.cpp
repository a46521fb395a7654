// pack and unpack: whole containers into a store, or out into a folder.
#include <CLI/CLI.hpp>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "LocalFiles.h"
#include "SafeName.h"
#include "ToolError.h"
#include "Transfer.h"
#include "Tree.h"

namespace kivfs_tool {

namespace {

struct TreeOptions {
    std::string source;
    std::string target;
};

std::size_t CountFiles(const std::vector<TreeEntry>& tree) {
    std::size_t files = 0;
    for (const TreeEntry& entry : tree) files += entry.isDirectory ? 0 : 1;
    return files;
}

// Opens a file named by a listing of `container`, which must open.
FilePtr OpenListedFile(const Container& container, const std::string& name) {
    FilePtr file(kivfsCreateFileIndir(container.handle(), name.c_str(), 0));
    if (!file) throw ToolError("cannot open " + Quoted(container.Display(name)) + ": open failed");
    return file;
}

// Every file goes in under its full name inside the source. All of it is
// one transaction of the store: a failure part-way leaves the transaction
// uncommitted, and closing the store then discards it, so the store keeps
// exactly what it held before. Directories are not copied on their own: a
// store's directories exist through the files below them.
void RunPack(const TreeOptions& options) {
    const Container source = Container::Open(options.source, OpenMode::MustExist);
    if (SameLocalFile(options.source, options.target)) {
        throw ToolError("cannot pack " + Quoted(options.source) + " into itself");
    }
    const Container store = Container::Open(options.target, OpenMode::MayCreate);
    if (store.kind() != ContainerKind::Store) {
        throw ToolError("cannot pack into " + Quoted(options.target) + ": it is a " +
                        KindText(store.kind()) + ", not a store");
    }
    const std::vector<TreeEntry> tree = ListTree(source, "");
    Progress progress(ProgressWanted(true, 0), 0, CountFiles(tree));
    if (!kivfsBeginTrans(store.handle())) {
        throw ToolError("cannot pack into " + Quoted(options.target) + ": no transaction");
    }
    for (const TreeEntry& entry : tree) {
        if (entry.isDirectory) continue;
        FilePtr in = OpenListedFile(source, entry.name);
        const int size = FileSizeOf(in.get());
        ContainerWriter writer(store, entry.name, size > 0 ? size : 0);
        ReadToEnd(
            in.get(), source.Display(entry.name),
            [&writer](const char* data, std::size_t count) { writer.Write(data, count); },
            progress);
        writer.Finish();
        progress.FileDone();
    }
    if (!kivfsCommitTrans(store.handle())) {
        throw ToolError("cannot pack into " + Quoted(options.target) + ": commit failed");
    }
    progress.Finish();
}

// Every name is checked before anything is written, so a container holding
// one escaping name leaves the target folder untouched. The resolved target
// of each entry is checked again as it is written, against links that
// already stand in the folder.
void RunUnpack(const TreeOptions& options) {
    const Container source = Container::Open(options.source, OpenMode::MustExist);
    const std::vector<TreeEntry> tree = ListTree(source, "");
    for (const TreeEntry& entry : tree) {
        const std::string reason = UnsafeNameReason(entry.name, entry.isDirectory);
        if (!reason.empty()) {
            throw ToolError("refusing to unpack " + Quoted(source.Display(entry.name)) + ": " +
                            reason);
        }
    }
    MakeLocalDirectories(options.target);
    const std::filesystem::path root = LocalPath(options.target);
    Progress progress(ProgressWanted(true, 0), 0, CountFiles(tree));
    for (const TreeEntry& entry : tree) {
        const std::filesystem::path target = root / LocalPath(entry.name);
        if (!LiesInside(root, target)) {
            throw ToolError("refusing to unpack " + Quoted(source.Display(entry.name)) +
                            ": a link leads outside " + Quoted(options.target));
        }
        if (entry.isDirectory) {
            MakeLocalDirectories(Utf8Text(target));
            continue;
        }
        MakeLocalDirectories(Utf8Text(target.parent_path()));
        FilePtr in = OpenListedFile(source, entry.name);
        const std::string local = Utf8Text(target);
        LocalOutput out(local);
        ReadToEnd(in.get(), source.Display(entry.name), StreamSink(out.stream(), local), progress);
        out.Commit();
        progress.FileDone();
    }
    progress.Finish();
}

// Registers a command over a source container and a target.
void AddTreeCommand(CLI::App& app, const char* name, const char* description,
                    const char* sourceName, const char* targetName,
                    void (*run)(const TreeOptions&)) {
    auto options = std::make_shared<TreeOptions>();
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option(sourceName, options->source, "The container to copy")->required();
    command->add_option(targetName, options->target, "Where to copy it")->required();
    command->callback([options, run] { run(*options); });
}

}  // namespace

void AddTreeCommands(CLI::App& app) {
    AddTreeCommand(app, "pack",
                   "Copy every file of a directory, zip archive or store into a store (created if "
                   "missing), in one transaction: all of it or, on failure, nothing",
                   "SOURCE", "STORE", RunPack);
    AddTreeCommand(app, "unpack",
                   "Copy every file and directory of a container into a local folder (created if "
                   "missing); refuses the whole container if any name would land outside it",
                   "CONTAINER", "DIR", RunUnpack);
}

}  // namespace kivfs_tool
