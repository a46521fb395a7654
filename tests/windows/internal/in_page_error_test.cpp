// The in-page error of a mapped read on Windows: Windows will not cut a
// mapped file short, so the fault is raised inside the guarded copy by the
// test probe, with the exception record the memory manager would make.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/FileMapping.h"
#include "platform/win32/CopyFaultProbe.h"
#include "support/TempDir.h"

using kivfs::FileMapping;
using kivfs_test::TempDir;

namespace {

void FaultAtStart(const unsigned char* begin, const unsigned char*) {
    kivfs::RaiseInPageError(begin);
}

void FaultPastEnd(const unsigned char*, const unsigned char* end) {
    kivfs::RaiseInPageError(end + 4096);
}

// The probe is per thread: a copy on another thread runs unguarded by it.
TEST(InPageError, AFaultInsideTheCopyFailsTheReadAndTheProcessLives) {
    TempDir dir;
    kivfs_test::WriteBytes(dir / "data", "0123456789");
    const auto mapping = FileMapping::Open((dir / "data").c_str());
    ASSERT_NE(mapping, nullptr);
    char buffer[10] = {};
    kivfs::SetCopyFaultProbe(FaultAtStart);
    EXPECT_FALSE(mapping->CopyOut(2, buffer, 4));
    EXPECT_FALSE(mapping->CopyOut(0, buffer, 10)) << "recovered again";
    bool other = false;
    std::thread([&] { other = mapping->CopyOut(0, buffer, 10); }).join();
    EXPECT_TRUE(other);
    kivfs::SetCopyFaultProbe(nullptr);
    ASSERT_TRUE(mapping->CopyOut(3, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "3456");
}

// A fault outside the copied range is not ours: it goes on unhandled and
// ends the process as it would without the library.
TEST(InPageErrorDeathTest, AFaultOutsideTheCopyIsPassedOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    kivfs_test::WriteBytes(dir / "data", "0123456789");
    EXPECT_DEATH(
        {
            const auto mapping = FileMapping::Open((dir / "data").c_str());
            char buffer[10];
            kivfs::SetCopyFaultProbe(FaultPastEnd);
            mapping->CopyOut(0, buffer, 10);
        },
        "");
}

// Empty files cannot be mapped; neither can a folder or a device name.
TEST(InPageError, OnlyFilesWithBytesMap) {
    TempDir dir;
    kivfs_test::WriteBytes(dir / "empty", "");
    EXPECT_EQ(FileMapping::Open((dir / "empty").c_str()), nullptr);
    EXPECT_EQ(FileMapping::Open(dir.path().c_str()), nullptr);
    EXPECT_EQ(FileMapping::Open((dir / "CON").c_str()), nullptr);
    EXPECT_EQ(FileMapping::Open((dir / "missing").c_str()), nullptr);
}

}  // namespace
