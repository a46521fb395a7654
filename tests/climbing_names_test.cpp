// Names whose ".." components climb above their container's or mount's root,
// through the exported calls on real folders: refused by the directory
// backend, the bridge and translation, while names that come back inside,
// container paths holding "..", and store names work as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kivfs.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"

using kivfs_test::PathExists;
using kivfs_test::ReadBytes;
using kivfs_test::ScopedMount;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;

namespace {

// Each climbs out at some point, even where it would come back in later.
constexpr const char* kClimbing[] = {"..",
                                     "../",
                                     "../outside.txt",
                                     "..\\outside.txt",
                                     "./../outside.txt",
                                     "a/../../outside.txt",
                                     "a//b/../..//../outside.txt",
                                     "../inner/a/c.txt"};

std::string ReadAll(FileHandle* file) {
    std::string bytes;
    char chunk[16];
    for (int got; (got = kivfsRead(file, chunk, sizeof chunk)) > 0;) bytes.append(chunk, got);
    return bytes;
}

// tmp/inner is the container, holding a/c.txt and a/b/; tmp/outside.txt
// lies just above it.
class ClimbingNames : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(tmp_ / "inner/a/b");
        WriteBytes(tmp_ / "inner/a/c.txt", "c");
        WriteBytes(tmp_ / "outside.txt", "secret");
        dir_ = kivfsOpenDir(inner_.c_str());
        ASSERT_NE(dir_, nullptr);
    }
    void TearDown() override { kivfsCloseDir(dir_); }

    TempDir tmp_;
    const std::string inner_ = tmp_ / "inner";
    DirHandle* dir_ = nullptr;
};

}  // namespace

TEST_F(ClimbingNames, DirectoryContainerRefusesThemInEveryCall) {
    for (const char* name : kClimbing) {
        for (int mode = 0; mode <= 5; ++mode) {
            FileHandle* file = kivfsCreateFileIndir(dir_, name, mode);
            EXPECT_EQ(file, nullptr) << name << ", mode " << mode;
            EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << name;
            kivfsCloseFile(file);
        }
        bool exists = false;
        EXPECT_FALSE(kivfsIsFileExist(dir_, name, &exists)) << name;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << name;
        EXPECT_FALSE(kivfsIsDirectoryExist(dir_, name, &exists)) << name;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << name;
        EnumHandle* listing = kivfsCreateEnumIndir(dir_, name);
        EXPECT_EQ(listing, nullptr) << name;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << name;
        kivfsCloseEnum(listing);
        EXPECT_FALSE(kivfsDeleteFile(dir_, name));
        EXPECT_FALSE(kivfsRenameFile(dir_, name, "a/moved.txt"));
        EXPECT_FALSE(kivfsCopyFile(dir_, "a/c.txt", name, false));
        EXPECT_FALSE(kivfsMoveFile(dir_, "a/c.txt", name, false));
    }
    // The full-path form reaches the same refusal.
    for (int mode = 0; mode <= 5; ++mode) {
        FileHandle* file = kivfsCreateFile((inner_ + ":../escaped.txt").c_str(), mode);
        EXPECT_EQ(file, nullptr) << mode;
        kivfsCloseFile(file);
    }
    EXPECT_EQ(kivfsCreateEnum((inner_ + ":../").c_str()), nullptr);
    EXPECT_EQ(ReadBytes(tmp_ / "outside.txt"), "secret");
    EXPECT_FALSE(PathExists(tmp_ / "escaped.txt"));
    EXPECT_FALSE(PathExists(tmp_ / "a"));
}

TEST_F(ClimbingNames, NamesThatStayInsideAndContainerPathsWithDotsWork) {
    FileHandle* file = kivfsCreateFileIndir(dir_, "a/b/../c.txt", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "c");
    kivfsCloseFile(file);
    file = kivfsCreateFileIndir(dir_, "a/../new.txt", 1);
    ASSERT_NE(file, nullptr);
    kivfsCloseFile(file);
    EXPECT_TRUE(PathExists(inner_ + "/new.txt"));
    bool exists = false;
    EXPECT_TRUE(kivfsIsDirectoryExist(dir_, "a/..", &exists));
    EXPECT_TRUE(exists);

    EnumHandle* listing = kivfsCreateEnumIndir(dir_, "a/b/../");
    ASSERT_NE(listing, nullptr);
    kivfsCloseEnum(listing);

    // ".." in the container's own path is the system's business.
    file = kivfsCreateFile((inner_ + "/a/..:a/c.txt").c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "c");
    kivfsCloseFile(file);
}

TEST_F(ClimbingNames, MountsRefuseThemForTheBridgeAndTranslation) {
    ScopedMount two("two:", inner_);
    ScopedMount save("save:", tmp_ / "save.db");
    for (const char* path : {"two:../outside.txt", "two:a/../../outside.txt", "save:../x.bin",
                             "two:..", "two:a/b/../../.."}) {
        for (int mode : {0, 1, 3}) {
            EXPECT_EQ(kivFSCreateStub(path, mode), nullptr) << path;
            EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << path;
        }
        std::string buffer(8, 'x');
        EXPECT_EQ(kivFSKivToSyspath(path, buffer.data(), 8), 0) << path;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_OUTSIDE_ROOT) << path;
        EXPECT_EQ(buffer, std::string(8, '\0')) << path;
        EXPECT_EQ(kivFSKivToSyspath(path, nullptr, 0), 0) << path;
    }
    EXPECT_EQ(ReadBytes(tmp_ / "outside.txt"), "secret");

    const std::string staying = inner_ + "/a/b/../c.txt";
    std::string buffer(staying.size() + 1, 'x');
    EXPECT_EQ(
        kivFSKivToSyspath("two:a/b/../c.txt", buffer.data(), static_cast<unsigned>(buffer.size())),
        static_cast<int>(staying.size()));
    EXPECT_EQ(buffer, staying + '\0');
    StubOps* ops = kivFSCreateStub("two:a/b/../c.txt", 0);
    ASSERT_NE(ops, nullptr);
    char byte = 0;
    EXPECT_EQ(ops->readFn(ops->file, &byte, 1), 1);
    EXPECT_EQ(byte, 'c');
    kivFSDeleteStub(ops);
}

// A store's names are keys, never resolved against a folder.
TEST(ClimbingNamesInAStore, AreKeysAsBefore) {
    TempDir tmp;
    DirHandle* store = kivfsOpenDir((tmp / "save.db").c_str());
    ASSERT_NE(store, nullptr);
    FileHandle* file = kivfsCreateFileIndir(store, "../key.bin", 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "k", 1), 1);
    kivfsCloseFile(file);
    bool exists = false;
    EXPECT_TRUE(kivfsIsFileExist(store, "../key.bin", &exists));
    EXPECT_TRUE(exists);
    kivfsCloseDir(store);
    EXPECT_FALSE(PathExists(tmp / "key.bin"));
}
