// Real files through the exported calls: the six open modes, parent
// creation, reads, writes, positions, and full-path opens, on files made in a
// temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "kivfs.h"
#include "support/SmallDisk.h"
#include "support/SpecialFiles.h"
#include "support/TempDir.h"

using kivfs_test::MakeFifo;
using kivfs_test::PathExists;
using kivfs_test::ReadBytes;
using kivfs_test::SmallDisk;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;

namespace {

// Reads what is left of `file`, in small steps so that several reads run.
std::string ReadRest(FileHandle* file) {
    std::string bytes;
    char chunk[3];
    for (int got; (got = kivfsRead(file, chunk, sizeof chunk)) > 0;) bytes.append(chunk, got);
    return bytes;
}

int WriteText(FileHandle* file, const std::string& text) {
    return kivfsWrite(file, text.data(), static_cast<int>(text.size()));
}

class NativeFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = kivfsOpenDir(tmp_.path().c_str());
        ASSERT_NE(dir_, nullptr);
    }
    void TearDown() override { kivfsCloseDir(dir_); }

    FileHandle* Open(const std::string& name, int mode) {
        return kivfsCreateFileIndir(dir_, name.c_str(), mode);
    }

    TempDir tmp_;
    DirHandle* dir_ = nullptr;
};

TEST_F(NativeFile, ModesThatNeedAnExistingFileCreateNothing) {
    for (int mode : {0, 3}) {
        EXPECT_EQ(Open("missing.txt", mode), nullptr) << mode;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);
        EXPECT_EQ(Open("x/missing.txt", mode), nullptr) << mode;
    }
    for (int mode : {-1, 6, 100}) {
        EXPECT_EQ(Open("odd.txt", mode), nullptr) << mode;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
    }
    EXPECT_TRUE(std::filesystem::is_empty(tmp_.path()));
}

TEST_F(NativeFile, WritingModesTruncateOrAppend) {
    const struct {
        int mode;
        const char* after;
    } cases[] = {{1, "ab"}, {2, "hello!ab"}, {4, "ab"}, {5, "hello!ab"}};
    for (const auto& c : cases) {
        WriteBytes(tmp_ / "f.txt", "hello!");
        FileHandle* file = Open("f.txt", c.mode);
        ASSERT_NE(file, nullptr) << c.mode;
        // Append modes write at the end wherever the position was put.
        EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
        EXPECT_EQ(WriteText(file, "ab"), 2);
        kivfsCloseFile(file);
        EXPECT_EQ(ReadBytes(tmp_ / "f.txt"), c.after) << c.mode;
    }
}

TEST_F(NativeFile, ReadWriteModesSwitchDirectionInPlace) {
    WriteBytes(tmp_ / "f.txt", "hello");
    FileHandle* file = Open("f.txt", 3);
    ASSERT_NE(file, nullptr);
    char two[2];
    EXPECT_EQ(kivfsRead(file, two, 2), 2);
    EXPECT_EQ(WriteText(file, "XY"), 2);  // straight after the read, no seek
    EXPECT_EQ(ReadRest(file), "o");       // straight after the write
    kivfsCloseFile(file);
    EXPECT_EQ(ReadBytes(tmp_ / "f.txt"), "heXYo");

    file = Open("g.txt", 4);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "abc"), 3);
    EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
    EXPECT_EQ(ReadRest(file), "abc");
    kivfsCloseFile(file);
}

TEST_F(NativeFile, WritingModesCreateMissingParents) {
    FileHandle* file = Open("logs/2024/run.txt", 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "run"), 3);
    kivfsCloseFile(file);
    EXPECT_EQ(ReadBytes(tmp_ / "logs/2024/run.txt"), "run");

    // A name ending in "/" gets its directories, but is no file.
    EXPECT_EQ(Open("a/b/", 1), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(tmp_ / "a/b"));
    // Nor is an existing directory, in any mode.
    for (int mode = 0; mode <= 5; ++mode) EXPECT_EQ(Open("a", mode), nullptr) << mode;
}

// The parents a creating open makes on its second try already exist here;
// that they do is no cause: the open fails for what the name is, a folder.
TEST_F(NativeFile, AFailedOpenBelowExistingFoldersReportsItsOwnCause) {
    std::filesystem::create_directories(tmp_ / "saves/slot1");
    for (int mode : {1, 2, 4, 5}) {
        EXPECT_EQ(Open("saves/slot1", mode), nullptr) << mode;
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_A_FILE) << mode;
    }
}

// A FIFO, a device (reached through a symbolic link, as links are followed)
// and a directory are no files in any mode; a link to a regular file is. An
// open that waits for the FIFO's peer is freed by opening both ends at once
// (which never waits) and reported, so a fault cannot hang the run. The code
// is read on the opening thread, as it is kept per thread.
TEST_F(NativeFile, OnlyRegularFilesOpenAndNothingWaits) {
    if (!MakeFifo(tmp_ / "pipe")) GTEST_SKIP() << "no FIFOs in folders here (Windows)";
    std::filesystem::create_symlink("/dev/null", tmp_ / "device");
    std::filesystem::create_directory(tmp_ / "folder");
    WriteBytes(tmp_ / "real.txt", "real");
    std::filesystem::create_symlink(tmp_ / "real.txt", tmp_ / "link.txt");
    for (const char* name : {"pipe", "device", "folder"}) {
        for (int mode = 0; mode <= 5; ++mode) {
            auto opening = std::async(std::launch::async, [&] {
                FileHandle* file = Open(name, mode);
                return std::make_pair(file, kivfsLastError());
            });
            std::pair<FileHandle*, int> opened;
            if (opening.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
                std::fstream peer(tmp_ / name, std::ios::in | std::ios::out);
                opened = opening.get();
                ADD_FAILURE() << "the open waited: " << name << ", mode " << mode;
            } else {
                opened = opening.get();
            }
            EXPECT_EQ(opened.first, nullptr) << name << ", mode " << mode;
            EXPECT_EQ(opened.second, KIVFS_ERR_NOT_A_FILE) << name << ", mode " << mode;
            kivfsCloseFile(opened.first);
        }
    }
    FileHandle* file = Open("link.txt", 3);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadRest(file), "real");
    kivfsCloseFile(file);
}

TEST_F(NativeFile, ErrorIsSetOnlyOnceAReadRunsIntoTheEnd) {
    WriteBytes(tmp_ / "f.txt", "abc");
    FileHandle* file = Open("f.txt", 0);
    ASSERT_NE(file, nullptr);
    char buffer[8];
    EXPECT_FALSE(kivfsError(file));
    EXPECT_EQ(kivfsRead(file, buffer, 3), 3);
    EXPECT_FALSE(kivfsError(file));
    EXPECT_EQ(kivfsRead(file, buffer, 1), 0);
    EXPECT_TRUE(kivfsError(file));
    EXPECT_EQ(kivfsSeek(file, 1, 0), 0);  // a move clears it
    EXPECT_FALSE(kivfsError(file));
    EXPECT_EQ(kivfsRead(file, buffer, -1), 0);
    EXPECT_EQ(kivfsRead(file, buffer, 8), 2);
    EXPECT_TRUE(kivfsError(file));
    kivfsCloseFile(file);
}

// Mode 0 reads straight from the descriptor, mode 3 through a C stream: the
// same steps (reads smaller and larger than a block, moves while bytes are
// read ahead, reads at and past the end) must give the same answers.
TEST_F(NativeFile, ReadingModeAnswersAsTheCStreamDoes) {
    std::string content(3 * 65536 + 1234, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    WriteBytes(tmp_ / "f.bin", content);
    struct Step {
        int read;  // bytes to read, or 0 to move
        int offset, origin;
    };
    const Step steps[] = {{10, 0, 0},     {9000, 0, 0}, {0, -5, 1},     {3, 0, 0},
                          {70000, 0, 0},  {1, 0, 0},    {0, 100, 2},    {50, 0, 0},
                          {1, 0, 0},      {0, -7, 2},   {100000, 0, 0}, {0, 4097, 0},
                          {140000, 0, 0}, {0, -1, 0},   {5, 0, 0},      {200000, 0, 0}};
    std::vector<std::string> answers[2];
    for (int side = 0; side < 2; ++side) {
        FileHandle* file = Open("f.bin", side == 0 ? 0 : 3);
        ASSERT_NE(file, nullptr);
        std::string buffer(200000, '\0');
        for (const Step& step : steps) {
            const int result = step.read ? kivfsRead(file, buffer.data(), step.read)
                                         : kivfsSeek(file, step.offset, step.origin);
            std::string answer = std::to_string(result) + " at " + std::to_string(kivfsTell(file)) +
                                 (kivfsError(file) ? " end" : "");
            if (step.read && result > 0) answer += " " + buffer.substr(0, result);
            answers[side].push_back(answer);
        }
        kivfsCloseFile(file);
    }
    for (size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_TRUE(answers[0][i] == answers[1][i])
            << "step " << i << ": " << answers[0][i].substr(0, 40) << " / "
            << answers[1][i].substr(0, 40);
    }
    FileHandle* file = Open("f.bin", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "x"), 0);
    kivfsCloseFile(file);
    EXPECT_TRUE(ReadBytes(tmp_ / "f.bin") == content);
}

TEST_F(NativeFile, SeekAnswersZeroOrNonZeroAndTellFollows) {
    WriteBytes(tmp_ / "f.txt", "0123456789");
    FileHandle* file = Open("f.txt", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsSeek(file, 4, 0), 0);
    EXPECT_EQ(kivfsTell(file), 4);
    EXPECT_EQ(kivfsSeek(file, -1, 1), 0);
    EXPECT_EQ(kivfsTell(file), 3);
    EXPECT_EQ(kivfsSeek(file, -2, 2), 0);
    EXPECT_EQ(kivfsTell(file), 8);
    EXPECT_NE(kivfsSeek(file, -1, 0), 0);
    EXPECT_NE(kivfsSeek(file, 0, 3), 0);
    EXPECT_EQ(kivfsTell(file), 8);
    EXPECT_FALSE(kivfsResize(file, 2));
    EXPECT_FALSE(kivfsResize(file, 20));
    kivfsCloseFile(file);
    EXPECT_EQ(ReadBytes(tmp_ / "f.txt"), "0123456789");
}

TEST_F(NativeFile, PositionBeyondThirtyTwoBitsIsReportedAsFailure) {
    WriteBytes(tmp_ / "big.bin", "");
    std::filesystem::resize_file(tmp_ / "big.bin", 3ull << 30);  // sparse: no disk used
    FileHandle* file = Open("big.bin", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsSeek(file, 0, 2), 0);
    EXPECT_EQ(kivfsTell(file), -1);
    kivfsCloseFile(file);
}

TEST(NativeFullPath, OpensExistingFilesAndCreatesInsideADirectory) {
    TempDir tmp;
    WriteBytes(tmp / "report.txt", "report");
    FileHandle* file = kivfsCreateFile((tmp / "report.txt").c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadRest(file), "report");
    kivfsCloseFile(file);

    file = kivfsCreateFile((tmp.path() + ":new.txt").c_str(), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "new"), 3);
    kivfsCloseFile(file);
    EXPECT_EQ(ReadBytes(tmp / "new.txt"), "new");
    EXPECT_FALSE(PathExists(tmp.path() + ":new.txt"));
}

// A folder on a full disk: a write the disk refuses says NO_SPACE, whether
// the stream meets the refusal at once (more than its buffer holds) or only
// when buffered bytes must reach the file before a read or at the close; a
// read that merely reaches the end notes nothing.
TEST(NativeFullDisk, RefusedWritesSayWhyAndTheEndIsNoFailure) {
    TempDir tmp;
    SmallDisk disk(tmp.path(), 64 << 10);
    if (!disk.Ready()) GTEST_SKIP() << "no size-limited folder: " << disk.Why();
    DirHandle* dir = kivfsOpenDir(disk.path().c_str());
    ASSERT_NE(dir, nullptr);
    FileHandle* file = kivfsCreateFileIndir(dir, "full.bin", 1);
    ASSERT_NE(file, nullptr);
    const std::string bytes(256 << 10, 'x');
    EXPECT_LT(WriteText(file, bytes), static_cast<int>(bytes.size()));
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NO_SPACE);
    kivfsCloseFile(file);

    file = kivfsCreateFileIndir(dir, "full.bin", 5);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "buffered"), 8);
    EXPECT_NE(kivfsSeek(file, 0, 3), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
    char byte;
    EXPECT_EQ(kivfsRead(file, &byte, 1), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NO_SPACE);
    kivfsCloseFile(file);

    // Bytes still buffered when the file is closed: the close says why they
    // were not saved.
    file = kivfsCreateFileIndir(dir, "full.bin", 5);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteText(file, "buffered"), 8);
    EXPECT_NE(kivfsSeek(file, 0, 3), 0);
    kivfsCloseFile(file);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NO_SPACE);

    file = kivfsCreateFileIndir(dir, "full.bin", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_NE(kivfsSeek(file, 0, 3), 0);
    EXPECT_EQ(ReadRest(file), ReadBytes(disk.path() + "/full.bin"));
    EXPECT_TRUE(kivfsError(file));
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
}

}  // namespace
