// The kivfs application: its commands, help texts and usage errors.
#pragma once

#include <memory>

namespace CLI {
class App;
}

namespace kivfs_tool {

// The application with every command registered.
std::unique_ptr<CLI::App> MakeApp();

// Parses the command line and runs the chosen command. Returns the exit
// status: 0 on success, 1 when the command failed (one line on standard
// error), 2 for a usage error (the message and the usage), 128 + the
// signal's number when SIGINT or SIGTERM stopped it (one line).
int RunApp(CLI::App& app, int argc, char** argv);

}  // namespace kivfs_tool
