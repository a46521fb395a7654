// The library's own zip reader (kzip) against zziplib, compared at the
// backend interface (ZipReaderComparison): for every archive each reader's
// listings, existence answers, bytes, sizes, Tell after every read, seek
// results and refusals, with the failure each call noted, must be the same.
// Archives: the shared corpus of other readers' test archives (read in place
// from KIVFS_ZIP_CORPUS, skipped when absent), archives built here, and
// those damaged at every byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ZipReaderComparison.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"
#include "zip/MappedArchiveTable.h"

using kivfs_test::CompareZipReaders;
using kivfs_test::SampleText;
using kivfs_test::TempDir;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipImage;
using kivfs_test::ZipMethod;

namespace {

// An archive with a bit of everything both readers must agree on: stored,
// deflated and empty entries, directories explicit and implied, names equal
// but for case, a duplicate name, and entries larger than one 32 KiB piece.
ZipImage Mixed() {
    std::string noise;
    for (unsigned i = 0; i < 70000; ++i) noise += static_cast<char>((i * 2654435761u) >> 13);
    return ZipBuilder()
        .AddFile("a.txt", "alpha")
        .AddDirectory("docs/")
        .AddFile("docs/readme.txt", SampleText(100000), ZipMethod::Stored)
        .AddFile("docs/img/x.png", SampleText(150000, 2))
        .AddFile("README.TXT", "upper", ZipMethod::Stored)
        .AddFile("readme.txt", "lower")
        .AddFile("empty", "", ZipMethod::Stored)
        .AddFile("empty.z", "")
        .AddFile("noise.bin", noise)
        .AddFile("a.txt", "second alpha", ZipMethod::Stored)
        .Build();
}

// A small archive, so that damage at each of its bytes stays cheap.
ZipImage Small() {
    return ZipBuilder()
        .AddFile("s.txt", "stored bytes", ZipMethod::Stored)
        .AddFile("d/z.txt", SampleText(300))
        .AddDirectory("d/")
        .Build();
}

void ExpectSame(const std::string& path) {
    EXPECT_EQ(CompareZipReaders(path), "");
}

TEST(ZipReaders, AgreeOnSoundAndDamagedArchives) {
    TempDir dir;
    const std::string path = dir / "a.zip";
    const size_t before = kivfs::MappedArchiveTable::Instance().Count();
    std::vector<ZipImage> images{Mixed(), Small()};
    // Damage of the kinds readers meet: bad deflate data, sizes that do not
    // match the data either way, a stored entry whose sizes differ, an
    // entry whose local header is elsewhere, unknown methods, cut archives.
    for (int kind = 0; kind < 9; ++kind) {
        ZipImage image = Mixed();
        const auto& big = image.entries[3];  // docs/img/x.png, deflated
        switch (kind) {
            case 0:
                image.CorruptData(3);
                break;
            case 1:
                image.SetEntrySizes(3, uint32_t(big.dataSize), 151000);
                break;
            case 2:
                image.SetEntrySizes(3, uint32_t(big.dataSize), 1000);
                break;
            case 3:
                image.SetEntrySizes(3, uint32_t(big.dataSize + 5000), 150000);
                break;
            case 4:
                image.SetEntrySizes(3, uint32_t(big.dataSize / 2), 150000);
                break;
            case 5:
                image.SetEntrySizes(2, 100000 + 10, 100000 + 10);
                break;
            case 6:
                image.SetEntryLocalOffset(1, 3);
                break;
            case 7:
                image.SetEntryMethod(0, 0);
                image.SetEntryMethod(4, 8);
                break;
            case 8:
                image.SetEntrySizes(2, 90000, 100000);
                break;
        }
        images.push_back(image);
    }
    for (const ZipImage& image : images) {
        image.WriteTo(path);
        ExpectSame(path);
    }
    // Cut short at many places, and stored data reaching past the end.
    const ZipImage mixed = Mixed();
    for (size_t size = 0; size < mixed.bytes.size(); size += mixed.bytes.size() / 37 + 1) {
        ZipImage cut = mixed;
        cut.Truncate(size);
        cut.WriteTo(path);
        ExpectSame(path);
    }
    EXPECT_EQ(kivfs::MappedArchiveTable::Instance().Count(), before);
}

// Every byte of a small archive flipped in turn: damage in headers, names,
// sizes, offsets, data and the end record, wherever it falls.
TEST(ZipReaders, AgreeWithAnyOneByteDamaged) {
    TempDir dir;
    const std::string path = dir / "a.zip";
    const ZipImage small = Small();
    for (size_t at = 0; at < small.bytes.size(); ++at) {
        for (unsigned char flip : {0xFF, 0x01, 0x80}) {
            ZipImage damaged = small;
            damaged.bytes[at] = static_cast<char>(damaged.bytes[at] ^ flip);
            damaged.WriteTo(path);
            const std::string difference = CompareZipReaders(path);
            ASSERT_EQ(difference, "") << "byte " << at << " xor " << int(flip);
        }
    }
}

TEST(ZipReaders, AgreeOnTheSharedCorpus) {
    const char* env = std::getenv("KIVFS_ZIP_CORPUS");
    const std::filesystem::path folder = env ? env : KIVFS_ZIP_CORPUS;
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no corpus at " << folder;
    std::vector<std::string> archives;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".zip") {
            archives.push_back(entry.path().string());
        }
    }
    std::sort(archives.begin(), archives.end());
    for (const std::string& archive : archives) ExpectSame(archive);
    RecordProperty("archives", static_cast<int>(archives.size()));
}

}  // namespace
