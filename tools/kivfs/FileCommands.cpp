// cat, get and put: one file out of or into a container.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "LocalFiles.h"
#include "SafeName.h"
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
    ReadToEnd(file.get(), container, source.name, StreamSink(std::cout, "standard output"), silent);
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
        ReadToEnd(file.get(), container, source.name, StreamSink(std::cout, "standard output"),
                  silent);
        return;
    }
    if (LocalIsDirectory(local)) {
        local = Utf8Text(LocalPath(local) / LocalPath(BaseName(source.name)));
    }
    const int size = IsTerminal(stderr) ? FileSizeOf(file.get()) : 0;
    Progress progress(ProgressWanted(false, size > 0 ? size : 0), size > 0 ? size : 0, 1);
    LocalOutput out(local);
    ReadToEnd(file.get(), container, source.name, StreamSink(out.stream(), local), progress);
    out.Commit();
    progress.FileDone();
    progress.Finish();
}

// Standard input is read when no local file (or "-") is given, but not
// from a terminal unless asked for with "-": a forgotten argument would
// otherwise wait for typing without a word. Everything is checked before
// the container is opened, which may create a store.
void RunPut(const CopyOptions& options) {
    const ContainerPath target = ParseContainerPath(options.containerPath);
    const std::string reason = UnsafeNameReason(target.givenName, false);
    if (!reason.empty())
        throw ToolError("cannot write " + Quoted(target.Display()) + ": " + reason);
    if (options.local.empty() && IsTerminal(stdin)) {
        throw ToolError("cannot write " + Quoted(target.Display()) +
                        ": no LOCAL file given and standard input is a terminal (give \"-\" to "
                        "type the content)");
    }
    const Container container = Container::Open(target.container, OpenMode::MayCreate);
    if (container.IsDirectory(target.name)) {
        throw ToolError("cannot write " + Quoted(target.Display()) + ": is a directory");
    }
    if (options.local.empty() || options.local == "-") {
        Progress silent;
        ContainerWriter writer(container, target.name, 0);
        CopyStream(std::cin, "standard input", writer, silent);
        writer.Finish();
        return;
    }
    LocalInput in(options.local);
    Progress progress(ProgressWanted(false, in.size()), in.size(), 1);
    ContainerWriter writer(container, target.name, in.size());
    CopyStream(in.stream(), options.local, writer, progress);
    writer.Finish();
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
