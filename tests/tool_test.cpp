// The kivfs program through its real binary: single files in and out of
// containers, changes inside a store, translation, help and failures.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "tool_runner.h"

// The runner and fixture helpers are this file's vocabulary.
using namespace kivfs_test;  // NOLINT(build/namespaces)

namespace {

TEST(ToolHelp, EveryCommandIsDocumented) {
    TempDir dir;
    const ToolResult help = RunTool({"--help"}, dir.path());
    ExpectClean(help);
    for (const char* command :
         {"ls", "stat", "cat", "get", "put", "pack", "unpack", "rm", "mv", "cp", "translate"}) {
        EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        const ToolResult commandHelp = RunTool({command, "--help"}, dir.path());
        ExpectClean(commandHelp);
        EXPECT_NE(commandHelp.out.find(std::string("Usage: kivfs ") + command), std::string::npos)
            << command;
    }
}

TEST(ToolHelp, UsageErrorsPrintTheUsageAndExitWithTwo) {
    TempDir dir;
    const ToolResult none = RunTool({}, dir.path());
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: kivfs"), std::string::npos);

    const ToolResult unknown = RunTool({"frobnicate"}, dir.path());
    EXPECT_EQ(unknown.status, 2);

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
