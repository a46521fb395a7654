// The SQLite store through the exported calls, checked against the rows a
// second, direct SQLite connection finds in the database file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/DirectDb.h"
#include "support/TempDir.h"

using kivfs_test::Direct;
using kivfs_test::TempDir;

namespace {

class Store : public ::testing::Test {
  protected:
    void SetUp() override { Open(); }
    void TearDown() override { kivfsCloseDir(dir_); }

    void Open() {
        dir_ = kivfsOpenDir(path_.c_str());
        ASSERT_NE(dir_, nullptr);
    }
    void Reopen() {
        kivfsCloseDir(dir_);
        Open();
    }

    FileHandle* File(const std::string& name) {
        FileHandle* file = kivfsCreateFileIndir(dir_, name.c_str(), 3);
        EXPECT_NE(file, nullptr);
        return file;
    }
    void Put(const std::string& name, const std::string& bytes) {
        FileHandle* file = File(name);
        EXPECT_EQ(kivfsWrite(file, bytes.data(), static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
        kivfsCloseFile(file);
    }
    // Reads from the current position to the end.
    static std::string Rest(FileHandle* file) {
        std::string bytes;
        char chunk[7];  // small, so reads cross stored page boundaries too
        for (int n; (n = kivfsRead(file, chunk, sizeof chunk)) > 0;) bytes.append(chunk, n);
        return bytes;
    }
    std::string Get(const std::string& name) {
        FileHandle* file = File(name);
        std::string bytes = Rest(file);
        kivfsCloseFile(file);
        return bytes;
    }
    bool FileExists(const std::string& name) {
        bool exists = true;
        EXPECT_TRUE(kivfsIsFileExist(dir_, name.c_str(), &exists));
        return exists;
    }
    bool DirExists(const std::string& name) {
        bool exists = true;
        EXPECT_TRUE(kivfsIsDirectoryExist(dir_, name.c_str(), &exists));
        return exists;
    }
    // The listing of `name` in its order, "d:" before directories, as full
    // names or as names.
    std::vector<std::string> Listed(const std::string& name, bool fullNames = false) {
        std::vector<std::string> entries;
        EnumHandle* listing = kivfsCreateEnumIndir(dir_, name.c_str());
        EXPECT_NE(listing, nullptr);
        while (kivfsMoveNext(listing)) {
            char* text = nullptr;
            EXPECT_TRUE(fullNames ? kivfsGetFullName(listing, &text)
                                  : kivfsGetName(listing, &text));
            entries.push_back((kivfsIsDirectory(listing) ? "d:" : "") + std::string(text));
            kivfsFreeName(text);
        }
        kivfsCloseEnum(listing);
        return entries;
    }
    // The listing of `name` as full names, sorted, where order is not the
    // point.
    std::vector<std::string> List(const std::string& name) {
        std::vector<std::string> entries = Listed(name, true);
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    TempDir tmp_;
    std::string path_ = tmp_ / "store.db";
    DirHandle* dir_ = nullptr;
};

TEST_F(Store, NewStoreHasTheFileStorageTableAndIsFoundAgain) {
    Put("docs/a.txt", "alpha");
    Reopen();
    EXPECT_EQ(Get("docs/a.txt"), "alpha");
    Direct db(path_);
    EXPECT_EQ(db.One("select sql from sqlite_master where name='FileStorage'"),
              "CREATE TABLE FileStorage (FileName text, Path text, Content blob, Info blob, "
              "primary key(FileName, Path))");
    EXPECT_EQ(db.One("pragma page_size"), "8192");
}

TEST(StoreOpen, RefusesWhatCannotBeAStore) {
    TempDir tmp;
    EXPECT_EQ(kivfsOpenDir((tmp / "missing/store.db").c_str()), nullptr);
    kivfs_test::WriteBytes(tmp / "text.db", std::string(4096, 'x'));
    EXPECT_EQ(kivfsOpenDir((tmp / "text.db").c_str()), nullptr);
    EXPECT_EQ(kivfs_test::ReadBytes(tmp / "text.db"), std::string(4096, 'x'));
}

TEST(StoreOpen, KeepsOtherTablesAndPageSizeOfAnExistingDatabase) {
    TempDir tmp;
    {
        Direct db(tmp / "other.db");
        db.Rows("pragma page_size=1024");
        db.Rows("create table Other (x)");
        db.Rows("insert into Other values (42)");
    }
    DirHandle* dir = kivfsOpenDir((tmp / "other.db").c_str());
    ASSERT_NE(dir, nullptr);
    kivfsCloseDir(dir);
    Direct db(tmp / "other.db");
    EXPECT_EQ(db.One("select x from Other"), "42");
    EXPECT_EQ(db.One("select count(*) from FileStorage"), "0");
    EXPECT_EQ(db.One("pragma page_size"), "1024");
}

TEST_F(Store, NamesAreSplitIntoPathAndFileName) {
    Put("docs/a.txt", "1");
    Put("x/y/z.bin", "2");
    Put("top.txt", "3");
    Put("/lead/it's.txt", "4");
    Put("Docs/a.txt", "5");
    Direct db(path_);
    EXPECT_EQ(db.Rows("select Path, FileName, typeof(Path), typeof(Info) from FileStorage "
                      "order by Content"),
              (std::vector<std::string>{"docs/|a.txt|text|null", "x/y/|z.bin|text|null",
                                        "|top.txt|text|null", "/lead/|it's.txt|text|null",
                                        "Docs/|a.txt|text|null"}));
    EXPECT_EQ(Get("/lead/it's.txt"), "4");
    EXPECT_FALSE(FileExists("lead/it's.txt"));
}

// An extending write or a resize while a blob handle of the store is open
// (the file's own, or another file's) must still be committed.
TEST_F(Store, NoWriteIsLostWhileBlobHandlesAreOpen) {
    Put("other.bin", "0123456789");
    Put("self.bin", "abcdef");
    FileHandle* other = File("other.bin");
    char byte;
    ASSERT_EQ(kivfsRead(other, &byte, 1), 1);  // holds a blob handle from here on
    FileHandle* self = File("self.bin");
    ASSERT_EQ(kivfsRead(self, &byte, 1), 1);
    ASSERT_EQ(kivfsWrite(self, "XYZWVU", 6), 6);  // in place, then past the end
    ASSERT_EQ(kivfsWrite(self, "++", 2), 2);
    FileHandle* grown = File("grown.bin");
    ASSERT_TRUE(kivfsResize(grown, 3));
    ASSERT_EQ(kivfsWrite(other, "!", 1), 1);  // in place, through the reopened handle
    kivfsCloseFile(grown);
    kivfsCloseFile(self);
    {
        Direct db(path_);  // committed already, with `other` still open
        EXPECT_EQ(db.Content("", "self.bin"), "aXYZWVU++");
    }
    ASSERT_TRUE(kivfsResize(other, 4));
    kivfsCloseFile(other);
    Reopen();
    EXPECT_EQ(Get("self.bin"), "aXYZWVU++");
    EXPECT_EQ(Get("other.bin"), "0!23");
    EXPECT_EQ(Get("grown.bin"), std::string(3, '\0'));
    Direct db(path_);
    EXPECT_EQ(db.Content("", "other.bin"), "0!23");
}

// A write onto a row deleted under the open file is not reported as stored:
// the file notices, acts once as on a deleted file, and stores a new file
// under its name after that.
TEST_F(Store, WriteToADeletedRowIsNotReportedAsStored) {
    FileHandle* file = File("f");
    ASSERT_EQ(kivfsWrite(file, "abc", 3), 3);
    ASSERT_TRUE(kivfsDeleteFile(dir_, "f"));
    EXPECT_EQ(kivfsWrite(file, "hello", 5), 0);
    EXPECT_EQ(kivfsTell(file), 0);
    EXPECT_EQ(kivfsWrite(file, "hello", 5), 5);  // looked up again: a new row
    kivfsCloseFile(file);
    EXPECT_EQ(Direct(path_).Content("", "f"), "hello");
}

TEST_F(Store, TransactionIsSeenOnlyAfterCommit) {
    Put("kept.txt", "k");
    FileHandle* reader = File("kept.txt");
    char byte;
    ASSERT_EQ(kivfsRead(reader, &byte, 1), 1);
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    Put("a.txt", "first");
    Direct db(path_);
    EXPECT_EQ(db.Names(), std::vector<std::string>{"kept.txt"});
    ASSERT_TRUE(kivfsBeginTrans(dir_));  // commits the first
    EXPECT_EQ(db.Names(), (std::vector<std::string>{"a.txt", "kept.txt"}));
    Put("b.txt", "second");
    ASSERT_EQ(kivfsSeek(reader, 0, 0), 0);
    ASSERT_EQ(kivfsWrite(reader, "K", 1), 1);
    EXPECT_EQ(db.Content("", "b.txt"), "<none>");
    EXPECT_TRUE(kivfsCommitTrans(dir_));
    EXPECT_EQ(db.Content("", "b.txt"), "second");
    EXPECT_EQ(db.Content("", "kept.txt"), "K");
    EXPECT_FALSE(kivfsCommitTrans(dir_));
    kivfsCloseFile(reader);
}

// Inside a transaction a closed file's blob handle is reused for the next
// file read. Each file must still reach its own row, also after the handle
// wrote, onto a row with a NULL Content, and from a row deleted meanwhile;
// the commit stores everything and leaves the database to other writers.
TEST_F(Store, HandlesReusedInATransactionKeepToTheirRows) {
    Put("a", "aaaa");
    Put("b", "bbbbbb");
    FileHandle* empty = File("empty");
    ASSERT_TRUE(kivfsResize(empty, 0));
    kivfsCloseFile(empty);
    ASSERT_TRUE(kivfsCopyFile(dir_, "empty", "null", false));  // a NULL Content
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    FileHandle* a = File("a");
    ASSERT_EQ(kivfsWrite(a, "A", 1), 1);  // in place: the handle has written
    kivfsCloseFile(a);
    EXPECT_EQ(Get("null"), "");
    EXPECT_EQ(Get("b"), "bbbbbb");
    FileHandle* b = File("b");
    char byte;
    ASSERT_EQ(kivfsRead(b, &byte, 1), 1);
    ASSERT_TRUE(kivfsDeleteFile(dir_, "b"));
    kivfsCloseFile(b);
    EXPECT_EQ(Get("a"), "Aaaa");
    EXPECT_EQ(Get("b"), "");
    FileHandle* again = File("a");
    ASSERT_EQ(kivfsSeek(again, 3, 0), 3);
    ASSERT_EQ(kivfsWrite(again, "!", 1), 1);
    kivfsCloseFile(again);
    ASSERT_TRUE(kivfsCommitTrans(dir_));
    Direct db(path_);
    EXPECT_EQ(db.Names(), (std::vector<std::string>{"a", "empty", "null"}));
    EXPECT_EQ(db.Content("", "a"), "Aaa!");
    EXPECT_TRUE(db.Exec("delete from FileStorage where FileName='empty'"));
}

// A transaction never committed is rolled back at close, reused handle or
// not, and the connection closes cleanly.
TEST_F(Store, UncommittedTransactionWithAReusedHandleIsRolledBack) {
    Put("a", "aaaa");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    FileHandle* a = File("a");
    ASSERT_EQ(kivfsWrite(a, "A", 1), 1);
    kivfsCloseFile(a);
    kivfsCloseDir(dir_);
    dir_ = nullptr;
    Direct db(path_);
    EXPECT_EQ(db.Content("", "a"), "aaaa");
    EXPECT_TRUE(db.Exec("delete from FileStorage"));
}

TEST_F(Store, DeleteDirectoryTakesExactlyTheNamedSubtree) {
    for (const char* name :
         {"a_c/x", "a_c/sub/deep", "abc/y", "A_C/z", "a_cd/e", "a%/w", "aXc/v", "top"}) {
        Put(name, "-");
    }
    EXPECT_FALSE(DirExists("A_c"));  // byte for byte, as the deletion
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, "a_c"));
    Direct db(path_);
    EXPECT_EQ(db.Names(),
              (std::vector<std::string>{"A_C/z", "a%/w", "aXc/v", "a_cd/e", "abc/y", "top"}));
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, "a%/"));
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, "nothing"));
    EXPECT_EQ(db.Names(), (std::vector<std::string>{"A_C/z", "aXc/v", "a_cd/e", "abc/y", "top"}));
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, ""));
    EXPECT_EQ(db.Names(), std::vector<std::string>{});
}

// Directories are matched by their text byte for byte, as files are: "_"
// and "%" are no wildcards and letters keep their case, so no listing shows
// a directory that cannot be opened.
TEST_F(Store, DirectoriesMatchTheirTextByteForByte) {
    Put("aXb/sub/two.txt", "2");
    Put("dir/x", "x");
    Put("a%/y", "y");
    EXPECT_FALSE(DirExists("a_b"));
    EXPECT_EQ(List("a_b/"), std::vector<std::string>{});
    EXPECT_FALSE(DirExists("DIR"));
    EXPECT_EQ(List("DIR"), std::vector<std::string>{});
    EXPECT_FALSE(DirExists("a"));
    EXPECT_TRUE(DirExists("a%"));
    EXPECT_EQ(List("a%"), std::vector<std::string>{"a%/y"});
    EXPECT_EQ(List(""), (std::vector<std::string>{"d:a%/", "d:aXb/", "d:dir/"}));
}

// SQLite counts committed write transactions in the database header (bytes
// 24 to 27, big-endian): a move, its copy and its deletion, is one.
TEST_F(Store, MoveIsOneTransaction) {
    auto commits = [&] {
        const std::string header = kivfs_test::ReadBytes(path_).substr(24, 4);
        uint32_t count = 0;
        for (char byte : header) count = count << 8 | static_cast<unsigned char>(byte);
        return count;
    };
    Put("a/x", "body");
    const uint32_t before = commits();
    ASSERT_TRUE(kivfsMoveFile(dir_, "a/x", "b/x", true));
    EXPECT_EQ(commits(), before + 1);
    EXPECT_EQ(Direct(path_).Names(), std::vector<std::string>{"b/x"});
}

TEST_F(Store, MoveOntoItselfKeepsTheFile) {
    Put("d/f.txt", "body");
    EXPECT_TRUE(kivfsMoveFile(dir_, "d/f.txt", "d/f.txt", false));
    EXPECT_FALSE(kivfsMoveFile(dir_, "d/f.txt", "d/f.txt", true));
    EXPECT_FALSE(kivfsMoveFile(dir_, "d/none", "d/none", false));
    EXPECT_EQ(Get("d/f.txt"), "body");
    EXPECT_FALSE(FileExists("d/none"));
}

TEST_F(Store, NegativeLengthsMoveNothing) {
    Put("f", "abc");
    FileHandle* file = File("f");
    char buffer[4] = {'.', '.', '.', '.'};
    EXPECT_EQ(kivfsRead(file, buffer, -1), 0);
    EXPECT_EQ(kivfsWrite(file, buffer, -2), 0);
    EXPECT_EQ(std::string(buffer, 4), "....");
    EXPECT_EQ(kivfsTell(file), 0);
    kivfsCloseFile(file);
    EXPECT_EQ(Get("f"), "abc");
}

TEST_F(Store, ListingsAreBuiltFromNestedPaths) {
    Put("docs/a.txt", "1");
    Put("docs/img/2019/b.png", "2");
    Put("docs/img/2019/d.png", "3");
    Put("docs/img/c.png", "4");
    Put("top.txt", "5");
    EXPECT_EQ(List(""), (std::vector<std::string>{"d:docs/", "top.txt"}));
    EXPECT_EQ(List("docs"), (std::vector<std::string>{"d:docs/img/", "docs/a.txt"}));
    EXPECT_EQ(List("docs/img/"), (std::vector<std::string>{"d:docs/img/2019/", "docs/img/c.png"}));
    EXPECT_EQ(List("Docs/"), std::vector<std::string>{});  // names keep their case
    EXPECT_EQ(List("none"), std::vector<std::string>{});

    EnumHandle* listing = kivfsCreateEnumIndir(dir_, "docs");
    char* name = nullptr;
    ASSERT_TRUE(kivfsGetName(listing, &name));  // before the first entry
    EXPECT_STREQ(name, "");
    kivfsFreeName(name);
    ASSERT_TRUE(kivfsGetFullName(listing, &name));
    EXPECT_STREQ(name, "docs/");
    kivfsFreeName(name);
    std::vector<std::string> first, again;
    while (kivfsMoveNext(listing)) {
        ASSERT_TRUE(kivfsGetName(listing, &name));
        first.push_back(name);
        kivfsFreeName(name);
    }
    EXPECT_FALSE(kivfsMoveNext(listing));
    EXPECT_FALSE(kivfsGetName(listing, &name));
    Put("docs/later.txt", "6");  // not seen: the listing is a snapshot
    kivfsReset(listing);
    while (kivfsMoveNext(listing)) {
        ASSERT_TRUE(kivfsGetName(listing, &name));
        again.push_back(name);
        kivfsFreeName(name);
    }
    EXPECT_EQ(first, again);
    EXPECT_EQ(first.size(), 2u);
    kivfsCloseEnum(listing);
}

// A listing lists its rows in the order a scan of the table yields them
// (the primary key's, FileName then Path), a directory at its first row.
// The connection keeps what it has listed in memory, so each listing is
// checked against a scan through a second connection, in order, after the
// store's own changes and after another connection's.
class StoreListing : public Store {
  protected:
    // Listed's entries, from the rows as the listing's query yields them
    // to another connection.
    std::vector<std::string> Scanned(const std::string& directory) {
        std::string range = "Path >= '" + directory + "'";
        if (!directory.empty())
            range += " and Path < '" + directory.substr(0, directory.size() - 1) + "0'";
        std::vector<std::string> entries;
        for (const std::string& row :
             Direct(path_).Rows("select Path, FileName from FileStorage where " + range)) {
            const size_t bar = row.find('|');
            const std::string path = row.substr(0, bar);
            if (path.compare(0, directory.size(), directory) != 0) continue;
            if (path == directory) entries.push_back(row.substr(bar + 1));
            const size_t slash = path.find('/', directory.size());
            if (path == directory || slash == std::string::npos) continue;
            const std::string sub =
                "d:" + path.substr(directory.size(), slash + 1 - directory.size());
            if (std::find(entries.begin(), entries.end(), sub) == entries.end())
                entries.push_back(sub);
        }
        return entries;
    }
    void ExpectListedAsScanned(const char* when) {
        for (const char* directory : {"", "m/", "m/c/", "m/c/a/", "n/", "new/"}) {
            EXPECT_EQ(Listed(directory), Scanned(directory))
                << when << ", in '" << directory << "'";
            EXPECT_EQ(DirExists(directory), !Scanned(directory).empty()) << when;
        }
    }
};

TEST_F(StoreListing, FollowsOwnAndOtherConnectionsChangesInScanOrder) {
    for (const char* name : {"m/k", "m/c/y", "q", "m/b/x", "m/c/a/z", "n/p", "m/c/k"})
        Put(name, "-");
    ExpectListedAsScanned("as written");
    Put("m/c/a/0", "-");  // the first row of m/, m/c/ and m/c/a/: all move up
    ExpectListedAsScanned("after an insert");
    EXPECT_TRUE(kivfsRenameFile(dir_, "m/c/a/0", "m/c/a/zz"));  // and back down
    EXPECT_TRUE(kivfsRenameFile(dir_, "m/b/x", "m/b/a"));
    ExpectListedAsScanned("after renames");
    EXPECT_TRUE(kivfsMoveFile(dir_, "n/p", "new/a", false));  // n/ goes, new/ comes
    EXPECT_TRUE(kivfsCopyFile(dir_, "q", "m/c/b", false));
    EXPECT_TRUE(kivfsDeleteFile(dir_, "m/k"));
    ExpectListedAsScanned("after a move, a copy and a deletion");
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, "m/c/a"));
    ExpectListedAsScanned("after a directory deletion");
    Direct other(path_);
    ASSERT_TRUE(other.Exec("insert into FileStorage (FileName, Path) values ('0', 'm/c/a/')"));
    ASSERT_TRUE(other.Exec("delete from FileStorage where FileName = 'a' and Path = 'new/'"));
    ExpectListedAsScanned("after another connection's changes");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    Put("n/b", "-");
    EXPECT_EQ(Listed("n/"), std::vector<std::string>{"b"});  // its own, uncommitted
    ASSERT_TRUE(kivfsCommitTrans(dir_));
    ExpectListedAsScanned("after a transaction");
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, ""));
    ExpectListedAsScanned("after emptying the store");
}

// A table with another index (here on Path: rows come in Path and rowid
// order) or rows this library never writes (a number for a name) are
// listed as their scan yields them, too.
TEST_F(StoreListing, OtherTableLayoutsAreListedAsScanned) {
    for (const char* name : {"m/z", "m/c/y", "m/a", "n/p"}) Put(name, "-");
    ExpectListedAsScanned("as written");
    Direct other(path_);
    ASSERT_TRUE(other.Exec("create index ByPath on FileStorage (Path)"));
    ASSERT_TRUE(other.Exec("insert into FileStorage (FileName, Path) values (7, 'm/')"));
    Put("m/b", "-");
    EXPECT_EQ(Listed("m/"), (std::vector<std::string>{"z", "a", "7", "b", "d:c/"}));
    ExpectListedAsScanned("with an index on Path");
}

// Changes of a transaction that is rolled back (here: its commit refused
// while another connection reads, past the busy timeout) are not listed.
TEST_F(StoreListing, RolledBackChangesAreNotListed) {
    for (const char* name : {"m/k", "m/c/y", "n/p"}) Put(name, "-");
    ExpectListedAsScanned("as written");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    Put("m/c/a/0", "-");
    EXPECT_TRUE(kivfsDeleteDirectory(dir_, "n"));
    EXPECT_EQ(Listed(""), std::vector<std::string>{"d:m/"});
    Direct reader(path_);
    ASSERT_TRUE(reader.Exec("BEGIN"));
    reader.One("select count(*) from FileStorage");  // holds a read lock
    EXPECT_FALSE(kivfsCommitTrans(dir_));
    ASSERT_TRUE(reader.Exec("COMMIT"));
    ExpectListedAsScanned("after the rollback");
    EXPECT_EQ(Listed(""), (std::vector<std::string>{"d:m/", "d:n/"}));
}

TEST_F(Store, ExistenceFollowsStoredFiles) {
    EXPECT_FALSE(DirExists(""));
    FileHandle* unbound = File("docs/a.txt");
    kivfsCloseFile(unbound);
    EXPECT_FALSE(FileExists("docs/a.txt"));
    Put("docs/a.txt", "x");
    EXPECT_TRUE(FileExists("docs/a.txt"));
    EXPECT_FALSE(FileExists("docs/A.txt"));
    EXPECT_TRUE(DirExists("docs"));
    EXPECT_TRUE(DirExists("docs/"));
    EXPECT_TRUE(DirExists(""));
    EXPECT_FALSE(DirExists("doc"));
    EXPECT_FALSE(DirExists("docs/a"));
    EXPECT_TRUE(kivfsDeleteFile(dir_, "docs/a.txt"));
    EXPECT_TRUE(kivfsDeleteFile(dir_, "docs/a.txt"));
    EXPECT_FALSE(DirExists("docs"));
}

TEST_F(Store, CopyRenameAndMove) {
    Put("a/x", "source");
    Put("a/y", "target");
    Put("empty", "");
    FileHandle* file = File("empty");
    ASSERT_TRUE(kivfsResize(file, 0));  // a row with an empty Content
    kivfsCloseFile(file);
    Direct db(path_);
    const std::string rowid = db.One("select rowid from FileStorage where FileName='y'");

    EXPECT_FALSE(kivfsCopyFile(dir_, "a/x", "a/y", true));
    EXPECT_TRUE(kivfsCopyFile(dir_, "a/x", "a/y", false));
    EXPECT_EQ(db.One("select rowid || Content from FileStorage where FileName='y'"),
              rowid + "source");
    EXPECT_FALSE(kivfsCopyFile(dir_, "a/missing", "b/new", false));
    EXPECT_FALSE(FileExists("b/new"));
    EXPECT_TRUE(kivfsCopyFile(dir_, "empty", "b/copy", false));
    EXPECT_EQ(db.One("select typeof(Content) from FileStorage where FileName='copy'"), "null");
    EXPECT_EQ(Get("b/copy"), "");
    FileHandle* copy = File("b/copy");
    EXPECT_EQ(kivfsWrite(copy, "new", 3), 3);
    kivfsCloseFile(copy);
    EXPECT_EQ(Get("b/copy"), "new");

    EXPECT_FALSE(kivfsRenameFile(dir_, "a/x", "b/x"));
    EXPECT_FALSE(kivfsRenameFile(dir_, "a/x", "a/y"));
    EXPECT_TRUE(kivfsRenameFile(dir_, "a/none", "a/z"));
    EXPECT_TRUE(kivfsRenameFile(dir_, "a/x", "a/w"));
    EXPECT_TRUE(kivfsMoveFile(dir_, "a/w", "c/moved", false));
    EXPECT_EQ(db.Names(), (std::vector<std::string>{"a/y", "b/copy", "c/moved", "empty"}));
    EXPECT_EQ(Get("c/moved"), "source");
}

TEST_F(Store, UnboundFileStoresNothing) {
    FileHandle* file = File("new.bin");
    char buffer[8];
    EXPECT_EQ(kivfsRead(file, buffer, 8), 0);
    EXPECT_TRUE(kivfsError(file));
    EXPECT_EQ(kivfsSeek(file, 0, 0), -1);
    EXPECT_EQ(kivfsTell(file), 0);
    kivfsCloseFile(file);
    EXPECT_EQ(Direct(path_).Names(), std::vector<std::string>{});
}

TEST_F(Store, WritesInPlaceAndPastTheEnd) {
    FileHandle* file = File("f");
    ASSERT_EQ(kivfsWrite(file, "0123456789", 10), 10);
    EXPECT_EQ(kivfsTell(file), 10);
    EXPECT_TRUE(kivfsError(file));
    EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
    EXPECT_FALSE(kivfsError(file));
    char buffer[100];
    EXPECT_EQ(kivfsRead(file, buffer, 100), 10);
    EXPECT_EQ(kivfsRead(file, buffer, 100), 0);
    EXPECT_EQ(kivfsTell(file), 10);
    kivfsSeek(file, 0, 0);
    ASSERT_EQ(kivfsWrite(file, "abcd", 4), 4);
    kivfsSeek(file, 5, 0);
    ASSERT_EQ(kivfsWrite(file, "ABCDEFGHIJKLMNOPQRST", 20), 20);
    EXPECT_EQ(kivfsTell(file), 25);
    kivfsSeek(file, 0, 0);
    EXPECT_EQ(Rest(file), "abcd4ABCDEFGHIJKLMNOPQRST");
    kivfsCloseFile(file);
}

// A fresh handle writing from the start over a stored file overwrites its
// first bytes and keeps the rest, inside a transaction as well; so does a
// store made elsewhere whose table has no key to refuse a second row.
TEST_F(Store, FreshHandleWritesOverTheStoredFile) {
    Put("d/f", "0123456789");
    Put("d/f", "ab");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    Put("d/f", "cd");
    Put("d/f", "e");
    ASSERT_TRUE(kivfsCommitTrans(dir_));
    EXPECT_EQ(Get("d/f"), "ed23456789");
    kivfsCloseDir(dir_);
    path_ = tmp_ / "foreign.db";
    ASSERT_TRUE(Direct(path_).Exec(
        "create table FileStorage (FileName text, Path text, Content blob, Info blob)"));
    Open();
    Put("d/f", "0123");
    Put("d/f", "a");
    EXPECT_EQ(Get("d/f"), "a123");
    EXPECT_EQ(Direct(path_).One("select count(*) from FileStorage"), "1");
}

TEST_F(Store, ExtendingWriteAtEveryPosition) {
    const std::string base = std::string(9000, 'b') + "0123456789";  // two stored pages
    for (size_t at :
         {size_t{0}, size_t{1}, size_t{8191}, size_t{8192}, size_t{9005}, base.size()}) {
        Put("f", "");
        FileHandle* file = File("f");
        ASSERT_TRUE(kivfsResize(file, 0));
        ASSERT_EQ(kivfsWrite(file, base.data(), static_cast<int>(base.size())),
                  static_cast<int>(base.size()));
        ASSERT_EQ(kivfsSeek(file, static_cast<int>(at), 0), static_cast<int>(at));
        const std::string tail(base.size() - at + 3000, 't');
        ASSERT_EQ(kivfsWrite(file, tail.data(), static_cast<int>(tail.size())),
                  static_cast<int>(tail.size()));
        kivfsCloseFile(file);
        EXPECT_EQ(Get("f"), base.substr(0, at) + tail) << "at " << at;
    }
}

TEST_F(Store, SeekStaysInsideTheFile) {
    Put("f", std::string(100, 'x'));
    FileHandle* file = File("f");
    EXPECT_EQ(kivfsSeek(file, -10, 2), 90);
    EXPECT_EQ(kivfsSeek(file, 10, 2), 90);
    EXPECT_EQ(kivfsSeek(file, -1, 0), 90);
    EXPECT_EQ(kivfsSeek(file, -91, 1), 90);
    EXPECT_EQ(kivfsSeek(file, 5, 1), 95);
    EXPECT_EQ(kivfsSeek(file, 0, 7), 95);
    EXPECT_EQ(kivfsSeek(file, 0, 2), 100);
    EXPECT_TRUE(kivfsError(file));
    kivfsCloseFile(file);
}

TEST_F(Store, ResizeUpAndDown) {
    Put("f", "0123456789");
    FileHandle* file = File("f");
    kivfsSeek(file, 0, 2);
    ASSERT_TRUE(kivfsResize(file, 4));
    EXPECT_EQ(kivfsTell(file), 4);
    ASSERT_TRUE(kivfsResize(file, 12000));
    kivfsSeek(file, 0, 0);
    EXPECT_EQ(Rest(file), "0123" + std::string(11996, '\0'));
    ASSERT_TRUE(kivfsResize(file, 0));
    EXPECT_EQ(kivfsTell(file), 0);
    EXPECT_TRUE(kivfsError(file));
    kivfsCloseFile(file);
    EXPECT_EQ(Direct(path_).One("select typeof(Content), length(Content) from FileStorage"),
              "blob|0");
    FileHandle* fresh = File("zeros");
    ASSERT_TRUE(kivfsResize(fresh, 5));
    kivfsCloseFile(fresh);
    EXPECT_EQ(Get("zeros"), std::string(5, '\0'));
}

// Rows other programs wrote may hold a Content that is no blob: a text reads
// as its bytes (its length counts bytes, not characters), NULL as an empty
// file (a number: NumberContentReadsAsItsText). A file changed by another
// connection after it was opened and before its first read reads as the row
// is then, outside a transaction and inside one, which holds the row from
// that read until its commit.
TEST_F(Store, ForeignRowsAndRowsChangedBeforeTheFirstReadReadAsStored) {
    Direct other(path_);
    const std::string text =
        "h\xC3\xA9"
        "llo";
    ASSERT_TRUE(
        other.Exec("insert into FileStorage (FileName, Path, Content) values ('text', '', '" +
                   text + "'), ('null', '', NULL)"));
    FileHandle* file = File("text");
    EXPECT_EQ(kivfsSeek(file, 0, 2), 6);
    EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
    EXPECT_EQ(Rest(file), text);
    kivfsCloseFile(file);
    file = File("null");
    EXPECT_EQ(kivfsSeek(file, 0, 2), 0);
    EXPECT_TRUE(kivfsError(file));
    EXPECT_EQ(Rest(file), "");
    kivfsCloseFile(file);
    Put("late", "before");
    for (const bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_TRUE(kivfsBeginTrans(dir_));
        }
        file = File("late");
        const std::string now = inTransaction ? "second" : "first";
        ASSERT_TRUE(other.Exec("update FileStorage set Content = cast('" + now +
                               "' as blob) where FileName = 'late'"));
        EXPECT_EQ(Rest(file), now);
        if (inTransaction) {
            EXPECT_FALSE(
                other.Exec("update FileStorage set Content = x'00' where FileName = 'late'"));
            EXPECT_TRUE(kivfsCommitTrans(dir_));
        }
        kivfsCloseFile(file);
    }
    EXPECT_EQ(Get("late"), "second");
}

// A Content another program stored as a number reads as SQLite's own
// conversion of it to a blob, its text, as kivfsCopyFile copies it: outside
// a transaction and inside one; a write keeps the bytes past it, as in any
// stored file.
TEST_F(Store, NumberContentReadsAsItsText) {
    ASSERT_TRUE(Direct(path_).Exec(
        "insert into FileStorage (FileName, Path, Content) values ('n', '', 12345)"));
    EXPECT_EQ(Get("n"), "12345");
    ASSERT_TRUE(kivfsCopyFile(dir_, "n", "copy", false));
    EXPECT_EQ(Get("copy"), "12345");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    FileHandle* file = File("n");
    EXPECT_EQ(kivfsSeek(file, 0, 2), 5);
    EXPECT_EQ(kivfsSeek(file, 1, 0), 1);
    EXPECT_EQ(Rest(file), "2345");
    kivfsCloseFile(file);
    ASSERT_TRUE(kivfsCommitTrans(dir_));
    Put("n", "ab");
    EXPECT_EQ(Get("n"), "ab345");
}

// A file longer than the read-ahead window (256 KiB) read in records of
// 1,000 bytes: every read returns a whole record until the last, also those
// that straddle a window's end.
TEST_F(Store, RecordReadsAcrossTheReadAheadWindowAreWhole) {
    std::string bytes(800500, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
    Put("big.bin", bytes);
    FileHandle* file = File("big.bin");
    std::string read;
    char record[1000];
    for (int n; (n = kivfsRead(file, record, sizeof record)) > 0; read.append(record, n)) {
        ASSERT_EQ(n, static_cast<int>(std::min(sizeof record, bytes.size() - read.size())))
            << "at offset " << read.size();
    }
    kivfsCloseFile(file);
    EXPECT_EQ(read, bytes);
}

// Inside a transaction an open file sees what another handle on the same
// DirHandle does to its row, as its own transaction sees it: bytes appended,
// then the file cut short.
TEST_F(Store, OpenFileSeesAnotherHandlesChangesInsideATransaction) {
    Put("f", "0123456789");
    ASSERT_TRUE(kivfsBeginTrans(dir_));
    FileHandle* a = File("f");
    FileHandle* b = File("f");
    char buffer[16];
    ASSERT_EQ(kivfsRead(a, buffer, 4), 4);
    ASSERT_EQ(kivfsSeek(b, 0, 2), 10);
    ASSERT_EQ(kivfsWrite(b, "abcd", 4), 4);
    EXPECT_EQ(kivfsSeek(a, 0, 2), 14);
    EXPECT_EQ(kivfsSeek(a, 10, 0), 10);
    EXPECT_EQ(kivfsRead(a, buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    ASSERT_TRUE(kivfsResize(b, 2));
    EXPECT_EQ(kivfsSeek(a, 0, 2), 2);
    EXPECT_EQ(kivfsSeek(a, 8, 0), 2);  // past the end: stays
    EXPECT_TRUE(kivfsError(a));
    kivfsCloseFile(b);
    kivfsCloseFile(a);
    EXPECT_TRUE(kivfsCommitTrans(dir_));
    EXPECT_EQ(Get("f"), "01");
}

TEST(StoreByPath, FullPathOpensTheStoreAndTheFile) {
    TempDir tmp;
    const std::string full = tmp / "game.db:save1/state.bin";
    FileHandle* file = kivfsCreateFile(full.c_str(), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "state", 5), 5);
    kivfsCloseFile(file);
    EXPECT_EQ(Direct(tmp / "game.db").Content("save1/", "state.bin"), "state");
    EnumHandle* listing = kivfsCreateEnum((tmp / "game.db:save1").c_str());
    ASSERT_NE(listing, nullptr);
    EXPECT_TRUE(kivfsMoveNext(listing));
    EXPECT_FALSE(kivfsIsDirectory(listing));
    kivfsCloseEnum(listing);
}

}  // namespace
