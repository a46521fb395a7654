// complete: what the bash completion asks after "CONTAINER:", answered by
// the library's own listing, as scp asks the remote side.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "Container.h"
#include "Tree.h"

namespace kivfs_tool {

namespace {

// Prints "CONTAINER:NAME" for every entry of the directory WORD's name is
// in whose full name starts with that name; directories end with "/". A
// word naming no container, or one that cannot be listed, completes to
// nothing, silently: completion must never print errors into a command line.
void RunComplete(const std::string& word) {
    const ContainerPath path = ParseContainerPath(word);
    if (!path.hasName) return;
    const size_t slash = path.name.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.name.substr(0, slash + 1);
    try {
        const Container container = Container::Open(path.container, OpenMode::MustExist);
        for (const TreeEntry& entry : ListDirectory(container, directory)) {
            if (entry.name.compare(0, path.name.size(), path.name) == 0) {
                std::cout << path.container << ':' << entry.name << '\n';
            }
        }
    } catch (const ToolError&) {
    }
}

}  // namespace

void AddCompleteCommand(CLI::App& app) {
    auto word = std::make_shared<std::string>();
    CLI::App* complete = app.add_subcommand("complete", "Names that complete CONTAINER:NAME");
    complete->add_option("WORD", *word, "The word to complete")->required();
    complete->group("");
    complete->callback([word] { RunComplete(*word); });
}

}  // namespace kivfs_tool
