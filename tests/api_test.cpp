// The call layer's argument handling, through the exported calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "kivfs.h"
#include "support/TempDir.h"

using kivfs_test::TempDir;

TEST(CallLayer, NullHandlesGiveTheFailureValues) {
    bool exists = true;
    char buffer[4];
    char* name = nullptr;
    EXPECT_FALSE(kivfsIsFileExist(nullptr, "a", &exists));
    EXPECT_FALSE(kivfsIsDirectoryExist(nullptr, "a", &exists));
    EXPECT_TRUE(exists);
    EXPECT_FALSE(kivfsDeleteDirectory(nullptr, "a"));
    EXPECT_FALSE(kivfsDeleteFile(nullptr, "a"));
    EXPECT_FALSE(kivfsRenameFile(nullptr, "a", "b"));
    EXPECT_FALSE(kivfsCopyFile(nullptr, "a", "b", false));
    EXPECT_FALSE(kivfsMoveFile(nullptr, "a", "b", false));
    EXPECT_FALSE(kivfsBeginTrans(nullptr));
    EXPECT_FALSE(kivfsCommitTrans(nullptr));
    EXPECT_EQ(kivfsCreateFileIndir(nullptr, "a", 0), nullptr);
    EXPECT_EQ(kivfsCreateEnumIndir(nullptr, ""), nullptr);
    EXPECT_EQ(kivfsRead(nullptr, buffer, 4), 0);
    EXPECT_EQ(kivfsWrite(nullptr, buffer, 4), 0);
    EXPECT_EQ(kivfsTell(nullptr), 0);
    EXPECT_EQ(kivfsSeek(nullptr, 0, 0), -1);
    EXPECT_FALSE(kivfsError(nullptr));
    EXPECT_FALSE(kivfsResize(nullptr, 4));
    EXPECT_FALSE(kivfsMoveNext(nullptr));
    kivfsReset(nullptr);
    EXPECT_FALSE(kivfsGetName(nullptr, &name));
    EXPECT_FALSE(kivfsGetFullName(nullptr, &name));
    EXPECT_FALSE(kivfsIsDirectory(nullptr));
    EXPECT_EQ(name, nullptr);
    kivfsCloseDir(nullptr);
    kivfsCloseFile(nullptr);
    kivfsCloseEnum(nullptr);
}

TEST(CallLayer, EmptyAndNullPathsOpenNothing) {
    EXPECT_EQ(kivfsOpenDir(nullptr), nullptr);
    EXPECT_EQ(kivfsOpenDir(""), nullptr);
    EXPECT_EQ(kivfsCreateFile(nullptr, 0), nullptr);
    EXPECT_EQ(kivfsCreateFile("", 0), nullptr);
    EXPECT_EQ(kivfsCreateEnum(nullptr), nullptr);
    EXPECT_EQ(kivfsCreateEnum(""), nullptr);
}

TEST(CallLayer, PathWithoutColonThatDoesNotExistTouchesNothing) {
    TempDir dir;
    EXPECT_EQ(kivfsCreateFile((dir / "new.txt").c_str(), 1), nullptr);
    EXPECT_EQ(kivfsCreateEnum((dir / "nothing").c_str()), nullptr);
    EXPECT_FALSE(kivfs_test::PathExists(dir / "new.txt"));
    EXPECT_FALSE(kivfs_test::PathExists(dir / "nothing"));
}

// A read never makes a store: a full-path open in a reading mode, or a
// listing, of an empty or missing container file fails with NOT_FOUND and
// leaves the disk as it was; a writing mode still starts a store there.
TEST(CallLayer, ReadsNeverCreateAStore) {
    TempDir dir;
    kivfs_test::WriteBytes(dir / "empty.zip", "");
    for (const char* container : {"empty.zip", "missing.db"}) {
        for (int mode : {0, 3}) {
            const std::string path = dir / (std::string(container) + ":img/logo.png");
            EXPECT_EQ(kivfsCreateFile(path.c_str(), mode), nullptr) << path << " " << mode;
            EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
        }
        EXPECT_EQ(kivfsCreateEnum((dir / (std::string(container) + ":img/")).c_str()), nullptr);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.zip"), 0u);
    FileHandle* file = kivfsCreateFile((dir / "empty.zip:img/logo.png").c_str(), 1);
    ASSERT_NE(file, nullptr);
    kivfsCloseFile(file);
    EXPECT_GT(std::filesystem::file_size(dir / "empty.zip"), 0u);
}
