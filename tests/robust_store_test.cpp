// Faults the store fuzzer and the crash test found, each with the smallest
// sequence of calls that showed it, checked against the database file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "kivfs.h"
#include "support/TempDir.h"

using kivfs_test::TempDir;

namespace {

// The Content stored for `name` at the top of the store, read by a direct
// connection; "<none>" without such a row.
std::string StoredContent(const std::string& dbPath, const std::string& name) {
    sqlite3* db = nullptr;
    sqlite3_open(dbPath.c_str(), &db);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "SELECT Content FROM FileStorage WHERE Path='' AND FileName=?", -1,
                       &query, nullptr);
    sqlite3_bind_text(query, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    std::string content = "<none>";
    if (sqlite3_step(query) == SQLITE_ROW) {
        const void* bytes = sqlite3_column_blob(query, 0);
        content.assign(static_cast<const char*>(bytes), bytes ? sqlite3_column_bytes(query, 0) : 0);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return content;
}

void Store(DirHandle* dir, const char* name, const std::string& content) {
    FileHandle* file = kivfsCreateFileIndir(dir, name, 1);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(kivfsWrite(file, content.data(), static_cast<int>(content.size())),
              static_cast<int>(content.size()));
    kivfsCloseFile(file);
}

// A write made in place outside any transaction, by a file still open when a
// transaction begins, belongs to no transaction of the caller's: abandoning
// the transaction (closing the store without committing it) must not take
// the write along.
TEST(RobustStore, WriteBeforeBeginSurvivesAnAbandonedTransaction) {
    TempDir tmp;
    const std::string db = tmp / "store.db";
    DirHandle* dir = kivfsOpenDir(db.c_str());
    ASSERT_NE(dir, nullptr);
    Store(dir, "f", "0123456789");
    FileHandle* file = kivfsCreateFileIndir(dir, "f", 3);
    ASSERT_EQ(kivfsWrite(file, "AB", 2), 2);  // in place: the length stays 10
    ASSERT_TRUE(kivfsBeginTrans(dir));
    Store(dir, "g", "inside");
    kivfsCloseFile(file);
    kivfsCloseDir(dir);  // the transaction is never committed
    EXPECT_EQ(StoredContent(db, "f"), "AB23456789");
    EXPECT_EQ(StoredContent(db, "g"), "<none>");
}

std::string ReadAll(DirHandle* dir, const char* name) {
    FileHandle* file = kivfsCreateFileIndir(dir, name, 0);
    char buffer[64];
    const int count = kivfsRead(file, buffer, sizeof buffer);
    kivfsCloseFile(file);
    return std::string(buffer, count > 0 ? count : 0);
}

// SQLite gives a new row the rowid after the largest one, so the row of a
// deleted file that had the largest rowid is taken over by the next file
// stored. A file still open on the deleted one went on by rowid and wrote
// into, or resized, that other file. It now acts as on any deleted file: its
// next write or resize fails, and later ones store a file under its own name
// from position 0.
TEST(RobustStore, FileOpenOnADeletedFileNeverWritesIntoAnother) {
    for (const bool resize : {false, true}) {
        for (const bool explicitTransaction : {false, true}) {
            SCOPED_TRACE(std::string(resize ? "resize" : "write") +
                         (explicitTransaction ? " in a transaction" : ""));
            TempDir tmp;
            DirHandle* dir = kivfsOpenDir((tmp / "store.db").c_str());
            ASSERT_NE(dir, nullptr);
            if (explicitTransaction) {
                ASSERT_TRUE(kivfsBeginTrans(dir));
            }
            Store(dir, "a", "aaaaaaaa");
            Store(dir, "b", "bbbbbbbb");
            FileHandle* stale = kivfsCreateFileIndir(dir, "b", 3);
            char two[2];
            ASSERT_EQ(kivfsRead(stale, two, 2), 2);  // bound to b's row
            ASSERT_TRUE(kivfsDeleteFile(dir, "b"));
            Store(dir, "c", "cccccccc");  // takes over b's rowid
            if (resize) {
                EXPECT_FALSE(kivfsResize(stale, 3));
                EXPECT_TRUE(kivfsResize(stale, 3));
            } else {
                EXPECT_EQ(kivfsWrite(stale, "XX", 2), 0);
                EXPECT_EQ(kivfsWrite(stale, "new", 3), 3);
            }
            kivfsCloseFile(stale);
            EXPECT_EQ(ReadAll(dir, "c"), "cccccccc");
            EXPECT_EQ(ReadAll(dir, "b"), resize ? std::string(3, '\0') : "new");
            EXPECT_EQ(ReadAll(dir, "a"), "aaaaaaaa");
            if (explicitTransaction) {
                EXPECT_TRUE(kivfsCommitTrans(dir));
            }
            kivfsCloseDir(dir);
        }
    }
}

}  // namespace
