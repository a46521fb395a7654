// The causes the directory backend and the mount table note for a failing
// call, read the way an export publishes them: one CallScope around the work.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "backend/Failure.h"
#include "kivfs.h"
#include "mount/MountTable.h"
#include "native/NativeFs.h"
#include "support/SpecialFiles.h"
#include "support/TempDir.h"

using kivfs::NativeFs;
using kivfs_test::TempDir;

namespace {

// What an export around `work` would publish; -1 when nothing was noted.
int CauseOf(const std::function<void()>& work) {
    kivfs::CallScope scope;
    work();
    scope.Fail(-1);
    return kivfs::LastErrorCode();
}

}  // namespace

TEST(NativeCauses, EachRefusalNamesItsCause) {
    TempDir tmp;
    // Windows folders hold no FIFOs: there the FIFO cases are left out.
    const bool fifo = kivfs_test::MakeFifo(tmp / "pipe");
    std::filesystem::create_directory(tmp / "folder");
    NativeFs fs(tmp.path());
    bool exists = false;
    const struct {
        const char* what;
        std::function<void()> work;
        int cause;
    } cases[] = {
        {"climbing open", [&] { fs.OpenFile("a/../../x", 1); }, KIVFS_ERR_OUTSIDE_ROOT},
        {"climbing listing", [&] { fs.CreateEnum("../"); }, KIVFS_ERR_OUTSIDE_ROOT},
        {"climbing probe", [&] { fs.IsDirectoryExist("..", &exists); }, KIVFS_ERR_OUTSIDE_ROOT},
        {"FIFO read", [&] { fs.OpenFile("pipe", 0); }, KIVFS_ERR_NOT_A_FILE},
        {"FIFO write", [&] { fs.OpenFile("pipe", 1); }, KIVFS_ERR_NOT_A_FILE},
        {"folder read", [&] { fs.OpenFile("folder", 0); }, KIVFS_ERR_NOT_A_FILE},
        {"folder write", [&] { fs.OpenFile("folder", 4); }, KIVFS_ERR_NOT_A_FILE},
        {"missing file", [&] { fs.OpenFile("missing.txt", 3); }, KIVFS_ERR_NOT_FOUND},
        {"missing folder", [&] { fs.CreateEnum("missing/"); }, KIVFS_ERR_NOT_FOUND},
        {"mode", [&] { fs.OpenFile("x.txt", 6); }, KIVFS_ERR_ARGUMENT},
    };
    for (const auto& c : cases) {
        if (!fifo && std::string(c.what).rfind("FIFO", 0) == 0) continue;
        EXPECT_EQ(CauseOf(c.work), c.cause) << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(tmp / "x.txt"));
}

TEST(MountCauses, ClimbingRestIsOutsideTheRoot) {
    TempDir tmp;
    kivfs::MountTable& table = kivfs::MountTable::Instance();
    table.Mount("causes:", tmp.path());
    EXPECT_EQ(CauseOf([&] { EXPECT_EQ(table.Resolve("causes:../x").entry, nullptr); }),
              KIVFS_ERR_OUTSIDE_ROOT);
    EXPECT_NE(table.Resolve("causes:a/../x").entry, nullptr);
    table.Unmount("causes:");
}
