// The mapped-archive handlers that the zip readers read archives through, and the
// fault-safe mapping under them.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/FileMapping.h"
#include "support/OutsideCut.h"
#include "support/TempDir.h"
#include "zip/MappedArchiveTable.h"
#include "zip/MappedHandlers.h"

using kivfs::FileMapping;
using kivfs::MappedArchiveTable;
using kivfs::MappedClose;
using kivfs::MappedOpen;
using kivfs::MappedRead;
using kivfs::MappedSeek;
using kivfs::MappedSize;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;

namespace {

TEST(MappedHandlers, ReadAndSeekStayWithinTheFile) {
    TempDir dir;
    WriteBytes(dir / "ten", "0123456789");
    const int handle = MappedOpen((dir / "ten").c_str(), 0);
    ASSERT_GE(handle, 1);
    char buffer[16] = {};
    EXPECT_EQ(MappedSize(handle), 10);
    EXPECT_EQ(MappedRead(handle, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(MappedSeek(handle, 0, 1), 4);
    // Targets outside the file are refused and the position stays.
    EXPECT_EQ(MappedSeek(handle, 1, 2), -1);
    EXPECT_EQ(MappedSeek(handle, -1, 0), -1);
    EXPECT_EQ(MappedSeek(handle, -5, 1), -1);
    EXPECT_EQ(MappedSeek(handle, (1ll << 32) + 5, 0), -1);
    EXPECT_EQ(MappedSeek(handle, 0, 3), -1);
    EXPECT_EQ(MappedSeek(handle, 0, 1), 4);
    EXPECT_EQ(MappedSeek(handle, 0, 2), 10);
    EXPECT_EQ(MappedRead(handle, buffer, 4), 0);
    EXPECT_EQ(MappedSeek(handle, -3, 2), 7);
    EXPECT_EQ(MappedRead(handle, buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(MappedSize(handle), 10);
    EXPECT_EQ(MappedClose(handle), 0);
    // A closed or unknown handle is refused everywhere.
    for (int unknown : {handle, 0, -1, 1 << 20}) {
        EXPECT_EQ(MappedClose(unknown), -1);
        EXPECT_EQ(MappedRead(unknown, buffer, 1), -1);
        EXPECT_EQ(MappedSeek(unknown, 0, 0), -1);
        EXPECT_EQ(MappedSize(unknown), -1);
    }
}

TEST(MappedHandlers, RefusesWhatCannotBeMappedWhole) {
    TempDir dir;
    WriteBytes(dir / "empty", "");
    std::filesystem::create_directory(dir / "folder");
    // Sparse files: nothing is written to disk.
    WriteBytes(dir / "limit", "");
    std::filesystem::resize_file(dir / "limit", FileMapping::kMaxSize);
    WriteBytes(dir / "huge", "");
    std::filesystem::resize_file(dir / "huge", FileMapping::kMaxSize + 1);
    const size_t before = MappedArchiveTable::Instance().Count();
    for (const char* name : {"empty", "folder", "huge", "missing"}) {
        EXPECT_EQ(MappedOpen((dir / name).c_str(), 0), -1) << name;
    }
    EXPECT_EQ(MappedOpen("", 0), -1);
    EXPECT_EQ(MappedArchiveTable::Instance().Count(), before);
    const int limit = MappedOpen((dir / "limit").c_str(), 0);
    if (sizeof(void*) == 4 && limit == -1) {
        // A 2 GiB view finds no room beside a 32-bit program: refused like
        // the others, leaving nothing behind.
        EXPECT_EQ(MappedArchiveTable::Instance().Count(), before);
        return;
    }
    ASSERT_GE(limit, 1);
    EXPECT_EQ(MappedSize(limit), static_cast<std::int64_t>(FileMapping::kMaxSize));
    EXPECT_EQ(MappedClose(limit), 0);
}

#ifdef _WIN32
// Windows lets no other writer cut short a mapped file: the file is open
// sharing reads only. The cut fails, the file keeps its size and the mapping
// reads its bytes; after MappedClose nothing holds the file and the cut goes
// through.
TEST(MappedHandlers, FileCannotBeCutShortWhileMapped) {
    TempDir dir;
    std::string bytes(1 << 18, 'x');
    bytes.replace(65536, 4, "mark");
    WriteBytes(dir / "file", bytes);
    const int handle = MappedOpen((dir / "file").c_str(), 0);
    ASSERT_GE(handle, 1);
    std::error_code cut;
    std::filesystem::resize_file(dir / "file", 4096, cut);
    EXPECT_TRUE(cut) << "cut short while mapped";
    EXPECT_EQ(std::filesystem::file_size(dir / "file"), bytes.size());
    std::string buffer(1 << 16, '\0');
    EXPECT_EQ(MappedSeek(handle, 65536, 0), 65536);
    EXPECT_EQ(MappedRead(handle, buffer.data(), buffer.size()), 65536);
    EXPECT_EQ(buffer.substr(0, 5), "markx");
    EXPECT_EQ(MappedClose(handle), 0);
    std::filesystem::resize_file(dir / "file", 4096, cut);
    EXPECT_FALSE(cut) << "still held after MappedClose: " << cut.message();
}
#endif

// Another program cuts the file short under the mapping (on Windows only
// Wine's host can): reads of the missing pages fail with the position kept.
TEST(MappedHandlers, FileCutShortGivesReadErrorsWithThePositionKept) {
    TempDir dir;
    WriteBytes(dir / "file", std::string(1 << 18, 'x'));
    const int handle = MappedOpen((dir / "file").c_str(), 0);
    ASSERT_GE(handle, 1);
    const std::string why = kivfs_test::CutFromOutside(dir / "file", 4096);
    if (!why.empty()) {
        MappedClose(handle);
        GTEST_SKIP() << why;
    }
    std::string buffer(1 << 16, '\0');
    EXPECT_EQ(MappedRead(handle, buffer.data(), 100), 100);
    EXPECT_EQ(MappedSeek(handle, 65536, 0), 65536);
    EXPECT_EQ(MappedRead(handle, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(MappedSeek(handle, 0, 1), 65536);
    EXPECT_EQ(MappedRead(handle, buffer.data(), buffer.size()), -1);
    // Pages still inside the file read as before.
    EXPECT_EQ(MappedSeek(handle, 0, 0), 0);
    EXPECT_EQ(MappedRead(handle, buffer.data(), 4096), 4096);
    EXPECT_EQ(MappedClose(handle), 0);
}

TEST(MappedHandlers, ThreadsRecoverTheirOwnFaults) {
    TempDir dir;
    auto work = [&dir](int id, bool* ok, std::string* why) {
        const std::string path = dir / ("file" + std::to_string(id));
        WriteBytes(path, std::string(1 << 18, 'x'));
        const int handle = MappedOpen(path.c_str(), 0);
        std::string buffer(1 << 16, '\0');
        *why = kivfs_test::CutFromOutside(path, 4096);
        bool good = handle >= 1 && why->empty();
        for (int round = 0; round < 50 && why->empty(); ++round) {
            good &= MappedSeek(handle, 0, 0) == 0;
            good &= MappedRead(handle, buffer.data(), 4096) == 4096;
            good &= MappedRead(handle, buffer.data(), buffer.size()) == -1;
        }
        *ok = good && MappedClose(handle) == 0;
    };
    bool ok[2] = {false, false};
    std::string why[2];
    std::thread first(work, 0, &ok[0], &why[0]);
    std::thread second(work, 1, &ok[1], &why[1]);
    first.join();
    second.join();
    if (!why[0].empty()) GTEST_SKIP() << why[0];
    EXPECT_TRUE(ok[0]) << why[1];
    EXPECT_TRUE(ok[1]) << why[1];
}

#ifdef _WIN32
// A fault in a view is a structured exception on Windows, which the copy
// out of the view catches only in its own range (a page of the file that
// cannot be read). Any other, here a real access violation (a write through
// a null pointer) with a file mapped, reaches the handler the program set
// (the C runtime hands it to SIGSEGV's). That a fault no one handles then
// ends the process is Windows' own doing, seen for an in-page error outside
// the copy in InPageErrorDeathTest (under Wine each such death starts
// winedbg: seconds a child). The child maps its own program file: Windows
// removes no file that is mapped, and a file made for it would outlive it.
TEST(MappedHandlersDeathTest, OtherFaultsArePassedOn) {
    EXPECT_EXIT(
        {
            std::signal(SIGSEGV, [](int) { std::_Exit(42); });
            if (MappedOpen(__argv[0], 0) < 1) std::_Exit(0);
            volatile int* volatile nowhere = nullptr;
            *nowhere = 1;
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(42), "");
}
#else
// A SIGBUS that is not a fault of our copy reaches the handler that was there
// before ours, or, when there was none, ends the process as it would have.
TEST(MappedHandlersDeathTest, OtherBusErrorsArePassedOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    // Runs in the child, which made its own folder when it re-ran this test:
    // it removes it before dying (the mapping outlives the file's name). When
    // the file cannot be mapped, no handler of ours is there and the child
    // exits normally, failing the expectation.
    auto mapThenRaise = [&dir] {
        WriteBytes(dir / "file", "x");
        const int handle = MappedOpen((dir / "file").c_str(), 0);
        std::filesystem::remove_all(dir.path());
        if (handle < 1) std::_Exit(0);
        std::raise(SIGBUS);
        std::_Exit(0);
    };
    EXPECT_EXIT(
        {
            std::signal(SIGBUS, [](int) { std::_Exit(42); });
            mapThenRaise();
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_DEATH(mapThenRaise(), "");
}
#endif

}  // namespace
