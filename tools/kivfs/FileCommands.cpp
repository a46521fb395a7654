// cat, get and put: one file out of or into a container.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "Interrupt.h"
#include "LocalFiles.h"
#include "PathContent.h"
#include "SafeName.h"
#include "StoreTarget.h"
#include "Terminal.h"
#include "ToolError.h"
#include "Transfer.h"

namespace kivfs_tool {

namespace {

struct CopyOptions {
    std::string containerPath;
    std::string local;
};

void RunCat(const std::string& argument) {
    const ContainerPath source = ParseContainerPath(argument);
    const Container container = Container::Open(source.container, OpenMode::MustExist);
    FilePtr file = OpenFileForReading(container, source.name);
    Progress silent;
    ReadToEnd(file.get(), container, source.name, StreamSink(std::cout, "to standard output"),
              silent);
}

// The size is measured only for a progress display: on a compressed zip
// entry the seek to the end costs a full decompression.
void RunGet(const CopyOptions& options) {
    const ContainerPath source = ParseContainerPath(options.containerPath);
    const Container container = Container::Open(source.container, OpenMode::MustExist);
    FilePtr file = OpenFileForReading(container, source.name);
    std::string local = options.local.empty() ? BaseName(source.name) : options.local;
    if (local == "-") {
        Progress silent;
        ReadToEnd(file.get(), container, source.name, StreamSink(std::cout, "to standard output"),
                  silent);
        return;
    }
    if (LocalIsDirectory(local)) {
        local = Utf8Text(LocalPath(local) / LocalPath(BaseName(source.name)));
    }
    const int size = IsTerminal(stderr) ? FileSizeOf(file.get()) : 0;
    Progress progress(ProgressWanted(false, size > 0 ? size : 0), size > 0 ? size : 0, 1);
    LocalOutput out(local);
    ReadToEnd(file.get(), container, source.name, StreamSink(out.stream(), Quoted(local)),
              progress);
    ThrowIfInterrupted();
    out.Commit();
    progress.FileDone();
    progress.Finish();
}

// Writes `name` of a real folder in a part file beside it, through the
// library, and renames the part over it when complete: a failure leaves an
// existing file whole.
void PutIntoDirectory(const Container& folder, const std::string& name, const ChunkSource& source,
                      std::uint64_t size, Progress& progress) {
    const std::string local = Utf8Text(LocalPath(folder.path()) / LocalPath(name));
    if (LocalIsDirectory(local)) {
        throw ToolError("cannot write " + Quoted(folder.Display(name)) + ": is a directory");
    }
    LocalPart part(local);
    {
        ContainerWriter writer(folder, PartFileName(name), size, name);
        CopyStream(source, writer, progress);
        writer.Finish();
    }
    ThrowIfInterrupted();
    part.Keep();
}

// A store takes the file in one transaction, a new store is built aside
// (StoreTarget): a failure leaves the old content, or no store at all.
void PutIntoStore(const ContainerPath& target, const ChunkSource& source, std::uint64_t size,
                  Progress& progress) {
    const std::string what = "cannot write " + Quoted(target.Display());
    StoreTarget store(target.container, what);
    if (store.store().IsDirectory(target.name)) throw ToolError(what + ": is a directory");
    ContainerWriter writer(store.store(), target.name, size);
    CopyStream(source, writer, progress);
    writer.Finish();
    store.Commit();
}

// Standard input is read when no local file (or "-") is given, but not
// from a terminal unless asked for with "-": a forgotten argument would
// otherwise wait for typing without a word. Everything is checked, and
// the local file opened, before the container is touched.
void RunPut(const CopyOptions& options) {
    const ContainerPath target = ParseContainerPath(options.containerPath);
    const std::string what = "cannot write " + Quoted(target.Display());
    const std::string reason = UnsafeNameReason(target.givenName, false);
    if (!reason.empty()) throw ToolError(what + ": " + reason);
    const bool fromStandardInput = options.local.empty() || options.local == "-";
    if (options.local.empty() && IsTerminal(stdin)) {
        throw ToolError(what +
                        ": no LOCAL file given and standard input is a terminal (give \"-\" to "
                        "type the content)");
    }
    std::unique_ptr<LocalInput> in;
    if (!fromStandardInput) in = std::make_unique<LocalInput>(options.local);
    const ChunkSource source =
        in ? StreamSource(in->stream(), options.local) : StandardInputSource();
    const std::uint64_t size = in ? in->size() : 0;
    Progress progress(ProgressWanted(false, size), size, 1);
    switch (WhatPathHolds(target.container)) {
        case PathContent::Directory:
            PutIntoDirectory(Container::Open(target.container, OpenMode::MustExist), target.name,
                             source, size, progress);
            break;
        case PathContent::ZipArchive:
            throw ToolError(what + ": zip archives are read only");
        default:
            PutIntoStore(target, source, size, progress);
            break;
    }
    progress.FileDone();
    progress.Finish();
}

}  // namespace

void AddFileCommands(CLI::App& app) {
    auto catTarget = std::make_shared<std::string>();
    CLI::App* cat = app.add_subcommand("cat", "Write a file's bytes to standard output");
    cat->add_option("CONTAINER:NAME", *catTarget, "The file")->required()->check(NamedPath());
    cat->callback([catTarget] { RunCat(*catTarget); });

    auto getOptions = std::make_shared<CopyOptions>();
    CLI::App* get = app.add_subcommand("get", "Copy a file out of a container");
    get->add_option("CONTAINER:NAME", getOptions->containerPath, "The file")
        ->required()
        ->check(NamedPath());
    get->add_option("LOCAL", getOptions->local,
                    "Where to write it: a file, a folder, or \"-\" for standard output "
                    "(default: the file's own name in the current folder)");
    get->callback([getOptions] { RunGet(*getOptions); });

    auto putOptions = std::make_shared<CopyOptions>();
    CLI::App* put = app.add_subcommand(
        "put",
        "Copy a local file into a container (a store, created if missing, or a directory), "
        "replacing the file's content");
    put->add_option("CONTAINER:NAME", putOptions->containerPath, "The file to write")
        ->required()
        ->check(NamedPath());
    put->add_option("LOCAL", putOptions->local,
                    "The local file to read, or \"-\" for standard input (the default)");
    put->callback([putOptions] { RunPut(*putOptions); });
}

}  // namespace kivfs_tool
