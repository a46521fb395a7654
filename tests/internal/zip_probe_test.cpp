// The zip probe and the zip backend on what is not a sound archive: files of
// other kinds, archives without entries, damaged central directories and
// damaged entry data. Each is refused or read with an error, never a crash.
// These go through the probe itself: once the probe refuses a path the
// container selection goes on to the store, which would open it otherwise.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "backend/Failure.h"
#include "kivfs.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"
#include "zip/MappedArchiveTable.h"
#include "zip/OpenZipFs.h"

using kivfs::FsBackend;
using kivfs::FsFile;
using kivfs::MappedArchiveTable;
using kivfs::OpenZipFs;
using kivfs_test::SampleText;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipImage;
using kivfs_test::ZipMethod;

namespace {

size_t OpenArchives() {
    return MappedArchiveTable::Instance().Count();
}

// Reads a file to its end: the bytes, and the last result of Read (0 at a
// clean end, -1 on an error). Reading stops at the first error, and never
// runs past the entry's size.
struct ReadResult {
    std::string bytes;
    int last;
};
ReadResult ReadToEnd(FsFile& file) {
    ReadResult result{std::string(), 0};
    char buffer[8192];
    while ((result.last = file.Read(buffer, sizeof buffer)) > 0) {
        result.bytes.append(buffer, result.last);
        if (result.bytes.size() > (1u << 24)) break;
    }
    return result;
}

// Everything a host may do with a backend: test names, list, open and read
// every entry it can see.
void ExerciseEverything(FsBackend& backend) {
    bool exists = false;
    backend.IsFileExist("a.txt", &exists);
    backend.IsDirectoryExist("docs", &exists);
    auto listing = backend.CreateEnum("");
    ASSERT_NE(listing, nullptr);
    while (listing->MoveNext()) {
        char* name = nullptr;
        ASSERT_TRUE(listing->GetFullName(&name));
        auto file = backend.OpenFile(name, 0);
        delete[] name;
        if (file) ReadToEnd(*file);
    }
}

TEST(ZipProbe, RefusesFilesThatAreNotArchives) {
    TempDir dir;
    WriteBytes(dir / "empty", "");
    WriteBytes(dir / "text", "just some text, not an archive");
    WriteBytes(dir / "tiny", "PK");
    std::string noise = SampleText(100000);
    WriteBytes(dir / "noise", noise);
    std::filesystem::create_directory(dir / "folder");
    ZipImage cut = ZipBuilder().AddFile("a.txt", "a").Build();
    cut.Truncate(cut.endRecord + 10);
    cut.WriteTo(dir / "cut.zip");
    // zziplib takes an archive without entries for no archive at all.
    ZipBuilder().WriteTo(dir / "none.zip");
    const size_t before = OpenArchives();
    // What is no archive at all says nothing, so that the store may take it;
    // what looks like one is refused as an archive, with its cause.
    struct Case {
        const char* name;
        int cause;
        bool archive;
    };
    for (const Case& c : {Case{"empty", KIVFS_OK, false}, Case{"text", KIVFS_OK, false},
                          Case{"tiny", KIVFS_OK, false}, Case{"noise", KIVFS_OK, false},
                          Case{"folder", KIVFS_OK, false}, Case{"missing", KIVFS_OK, false},
                          Case{"cut.zip", KIVFS_ERR_CORRUPT, true},
                          Case{"none.zip", KIVFS_ERR_UNSUPPORTED, true}}) {
        const kivfs::OpenedBackend opened = OpenZipFs(dir / c.name);
        EXPECT_EQ(opened.backend, nullptr) << c.name;
        EXPECT_EQ(opened.cause, c.cause) << c.name;
        EXPECT_EQ(opened.ofThisKind, c.archive) << c.name;
    }
    EXPECT_EQ(OpenZipFs("").backend, nullptr);
    EXPECT_EQ(OpenArchives(), before);
}

TEST(ZipProbe, TriesTheZipSuffixesWhenThePathCannotBeMapped) {
    TempDir dir;
    WriteBytes(dir / "pack", "");
    ZipBuilder().AddFile("a.txt", "from pack.ZIP").WriteTo(dir / "pack.ZIP");
    auto backend = OpenZipFs(dir / "pack").backend;
    ASSERT_NE(backend, nullptr);
    auto file = backend->OpenFile("a.txt", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadToEnd(*file).bytes, "from pack.ZIP");
}

TEST(ZipBackend, MappingLastsUntilTheLastEntryIsClosed) {
    TempDir dir;
    const std::string content = SampleText(50000);
    ZipBuilder().AddFile("a.txt", content).AddFile("b.txt", "b").WriteTo(dir / "p.zip");
    const size_t before = OpenArchives();
    auto backend = OpenZipFs(dir / "p.zip").backend;
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(OpenArchives(), before + 1);
    auto first = backend->OpenFile("a.txt", 0);
    auto second = backend->OpenFile("B.TXT", 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    backend.reset();
    EXPECT_EQ(OpenArchives(), before + 1);
    second.reset();
    EXPECT_EQ(ReadToEnd(*first).bytes, content);
    EXPECT_EQ(OpenArchives(), before + 1);
    first.reset();
    EXPECT_EQ(OpenArchives(), before);
}

TEST(ZipBackend, NegativeLengthReadsNothing) {
    TempDir dir;
    ZipBuilder().AddFile("a.txt", "abc").WriteTo(dir / "p.zip");
    auto backend = OpenZipFs(dir / "p.zip").backend;
    ASSERT_NE(backend, nullptr);
    auto file = backend->OpenFile("a.txt", 0);
    ASSERT_NE(file, nullptr);
    char buffer[4];
    EXPECT_EQ(file->Read(buffer, -1), 0);
    EXPECT_EQ(file->Read(buffer, 0), 0);
    EXPECT_EQ(file->Tell(), 0);
    EXPECT_EQ(file->Read(buffer, 4), 3);
}

// One archive to damage: a deflated and a stored entry of known content.
struct Damaged {
    const char* what;
    std::function<void(ZipImage&)> damage;
};

class DamagedArchive : public ::testing::Test {
  protected:
    DamagedArchive()
        : content_(SampleText(100000, 3)),
          image_(ZipBuilder()
                     .AddFile("a.txt", content_, ZipMethod::Deflated)
                     .AddFile("b.bin", content_, ZipMethod::Stored)
                     .AddDirectory("docs")
                     .Build()) {}

    // Writes the damaged archive and opens it: the backend, or why not.
    kivfs::OpenedBackend OpenDamagedWithCause(const std::function<void(ZipImage&)>& damage) {
        ZipImage image = image_;
        damage(image);
        image.WriteTo(dir_ / "damaged.zip");
        return OpenZipFs(dir_ / "damaged.zip");
    }
    // The same, null when the probe refuses it.
    std::unique_ptr<FsBackend> OpenDamaged(const std::function<void(ZipImage&)>& damage) {
        return OpenDamagedWithCause(damage).backend;
    }

    TempDir dir_;
    std::string content_;
    ZipImage image_;
};

TEST_F(DamagedArchive, BrokenCentralDirectoriesAreRefused) {
    const uint32_t size = static_cast<uint32_t>(image_.bytes.size());
    const Damaged cases[] = {
        {"directory past the end", [&](ZipImage& z) { z.SetCentralDirectoryOffset(size + 100); }},
        {"directory size past the end", [](ZipImage& z) { z.SetCentralDirectorySize(0x7FFFFFF0); }},
        {"directory signature", [](ZipImage& z) { z.PutU32(z.centralDirectory, 0x12345678); }},
        {"end record signature", [](ZipImage& z) { z.PutU32(z.endRecord, 0); }},
    };
    const size_t before = OpenArchives();
    for (const Damaged& damaged : cases) {
        auto backend = OpenDamaged(damaged.damage);
        if (backend) ExerciseEverything(*backend);
        EXPECT_EQ(backend, nullptr) << damaged.what;
    }
    EXPECT_EQ(OpenArchives(), before);
}

TEST_F(DamagedArchive, BrokenEntriesAreNotOpened) {
    const uint32_t size = static_cast<uint32_t>(image_.bytes.size());
    const Damaged cases[] = {
        {"local header past the end", [&](ZipImage& z) { z.SetEntryLocalOffset(0, size + 10); }},
        {"local header misplaced", [](ZipImage& z) { z.SetEntryLocalOffset(0, 1); }},
        {"local header signature", [](ZipImage& z) { z.PutU32(z.entries[0].localHeader, 0); }},
        {"unsupported method", [](ZipImage& z) { z.SetEntryMethod(0, 12); }},
    };
    for (const Damaged& damaged : cases) {
        auto backend = OpenDamaged(damaged.damage);
        ASSERT_NE(backend, nullptr) << damaged.what;
        EXPECT_EQ(backend->OpenFile("a.txt", 0), nullptr) << damaged.what;
        auto intact = backend->OpenFile("b.bin", 0);
        ASSERT_NE(intact, nullptr) << damaged.what;
        EXPECT_EQ(ReadToEnd(*intact).bytes, content_) << damaged.what;
    }
}

TEST_F(DamagedArchive, BrokenEntryDataGivesReadErrors) {
    const uint32_t size = static_cast<uint32_t>(image_.bytes.size());
    const uint32_t deflatedSize = static_cast<uint32_t>(image_.entries[0].dataSize);
    const Damaged cases[] = {
        {"deflate data", [](ZipImage& z) { z.CorruptData(0); }},
        {"deflate data cut short",
         [&](ZipImage& z) { z.SetEntrySizes(0, deflatedSize / 2, 100000); }},
        {"stored data runs past the end", [&](ZipImage& z) { z.SetEntrySizes(1, size, size); }},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto backend = OpenDamaged(cases[i].damage);
        ASSERT_NE(backend, nullptr) << cases[i].what;
        auto file = backend->OpenFile(i < 2 ? "a.txt" : "b.bin", 0);
        ASSERT_NE(file, nullptr) << cases[i].what;
        const ReadResult result = ReadToEnd(*file);
        EXPECT_EQ(result.last, -1) << cases[i].what;
        EXPECT_EQ(file->Error(), 0) << cases[i].what;
        auto other = backend->OpenFile(i < 2 ? "b.bin" : "a.txt", 0);
        ASSERT_NE(other, nullptr) << cases[i].what;
        EXPECT_EQ(ReadToEnd(*other).bytes, content_) << cases[i].what;
    }
}

// Random bytes of the headers and the central directory changed: whatever
// the probe and the backend make of it, they must not crash (the sanitizer
// build checks every access of ours).
TEST_F(DamagedArchive, RandomDamageNeverCrashes) {
    std::mt19937 generator(20240101);
    std::vector<size_t> places;
    for (const auto& entry : image_.entries) {
        for (size_t at = entry.localHeader; at < entry.localHeader + 40; ++at) places.push_back(at);
    }
    for (size_t at = image_.centralDirectory; at < image_.bytes.size(); ++at) places.push_back(at);
    std::uniform_int_distribution<size_t> place(0, places.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> count(1, 4);
    const size_t before = OpenArchives();
    for (int round = 0; round < 300; ++round) {
        const int changes = count(generator);
        std::vector<std::pair<size_t, char>> edits;
        for (int i = 0; i < changes; ++i) {
            edits.emplace_back(places[place(generator)], static_cast<char>(byte(generator)));
        }
        auto backend = OpenDamaged([&](ZipImage& z) {
            for (const auto& [at, value] : edits) z.bytes[at] = value;
        });
        if (backend) ExerciseEverything(*backend);
    }
    EXPECT_EQ(OpenArchives(), before);
}

// The cause noted while `action` ran, as an exported call publishes it;
// KIVFS_OK when nothing was noted.
int CauseOf(const std::function<void()>& action) {
    kivfs::CallScope scope;
    action();
    scope.Fail(KIVFS_OK);
    return kivfs::LastErrorCode();
}

// Unsupported archives and entries (zip64, none, encrypted, other methods)
// are told apart from damaged ones; bytes with no end record are no archive
// and leave the cause to the store probe that follows. A refused archive
// hands its cause back; an entry that fails notes it.
TEST_F(DamagedArchive, RefusalsNoteTheirCause) {
    struct Cause {
        const char* what;
        std::function<void(ZipImage&)> damage;
        const char* entry;  // null: the archive is refused; else this entry fails
        int code;
    };
    const auto none = [](ZipImage&) {};
    const Cause cases[] = {
        {"no archive", [](ZipImage& z) { z.bytes = "PK, but text"; }, nullptr, KIVFS_OK},
        {"no end record", [](ZipImage& z) { z.PutU32(z.endRecord, 0); }, nullptr,
         KIVFS_ERR_CORRUPT},
        {"entries past the directory", [](ZipImage& z) { z.SetEntryCount(4); }, nullptr,
         KIVFS_ERR_CORRUPT},
        {"zip64 locator",
         [](ZipImage& z) { z.bytes.insert(z.endRecord, "PK\x06\x07" + std::string(16, '\0')); },
         nullptr, KIVFS_ERR_UNSUPPORTED},
        {"zip64 directory offset", [](ZipImage& z) { z.SetCentralDirectoryOffset(0xFFFFFFFF); },
         nullptr, KIVFS_ERR_UNSUPPORTED},
        {"no entries", [](ZipImage& z) { z = ZipBuilder().Build(); }, nullptr,
         KIVFS_ERR_UNSUPPORTED},
        {"encrypted", [](ZipImage& z) { z.PutU16(z.entries[0].centralHeader + 8, 1); }, "a.txt",
         KIVFS_ERR_UNSUPPORTED},
        {"other method", [](ZipImage& z) { z.SetEntryMethod(0, 12); }, "a.txt",
         KIVFS_ERR_UNSUPPORTED},
        {"local header", [](ZipImage& z) { z.PutU32(z.entries[0].localHeader, 0); }, "a.txt",
         KIVFS_ERR_CORRUPT},
        {"missing", none, "c.txt", KIVFS_ERR_NOT_FOUND},
        {"CRC-32", [](ZipImage& z) { z.PutU32(z.entries[1].centralHeader + 16, 0); }, "b.bin",
         KIVFS_ERR_CORRUPT},
    };
    for (const Cause& cause : cases) {
        kivfs::OpenedBackend opened;
        const int noted = CauseOf([&] {
            opened = OpenDamagedWithCause(cause.damage);
            if (!cause.entry || !opened.backend) return;
            auto file = opened.backend->OpenFile(cause.entry, 0);
            EXPECT_TRUE(!file || ReadToEnd(*file).last == -1) << cause.what;
        });
        EXPECT_EQ(opened.backend != nullptr, cause.entry != nullptr) << cause.what;
        EXPECT_EQ(cause.entry ? noted : opened.cause, cause.code) << cause.what;
    }
}

}  // namespace
