// The subcommands of the kivfs program, each group registered on the
// application by its own file. A command reports failure by throwing
// ToolError; main turns that into one line on standard error.
#pragma once

#include <string>

#include "ContainerPath.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace kivfs_tool {

void AddListCommands(CLI::App& app);      // ls, stat
void AddFileCommands(CLI::App& app);      // cat, get, put
void AddTreeCommands(CLI::App& app);      // pack, unpack
void AddStoreCommands(CLI::App& app);     // rm, mv, cp
void AddTranslateCommand(CLI::App& app);  // translate
// complete: the names inside a container that complete a CONTAINER:NAME
// argument, for the bash completion; hidden from the help.
void AddCompleteCommand(CLI::App& app);

// Checks a CONTAINER:NAME argument of a command that needs a name inside a
// container; a missing name is a usage error.
CLI::Validator NamedPath();

}  // namespace kivfs_tool
