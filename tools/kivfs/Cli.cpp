#include "Cli.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "Commands.h"
#include "ToolError.h"
#include "ZipWriter.h"
#include "kivfs.h"

namespace kivfs_tool {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kDescription =
    "kivfs - look inside and fill the containers the kivfs library serves: real directories, "
    "zip archives (read only) and stores (a tree of files in one SQLite database).";

// Shown under every command's help.
const char* const kNaming =
    "Naming: CONTAINER:NAME is a name inside a container, as in saves.db:slot1/state.bin or "
    "pack.zip:img/logo.png. The argument is split at the rightmost \":\" whose left part exists "
    "on disk (or, when none does, at the last \":\" that is not a drive letter's); an argument "
    "without it names just the container. Inside containers \"/\" separates names.\n";

// Shown under the program's own help only.
const char* const kMoreHelp =
    "Exit status: 0 success, 1 the command failed, 2 usage error.\n"
    "Run 'kivfs COMMAND --help' for the arguments and options of one command.\n";

// The first line is the program and its version, as help2man reads it; the
// versions of the libraries it was built with follow (given by the build,
// which found them for the library).
std::string VersionText() {
    return std::string("kivfs ") + kivfsVersion() +
           "\nbuilt with SQLite " KIVFS_TOOL_SQLITE_VERSION ", zziplib " KIVFS_TOOL_ZZIP_VERSION
           ", zlib " KIVFS_TOOL_ZLIB_VERSION ", " +
           ZipWriterVersionText();
}

// The message, then the usage of the command that was being parsed.
std::string UsageMessage(const CLI::App* app, const CLI::Error& error) {
    return std::string("kivfs: ") + error.what() + "\n" + app->help();
}

}  // namespace

CLI::Validator NamedPath() {
    return CLI::Validator(
        [](std::string& argument) -> std::string {
            const ContainerPath path = ParseContainerPath(argument);
            if (path.name.empty() || path.name.back() == '/') {
                return Quoted(argument) + " names no file inside a container";
            }
            return "";
        },
        "CONTAINER:NAME");
}

std::unique_ptr<CLI::App> MakeApp() {
    auto app = std::make_unique<CLI::App>(kDescription, "kivfs");
    // Subcommands inherit the footer set when they are added.
    app->footer(kNaming);
    app->require_subcommand(1);
    app->set_version_flag("--version", VersionText());
    app->failure_message(UsageMessage);
    AddListCommands(*app);
    AddFileCommands(*app);
    AddTreeCommands(*app);
    AddStoreCommands(*app);
    AddTranslateCommand(*app);
    app->footer(std::string(kNaming) + kMoreHelp);
    return app;
}

// The commands run inside parse(), as callbacks of their subcommands, so
// their failures arrive here too. Whatever reached standard output before
// a failure is flushed first, so that the error line comes after it.
int RunApp(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : kUsage;
    } catch (const std::exception& error) {
        // A ToolError, or a failure no command foresaw (no memory, a local
        // path the system refuses): one line and the failed status alike.
        std::cout.flush();
        std::cerr << "kivfs: " << error.what() << std::endl;
        return kFailed;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "kivfs: cannot write to standard output" << std::endl;
        return kFailed;
    }
    return 0;
}

}  // namespace kivfs_tool
