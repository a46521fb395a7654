// Faults the archive fuzzer found, each with the smallest archive that
// showed it, built by the test, through the exported calls.
#include <gtest/gtest.h>

#include <string>

#include "kivfs.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using kivfs_test::TempDir;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipImage;
using kivfs_test::ZipMethod;

namespace {

// Reads to the end in pieces of `piece` bytes: the bytes, and the last
// result (0 at a clean end, -1 on an error).
struct Reading {
    std::string bytes;
    int last = 0;
};

Reading ReadToEnd(FileHandle* file, int piece) {
    Reading reading;
    char buffer[4096];
    while ((reading.last = kivfsRead(file, buffer, piece)) > 0) {
        reading.bytes.append(buffer, reading.last);
    }
    return reading;
}

class RobustZip : public ::testing::Test {
  protected:
    // Writes `image` and opens the entry `name` in it.
    FileHandle* Open(const ZipImage& image, const char* name) {
        image.WriteTo(tmp_ / "damaged.zip");
        dir_ = kivfsOpenDir((tmp_ / "damaged.zip").c_str());
        EXPECT_NE(dir_, nullptr);
        return kivfsCreateFileIndir(dir_, name, 0);
    }
    void TearDown() override { kivfsCloseDir(dir_); }

    TempDir tmp_;
    DirHandle* dir_ = nullptr;
};

// Deflate data that ends before the entry's size: zziplib then moves to the
// entry's end, past bytes it never produced. Read must report the damage,
// not a clean end after a short content, whatever the sizes of the reads.
TEST_F(RobustZip, DeflateDataEndingBeforeTheSizeIsAReadError) {
    const std::string content = "0123456789abcdef";
    for (int piece : {1, 7, 4096}) {
        SCOPED_TRACE(piece);
        ZipImage image = ZipBuilder().AddFile("a.txt", content, ZipMethod::Deflated).Build();
        const uint32_t deflated = static_cast<uint32_t>(image.entries[0].dataSize);
        image.SetEntrySizes(0, deflated, static_cast<uint32_t>(content.size() + 3));
        FileHandle* file = Open(image, "a.txt");
        ASSERT_NE(file, nullptr);
        const Reading reading = ReadToEnd(file, piece);
        EXPECT_EQ(reading.last, -1);
        EXPECT_LE(reading.bytes.size(), content.size());
        EXPECT_EQ(reading.bytes, content.substr(0, reading.bytes.size()));
        kivfsCloseFile(file);
        kivfsCloseDir(dir_);
        dir_ = nullptr;
    }
}

// A stored entry is read for its uncompressed size: when that differs from
// the stored data's size, zziplib would hand out the bytes that follow the
// entry (the central directory here) as its content, or stop short of it.
TEST_F(RobustZip, StoredEntryWhoseSizesDifferIsNotOpened) {
    const std::string content = "stored content";
    const uint32_t size = static_cast<uint32_t>(content.size());
    for (uint32_t claimed : {size + 100, size - 1}) {
        SCOPED_TRACE(claimed);
        ZipImage image = ZipBuilder()
                             .AddFile("a.bin", content, ZipMethod::Stored)
                             .AddFile("b.bin", content, ZipMethod::Stored)
                             .Build();
        image.SetEntrySizes(0, size, claimed);
        EXPECT_EQ(Open(image, "a.bin"), nullptr);
        bool exists = false;
        EXPECT_TRUE(kivfsIsFileExist(dir_, "a.bin", &exists) && exists);
        FileHandle* intact = kivfsCreateFileIndir(dir_, "b.bin", 0);
        ASSERT_NE(intact, nullptr);
        EXPECT_EQ(ReadToEnd(intact, 4096).bytes, content);
        kivfsCloseFile(intact);
        kivfsCloseDir(dir_);
        dir_ = nullptr;
    }
}

// Offsets are 32-bit ints: an entry of 2 GiB or more (zziplib hands its size
// over as a negative int) could be neither sought nor told apart from its end.
TEST_F(RobustZip, EntryTooLargeForTheOffsetsIsNotOpened) {
    ZipImage image = ZipBuilder().AddFile("big", "small really", ZipMethod::Deflated).Build();
    image.SetEntrySizes(0, static_cast<uint32_t>(image.entries[0].dataSize), 0x80000000u);
    EXPECT_EQ(Open(image, "big"), nullptr);
}

}  // namespace
