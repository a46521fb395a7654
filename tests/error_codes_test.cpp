// Why calls fail, as kivfsLastError tells it: the code each kind of failure
// publishes through the exports and the bridge's callbacks, that success and
// the end of a file or listing leave it alone, and that it is per thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "kivfs.h"
#include "support/DirectDb.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using kivfs_test::Direct;
using kivfs_test::ScopedMount;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;
using kivfs_test::ZipBuilder;

namespace {

// Sets the thread's code to something no call below produces, so that a call
// that must leave it alone is seen to.
void MarkLastError() {
    kivFSCreateDirectory("/");  // exists
    ASSERT_EQ(kivfsLastError(), KIVFS_ERR_EXISTS);
}

}  // namespace

TEST(ErrorCodes, ArgumentsAndHandles) {
    TempDir dir;
    WriteBytes(dir / "a.txt", "abc");
    DirHandle* native = kivfsOpenDir(dir.path().c_str());
    ASSERT_NE(native, nullptr);
    FileHandle* file = kivfsCreateFileIndir(native, "a.txt", 0);
    ASSERT_NE(file, nullptr);
    char buffer[8];
    bool exists = false;
    char* name = nullptr;

    const auto expectArgument = [](bool failed, const char* call) {
        EXPECT_TRUE(failed) << call;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT) << call;
        MarkLastError();
    };
    MarkLastError();
    expectArgument(kivfsOpenDir("") == nullptr, "OpenDir empty");
    expectArgument(kivfsCreateFile(nullptr, 0) == nullptr, "CreateFile null");
    expectArgument(kivfsCreateFileIndir(native, "", 0) == nullptr, "CreateFileIndir empty");
    expectArgument(kivfsCreateEnumIndir(nullptr, "") == nullptr, "CreateEnumIndir null dir");
    expectArgument(!kivfsIsFileExist(native, "a.txt", nullptr), "IsFileExist null out");
    expectArgument(!kivfsDeleteFile(nullptr, "a.txt"), "DeleteFile null dir");
    expectArgument(kivfsRead(file, buffer, -1) == 0, "Read negative length");
    expectArgument(kivfsWrite(nullptr, buffer, 1) == 0, "Write null file");
    expectArgument(kivfsSeek(nullptr, 0, 0) == -1, "Seek null file");
    expectArgument(kivfsTell(nullptr) == 0, "Tell null file");
    expectArgument(!kivfsGetName(nullptr, &name), "GetName null enum");
    expectArgument(!kivfsMoveNext(nullptr), "MoveNext null enum");
    expectArgument(kivFSKivToSyspath("", buffer, sizeof buffer) == 0, "KivToSyspath empty");
    kivFSMountPath(nullptr, dir.path().c_str());
    expectArgument(true, "MountPath null name");
    expectArgument(kivFSCreateStub(nullptr, 0) == nullptr, "CreateStub null");

    // A folder container cannot be changed through the calls that change stores.
    EXPECT_FALSE(kivfsDeleteFile(native, "a.txt"));
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    MarkLastError();

    // Success, a read at the end, a listing's end and a zero-length read leave
    // the code as it was; closing null is no failure.
    EXPECT_TRUE(kivfsIsFileExist(native, "a.txt", &exists));
    EXPECT_EQ(kivfsRead(file, buffer, sizeof buffer), 3);
    EXPECT_EQ(kivfsRead(file, buffer, sizeof buffer), 0);
    EXPECT_EQ(kivfsRead(file, buffer, 0), 0);
    EnumHandle* listing = kivfsCreateEnumIndir(native, "");
    ASSERT_NE(listing, nullptr);
    while (kivfsMoveNext(listing)) {
    }
    kivfsCloseEnum(listing);
    kivfsCloseFile(nullptr);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_EXISTS);

    kivfsCloseFile(file);
    kivfsCloseDir(native);
}

TEST(ErrorCodes, MountsAndTheBridge) {
    TempDir dir;
    WriteBytes(dir / "x.bin", "0123456789");
    char buffer[64];
    {
        ScopedMount data("data:", dir.path());
        kivFSMountPath("data:", (dir / "elsewhere.db").c_str());
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_EXISTS);
        EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere.db"));

        EXPECT_EQ(kivFSCreateStub("none:x.bin", 0), nullptr);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
        EXPECT_EQ(kivFSKivToSyspath("none:x.bin", buffer, sizeof buffer), 0);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
        EXPECT_EQ(kivFSCreateStub("data:missing.bin", 0), nullptr);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);

        StubOps* ops = kivFSCreateStub("data:x.bin", 0);
        ASSERT_NE(ops, nullptr);
        EXPECT_EQ(ops->seekFn(nullptr, 0, 0), -1);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
        MarkLastError();
        EXPECT_EQ(ops->readFn(ops->file, buffer, sizeof buffer), 10);
        EXPECT_EQ(ops->readFn(ops->file, buffer, sizeof buffer), 0);
        EXPECT_NE(ops->errorFn(ops->file), 0);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_EXISTS);
        EXPECT_EQ(ops->writeFn(ops->file, "zz", 2), 0);  // opened "rb"
        EXPECT_NE(kivfsLastError(), KIVFS_ERR_EXISTS);
        EXPECT_NE(kivfsLastError(), KIVFS_OK);

        kivFSDeleteStub(ops);
    }
    // Unmounting a store while a stub is open: the stub keeps its container
    // until it is deleted (the sanitizer build checks that nothing is used
    // after it is freed), and the name is free again at once.
    kivFSMountPath("save:", (dir / "save.db").c_str());
    StubOps* ops = kivFSCreateStub("save:slot.bin", 1);
    ASSERT_NE(ops, nullptr);
    ASSERT_EQ(ops->writeFn(ops->file, "0123456789", 10), 10);
    ASSERT_EQ(ops->seekFn(ops->file, 0, 0), 0);
    kivFSUnmountPath("save:");
    EXPECT_EQ(kivFSKivToSyspath("save:slot.bin", buffer, sizeof buffer), 0);
    EXPECT_EQ(ops->readFn(ops->file, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    kivFSDeleteStub(ops);
    kivFSUnmountPath("save:");
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
    EXPECT_EQ(kivFSCreateDirectory((dir / "no/such/parent").c_str()), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
}

// Writes that cannot happen (a zip entry, a folder file opened "rb") say
// READ_ONLY; a commit with no transaction open is a call out of order, an
// argument; a store table with a column this library does not fill (NOT
// NULL, no default) is a layout it cannot write, not an existing target.
TEST(ErrorCodes, WritesThatCannotHappen) {
    TempDir dir;
    WriteBytes(dir / "a.txt", "abc");
    FileHandle* file = kivfsCreateFile((dir / "a.txt").c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "x", 1), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_READ_ONLY);
    kivfsCloseFile(file);
    if (KIVFS_TEST_ZIP_BACKEND) {
        ZipBuilder().AddFile("e.txt", "entry").WriteTo(dir / "pack.zip");
        file = kivfsCreateFile((dir / "pack.zip:e.txt").c_str(), 0);
        ASSERT_NE(file, nullptr);
        MarkLastError();
        EXPECT_EQ(kivfsWrite(file, "x", 1), 0);
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_READ_ONLY);
        MarkLastError();
        EXPECT_FALSE(kivfsResize(file, 0));
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_READ_ONLY);
        kivfsCloseFile(file);
    }

    DirHandle* store = kivfsOpenDir((dir / "store.db").c_str());
    ASSERT_NE(store, nullptr);
    EXPECT_FALSE(kivfsCommitTrans(store));
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
    kivfsCloseDir(store);

    ASSERT_TRUE(Direct(dir / "layout.db")
                    .Exec("create table FileStorage (FileName text, Path text, Content blob, "
                          "Info blob, Owner text not null, primary key(FileName, Path))"));
    file = kivfsCreateFile((dir / "layout.db:new.txt").c_str(), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "x", 1), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    kivfsCloseFile(file);
}

TEST(ErrorCodes, EachThreadKeepsItsOwn) {
    MarkLastError();
    int seen = -1;
    std::thread other([&] {
        const int before = kivfsLastError();
        kivfsOpenDir(nullptr);
        seen = before == KIVFS_OK && kivfsLastError() == KIVFS_ERR_ARGUMENT;
    });
    other.join();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_EXISTS);
}
