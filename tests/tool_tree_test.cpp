// The kivfs program through its real binary: listings, whole trees packed
// into stores and zip archives and unpacked into folders, what both skip,
// and the names unpack refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "kivfs.h"
#include "support/SmallDisk.h"
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

// The compression method of every entry of the central directory of the
// archive held in `bytes`, in order.
std::vector<int> CentralMethods(const std::string& bytes) {
    std::vector<int> methods;
    for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
         at = bytes.find("PK\x01\x02", at + 4)) {
        methods.push_back(static_cast<unsigned char>(bytes[at + 10]) |
                          static_cast<unsigned char>(bytes[at + 11]) << 8);
    }
    return methods;
}

// True when the current user may not read a file made unreadable (not so
// for root, for whom permission tests prove nothing).
bool PermissionsApply(const std::string& path) {
    WriteBytes(path, "secret");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const bool applies = !std::ifstream(path).is_open();
    std::filesystem::remove(path);
    return applies;
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

TEST(ToolTree, PackWritesADeflatedZipThatReplacesTheOldOne) {
    TempDir dir;
    MakeTree(dir / "tree", SampleTree());
    MakeZip(dir / "old.zip", {{"stale.txt", "gone after the pack"}});
    ExpectClean(RunTool({"pack", "tree", "old.zip"}, dir.path()));
    const std::string archive = ReadBytes(dir / "old.zip");
    // One deflated entry per file, and a stored one per folder, as zip -r
    // writes them, which the library finds as directories.
    const std::vector<int> methods = CentralMethods(archive);
    EXPECT_EQ(std::count(methods.begin(), methods.end(), 8), SampleTree().size());
    EXPECT_EQ(std::count(methods.begin(), methods.end(), 0), 4);  // docs/ docs/img/ ... größe/
    DirHandle* zip = kivfsOpenDir((dir / "old.zip").c_str());
    bool exists = false;
    EXPECT_TRUE(kivfsIsDirectoryExist(zip, "docs/img/2019", &exists) && exists);
    kivfsCloseDir(zip);
    ExpectClean(RunShell("unzip -tq old.zip", dir.path()));
    ExpectClean(RunTool({"unpack", "old.zip", "back"}, dir.path()));
    EXPECT_EQ(ReadTree(dir / "back"), SampleTree());

    // --zip whatever the name; a store's content packs too. An archive of
    // no files is refused, leaving no file behind.
    MakeStore(dir / "s.db", {{"a/b.txt", "B"}});
    ExpectClean(RunTool({"pack", "--zip", "s.db", "data.pak"}, dir.path()));
    EXPECT_EQ(RunTool({"stat", "data.pak"}, dir.path()).out, "name: data.pak\nkind: zip archive\n");
    EXPECT_EQ(RunTool({"cat", "data.pak:a/b.txt"}, dir.path()).out, "B");
    std::filesystem::create_directory(dir / "empty");
    ExpectFailure(RunTool({"pack", "empty", "empty.zip"}, dir.path()),
                  "kivfs: cannot write 'empty.zip': no files to pack (an archive needs at least "
                  "one)\n");
    EXPECT_FALSE(PathExists(dir / "empty.zip"));

    // A store never gives way to an archive, nor an archive to a store.
    MakeStore(dir / "store.zip", {{"kept.txt", "K"}});
    ExpectFailure(RunTool({"pack", "tree", "store.zip"}, dir.path()),
                  "kivfs: cannot pack into 'store.zip': it is a store, not a zip archive\n");
    EXPECT_EQ(ReadStore(dir / "store.zip"), (Files{{"kept.txt", "K"}}));
    ExpectFailure(RunTool({"pack", "tree", "data.pak"}, dir.path()),
                  "kivfs: cannot pack into 'data.pak': it is a zip archive, not a store (--zip "
                  "replaces it with a new one)\n");
}

TEST(ToolTree, PackIsAllOrNothing) {
    TempDir dir;
    // "a.txt" is copied first; "b.txt" then fails to inflate.
    ZipImage zip = MakeZip(dir / "bad.zip", {{"a.txt", "alpha"}, {"b.txt", SampleText(100000)}});
    zip.CorruptData(1);
    zip.WriteTo(dir / "bad.zip");
    MakeStore(dir / "s.db", {{"old.txt", "old"}});
    MakeZip(dir / "old.zip", {{"old.txt", "old"}});
    const std::string oldArchive = ReadBytes(dir / "old.zip");

    for (const std::string target : {"s.db", "new.db", "old.zip", "new.zip"}) {
        SCOPED_TRACE(target);
        const ToolResult pack = RunTool({"pack", "bad.zip", target}, dir.path());
        EXPECT_EQ(pack.status, 1);
        EXPECT_EQ(pack.err.rfind("kivfs: cannot read 'bad.zip:b.txt': ", 0), 0u) << pack.err;
        EXPECT_EQ(std::count(pack.err.begin(), pack.err.end(), '\n'), 1);
        EXPECT_FALSE(PathExists(dir / (target + ".kivfs-part")));
    }
    EXPECT_EQ(ReadStore(dir / "s.db"), (Files{{"old.txt", "old"}}));
    EXPECT_EQ(ReadBytes(dir / "old.zip"), oldArchive);
    // No empty store or archive is left by a failed pack.
    EXPECT_FALSE(PathExists(dir / "new.db"));
    EXPECT_FALSE(PathExists(dir / "new.zip"));

    // Nor a folder, or a replaced file, by a failed unpack.
    EXPECT_EQ(RunTool({"unpack", "bad.zip", "out/new"}, dir.path()).status, 1);
    EXPECT_FALSE(PathExists(dir / "out"));
    MakeTree(dir / "mine", {{"a.txt", "mine"}});
    EXPECT_EQ(RunTool({"unpack", "bad.zip", "mine"}, dir.path()).status, 1);
    EXPECT_EQ(ReadTree(dir / "mine"), (Files{{"a.txt", "mine"}}));
}

// A full disk stops pack with the reason, and leaves no store, archive or
// part file behind.
TEST(ToolTree, PackOntoAFullDiskLeavesNothing) {
    TempDir dir;
    MakeTree(dir / "tree", {{"a.txt", "A"}, {"big.bin", BinaryBytes(3 << 20)}});
    SmallDisk disk(dir.path(), 1 << 20);
    if (!disk.Ready()) GTEST_SKIP() << disk.Why();
    for (const std::string target : {"full.db", "full.zip"}) {
        SCOPED_TRACE(target);
        const ToolResult pack = RunTool({"pack", "tree", disk.path() + "/" + target}, dir.path());
        EXPECT_EQ(pack.status, 1);
        EXPECT_EQ(std::count(pack.err.begin(), pack.err.end(), '\n'), 1) << pack.err;
        EXPECT_EQ(pack.err.rfind("kivfs: cannot ", 0), 0u) << pack.err;
        EXPECT_TRUE(std::filesystem::is_empty(disk.path())) << pack.err;
    }
    // An existing store is rolled back to its old content and size, with
    // no journal left (SQLite leaves one when the disk fills while a file
    // of the store that half fills it is being replaced).
    const std::string old = BinaryBytes(600000, 9);
    WriteBytes(dir / "old.bin", old);
    ExpectClean(RunTool({"put", disk.path() + "/s.db:big.bin", "old.bin"}, dir.path()));
    const auto size = std::filesystem::file_size(disk.path() + "/s.db");
    EXPECT_EQ(RunTool({"pack", "tree", disk.path() + "/s.db"}, dir.path()).status, 1);
    EXPECT_EQ(ReadStore(disk.path() + "/s.db"), (Files{{"big.bin", old}}));
    EXPECT_EQ(std::filesystem::file_size(disk.path() + "/s.db"), size);
    EXPECT_FALSE(PathExists(disk.path() + "/s.db-journal"));
    std::filesystem::remove(disk.path() + "/s.db");
    // A file-size limit (the fallback without a tmpfs) is not a full disk.
    if (disk.Why().find("tmpfs") == std::string::npos) return;
    ExpectFailure(
        RunTool({"pack", "tree", disk.path() + "/full.db"}, dir.path()),
        "kivfs: cannot pack into '" + disk.path() + "/full.db': no space left on device\n");
}

// SOURCE and TARGET are split as every other argument: a folder of a store
// is packed into and unpacked from, a zip archive is written whole, and a
// new target named like an archive of another kind needs --store or --zip.
TEST(ToolTree, FoldersOfContainersOnBothSides) {
    TempDir dir;
    MakeTree(dir / "tree", SampleTree());
    MakeStore(dir / "s.db", {{"keep.txt", "K"}});
    ExpectClean(RunTool({"pack", "tree", "s.db:sub"}, dir.path()));
    Files stored{{"keep.txt", "K"}};
    for (const auto& [name, bytes] : SampleTree()) stored["sub/" + name] = bytes;
    EXPECT_EQ(ReadStore(dir / "s.db"), stored);
    ExpectClean(RunTool({"unpack", "s.db:sub", "back"}, dir.path()));
    EXPECT_EQ(ReadTree(dir / "back"), SampleTree());
    ExpectClean(RunTool({"pack", "s.db:sub/docs", "docs.zip"}, dir.path()));
    EXPECT_EQ(RunTool({"ls", "-R", "docs.zip"}, dir.path()).out,
              "a.txt\nimg/\nimg/2019/\nimg/2019/b.bin\n");

    ExpectFailure(RunTool({"pack", "tree", "docs.zip:sub"}, dir.path()),
                  "kivfs: cannot pack into 'docs.zip:sub': a zip archive is written whole, not "
                  "into a folder of it\n");
    ExpectFailure(RunTool({"unpack", "s.db:keep.txt", "out"}, dir.path()),
                  "kivfs: cannot unpack 's.db:keep.txt': is a file (get copies one file)\n");
    ExpectFailure(RunTool({"pack", "tree", "out.tar"}, dir.path()),
                  "kivfs: cannot pack into 'out.tar': pack writes stores and zip archives, not "
                  "'.tar' files (--store or --zip says which to write)\n");
    EXPECT_FALSE(PathExists(dir / "out.tar"));
    ExpectClean(RunTool({"pack", "--store", "tree", "out.tar"}, dir.path()));
    EXPECT_EQ(ReadStore(dir / "out.tar"), SampleTree());
}

// An archive of more than 65,534 entries would need zip64 records, which
// the library does not read: refused before anything is written.
TEST(ToolTree, PackWritesNoZipTheLibraryCannotRead) {
    TempDir dir;
    MakeStore(dir / "many.db", {});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "many.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 65535) INSERT INTO FileStorage (FileName, Path, Content) "
                           "SELECT 'f' || i, '', 'x' FROM n",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ExpectFailure(RunTool({"pack", "many.db", "many.zip"}, dir.path()),
                  "kivfs: cannot write 'many.zip': 65535 entries (files and folders), more than "
                  "the 65,534 a zip archive holds without zip64 records, which kivfs does not "
                  "read\n");
    EXPECT_FALSE(PathExists(dir / "many.zip"));
    EXPECT_FALSE(PathExists(dir / "many.zip.kivfs-part"));
}

TEST(ToolTree, PackSkipsWhatItCannotReadAndStoresTheRest) {
    TempDir dir;
    MakeTree(dir / "tree", {{"good.txt", "G"}, {"sub/also.txt", "A"}, {"back\\slash.txt", "B"}});
    std::filesystem::create_symlink("nowhere", dir / "tree/dangling");
    ExpectClean(RunShell("mkfifo tree/fifo", dir.path()));
    const bool permissions = PermissionsApply(dir / "tree/sub/locked.txt");
    if (permissions) {
        WriteBytes(dir / "tree/sub/locked.txt", "L");
        std::filesystem::permissions(dir / "tree/sub/locked.txt", std::filesystem::perms::none);
    }
    for (const std::string target : {"t.db", "t.zip"}) {
        SCOPED_TRACE(target);
        const ToolResult pack = RunTool({"pack", "tree", target}, dir.path());
        EXPECT_EQ(pack.status, 1);
        EXPECT_NE(pack.err.find("kivfs: skipped 'tree:dangling': not found\n"), std::string::npos)
            << pack.err;
        EXPECT_NE(pack.err.find("kivfs: skipped 'tree:fifo': not a regular file\n"),
                  std::string::npos);
        EXPECT_NE(pack.err.find("kivfs: skipped 'tree:back\\slash.txt': the name holds \"\\\""),
                  std::string::npos)
            << pack.err;
        if (permissions) {
            EXPECT_NE(pack.err.find("kivfs: skipped 'tree:sub/locked.txt': "), std::string::npos);
        }
        EXPECT_NE(pack.err.find("; skipped "), std::string::npos) << pack.err;
        const ToolResult listing = RunTool({"ls", "-R", target}, dir.path());
        EXPECT_EQ(listing.out, "good.txt\nsub/\nsub/also.txt\n");
    }
}

TEST(ToolTree, UnpackSkipsNamesThatEscapeOrAFolderMustNotHold) {
    TempDir dir;
    for (const std::string name :
         {"../evil.txt", "docs/../../evil.txt", "/tmp/evil.txt", "docs\\..\\..\\evil.txt",
          "C:/evil.txt", "a:b.txt", "docs//evil.txt", "./evil.txt"}) {
        SCOPED_TRACE(name);
        const Files files = {{"a-good.txt", "fine"}, {name, "gotcha"}};
        std::filesystem::remove(dir / "crafted.db");
        MakeStore(dir / "crafted.db", files);
        MakeZip(dir / "crafted.zip", files);
        for (const std::string container : {"crafted.db", "crafted.zip"}) {
            std::filesystem::remove_all(dir / "out");
            const ToolResult unpack = RunTool({"unpack", container, "out/inner"}, dir.path());
            EXPECT_EQ(unpack.status, 1);
            EXPECT_EQ(unpack.err.rfind("kivfs: skipped '" + container + ":", 0), 0u) << unpack.err;
            // The rest is written, and nothing outside the target folder.
            EXPECT_EQ(ReadTree(dir / "out"), (Files{{"inner/a-good.txt", "fine"}}));
            EXPECT_FALSE(PathExists(dir / "evil.txt"));
        }
    }
    MakeZip(dir / "evil.zip", {{"../evil.txt", "gotcha"}});
    const ToolResult unpack = RunTool({"unpack", "evil.zip", "out"}, dir.path());
    EXPECT_EQ(unpack.err.substr(0, unpack.err.find('\n') + 1),
              "kivfs: skipped 'evil.zip:../': the name climbs above its root (\"..\")\n");
}

TEST(ToolTree, UnpackDoesNotFollowLinksOutOfTheFolder) {
    TempDir dir;
    MakeStore(dir / "s.db", {{"link/x.txt", "gotcha"}});
    std::filesystem::create_directories(dir / "out");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "out/link");
    const ToolResult unpack = RunTool({"unpack", "s.db", "out"}, dir.path());
    EXPECT_EQ(unpack.status, 1);
    EXPECT_EQ(unpack.err.substr(0, unpack.err.find('\n') + 1),
              "kivfs: skipped 's.db:link/': a link leads outside 'out'\n");
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
