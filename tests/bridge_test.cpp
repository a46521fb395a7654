// The host bridge: StubOps records opened through the mount table and used
// only through their function pointers, as the host's I/O layer uses them.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "kivIOStub.h"
#include "kivfs.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"

using kivfs_test::ReadBytes;
using kivfs_test::ScopedMount;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;

namespace {

using Stub = std::unique_ptr<StubOps, decltype(&kivFSDeleteStub)>;

Stub OpenStub(const char* path, int mode) {
    return Stub(kivFSCreateStub(path, mode), kivFSDeleteStub);
}

// Reads up to `length` bytes through the record's read callback.
std::string ReadThrough(const StubOps& ops, int length) {
    std::string out(static_cast<size_t>(length), '\0');
    out.resize(static_cast<size_t>(ops.readFn(ops.file, out.data(), length)));
    return out;
}

int WriteThrough(const StubOps& ops, const std::string& bytes) {
    return ops.writeFn(ops.file, bytes.data(), static_cast<int>(bytes.size()));
}

// A directory holding config/main.ini, mounted as "app:".
class AppMount : public ::testing::Test {
  protected:
    AppMount() {
        std::filesystem::create_directory(dir_ / "config");
        WriteBytes(dir_ / "config/main.ini", "key=value\n");
    }

    TempDir dir_;
    ScopedMount app_{"app:", dir_.path()};
};

}  // namespace

TEST_F(AppMount, PathsWithoutAColonLieUnderApp) {
    for (const char* path : {"config\\main.ini", "app:config/main.ini"}) {
        Stub ops = OpenStub(path, 0);
        ASSERT_NE(ops, nullptr) << path;
        EXPECT_EQ(ReadThrough(*ops, 64), "key=value\n") << path;
    }
}

TEST_F(AppMount, NothingOpensWithoutAMountAndAName) {
    for (const char* path : {"data:x.bin", "app:", "C:/abs/file.txt", "App:config/main.ini",
                             "config/missing.ini", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(kivFSCreateStub(path, 0), nullptr) << (path ? path : "(null)");
    kivFSDeleteStub(nullptr);
}

TEST_F(AppMount, NativeFileThroughTheCallbacks) {
    {
        Stub out = OpenStub("app:new.bin", 1);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(WriteThrough(*out, "hello world"), 11);
        EXPECT_EQ(out->tellFn(out->file), 11);
    }
    EXPECT_EQ(ReadBytes(dir_ / "new.bin"), "hello world");

    Stub in = OpenStub("new.bin", 0);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(ReadThrough(*in, 5), "hello");
    EXPECT_EQ(in->tellFn(in->file), 5);
    EXPECT_EQ(in->errorFn(in->file), 0);
    char byte = 0;
    EXPECT_EQ(in->readFn(in->file, &byte, -1), 0);
    EXPECT_EQ(in->readFn(in->file, nullptr, 1), 0);
    EXPECT_EQ(in->writeFn(in->file, "x", -1), 0);
    EXPECT_EQ(in->tellFn(in->file), 5);
    EXPECT_EQ(ReadThrough(*in, 64), " world");
    EXPECT_NE(in->errorFn(in->file), 0) << "the end of the file was read into";
    EXPECT_EQ(in->seekFn(in->file, 0, 0), 0);
    EXPECT_EQ(ReadThrough(*in, 64), "hello world");
}

TEST(Bridge, StoreFileThroughTheCallbacks) {
    TempDir dir;
    ScopedMount save("save:", dir / "save.db");  // outlives the records that borrow it
    {
        Stub out = OpenStub("save:slot1\\state.bin", 1);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(WriteThrough(*out, "0123456789"), 10);
        EXPECT_EQ(out->seekFn(out->file, 2, 0), 2);
        EXPECT_EQ(ReadThrough(*out, 3), "234");
        EXPECT_EQ(out->tellFn(out->file), 5);
        EXPECT_EQ(out->errorFn(out->file), 0);
        EXPECT_EQ(out->seekFn(out->file, 0, 2), 10);
        EXPECT_NE(out->errorFn(out->file), 0);
    }
    Stub in = OpenStub("save:slot1/state.bin", 0);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(ReadThrough(*in, 64), "0123456789");
}

TEST_F(AppMount, CallbacksWithANullFileGiveTheFailureValues) {
    Stub ops = OpenStub("config/main.ini", 0);
    ASSERT_NE(ops, nullptr);
    char buffer[4];
    EXPECT_EQ(ops->readFn(nullptr, buffer, 4), 0);
    EXPECT_EQ(ops->writeFn(nullptr, buffer, 4), 0);
    EXPECT_EQ(ops->tellFn(nullptr), 0);
    EXPECT_EQ(ops->seekFn(nullptr, 0, 0), -1);
    EXPECT_EQ(ops->errorFn(nullptr), 0);
}

TEST_F(AppMount, StandInStubOpensAndClosesThroughTheRegisteredCallbacks) {
    StubOps* ops = kivIOOpen("config/main.ini", 0);
    ASSERT_NE(ops, nullptr);
    EXPECT_EQ(ReadThrough(*ops, 3), "key");
    kivIOClose(ops);
    EXPECT_EQ(kivIOOpen("app:missing.ini", 0), nullptr);
}
