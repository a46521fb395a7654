#include "Cli.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <exception>
#include <iostream>
#include <memory>

#include "Commands.h"
#include "Interrupt.h"
#include "LocalFiles.h"
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
    "Exit status: 0 success, 1 the command failed, 2 usage error, 130 or 143 stopped by SIGINT "
    "or SIGTERM (nothing changed).\n"
    "Run 'kivfs help COMMAND' for the arguments and options of one command.\n";

#define KIVFS_TOOL_TEXT(x) #x
#define KIVFS_TOOL_VERSION(major, minor, patch) \
    KIVFS_TOOL_TEXT(major) "." KIVFS_TOOL_TEXT(minor) "." KIVFS_TOOL_TEXT(patch)

// The first line is the program and its version; the versions of the
// libraries it was built with follow (given by the build, which found them
// for the library).
std::string VersionText() {
    return std::string("kivfs ") +
           KIVFS_TOOL_VERSION(KIVFS_VERSION_MAJOR, KIVFS_VERSION_MINOR, KIVFS_VERSION_PATCH) +
           "\nbuilt with SQLite " KIVFS_TOOL_SQLITE_VERSION ", zziplib " KIVFS_TOOL_ZZIP_VERSION
           ", zlib " KIVFS_TOOL_ZLIB_VERSION ", " +
           ZipWriterVersionText();
}

// The message in the lower case of every error line, then the usage of the
// command that was being parsed.
std::string UsageMessage(const CLI::App* app, const CLI::Error& error) {
    std::string message = error.what();
    if (!message.empty()) {
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    if (message == "a subcommand is required") message = "a command is required";
    return "kivfs: " + message + "\n" + app->help();
}

// The command of that name (hidden ones included), or null.
CLI::App* FindCommand(CLI::App& app, const std::string& name) {
    const auto found = app.get_subcommands([&](CLI::App* sub) { return sub->get_name() == name; });
    return found.empty() ? nullptr : found.front();
}

// The program's own help, whichever command has been chosen.
std::string ProgramHelp(const CLI::App& app) {
    return app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
}

// A first word that names no command ("kivfs frobnicate", "kivfs help
// frobnicate"): said so, with the program's usage. CLI11 would only say
// that a command is required, or that the word was not expected.
int UnknownCommand(const CLI::App& app, const std::string& word) {
    std::cerr << "kivfs: " << Quoted(word) << " is not a kivfs command\n" << ProgramHelp(app);
    return kUsage;
}

// kivfs help [COMMAND]: the help that --help prints, on standard output.
void AddHelpCommand(CLI::App& app) {
    auto topic = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "Show the help of kivfs, or of one command");
    help->add_option("COMMAND", *topic, "The command");
    CLI::App* program = &app;
    help->callback([program, topic] {
        CLI::App* command = topic->empty() ? nullptr : FindCommand(*program, *topic);
        std::cout << (command ? command->help(program->get_name()) : ProgramHelp(*program));
    });
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
    AddHelpCommand(*app);
    AddCompleteCommand(*app);
    app->footer(std::string(kNaming) + kMoreHelp);
    return app;
}

// The commands run inside parse(), as callbacks of their subcommands, so
// their failures arrive here too. Whatever reached standard output before
// a failure is flushed first, so that the error line comes after it.
// A failure that follows a signal is reported as the interruption: it may
// well be its consequence (a read cut short), and either way the command
// stopped without changing anything.
int RunApp(CLI::App& app, int argc, char** argv) {
    for (int word = 1; word < argc && word <= 2; ++word) {
        const std::string text = argv[word];
        if (text.empty() || text[0] == '-') break;
        if (!FindCommand(app, text)) return UnknownCommand(app, text);
        if (text != "help") break;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : kUsage;
    } catch (const std::exception& error) {
        // A ToolError, or a failure no command foresaw (no memory, a local
        // path the system refuses): one line and the failed status alike.
        std::cout.flush();
        if (InterruptSignal() != 0) {
            const Interrupted interrupted(InterruptSignal());
            std::cerr << "kivfs: " << interrupted.what() << std::endl;
            return interrupted.ExitStatus();
        }
        std::cerr << "kivfs: " << error.what() << std::endl;
        return kFailed;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "kivfs: cannot write to standard output: " << SystemReason(errno) << std::endl;
        return kFailed;
    }
    return 0;
}

}  // namespace kivfs_tool
