// The kivfs program through its real binary: single files in and out of
// containers, changes inside a store, translation, help and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

#include "kivfs.h"
#include "support/TempDir.h"
#include "tool_runner.h"

// The runner and fixture helpers are this file's vocabulary.
using namespace kivfs_test;  // NOLINT(build/namespaces)

namespace {

const char* const kCommands[] = {"ls",     "stat", "cat", "get", "put",       "pack",
                                 "unpack", "rm",   "mv",  "cp",  "translate", "help"};

TEST(ToolHelp, EveryCommandIsDocumented) {
    TempDir dir;
    const ToolResult help = RunTool({"--help"}, dir.path());
    ExpectClean(help);
    for (const char* command : kCommands) {
        EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        const ToolResult commandHelp = RunTool({command, "--help"}, dir.path());
        ExpectClean(commandHelp);
        EXPECT_NE(commandHelp.out.find(std::string("Usage: kivfs ") + command), std::string::npos)
            << command;
    }
}

TEST(ToolHelp, VersionNamesTheLibrariesItWasBuiltWith) {
    TempDir dir;
    const ToolResult version = RunTool({"--version"}, dir.path());
    ExpectClean(version);
    const std::string first = "kivfs " + std::to_string(KIVFS_VERSION_MAJOR) + "." +
                              std::to_string(KIVFS_VERSION_MINOR) + "." +
                              std::to_string(KIVFS_VERSION_PATCH) + "\n";
    EXPECT_EQ(version.out.rfind(first, 0), 0u) << version.out;
    for (const char* library : {"SQLite 3.", "zziplib 0.", "zlib 1.", "libzip"}) {
        EXPECT_NE(version.out.find(library), std::string::npos) << library;
    }
}

// The completion offers the commands the program's help lists, and after
// "CONTAINER:" the names the library lists there (bash has split the word
// at the ":", so only what follows it is offered).
TEST(ToolHelp, BashCompletionKnowsEveryCommand) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"docs/img/a.png", "A"}, {"docs/index.txt", "I"}});
    const std::string script = std::string(KIVFS_SOURCE_DIR) + "/tools/kivfs/kivfs.bash-completion";
    const ToolResult complete = RunShell(
        "bash -c " +
            ShellWord(". " + ShellWord(script) +
                      " && COMP_WORDS=(kivfs '') COMP_CWORD=1 && _kivfs && "
                      "printf '%s\\n' \"${COMPREPLY[@]}\" && COMP_WORDS=(kivfs pack --z) "
                      "COMP_CWORD=2 && _kivfs && echo \"${COMPREPLY[@]}\" && "
                      "COMP_LINE='kivfs cat s.db:docs/i' && COMP_POINT=${#COMP_LINE} && "
                      "COMP_WORDS=(" +
                      ShellWord(ToolPath()) +
                      " cat s.db : docs/i) COMP_CWORD=4 && _kivfs && echo \"${COMPREPLY[@]}\""),
        dir.path());
    ExpectClean(complete);
    for (const char* command : kCommands) {
        EXPECT_NE(complete.out.find(std::string(command) + "\n"), std::string::npos) << command;
    }
    EXPECT_NE(complete.out.find("\n--zip\n"), std::string::npos) << complete.out;
    EXPECT_NE(complete.out.find("\ndocs/img/ docs/index.txt\n"), std::string::npos) << complete.out;
}

// The manual page as man reads it: no warning from the formatter, no line
// over 80 columns in its source or on an 80-column terminal, the sections
// of a page, and the README's examples among its own.
TEST(ToolHelp, TheManualPageIsAPageOfItsOwn) {
    TempDir dir;
    if (RunShell("command -v man", dir.path()).status != 0) {
        GTEST_SKIP() << "no man program here (Debian package man-db, see tools/setup-deps.sh)";
    }
    const std::string page = std::string(KIVFS_SOURCE_DIR) + "/tools/kivfs/kivfs.1";
    const ToolResult man =
        RunShell("LANG=C MANWIDTH=80 man --warnings -l " + ShellWord(page), dir.path());
    ExpectClean(man);
    for (const std::string& text : {man.out, ReadBytes(page)}) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    }
    for (const char* section :
         {"NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "EXAMPLES", "EXIT STATUS", "SEE ALSO"}) {
        EXPECT_NE(man.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    }
    EXPECT_NE(man.out.find("zip(1), unzip(1), sqlite3(1)"), std::string::npos);
    // Every command of the README's block of examples, without its comment.
    std::istringstream readme(ReadBytes(std::string(KIVFS_SOURCE_DIR) + "/README.md"));
    int examples = 0;
    bool inShell = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("```", 0) == 0) inShell = line == "```sh";
        if (!inShell || line.rfind("kivfs ", 0) != 0) continue;
        const std::string command =
            line.substr(0, line.find_last_not_of(' ', line.find('#') - 1) + 1);
        EXPECT_NE(man.out.find("\n       " + command + "\n"), std::string::npos) << command;
        ++examples;
    }
    EXPECT_GE(examples, 6);
}

TEST(ToolHelp, UsageErrorsPrintTheUsageAndExitWithTwo) {
    TempDir dir;
    const ToolResult none = RunTool({}, dir.path());
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: kivfs"), std::string::npos);

    // A word that names no command is called that, before the usage.
    const ToolResult unknown = RunTool({"frobnicate"}, dir.path());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("kivfs: 'frobnicate' is not a kivfs command\nkivfs - ", 0), 0u)
        << unknown.err;
    EXPECT_EQ(RunTool({"help", "frobnicate"}, dir.path()).err, unknown.err);
    // help prints what --help prints.
    const ToolResult help = RunTool({"help"}, dir.path());
    ExpectClean(help);
    EXPECT_EQ(help.out, RunTool({"--help"}, dir.path()).out);
    const ToolResult packHelp = RunTool({"help", "pack"}, dir.path());
    ExpectClean(packHelp);
    EXPECT_EQ(packHelp.out, RunTool({"pack", "--help"}, dir.path()).out);

    // cat needs a name inside the container; the usage shown is cat's own.
    const ToolResult noName = RunTool({"cat", "saves.db"}, dir.path());
    EXPECT_EQ(noName.status, 2);
    EXPECT_EQ(noName.err.rfind("kivfs: ", 0), 0u) << noName.err;
    EXPECT_NE(noName.err.find("Usage: kivfs cat"), std::string::npos);

    const ToolResult missingArgument = RunTool({"unpack", "a.zip"}, dir.path());
    EXPECT_EQ(missingArgument.status, 2);
    EXPECT_NE(missingArgument.err.find("Usage: kivfs unpack"), std::string::npos);
}

TEST(ToolErrors, OneLineNamingWhatFailedAndWhere) {
    TempDir dir;
    MakeStore(dir / "saves.db", {{"slot2/state.bin", "x"}});

    ExpectFailure(RunTool({"cat", "saves.db:slot1/state.bin"}, dir.path()),
                  "kivfs: cannot open 'saves.db:slot1/state.bin': no such file\n");
    ExpectFailure(RunTool({"get", "saves.db:slot2"}, dir.path()),
                  "kivfs: cannot open 'saves.db:slot2': is a directory\n");

    ExpectFailure(RunTool({"stat", "saves.db:nothing"}, dir.path()),
                  "kivfs: cannot stat 'saves.db:nothing': no such file or directory\n");

    // The library's reason, when it gives one beyond absence.
    MakeTree(dir / "data", {{"a.txt", "A"}});
    WriteBytes(dir / "secret", "S");
    ExpectFailure(RunTool({"cat", "data:../secret"}, dir.path()),
                  "kivfs: cannot open 'data:../secret': name leaves its root\n");
}

// What a path holds decides its kind: a file that is neither archive nor
// store is refused without being touched, an archive is one by its bytes.
TEST(ToolErrors, TheKindOfAContainerComesFromWhatThePathHolds) {
    TempDir dir;
    WriteBytes(dir / "notes.txt", "plain text, no container");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"ls", "notes.txt"}, {"put", "notes.txt:a", "-"}, {"pack", "notes.txt", "x.db"}}) {
        SCOPED_TRACE(args[0]);
        ExpectFailure(RunTool(args, dir.path(), "x"),
                      "kivfs: cannot open 'notes.txt': not a directory, zip archive or store\n");
    }
    EXPECT_EQ(ReadBytes(dir / "notes.txt"), "plain text, no container");
    EXPECT_FALSE(PathExists(dir / "x.db"));
    MakeZip(dir / "data.pak", {{"a.txt", "A"}});
    EXPECT_EQ(RunTool({"stat", "data.pak"}, dir.path()).out, "name: data.pak\nkind: zip archive\n");
    // An archive the library refuses is reported as one, with its reason.
    ZipImage cut = MakeZip(dir / "cut.zip", {{"a.txt", SampleText(5000)}});
    cut.Truncate(cut.bytes.size() - 30);
    cut.WriteTo(dir / "cut.zip");
    ExpectFailure(RunTool({"ls", "cut.zip"}, dir.path()),
                  "kivfs: cannot open zip archive 'cut.zip': damaged data\n");
}

// A store another program holds locked is reported as locked (after the
// library's wait for the lock), and left as it was.
TEST(ToolErrors, ALockedStoreIsReportedAsLocked) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"a.txt", "A"}});
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "s.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ExpectFailure(RunTool({"put", "s.db:b.txt", "-"}, dir.path(), "B"),
                  "kivfs: store 's.db' is locked by another program\n");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"a.txt", "A"}}));
}

// What the library only calls unsupported or invalid is named for what it
// is, and a local write that fails gives the system's reason.
TEST(ToolErrors, CausesAreNamed) {
    TempDir dir;
    WriteBytes(dir / "secret.txt", "12345");
    WriteBytes(dir / "plain.txt", "plain");
    ASSERT_EQ(
        RunShell("zip -q -P pw secret.zip secret.txt && zip -q secret.zip plain.txt", dir.path())
            .status,
        0);
    ExpectFailure(RunTool({"cat", "secret.zip:secret.txt"}, dir.path()),
                  "kivfs: cannot open 'secret.zip:secret.txt': encrypted entry (not supported)\n");
    const ToolResult listing = RunTool({"ls", "-l", "secret.zip"}, dir.path());
    ExpectClean(listing);
    EXPECT_EQ(listing.out, "           5  plain.txt\n           5  secret.txt\n");

    // Python writes zip64 records past its entry limit, lowered here.
    ASSERT_EQ(RunShell("python3 -c " + ShellWord("import zipfile\n"
                                                 "zipfile.ZIP_FILECOUNT_LIMIT = 1\n"
                                                 "with zipfile.ZipFile('z64.zip', 'w') as z:\n"
                                                 "    z.writestr('a', 'a')\n"
                                                 "    z.writestr('b', 'b')\n"),
                       dir.path())
                  .status,
              0);
    ExpectFailure(RunTool({"ls", "z64.zip"}, dir.path()),
                  "kivfs: cannot open zip archive 'z64.zip': zip64 archive (not supported)\n");

    // Past SQLite's length limit (1,000,000,000 bytes in Debian's build);
    // the file is sparse. The store the put would have created is not left.
    std::filesystem::resize_file(dir / "plain.txt", 1500000000);
    ExpectFailure(RunTool({"put", "new.db:big.bin", "plain.txt"}, dir.path()),
                  "kivfs: cannot write 'new.db:big.bin': larger than a store file can be\n");
    EXPECT_FALSE(PathExists(dir / "new.db"));
    std::filesystem::remove(dir / "plain.txt");

    ExpectFailure(
        RunShell("(" + ToolCommand({"cat", "secret.zip:plain.txt"}) + " >/dev/full)", dir.path()),
        "kivfs: cannot write to standard output: no space left on device\n");

    // The mount was made; the path climbs above its root.
    std::filesystem::create_directory(dir / "games");
    ExpectFailure(RunTool({"translate", "app:=games", "app:../secret.txt"}, dir.path()),
                  "kivfs: cannot translate 'app:../secret.txt': name leaves its root\n");
}

// SIGINT or SIGTERM while put waits for the rest of its input: one line,
// the status a shell gives a process stopped by that signal, and the store
// as it was, with no journal or part file. The signal is sent once SQLite's
// journal shows the transaction under way (a signal at any other moment
// must end the same way); standard input then ends, so a signal that came
// just before the read still stops the command.
TEST(ToolInterrupt, SignalsLeaveTheTargetAsItWas) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"a.txt", "old"}});
    struct Case {
        std::string signal;
        std::string target;
        std::string journal;
        int status;
    };
    for (const Case& c : {Case{"INT", "s.db:a.txt", "s.db-journal", 130},
                          Case{"TERM", "new.db:a.txt", "new.db.kivfs-part-journal", 143}}) {
        SCOPED_TRACE(c.signal);
        // A job of a script starts with SIGINT ignored; env restores it.
        const ToolResult run =
            RunShell("(mkfifo fifo && { env --default-signal=INT,TERM " +
                         ToolCommand({"put", c.target, "-"}) +
                         " <fifo & } && pid=$! && exec 3>fifo && printf new >&3 && "
                         "while [ ! -e " +
                         c.journal +
                         " ] && kill -0 $pid 2>/dev/null; do :; done; "
                         "kill -" +
                         c.signal + " $pid; exec 3>&-; wait $pid; echo $? >status; rm fifo)",
                     dir.path());
        EXPECT_EQ(ReadBytes(dir / "status"), std::to_string(c.status) + "\n");
        EXPECT_EQ(run.err, "kivfs: interrupted by SIG" + c.signal + "; nothing was changed\n");
        std::filesystem::remove(dir / "status");
    }
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"a.txt", "old"}}));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"s.db"});
}

TEST(ToolErrors, InspectingAMissingContainerCreatesNothing) {
    TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{"ls", "typo.db"},
                                                                  {"cat", "typo.db:a"},
                                                                  {"stat", "typo.db"},
                                                                  {"unpack", "typo.db", "out"},
                                                                  {"pack", "typo.db", "new.db"},
                                                                  {"rm", "typo.db:a"}}) {
        SCOPED_TRACE(args[0]);
        ExpectFailure(RunTool(args, dir.path()),
                      "kivfs: cannot open 'typo.db': no such file or directory\n");
    }
    EXPECT_FALSE(PathExists(dir / "typo.db"));
    EXPECT_FALSE(PathExists(dir / "new.db"));
    EXPECT_FALSE(PathExists(dir / "out"));
}

TEST(ToolFiles, BinaryRoundTripThroughAStore) {
    TempDir dir;
    // Larger than one copy chunk, so that the store's file grows in steps.
    const std::string bytes = BinaryBytes(1300 * 1000);
    WriteBytes(dir / "local.bin", bytes);

    ExpectClean(RunTool({"put", "saves.db:slot1/state.bin", "local.bin"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "saves.db"), (Files{{"slot1/state.bin", bytes}}));

    ExpectClean(RunTool({"get", "saves.db:slot1/state.bin", "copy.bin"}, dir.path()));
    EXPECT_EQ(ReadBytes(dir / "copy.bin"), bytes);
    EXPECT_FALSE(PathExists(dir / "copy.bin.kivfs-part"));

    // Without LOCAL the file keeps its own name in the current folder.
    ExpectClean(RunTool({"get", "saves.db:slot1/state.bin"}, dir.path()));
    EXPECT_EQ(ReadBytes(dir / "state.bin"), bytes);

    const ToolResult cat = RunTool({"cat", "saves.db:slot1/state.bin"}, dir.path());
    ExpectClean(cat);
    EXPECT_EQ(cat.out, bytes);

    const ToolResult stat = RunTool({"stat", "saves.db:slot1/state.bin"}, dir.path());
    ExpectClean(stat);
    EXPECT_EQ(stat.out, "name: saves.db:slot1/state.bin\nkind: file\nsize: 1300000\n");
}

TEST(ToolFiles, PutReplacesTheWholeContent) {
    TempDir dir;
    MakeStore(dir / "saves.db", {{"a.txt", "a long old content"}});
    // A store keeps bytes past what a write covers; put must not.
    ExpectClean(RunTool({"put", "saves.db:a.txt", "-"}, dir.path(), "new"));
    EXPECT_EQ(ReadStore(dir / "saves.db"), (Files{{"a.txt", "new"}}));

    // Standard input is the default source; an empty file is stored too.
    ExpectClean(RunTool({"put", "saves.db:empty"}, dir.path(), ""));
    EXPECT_EQ(ReadStore(dir / "saves.db"), (Files{{"a.txt", "new"}, {"empty", ""}}));
}

// Names unpack would refuse never get into a store, and a refused put
// creates no store.
TEST(ToolFiles, PutRefusesNamesUnpackWouldRefuse) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"a", "A"}});
    for (const std::string name :
         {"../escape.txt", "/abs.txt", "a//b.txt", "./x", "a\\b.txt", "a/./b", "d/..", "x:y"}) {
        SCOPED_TRACE(name);
        const ToolResult put = RunTool({"put", "s.db:" + name, "-"}, dir.path(), "data");
        EXPECT_EQ(put.status, 1);
        EXPECT_EQ(put.err.rfind("kivfs: cannot write 's.db:", 0), 0u) << put.err;
        EXPECT_NE(put.err.find("': the name "), std::string::npos) << put.err;
        EXPECT_EQ(std::count(put.err.begin(), put.err.end(), '\n'), 1);
    }
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"a", "A"}}));
    EXPECT_EQ(RunTool({"put", "new.db:../x", "-"}, dir.path(), "data").status, 1);
    EXPECT_FALSE(PathExists(dir / "new.db"));
}

// On a terminal, put without LOCAL would wait for typing: it asks for "-".
TEST(ToolFiles, PutDoesNotReadATerminalUnlessAsked) {
    TempDir dir;
    const ToolResult put = RunToolOnTerminal({"put", "s.db:a.txt"}, dir.path());
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.out.find("standard input is a terminal (give \"-\""), std::string::npos)
        << put.out;
    EXPECT_FALSE(PathExists(dir / "s.db"));
}

TEST(ToolFiles, PutIntoADirectoryCreatesFoldersAndZipsAreReadOnly) {
    TempDir dir;
    std::filesystem::create_directory(dir / "data");
    const std::string bytes = BinaryBytes(5000, 7);
    ExpectClean(RunTool({"put", "data:sub/deeper/x.bin", "-"}, dir.path(), bytes));
    EXPECT_EQ(ReadBytes(dir / "data/sub/deeper/x.bin"), bytes);

    MakeZip(dir / "pack.zip", {{"a.txt", "alpha"}});
    ExpectFailure(RunTool({"put", "pack.zip:b.txt", "-"}, dir.path(), "beta"),
                  "kivfs: cannot write 'pack.zip:b.txt': zip archives are read only\n");

    // Zip names match regardless of case, as the library opens them.
    const ToolResult cat = RunTool({"cat", "pack.zip:A.TXT"}, dir.path());
    ExpectClean(cat);
    EXPECT_EQ(cat.out, "alpha");
}

TEST(ToolFiles, GetKeepsAnExistingLocalFileWhenTheSourceIsMissing) {
    TempDir dir;
    MakeStore(dir / "saves.db", {{"a", "1"}});
    WriteBytes(dir / "keep.bin", "precious");
    const ToolResult get = RunTool({"get", "saves.db:missing", "keep.bin"}, dir.path());
    EXPECT_EQ(get.status, 1);
    EXPECT_EQ(ReadBytes(dir / "keep.bin"), "precious");
}

TEST(ToolStore, CopyMoveAndRemove) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"docs/a.txt", "A"}, {"docs/img/x.png", "X"}, {"top.txt", "T"}});

    ExpectClean(RunTool({"cp", "s.db:docs/a.txt", "docs/b.txt"}, dir.path()));
    // The target may also be written as STORE:NAME; a directory receives
    // the file under its own name.
    ExpectClean(RunTool({"mv", "s.db:top.txt", "s.db:docs/img"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"docs/a.txt", "A"},
                                              {"docs/b.txt", "A"},
                                              {"docs/img/x.png", "X"},
                                              {"docs/img/top.txt", "T"}}));

    // Moving a file onto itself is refused rather than losing it.
    const ToolResult self = RunTool({"mv", "s.db:docs/a.txt", "docs/a.txt"}, dir.path());
    EXPECT_EQ(self.status, 1);
    EXPECT_NE(self.err.find("same file"), std::string::npos);
    const ToolResult clobber = RunTool({"cp", "-n", "s.db:docs/a.txt", "docs/b.txt"}, dir.path());
    EXPECT_EQ(clobber.status, 1);
    EXPECT_EQ(ReadStore(dir / "s.db").count("docs/a.txt"), 1u);

    ExpectFailure(RunTool({"rm", "s.db:docs/img"}, dir.path()),
                  "kivfs: cannot remove 's.db:docs/img': is a directory (use -r)\n");
    ExpectClean(RunTool({"rm", "-r", "s.db:docs/img"}, dir.path()));
    ExpectClean(RunTool({"rm", "s.db:docs/b.txt"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"docs/a.txt", "A"}}));

    ExpectFailure(RunTool({"rm", "s.db:docs/zzz"}, dir.path()),
                  "kivfs: cannot remove 's.db:docs/zzz': no such file or directory\n");
}

// A system path where a name inside the store belongs is not stored as a
// name; nor is any other name unpack would refuse.
TEST(ToolStore, CopyAndMoveRefuseSystemPathsAndUnsafeNames) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"a.bin", "A"}});
    const std::string outside = dir / "x.bin";
    ExpectFailure(RunTool({"cp", "s.db:a.bin", outside}, dir.path()),
                  "kivfs: cannot copy 's.db:a.bin' to '" + outside + "': '" + outside +
                      "' is a system path, not a name inside 's.db' (use get/put)\n");
    ExpectFailure(RunTool({"mv", "s.db:a.bin", "../up.bin"}, dir.path()),
                  "kivfs: cannot move 's.db:a.bin' to '../up.bin': '../up.bin' is a system path, "
                  "not a name inside 's.db' (use get/put)\n");
    ExpectFailure(RunTool({"mv", "s.db:a.bin", "s.db:b//c.bin"}, dir.path()),
                  "kivfs: cannot move 's.db:a.bin' to 's.db:b//c.bin': the name has an empty "
                  "component\n");
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"a.bin", "A"}}));
    EXPECT_FALSE(PathExists(outside));
}

TEST(ToolStore, RemovingADirectoryTakesExactlyItsFiles) {
    TempDir dir;
    // The store's own directory removal matches names as a pattern: "_"
    // stands for any character and letters match in either case.
    MakeStore(dir / "s.db", {{"a_b/1", "1"}, {"axb/2", "2"}, {"A_B/3", "3"}});
    ExpectClean(RunTool({"rm", "-r", "s.db:a_b"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"axb/2", "2"}, {"A_B/3", "3"}}));
}

TEST(ToolStore, OnlyStoresCanBeChanged) {
    TempDir dir;
    MakeTree(dir / "data", {{"a.txt", "A"}});
    ExpectFailure(RunTool({"rm", "data:a.txt"}, dir.path()),
                  "kivfs: cannot remove 'data:a.txt': 'data' is a directory; only stores can be "
                  "changed\n");
    EXPECT_TRUE(PathExists(dir / "data/a.txt"));
}

TEST(ToolTranslate, MountsThenTranslates) {
    TempDir dir;
    std::filesystem::create_directory(dir / "games");
    const ToolResult result =
        RunTool({"translate", "app:=" + (dir / "games"), "cfg\\main.ini"}, dir.path());
    EXPECT_EQ(result.status, 1);  // no mount name in the virtual path
    EXPECT_NE(result.err.find("no mount name"), std::string::npos);

    const ToolResult translated = RunTool(
        {"translate", "app:=" + (dir / "games"), "data:=" + dir.path(), "app:cfg\\main.ini"},
        dir.path());
    ExpectClean(translated);
    EXPECT_EQ(translated.out, dir / "games" + "/cfg/main.ini\n");

    ExpectFailure(RunTool({"translate", "app:=" + (dir / "games"), "App:x"}, dir.path()),
                  "kivfs: cannot translate 'App:x': 'App:' is not mounted\n");

    // Mounting a path that names nothing would create a store there.
    const ToolResult missing = RunTool({"translate", "app:=nothing.db", "app:x"}, dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(PathExists(dir / "nothing.db"));
}

}  // namespace
