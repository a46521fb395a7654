// The kivfs program through its real binary: listings, whole trees packed
// into stores and unpacked into folders, and the names unpack refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "tool_runner.h"

// The runner and fixture helpers are this file's vocabulary.
using namespace kivfs_test;  // NOLINT(build/namespaces)

namespace {

// A tree with nested folders, non-ASCII names, binary and empty files.
Files SampleTree() {
    return Files{{"readme.txt", "read me\n"},
                 {"docs/a.txt", "alpha"},
                 {"docs/img/2019/b.bin", BinaryBytes(70000, 3)},
                 {u8"größe/データ.bin", BinaryBytes(3000, 5)},
                 {u8"café.txt", ""}};
}

TEST(ToolList, SameListingForEveryKindOfContainer) {
    TempDir dir;
    MakeTree(dir / "tree", SampleTree());
    MakeZip(dir / "tree.zip", SampleTree());
    MakeStore(dir / "tree.db", SampleTree());
    const std::string top = u8"café.txt\ndocs/\ngröße/\nreadme.txt\n";
    const std::string all =
        u8"café.txt\ndocs/\ndocs/a.txt\ndocs/img/\ndocs/img/2019/\n"
        u8"docs/img/2019/b.bin\ngröße/\ngröße/データ.bin\nreadme.txt\n";
    for (const char* container : {"tree", "tree.zip", "tree.db"}) {
        SCOPED_TRACE(container);
        const ToolResult ls = RunTool({"ls", container}, dir.path());
        ExpectClean(ls);
        EXPECT_EQ(ls.out, top);
        const ToolResult recursive = RunTool({"ls", "-R", container}, dir.path());
        ExpectClean(recursive);
        EXPECT_EQ(recursive.out, all);
        // Names are shown relative to the listed directory; -l adds sizes.
        const ToolResult sub = RunTool({"ls", "-l", std::string(container) + ":docs"}, dir.path());
        ExpectClean(sub);
        EXPECT_EQ(sub.out, "           5  a.txt\n           -  img/\n");
        const ToolResult stat = RunTool({"stat", std::string(container) + ":docs/img"}, dir.path());
        ExpectClean(stat);
        EXPECT_NE(stat.out.find("kind: directory\n"), std::string::npos);
    }
    EXPECT_EQ(RunTool({"stat", "tree.zip"}, dir.path()).out, "name: tree.zip\nkind: zip archive\n");
    EXPECT_EQ(RunTool({"stat", "tree.db"}, dir.path()).out, "name: tree.db\nkind: store\n");
    EXPECT_EQ(RunTool({"stat", "tree"}, dir.path()).out, "name: tree\nkind: directory\n");

    ExpectFailure(RunTool({"ls", "tree.db:nothing"}, dir.path()),
                  "kivfs: cannot list 'tree.db:nothing': no such file or directory\n");
}

TEST(ToolTree, PackAndUnpackKeepEveryByteAndName) {
    TempDir dir;
    MakeTree(dir / "tree", SampleTree());
    MakeZip(dir / "tree.zip", SampleTree());

    ExpectClean(RunTool({"pack", "tree", "from-dir.db"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "from-dir.db"), SampleTree());
    ExpectClean(RunTool({"pack", "tree.zip", "from-zip.db"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "from-zip.db"), SampleTree());

    ExpectClean(RunTool({"unpack", "from-dir.db", "out-store"}, dir.path()));
    EXPECT_EQ(ReadTree(dir / "out-store"), SampleTree());
    ExpectClean(RunTool({"unpack", "tree.zip", "out-zip"}, dir.path()));
    EXPECT_EQ(ReadTree(dir / "out-zip"), SampleTree());
}

TEST(ToolTree, PackIntoAnExistingStoreReplacesAndKeeps) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"docs/a.txt", "an old and longer content"}, {"keep.txt", "K"}});
    MakeTree(dir / "tree", {{"docs/a.txt", "new"}});
    ExpectClean(RunTool({"pack", "tree", "s.db"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"docs/a.txt", "new"}, {"keep.txt", "K"}}));

    std::filesystem::create_directory(dir / "folder");
    ExpectFailure(RunTool({"pack", "s.db", "folder"}, dir.path()),
                  "kivfs: cannot pack into 'folder': it is a directory, not a store\n");
}

TEST(ToolTree, PackIsAllOrNothing) {
    TempDir dir;
    // "a.txt" is copied first; "b.txt" then fails to inflate.
    ZipImage zip = MakeZip(dir / "bad.zip", {{"a.txt", "alpha"}, {"b.txt", SampleText(100000)}});
    zip.CorruptData(1);
    zip.WriteTo(dir / "bad.zip");
    MakeStore(dir / "s.db", {{"old.txt", "old"}});

    const ToolResult pack = RunTool({"pack", "bad.zip", "s.db"}, dir.path());
    EXPECT_EQ(pack.status, 1);
    EXPECT_NE(pack.err.find("'bad.zip:b.txt'"), std::string::npos) << pack.err;
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"old.txt", "old"}}));
}

TEST(ToolTree, UnpackRefusesNamesThatEscape) {
    TempDir dir;
    for (const std::string name : {"../evil.txt", "docs/../../evil.txt", "/tmp/evil.txt",
                                   "docs\\..\\..\\evil.txt", "C:/evil.txt"}) {
        SCOPED_TRACE(name);
        const Files files = {{"a-good.txt", "fine"}, {name, "gotcha"}};
        std::filesystem::remove(dir / "crafted.db");
        MakeStore(dir / "crafted.db", files);
        MakeZip(dir / "crafted.zip", files);
        for (const std::string container : {"crafted.db", "crafted.zip"}) {
            const ToolResult unpack = RunTool({"unpack", container, "out/inner"}, dir.path());
            EXPECT_EQ(unpack.status, 1);
            EXPECT_EQ(unpack.err.rfind("kivfs: refusing to unpack '" + container + ":", 0), 0u)
                << unpack.err;
            // Nothing at all is written, not even the harmless file.
            EXPECT_FALSE(PathExists(dir / "out"));
            EXPECT_FALSE(PathExists(dir / "evil.txt"));
        }
    }
    MakeZip(dir / "evil.zip", {{"../evil.txt", "gotcha"}});
    ExpectFailure(RunTool({"unpack", "evil.zip", "out"}, dir.path()),
                  "kivfs: refusing to unpack 'evil.zip:../': the name climbs out of the target "
                  "directory\n");
}

TEST(ToolTree, UnpackDoesNotFollowLinksOutOfTheFolder) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"link/x.txt", "gotcha"}});
    std::filesystem::create_directories(dir / "out");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out/link");
    ExpectFailure(RunTool({"unpack", "s.db", "out"}, dir.path()),
                  "kivfs: refusing to unpack 's.db:link/': a link leads outside 'out'\n");
    EXPECT_FALSE(PathExists(dir / "elsewhere/x.txt"));
}

TEST(ToolProgress, DrawnOnATerminalOnly) {
    TempDir dir;
    MakeTree(dir / "tree", SampleTree());
    // Not a terminal: nothing beyond the command's own output.
    ExpectClean(RunTool({"pack", "tree", "a.db"}, dir.path()));

    const ToolResult shown = RunToolOnTerminal({"pack", "tree", "b.db"}, dir.path());
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_NE(shown.out.find("5/5 files"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("/s"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("100%"), std::string::npos) << shown.out;
    EXPECT_EQ(ReadStore(dir / "b.db"), SampleTree());
}

}  // namespace
