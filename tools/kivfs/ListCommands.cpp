// ls and stat: what a container holds, and what one name in it is.
#include <CLI/CLI.hpp>
#include <iomanip>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "ToolError.h"
#include "Tree.h"
#include "ZipFacts.h"

namespace kivfs_tool {

namespace {

struct ListOptions {
    std::string target;
    bool longFormat = false;
    bool recursive = false;
};

// The size of a file as text, "?" when it cannot be measured. An entry of
// a zip archive that does not open (an encrypted one) still has the size
// its archive records.
std::string SizeText(const Container& container, const std::string& name) {
    FilePtr file(kivfsCreateFileIndir(container.handle(), name.c_str(), 0));
    if (!file && container.kind() == ContainerKind::ZipArchive) {
        const ZipEntryFacts facts = LookUpZipEntry(container.path(), name);
        if (facts.found) return std::to_string(facts.size);
    }
    const int size = file ? FileSizeOf(file.get()) : -1;
    return size < 0 ? "?" : std::to_string(size);
}

// One line of a listing: the name as shown, after the size when asked for
// (a directory has no size of its own and shows "-").
void PrintEntry(const Container& container, const TreeEntry& entry, const std::string& shown,
                bool longFormat) {
    if (longFormat) {
        const std::string size = entry.isDirectory ? "-" : SizeText(container, entry.name);
        std::cout << std::setw(12) << size << "  ";
    }
    std::cout << shown << '\n';
}

// Holds one read transaction of a store for as long as it lives, so that a
// listing shows one state of the store and takes SQLite's read lock once
// instead of once per directory and size. Anything that keeps the
// transaction from starting only costs that speed, so it is not an error.
class StoreSnapshot {
  public:
    explicit StoreSnapshot(const Container& container)
        : dir_(container.kind() == ContainerKind::Store && kivfsBeginTrans(container.handle())
                   ? container.handle()
                   : nullptr) {}
    ~StoreSnapshot() {
        if (dir_) kivfsCommitTrans(dir_);
    }
    StoreSnapshot(const StoreSnapshot&) = delete;
    StoreSnapshot& operator=(const StoreSnapshot&) = delete;

  private:
    DirHandle* dir_;  // the store in a transaction, or null
};

// Names are shown relative to the listed directory; a file given by name
// is shown as given.
void RunList(const ListOptions& options) {
    const ContainerPath target = ParseContainerPath(options.target);
    const Container container = Container::Open(target.container, OpenMode::MustExist);
    const StoreSnapshot snapshot(container);
    if (!container.IsDirectory(target.name)) {
        if (!container.IsFile(target.name)) {
            throw ToolError("cannot list " + Quoted(target.Display()) +
                            ": no such file or directory");
        }
        PrintEntry(container, TreeEntry{target.name, false}, target.name, options.longFormat);
        return;
    }
    const std::string prefix = DirectoryPrefix(target.name);
    const std::vector<TreeEntry> entries =
        options.recursive ? ListTree(container, prefix) : ListDirectory(container, prefix);
    for (const TreeEntry& entry : entries) {
        const bool under = entry.name.compare(0, prefix.size(), prefix) == 0;
        PrintEntry(container, entry, under ? entry.name.substr(prefix.size()) : entry.name,
                   options.longFormat);
    }
}

// Everything is found out before anything is printed, so that a failure
// prints its error line alone.
void RunStat(const std::string& argument) {
    const ContainerPath target = ParseContainerPath(argument);
    const Container container = Container::Open(target.container, OpenMode::MustExist);
    std::string facts;
    if (target.name.empty()) {
        facts = std::string("kind: ") + KindText(container.kind()) + "\n";
    } else if (container.IsFile(target.name)) {
        const std::string size = SizeText(container, target.name);
        if (size == "?")
            throw container.Failure("cannot stat " + Quoted(target.Display()), "no size");
        facts = "kind: file\nsize: " + size + "\n";
    } else if (container.IsDirectory(target.name)) {
        facts = "kind: directory\n";
    } else {
        throw ToolError("cannot stat " + Quoted(target.Display()) + ": no such file or directory");
    }
    std::cout << "name: " << target.Display() << '\n' << facts;
}

}  // namespace

void AddListCommands(CLI::App& app) {
    auto list = std::make_shared<ListOptions>();
    CLI::App* ls = app.add_subcommand(
        "ls", "List a directory of a container: directories end with \"/\", names are sorted");
    ls->add_option("CONTAINER[:DIR]", list->target, "The container, and a directory inside it")
        ->required();
    ls->add_flag("-l,--long", list->longFormat, "Show each file's size in bytes");
    ls->add_flag("-R,--recursive", list->recursive, "List every directory below as well");
    ls->callback([list] { RunList(*list); });

    auto target = std::make_shared<std::string>();
    CLI::App* stat = app.add_subcommand(
        "stat",
        "Show what a name is (file, directory, or the container's own kind) and a file's size");
    stat->add_option("CONTAINER[:NAME]", *target, "The container, and a name inside it")
        ->required();
    stat->callback([target] { RunStat(*target); });
}

}  // namespace kivfs_tool
