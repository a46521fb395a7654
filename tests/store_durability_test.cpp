// A store under contention, on a full disk and read-only: no write is
// reported as done and then lost, and no lookup that could not run answers
// "missing". Other connections are opened with the sqlite3 library
// (support/DirectDb.h) or run in other processes; the full disk is a small
// tmpfs (support/SmallDisk.h says what stands in for it elsewhere).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kivfs.h"
#include "support/ChildProcess.h"
#include "support/DirectDb.h"
#include "support/SmallDisk.h"
#include "support/TempDir.h"

using kivfs_test::Direct;
using kivfs_test::TempDir;

namespace {

// Writes `bytes` as the whole of `name` (mode 1 keeps old bytes past the
// end, so the file is emptied first); true when every call succeeded.
bool Save(DirHandle* dir, const std::string& name, const std::string& bytes) {
    FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 1);
    const int length = static_cast<int>(bytes.size());
    const bool saved =
        file && kivfsResize(file, 0) && kivfsWrite(file, bytes.data(), length) == length;
    kivfsCloseFile(file);
    return saved;
}

// Writes `bytes` into `name`, a file not stored yet, in one call.
bool Put(DirHandle* dir, const std::string& name, const std::string& bytes) {
    FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 1);
    const int length = static_cast<int>(bytes.size());
    const bool written = kivfsWrite(file, bytes.data(), length) == length;
    kivfsCloseFile(file);
    return written;
}

// The whole of `name`; "<failed>" when a read failed.
std::string Load(DirHandle* dir, const std::string& name) {
    FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 0);
    std::string bytes;
    char chunk[4096];
    int count = 0;
    while ((count = kivfsRead(file, chunk, sizeof chunk)) > 0) bytes.append(chunk, count);
    kivfsCloseFile(file);
    return count < 0 ? "<failed>" : bytes;
}

// `length` bytes that differ with `seed`.
std::string Bytes(size_t length, char seed) {
    std::string bytes(length, seed);
    for (size_t i = 0; i < length; i += 7) bytes[i] = static_cast<char>(seed + i / 7);
    return bytes;
}

// Another connection holding a read transaction past the busy timeout makes
// every commit fail: the write reports it and stores nothing, and the rest of
// the caller's work is kept. An explicit transaction whose commit fails is
// rolled back and reported; the store works again once the reader is done.
TEST(StoreContention, RefusedCommitFailsTheOperationOnly) {
    TempDir tmp;
    const std::string path = tmp / "store.db";
    DirHandle* dir = kivfsOpenDir(path.c_str());
    ASSERT_NE(dir, nullptr);
    ASSERT_TRUE(Save(dir, "kept", "old"));
    Direct reader(path);
    ASSERT_TRUE(reader.Exec("BEGIN"));
    ASSERT_EQ(reader.One("select count(*) from FileStorage"), "1");  // holds a read lock
    FileHandle* file = kivfsCreateFileIndir(dir, "new", 1);
    EXPECT_EQ(kivfsWrite(file, "lost?", 5), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_BUSY);
    EXPECT_EQ(kivfsTell(file), 0);
    ASSERT_TRUE(reader.Exec("COMMIT"));
    EXPECT_EQ(kivfsWrite(file, "saved", 5), 5);
    kivfsCloseFile(file);

    ASSERT_TRUE(kivfsBeginTrans(dir));
    ASSERT_TRUE(Save(dir, "in-transaction", "t"));
    ASSERT_TRUE(reader.Exec("BEGIN"));
    reader.One("select count(*) from FileStorage");
    EXPECT_FALSE(kivfsCommitTrans(dir));
    ASSERT_TRUE(reader.Exec("COMMIT"));
    EXPECT_TRUE(Save(dir, "later", "l"));
    kivfsCloseDir(dir);
    EXPECT_EQ(Direct(path).Names(), (std::vector<std::string>{"kept", "later", "new"}));
    EXPECT_EQ(Direct(path).Content("", "new"), "saved");
}

// A file kept open holds no lock between calls: another connection reads and
// writes meanwhile, and each of the file's calls sees the row as it is now,
// also where the file has read ahead.
TEST(StoreContention, OpenFilesHoldNoLockBetweenCalls) {
    TempDir tmp;
    const std::string path = tmp / "store.db";
    DirHandle* dir = kivfsOpenDir(path.c_str());
    ASSERT_TRUE(Save(dir, "a", Bytes(20000, 'a')));
    ASSERT_TRUE(Save(dir, "b", "bbb"));
    FileHandle* open = kivfsCreateFileIndir(dir, "a", 3);
    char buffer[10];
    ASSERT_EQ(kivfsRead(open, buffer, 10), 10);
    DirHandle* other = kivfsOpenDir(path.c_str());
    EXPECT_EQ(Load(other, "a"), Bytes(20000, 'a'));
    EXPECT_TRUE(Save(other, "b", "written by another"));
    FileHandle* writer = kivfsCreateFileIndir(other, "a", 3);
    ASSERT_EQ(kivfsSeek(writer, 10, 0), 10);
    ASSERT_EQ(kivfsWrite(writer, "ZZ", 2), 2);  // another connection
    ASSERT_EQ(kivfsRead(open, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "ZZ");
    kivfsCloseFile(writer);
    writer = kivfsCreateFileIndir(dir, "a", 3);
    ASSERT_EQ(kivfsSeek(writer, 12, 0), 12);
    ASSERT_EQ(kivfsWrite(writer, "QQ", 2), 2);  // another file of the same store
    kivfsCloseFile(writer);
    ASSERT_EQ(kivfsRead(open, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "QQ");
    Direct direct(path);
    EXPECT_TRUE(
        direct.Exec("insert into FileStorage (FileName, Path, Content) values ('c', '', x'00')"));
    ASSERT_EQ(kivfsWrite(open, "XY", 2), 2);  // in place
    EXPECT_EQ(direct.One("select substr(Content, 15, 2) from FileStorage where FileName='a'"),
              "XY");
    EXPECT_TRUE(direct.Exec("update FileStorage set Content=x'616263' where FileName='a'"));
    EXPECT_EQ(kivfsSeek(open, 1, 0), 1);
    EXPECT_EQ(kivfsRead(open, buffer, 10), 2);
    EXPECT_EQ(std::string(buffer, 2), "bc");
    EXPECT_EQ(Load(dir, "b"), "written by another");
    kivfsCloseFile(open);
    kivfsCloseDir(other);
    kivfsCloseDir(dir);
}

// While another connection holds the write lock past the busy timeout,
// lookups fail rather than answer "missing" or "empty", and a read returns
// -1 rather than the 0 of the end. The four wait out the timeout together,
// each on its own connection and thread.
TEST(StoreContention, LookupsThatCannotRunFail) {
    TempDir tmp;
    const std::string path = tmp / "store.db";
    std::vector<DirHandle*> dirs;
    for (int i = 0; i < 4; ++i) dirs.push_back(kivfsOpenDir(path.c_str()));
    ASSERT_TRUE(Save(dirs[0], "d/f", "content"));
    FileHandle* file = kivfsCreateFileIndir(dirs[3], "d/f", 0);
    Direct writer(path);
    ASSERT_TRUE(writer.Exec("BEGIN EXCLUSIVE"));
    std::vector<std::thread> lookups;
    lookups.emplace_back([&] {
        bool exists = true;
        EXPECT_FALSE(kivfsIsFileExist(dirs[0], "d/f", &exists));
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_BUSY);
    });
    lookups.emplace_back([&] {
        bool exists = true;
        EXPECT_FALSE(kivfsIsDirectoryExist(dirs[1], "d", &exists));
    });
    lookups.emplace_back([&] { EXPECT_EQ(kivfsCreateEnumIndir(dirs[2], "d"), nullptr); });
    lookups.emplace_back([&] {
        char buffer[8];
        EXPECT_EQ(kivfsRead(file, buffer, sizeof buffer), -1);
        EXPECT_EQ(kivfsTell(file), 0);
    });
    for (std::thread& lookup : lookups) lookup.join();
    ASSERT_TRUE(writer.Exec("COMMIT"));
    bool exists = false;
    EXPECT_TRUE(kivfsIsFileExist(dirs[0], "d/f", &exists) && exists);
    EXPECT_TRUE(kivfsIsDirectoryExist(dirs[1], "d", &exists) && exists);
    char buffer[8];
    EXPECT_EQ(kivfsRead(file, buffer, sizeof buffer), 7);
    kivfsCloseFile(file);
    for (DirHandle* dir : dirs) kivfsCloseDir(dir);
}

// Two processes saving into one store at once, each pausing a moment between
// saves as a host does, wait for each other: every save succeeds and is
// stored.
TEST(StoreContention, TwoProcessesSaveIntoOneStore) {
    if (KIVFS_TEST_FORKLESS_CHILDREN) {
        GTEST_SKIP() << "the child must share this test's store, and a child here re-runs the test";
    }
    TempDir tmp;
    const std::string path = tmp / "store.db";
    kivfsCloseDir(kivfsOpenDir(path.c_str()));
    constexpr int kFiles = 60;
    auto saveAll = [&](const std::string& prefix) {
        DirHandle* dir = kivfsOpenDir(path.c_str());
        int saved = 0;
        for (int i = 0; i < kFiles; ++i) {
            saved += Save(dir, prefix + std::to_string(i), prefix);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kivfsCloseDir(dir);
        return saved;
    };
    kivfs_test::ChildProcess child([&] { return saveAll("child/") == kFiles ? 0 : 1; });
    EXPECT_EQ(saveAll("parent/"), kFiles);
    EXPECT_EQ(child.Wait().exitCode, 0);
    EXPECT_EQ(Direct(path).One("select count(*) from FileStorage where "
                               "cast(Content as text) = Path"),
              std::to_string(2 * kFiles));
}

class StoreFullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!disk_.Ready()) GTEST_SKIP() << "no size-limited folder: " << disk_.Why();
        std::printf("full disk: %s\n", disk_.Why().c_str());
    }
    DirHandle* Open() { return kivfsOpenDir(path_.c_str()); }

    TempDir tmp_;
    kivfs_test::SmallDisk disk_{tmp_.path(), 2 << 20};
    std::string path_ = disk_.path() + "/store.db";
};

// Without an explicit transaction every save either reports success and is
// stored, or reports failure and leaves the older save in place.
TEST_F(StoreFullDisk, EverySaveReportedDoneIsStored) {
    DirHandle* dir = Open();
    ASSERT_NE(dir, nullptr);
    ASSERT_TRUE(Save(dir, "slot", Bytes(600000, 'o')));
    std::vector<std::string> saved;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "fill/" + std::to_string(i);
        if (Save(dir, name, Bytes(40000, static_cast<char>(i)))) saved.push_back(name);
    }
    EXPECT_LT(saved.size(), 200u) << "the disk never filled";
    const bool slotSaved = Save(dir, "slot", Bytes(600000, 'n'));
    kivfsCloseDir(dir);
    dir = Open();
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(Load(dir, "slot"), Bytes(600000, slotSaved ? 'n' : 'o'));
    for (size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(Load(dir, saved[i]), Bytes(40000, static_cast<char>(i))) << saved[i];
    }
    kivfsCloseDir(dir);
}

// Once SQLite has rolled an explicit transaction back by itself, the rest of
// it fails, CommitTrans reports false, nothing of it is stored, and the store
// works normally after that.
TEST_F(StoreFullDisk, TransactionEndedBySqliteFailsAsAWhole) {
    DirHandle* dir = Open();
    ASSERT_NE(dir, nullptr);
    ASSERT_TRUE(Save(dir, "before", "b"));
    ASSERT_TRUE(kivfsBeginTrans(dir));
    int written = 0;
    while (written < 200 && Put(dir, "t/" + std::to_string(written), Bytes(40000, 't'))) {
        ++written;
    }
    ASSERT_LT(written, 200) << "the disk never filled";
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NO_SPACE);
    EXPECT_FALSE(Put(dir, "t/after", "small"));
    EXPECT_FALSE(kivfsCommitTrans(dir));
    EXPECT_TRUE(Save(dir, "after", "a"));
    kivfsCloseDir(dir);
    EXPECT_EQ(Direct(path_).Names(), (std::vector<std::string>{"after", "before"}));
}

// A store the process may only read serves its files and refuses writes; as
// root the check runs in a child that has become nobody.
TEST(StoreReadOnly, ServesReadsAndRefusesWrites) {
    if (KIVFS_TEST_FORKLESS_CHILDREN) {
        GTEST_SKIP() << "the child must share this test's store, and a child here re-runs the test";
    }
    TempDir tmp;
    const std::string path = tmp / "store.db";
    DirHandle* dir = kivfsOpenDir(path.c_str());
    ASSERT_TRUE(Save(dir, "d/f", "content"));
    kivfsCloseDir(dir);
    namespace fs = std::filesystem;
    fs::permissions(tmp.path(), fs::perms::owner_all | fs::perms::group_exec |
                                    fs::perms::group_read | fs::perms::others_exec |
                                    fs::perms::others_read);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const bool root = kivfs_test::IsRoot();
    kivfs_test::ChildProcess child([&] {
        if (root && !kivfs_test::RunAsNobody()) return 10;
        DirHandle* store = kivfsOpenDir(path.c_str());
        if (!store) return 11;
        bool exists = false;
        int failed = 0;
        failed |= !(kivfsIsFileExist(store, "d/f", &exists) && exists) << 0;
        failed |= (Load(store, "d/f") != "content") << 1;
        EnumHandle* listing = kivfsCreateEnumIndir(store, "d");
        failed |= !(listing && kivfsMoveNext(listing)) << 2;
        kivfsCloseEnum(listing);
        FileHandle* file = kivfsCreateFileIndir(store, "d/f", 3);
        failed |= (kivfsWrite(file, "X", 1) != 0 || kivfsLastError() != KIVFS_ERR_READ_ONLY ||
                   kivfsResize(file, 0))
                  << 3;
        kivfsCloseFile(file);
        failed |= (kivfsDeleteFile(store, "d/f") || Save(store, "new", "n")) << 4;
        failed |= (Load(store, "d/f") != "content") << 5;
        kivfsCloseDir(store);
        return failed;
    });
    EXPECT_EQ(child.Wait().exitCode, 0) << (root ? "as nobody" : "on a 0444 file");
    EXPECT_EQ(Direct(path).Names(), std::vector<std::string>{"d/f"});
}

}  // namespace
