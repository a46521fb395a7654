// rm, mv and cp: changes inside one store, each made in one transaction.
#include <CLI/CLI.hpp>
#include <functional>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "Interrupt.h"
#include "LocalFiles.h"
#include "SafeName.h"
#include "ToolError.h"
#include "Tree.h"

namespace kivfs_tool {

namespace {

struct RemoveOptions {
    std::string target;
    bool recursive = false;
};

struct CopyOptions {
    std::string source;
    std::string target;
    bool noClobber = false;
};

// Runs `change` inside one transaction of the store. A change that fails,
// or that a signal interrupts, is never committed: closing the store then
// discards it.
void InTransaction(const Container& store, const std::string& what,
                   const std::function<bool()>& change) {
    if (!kivfsBeginTrans(store.handle())) throw store.Failure(what, "no transaction");
    if (!change()) throw store.Failure(what, "the store refused the change");
    ThrowIfInterrupted();
    if (!kivfsCommitTrans(store.handle())) throw store.Failure(what, "commit failed");
}

// A directory is removed file by file, by the exact names its listing
// gives. (Removing it by its prefix would also match directories that
// differ in the case of letters, or whose names hold "_" or "%", which the
// store's pattern matching treats as wildcards.)
void RunRemove(const RemoveOptions& options) {
    const ContainerPath target = ParseContainerPath(options.target);
    const Container store = Container::Open(target.container, OpenMode::MustExist);
    store.RequireStore("remove", target.name);
    const std::string name = WithoutTrailingSlash(target.name);
    const std::string what = "cannot remove " + Quoted(target.Display());
    if (store.IsFile(name)) {
        InTransaction(store, what, [&] { return kivfsDeleteFile(store.handle(), name.c_str()); });
        return;
    }
    if (!store.IsDirectory(name) || name.empty()) {
        throw ToolError(what +
                        (name.empty() ? ": names the whole store" : ": no such file or directory"));
    }
    if (!options.recursive) throw ToolError(what + ": is a directory (use -r)");
    std::vector<std::string> files;
    for (const TreeEntry& entry : ListTree(store, name)) {
        if (!entry.isDirectory) files.push_back(entry.name);
    }
    if (files.empty()) throw ToolError(what + ": no such file or directory");
    InTransaction(store, what, [&] {
        for (const std::string& file : files) {
            if (!kivfsDeleteFile(store.handle(), file.c_str())) return false;
        }
        return true;
    });
}

// The target is a name in the source's store, written either alone or as
// STORE:NAME with the same store. A path of the local system is refused
// rather than stored as a name (which unpack would later refuse), and so is
// any other name unpack would refuse.
std::string TargetName(const ContainerPath& source, const std::string& argument, const char* verb) {
    const std::string what =
        std::string("cannot ") + verb + " " + Quoted(source.Display()) + " to " + Quoted(argument);
    if (LooksLikeSystemPath(argument)) {
        throw ToolError(what + ": " + Quoted(argument) + " is a system path, not a name inside " +
                        Quoted(source.container) + " (use get/put)");
    }
    std::string given = argument;
    if (argument.find(':') != std::string::npos) {
        const ContainerPath target = ParseContainerPath(argument);
        if (target.container != source.container &&
            !SameLocalFile(target.container, source.container)) {
            throw ToolError(what + ": both must be in one store (use get/put between containers)");
        }
        given = target.givenName;
    }
    // An empty name or one ending with "/" names a directory to copy into.
    const bool isDirectory = given.empty() || given.back() == '/';
    const std::string reason = given.empty() ? "" : UnsafeNameReason(given, isDirectory);
    if (!reason.empty()) throw ToolError(what + ": " + reason);
    return NormalizedName(given);
}

// A target that is a directory receives the file under its own name, as
// with the shell's cp and mv.
void RunCopy(const CopyOptions& options, bool move) {
    const char* verb = move ? "move" : "copy";
    const ContainerPath source = ParseContainerPath(options.source);
    const Container store = Container::Open(source.container, OpenMode::MustExist);
    store.RequireStore(verb, source.name);
    const std::string from = WithoutTrailingSlash(source.name);
    std::string to = TargetName(source, options.target, verb);
    if (store.IsDirectory(to) && !store.IsFile(to)) to = DirectoryPrefix(to) + BaseName(from);
    const std::string what = std::string("cannot ") + verb + " " + Quoted(source.Display()) +
                             " to " + Quoted(store.Display(to));
    if (!store.IsFile(from)) {
        throw ToolError(what + (store.IsDirectory(from) ? ": is a directory" : ": no such file"));
    }
    if (to.empty() || to.back() == '/') throw ToolError(what + ": the target has no name");
    // The source's own last component, taken over above, may be one unpack refuses.
    const std::string reason = UnsafeNameReason(to, false);
    if (!reason.empty()) throw ToolError(what + ": " + reason);
    // Moving a file onto itself would copy it and then delete it.
    if (to == from) throw ToolError(what + ": they are the same file");
    if (options.noClobber && store.IsFile(to)) throw ToolError(what + ": the target exists");
    InTransaction(store, what, [&] {
        return move ? kivfsMoveFile(store.handle(), from.c_str(), to.c_str(), options.noClobber)
                    : kivfsCopyFile(store.handle(), from.c_str(), to.c_str(), options.noClobber);
    });
}

// Registers mv or cp, which differ only in whether the source remains.
void AddCopyCommand(CLI::App& app, bool move) {
    auto options = std::make_shared<CopyOptions>();
    CLI::App* command = app.add_subcommand(
        move ? "mv" : "cp",
        move ? "Move (rename) a file inside a store, replacing an existing target"
             : "Copy a file inside a store, replacing an existing target");
    command->add_option("STORE:SOURCE", options->source, "The file")
        ->required()
        ->check(NamedPath());
    command
        ->add_option("TARGET", options->target,
                     "The new name in the same store (NAME or STORE:NAME); an existing "
                     "directory receives the file under its own name")
        ->required();
    command->add_flag("-n,--no-clobber", options->noClobber, "Fail if the target exists");
    command->callback([options, move] { RunCopy(*options, move); });
}

}  // namespace

void AddStoreCommands(CLI::App& app) {
    auto removeOptions = std::make_shared<RemoveOptions>();
    CLI::App* rm =
        app.add_subcommand("rm", "Remove a file (or, with -r, a directory) from a store");
    rm->add_option("STORE:NAME", removeOptions->target, "The file or directory")->required();
    rm->add_flag("-r,--recursive", removeOptions->recursive,
                 "Remove a directory with every file below it");
    rm->callback([removeOptions] { RunRemove(*removeOptions); });

    AddCopyCommand(app, true);
    AddCopyCommand(app, false);
}

}  // namespace kivfs_tool
