// Archives at the size limit of the mapping (2 GiB, so that every offset
// fits 32 bits): the largest one taken opens and reads like any other where
// the address space has room for its view, and fails cleanly where it has
// not (a 32-bit process); one byte more is refused on every platform. Either
// way a refused archive is not taken for a store: nothing is written to it or
// beside it. The archives are sparse: an entry at the start, the central
// directory and end record at the very end, a hole between.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "kivfs.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using kivfs_test::TempDir;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipImage;

namespace {

constexpr std::uint64_t kLargestMapped = std::uint64_t{1} << 31;

// Writes `bytes` at `offset` of the open stream, leaving a hole before it.
void WriteAt(std::fstream& file, std::uint64_t offset, const std::string& bytes) {
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A sparse archive of exactly `size` bytes holding "a.txt" ("hi").
void WriteSparseArchive(const std::string& path, std::uint64_t size) {
    ZipImage image = ZipBuilder().AddFile("a.txt", "hi", kivfs_test::ZipMethod::Stored).Build();
    const std::string head = image.bytes.substr(0, image.centralDirectory);
    const std::string tail = image.bytes.substr(image.centralDirectory);
    const std::uint64_t tailAt = size - tail.size();
    image.SetCentralDirectoryOffset(static_cast<std::uint32_t>(tailAt));
    std::fstream file(std::filesystem::u8path(path),
                      std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    WriteAt(file, 0, head);
    WriteAt(file, tailAt, image.bytes.substr(image.centralDirectory));
    file.close();
    ASSERT_FALSE(file.fail()) << "cannot write a sparse file of " << size << " bytes";
}

// What a refused open must leave as it was: the archive's size, time and
// end, and no file of SQLite's beside it.
struct DiskState {
    std::uintmax_t size;
    std::filesystem::file_time_type written;
    std::string tail;
    bool operator==(const DiskState& other) const {
        return size == other.size && written == other.written && tail == other.tail;
    }
};

DiskState StateOf(const std::string& path) {
    const auto native = std::filesystem::u8path(path);
    DiskState state{std::filesystem::file_size(native), std::filesystem::last_write_time(native),
                    std::string(64, '\0')};
    std::ifstream file(native, std::ios::binary);
    file.seekg(-64, std::ios::end);
    file.read(&state.tail[0], 64);
    return state;
}

void ExpectNothingBeside(const std::string& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        EXPECT_FALSE(kivfs_test::PathExists(path + suffix)) << suffix;
    }
}

}  // namespace

// On a 64-bit host the view always fits; in a 32-bit process a 2 GiB view
// finds no room beside the program (MapViewOfFile or mmap fails), and the
// open reports that as a lack of memory rather than trying the archive as a
// store.
TEST(ArchiveSizeLimit, LargestArchiveOpensOrFailsCleanly) {
    TempDir tmp;
    const std::string path = tmp / "huge.zip";
    WriteSparseArchive(path, kLargestMapped);
    const DiskState before = StateOf(path);
    DirHandle* dir = kivfsOpenDir(path.c_str());
    const bool opened = dir != nullptr;
    if (dir) {
        EXPECT_TRUE(KIVFS_TEST_ZIP_BACKEND);
        FileHandle* file = kivfsCreateFileIndir(dir, "a.txt", 0);
        char bytes[8] = {};
        EXPECT_EQ(kivfsRead(file, bytes, sizeof bytes), 2);
        EXPECT_STREQ(bytes, "hi");
        kivfsCloseFile(file);
        kivfsCloseDir(dir);
    } else if (sizeof(void*) == 4) {
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NO_MEMORY);
    } else {
        EXPECT_FALSE(KIVFS_TEST_ZIP_BACKEND) << "a 64-bit host maps it";
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    }
    // A write through the full path changes nothing either way.
    FileHandle* file = kivfsCreateFile((path + ":a.txt").c_str(), 1);
    EXPECT_EQ(file != nullptr, opened);
    EXPECT_EQ(kivfsWrite(file, "x", 1), 0);
    kivfsCloseFile(file);
    EXPECT_TRUE(StateOf(path) == before);
    ExpectNothingBeside(path);
}

// Past the limit no platform maps the archive: it is valid data this library
// does not read, and stays as it was.
TEST(ArchiveSizeLimit, LargerArchiveIsRefusedUntouched) {
    TempDir tmp;
    const std::string path = tmp / "huger.zip";
    WriteSparseArchive(path, kLargestMapped + 1);
    const DiskState before = StateOf(path);
    EXPECT_EQ(kivfsOpenDir(path.c_str()), nullptr);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    EXPECT_EQ(kivfsCreateFile((path + ":a.txt").c_str(), 0), nullptr);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    EXPECT_TRUE(StateOf(path) == before);
    ExpectNothingBeside(path);
}
