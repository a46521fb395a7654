// Zip archives as containers, through the exported calls: archives made by
// the test with zlib, opened, tested for names, listed, read and sought.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "kivfs.h"
#include "support/OutsideCut.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using kivfs_test::SampleText;
using kivfs_test::TempDir;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipMethod;

namespace {

// One listed entry as the enumeration calls report it.
struct Listed {
    std::string name;
    std::string fullName;
    bool isDirectory;
    bool operator==(const Listed& other) const {
        return name == other.name && fullName == other.fullName && isDirectory == other.isDirectory;
    }
};

std::ostream& operator<<(std::ostream& out, const Listed& entry) {
    return out << "{" << entry.name << ", " << entry.fullName << ", "
               << (entry.isDirectory ? "dir" : "file") << "}";
}

// Takes over a name text handed out by the library.
std::string TakeName(char* name) {
    std::string text = name ? name : "";
    kivfsFreeName(name);
    return text;
}

// Walks a listing from where it stands to its end.
std::vector<Listed> Drain(EnumHandle* listing) {
    std::vector<Listed> entries;
    while (kivfsMoveNext(listing)) {
        char* name = nullptr;
        char* fullName = nullptr;
        EXPECT_TRUE(kivfsGetName(listing, &name));
        EXPECT_TRUE(kivfsGetFullName(listing, &fullName));
        entries.push_back({TakeName(name), TakeName(fullName), kivfsIsDirectory(listing)});
    }
    return entries;
}

std::string ReadAll(FileHandle* file, int chunk = 4096) {
    std::string content;
    std::string buffer(chunk, '\0');
    int count;
    while ((count = kivfsRead(file, buffer.data(), chunk)) > 0) content.append(buffer, 0, count);
    EXPECT_EQ(count, 0);
    return content;
}

class ZipArchive : public ::testing::Test {
  protected:
    // Writes the archive and opens it as a container.
    DirHandle* Open(const ZipBuilder& builder) {
        builder.WriteTo(path_);
        dir_ = kivfsOpenDir(path_.c_str());
        EXPECT_NE(dir_, nullptr);
        return dir_;
    }

    std::vector<Listed> List(const char* name) {
        EnumHandle* listing = kivfsCreateEnumIndir(dir_, name);
        EXPECT_NE(listing, nullptr);
        std::vector<Listed> entries = Drain(listing);
        kivfsCloseEnum(listing);
        return entries;
    }

    FileHandle* OpenEntry(const char* name, int mode = 0) {
        return kivfsCreateFileIndir(dir_, name, mode);
    }

    std::string ReadEntry(const char* name) {
        FileHandle* file = OpenEntry(name);
        EXPECT_NE(file, nullptr) << name;
        if (!file) return std::string();
        std::string content = ReadAll(file);
        kivfsCloseFile(file);
        return content;
    }

    void TearDown() override { kivfsCloseDir(dir_); }

    TempDir temp_;
    std::string path_ = temp_ / "pack.zip";
    DirHandle* dir_ = nullptr;
};

// Three entries and no directory entries: directories are only implied.
ZipBuilder ImpliedTree() {
    return std::move(ZipBuilder()
                         .AddFile("a.txt", "alpha")
                         .AddFile("docs/readme.txt", "read me")
                         .AddFile("docs/img/x.png", "png", ZipMethod::Stored));
}

TEST_F(ZipArchive, ListsImpliedDirectoriesOnceAtTheirFirstEntry) {
    Open(ImpliedTree().AddFile("docs/img/y.png", "y").AddFile("b.txt", "b"));
    EXPECT_EQ(List(""),
              (std::vector<Listed>{
                  {"a.txt", "a.txt", false}, {"docs/", "docs/", true}, {"b.txt", "b.txt", false}}));
    EXPECT_EQ(List("docs/"), (std::vector<Listed>{{"readme.txt", "docs/readme.txt", false},
                                                  {"img/", "docs/img/", true}}));
    EXPECT_EQ(List("docs/img/"), (std::vector<Listed>{{"x.png", "docs/img/x.png", false},
                                                      {"y.png", "docs/img/y.png", false}}));
}

TEST_F(ZipArchive, ListingPrefixIsCaseSensitiveAndAlwaysAFolder) {
    Open(ImpliedTree().AddFile("docs2.txt", "2"));
    EXPECT_TRUE(List("Docs/").empty());
    EXPECT_TRUE(List("nothing/").empty());
    EXPECT_TRUE(List("a.txt").empty());
    // Without its "/" the text names the folder all the same: neither an
    // entry "/" for the folder itself nor docs2.txt, which only begins
    // with its name.
    EXPECT_EQ(List("docs"), (std::vector<Listed>{{"readme.txt", "docs/readme.txt", false},
                                                 {"img/", "docs/img/", true}}));
}

// A ZipFs lists its first directory by a pass of its own and later ones from
// listings of every directory made once: both give the same entries in the
// same order, also for directories revealed late, deep or by odd names.
TEST_F(ZipArchive, FirstAndLaterListingsAgreeOnNestedAndOddNames) {
    ZipBuilder builder;
    for (const char* name : {"a/b/c.txt", "x.txt", "a/", "a/d/", "a/b/e.txt", "top/deep/er/f",
                             "a/b2.txt", "a/x", "a/x/", "a//odd", "/lead", "a/b/", "top/"}) {
        builder.AddFile(name, name);
    }
    builder.WriteTo(path_);
    const std::vector<std::pair<const char*, std::vector<Listed>>> expected = {
        {"",
         {{"a/", "a/", true}, {"x.txt", "x.txt", false}, {"top/", "top/", true}, {"/", "/", true}}},
        {"a/",
         {{"b/", "a/b/", true},
          {"d/", "a/d/", true},
          {"b2.txt", "a/b2.txt", false},
          {"x", "a/x", false},
          {"x/", "a/x/", true},
          {"/", "a//", true}}},
        {"a/b/", {{"c.txt", "a/b/c.txt", false}, {"e.txt", "a/b/e.txt", false}}},
        {"a//", {{"odd", "a//odd", false}}},
        {"/", {{"lead", "/lead", false}}},
        {"top/deep/", {{"er/", "top/deep/er/", true}}},
        {"a/d/", {}},
        {"a/b/c.txt/", {}},
        {"a/b", {{"c.txt", "a/b/c.txt", false}, {"e.txt", "a/b/e.txt", false}}}};
    for (const auto& [first, firstEntries] : expected) {
        dir_ = kivfsOpenDir(path_.c_str());
        ASSERT_NE(dir_, nullptr);
        EXPECT_EQ(List(first), firstEntries) << first;
        for (const auto& [name, entries] : expected) EXPECT_EQ(List(name), entries) << name;
        kivfsCloseDir(dir_);
        dir_ = nullptr;
    }
}

TEST_F(ZipArchive, ExplicitDirectoryEntriesExistAndAreNotListedInThemselves) {
    Open(ZipBuilder()
             .AddDirectory("docs/")
             .AddFile("docs/readme.txt", "r")
             .AddDirectory("docs/sub"));
    EXPECT_EQ(List(""), (std::vector<Listed>{{"docs/", "docs/", true}}));
    EXPECT_EQ(List("docs/"), (std::vector<Listed>{{"readme.txt", "docs/readme.txt", false},
                                                  {"sub/", "docs/sub/", true}}));
    for (const char* name : {"docs", "DOCS", "docs/", "Docs/Sub"}) {
        bool exists = false;
        EXPECT_TRUE(kivfsIsDirectoryExist(dir_, name, &exists));
        EXPECT_TRUE(exists) << name;
    }
}

TEST_F(ZipArchive, DuplicateNamesAreBothListed) {
    Open(ZipBuilder().AddFile("twice.txt", "first").AddFile("twice.txt", "second"));
    EXPECT_EQ(List(""), (std::vector<Listed>{{"twice.txt", "twice.txt", false},
                                             {"twice.txt", "twice.txt", false}}));
    EXPECT_EQ(ReadEntry("twice.txt"), "first");
}

TEST_F(ZipArchive, ListingStandsOnAnEmptyPlaceholderBeforeItsFirstEntry) {
    Open(ImpliedTree());
    EnumHandle* listing = kivfsCreateEnumIndir(dir_, "docs/");
    ASSERT_NE(listing, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        char* name = nullptr;
        char* fullName = nullptr;
        EXPECT_TRUE(kivfsGetName(listing, &name));
        EXPECT_TRUE(kivfsGetFullName(listing, &fullName));
        EXPECT_EQ(TakeName(name), "");
        EXPECT_EQ(TakeName(fullName), "docs/");
        EXPECT_FALSE(kivfsIsDirectory(listing));
        EXPECT_EQ(Drain(listing).size(), 2u);
        // At the end: no name, nothing allocated, and MoveNext stays false.
        name = nullptr;
        EXPECT_FALSE(kivfsGetName(listing, &name));
        EXPECT_FALSE(kivfsGetFullName(listing, &name));
        EXPECT_EQ(name, nullptr);
        EXPECT_FALSE(kivfsIsDirectory(listing));
        EXPECT_FALSE(kivfsMoveNext(listing));
        kivfsReset(listing);
    }
    EXPECT_FALSE(kivfsGetName(listing, nullptr));
    kivfsCloseEnum(listing);
}

TEST_F(ZipArchive, ExistenceIgnoresCaseAndOnlyExplicitDirectoriesExist) {
    // A stored backslash is a "/" (BackslashesInStoredNamesAreSlashes).
    Open(ImpliedTree().AddFile("Win\\Path.txt", "w"));
    EXPECT_EQ(ReadEntry("win/path.TXT"), "w");
    bool exists = false;
    EXPECT_TRUE(kivfsIsFileExist(dir_, "A.TXT", &exists));
    EXPECT_TRUE(exists);
    exists = false;
    EXPECT_TRUE(kivfsIsFileExist(dir_, "Docs/Img/X.PNG", &exists));
    EXPECT_TRUE(exists);
    // A miss answers true and leaves the caller's value as it was.
    for (bool preset : {false, true}) {
        for (const char* name : {"missing.txt", "docs", "docs/", ""}) {
            exists = preset;
            EXPECT_TRUE(kivfsIsFileExist(dir_, name, &exists));
            EXPECT_EQ(exists, preset) << name;
        }
        for (const char* name : {"docs", "docs/", "", "a.txt"}) {
            exists = preset;
            EXPECT_TRUE(kivfsIsDirectoryExist(dir_, name, &exists));
            EXPECT_EQ(exists, preset) << name;
        }
    }
}

// Archives made by some Windows tools store 'dir\c.txt': existence, opens
// and listings all take the "\" as "/".
TEST_F(ZipArchive, BackslashesInStoredNamesAreSlashes) {
    Open(ZipBuilder().AddFile("dir\\c.txt", "c"));
    bool exists = false;
    EXPECT_TRUE(kivfsIsFileExist(dir_, "dir/c.txt", &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(ReadEntry("dir/c.txt"), "c");
    EXPECT_EQ(List(""), (std::vector<Listed>{{"dir/", "dir/", true}}));
    EXPECT_EQ(List("dir/"), (std::vector<Listed>{{"c.txt", "dir/c.txt", false}}));
}

TEST_F(ZipArchive, RootDirectoryExistsOnlyWithAnEntryNamedSlash) {
    Open(ZipBuilder().AddDirectory("/").AddFile("a.txt", "a"));
    bool exists = false;
    EXPECT_TRUE(kivfsIsDirectoryExist(dir_, "", &exists));
    EXPECT_TRUE(exists);
}

TEST_F(ZipArchive, StoredAndDeflatedEntriesReadTheSameBytes) {
    const std::string content = SampleText(200000);
    Open(ZipBuilder()
             .AddFile("stored.txt", content, ZipMethod::Stored)
             .AddFile("deflated.txt", content, ZipMethod::Deflated));
    for (const char* name : {"stored.txt", "deflated.txt"}) {
        FileHandle* file = OpenEntry(name);
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(kivfsError(file));
        EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
        EXPECT_EQ(ReadAll(file, 7000), content) << name;
        EXPECT_EQ(kivfsTell(file), static_cast<int>(content.size()));
        EXPECT_TRUE(kivfsError(file));
        char byte;
        EXPECT_EQ(kivfsRead(file, &byte, 1), 0);
        kivfsCloseFile(file);
    }
}

// Names that differ only in case are legal and common ('readme.txt' and
// 'README.TXT' in one archive): an exact match wins, and only without one
// the first case-insensitive match in the archive's order is taken.
TEST_F(ZipArchive, OpensTheExactNameElseTheFirstMatchWithoutCase) {
    Open(ZipBuilder()
             .AddFile("Dir\\Mixed.TXT", "backslash")
             .AddFile("Same.txt", "first")
             .AddFile("same.TXT", "second")
             .AddFile("same.txt", "third")
             .AddFile("same.txt", "fourth"));
    // The first open and the later ones find their entries differently; each
    // must take the same entry.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(ReadEntry("same.txt"), "third");
        EXPECT_EQ(ReadEntry("same.TXT"), "second");
        EXPECT_EQ(ReadEntry("Same.txt"), "first");
        EXPECT_EQ(ReadEntry("SAME.TXT"), "first");
        EXPECT_EQ(ReadEntry("dir/mixed.txt"), "backslash");
        EXPECT_EQ(OpenEntry("sam.txt"), nullptr);
        EXPECT_EQ(OpenEntry("same.txt2"), nullptr);
    }
    kivfsCloseDir(dir_);
    // An exact twin after the first case-insensitive match, opened first.
    Open(ZipBuilder().AddFile("README.TXT", "upper").AddFile("readme.txt", "lower"));
    EXPECT_EQ(ReadEntry("readme.txt"), "lower");
    EXPECT_EQ(ReadEntry("README.TXT"), "upper");
    EXPECT_EQ(ReadEntry("ReadMe.txt"), "upper");
}

TEST_F(ZipArchive, WritingModesOpenExistingEntriesForReadingOnly) {
    Open(ImpliedTree());
    const std::string before = kivfs_test::ReadBytes(path_);
    FileHandle* file = OpenEntry("a.txt", 4);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "xyz", 3), 0);
    EXPECT_FALSE(kivfsResize(file, 1));
    EXPECT_EQ(ReadAll(file), "alpha");
    kivfsCloseFile(file);
    EXPECT_EQ(OpenEntry("new.txt", 1), nullptr);
    EXPECT_FALSE(kivfsDeleteFile(dir_, "a.txt"));
    EXPECT_FALSE(kivfsDeleteDirectory(dir_, "docs"));
    EXPECT_FALSE(kivfsRenameFile(dir_, "a.txt", "b.txt"));
    EXPECT_FALSE(kivfsCopyFile(dir_, "a.txt", "b.txt", false));
    EXPECT_FALSE(kivfsMoveFile(dir_, "a.txt", "b.txt", false));
    EXPECT_FALSE(kivfsBeginTrans(dir_));
    EXPECT_FALSE(kivfsCommitTrans(dir_));
    EXPECT_EQ(kivfs_test::ReadBytes(path_), before);
}

TEST_F(ZipArchive, SeeksWithinTheEntryAndRefusesOutsideIt) {
    const std::string content = SampleText(100000, 7);
    const int size = static_cast<int>(content.size());
    Open(ZipBuilder()
             .AddFile("stored.txt", content, ZipMethod::Stored)
             .AddFile("deflated.txt", content, ZipMethod::Deflated));
    for (const char* name : {"stored.txt", "deflated.txt"}) {
        SCOPED_TRACE(name);
        FileHandle* file = OpenEntry(name);
        ASSERT_NE(file, nullptr);
        std::string buffer(1000, '\0');
        EXPECT_EQ(kivfsSeek(file, 0, 2), size);
        EXPECT_TRUE(kivfsError(file));
        EXPECT_EQ(kivfsSeek(file, -1000, 1), size - 1000);
        EXPECT_EQ(kivfsRead(file, buffer.data(), 1000), 1000);
        EXPECT_EQ(buffer, content.substr(size - 1000));
        // Past the end: refused, the offset stays.
        EXPECT_EQ(kivfsSeek(file, 1, 2), -1);
        EXPECT_EQ(kivfsTell(file), size);
        // Back to a middle offset, then forward from there.
        EXPECT_EQ(kivfsSeek(file, 50000, 0), 50000);
        EXPECT_EQ(kivfsSeek(file, 12345, 1), 62345);
        EXPECT_EQ(kivfsRead(file, buffer.data(), 1000), 1000);
        EXPECT_EQ(buffer, content.substr(62345, 1000));
        // Before the start: refused, and the entry is then at its start.
        EXPECT_EQ(kivfsSeek(file, -1, 0), -1);
        EXPECT_EQ(kivfsTell(file), 0);
        EXPECT_EQ(kivfsRead(file, buffer.data(), 1000), 1000);
        EXPECT_EQ(buffer, content.substr(0, 1000));
        EXPECT_EQ(kivfsSeek(file, 0, 0), 0);
        EXPECT_EQ(ReadAll(file), content);
        EXPECT_EQ(kivfsSeek(file, 0, 7), -1);
        kivfsCloseFile(file);
    }
}

TEST_F(ZipArchive, EntriesOfOneArchiveReadAlternately) {
    const std::string first = SampleText(60000, 1);
    const std::string second = SampleText(50000, 2);
    const std::string third = SampleText(40000, 3);
    Open(ZipBuilder()
             .AddFile("one.txt", first, ZipMethod::Deflated)
             .AddFile("two.txt", second, ZipMethod::Stored)
             .AddFile("three.txt", third, ZipMethod::Deflated));
    FileHandle* files[] = {OpenEntry("one.txt"), OpenEntry("two.txt"), OpenEntry("three.txt")};
    const std::string* expected[] = {&first, &second, &third};
    std::string read[3];
    char buffer[7];
    for (bool progress = true; progress;) {
        progress = false;
        for (int i = 0; i < 3; ++i) {
            const int count = kivfsRead(files[i], buffer, sizeof buffer);
            ASSERT_GE(count, 0);
            read[i].append(buffer, count);
            progress |= count > 0;
        }
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read[i], *expected[i]) << i;
        // Seeking one stream back and reading it between the others' reads.
        EXPECT_EQ(kivfsSeek(files[i], 100, 0), 100);
        ASSERT_EQ(kivfsRead(files[i], buffer, sizeof buffer), 7);
        EXPECT_EQ(std::string(buffer, 7), expected[i]->substr(100, 7));
    }
    for (FileHandle* file : files) kivfsCloseFile(file);
}

// Reads of 64 KiB or more of a stored entry come straight from the archive
// file, smaller ones from the entry's stream: two stored entries read
// alternately in pieces of both sizes, with seeks between them, must give
// the bytes, offsets and end that one route alone gives.
TEST_F(ZipArchive, LargeAndSmallReadsOfStoredEntriesInterleave) {
    const std::string first = SampleText(300000, 7);
    const std::string second = SampleText(200001, 8);
    Open(ZipBuilder()
             .AddFile("one.bin", first, ZipMethod::Stored)
             .AddFile("two.bin", second, ZipMethod::Stored));
    FileHandle* files[] = {OpenEntry("one.bin"), OpenEntry("two.bin")};
    const std::string* expected[] = {&first, &second};
    std::string read[2];
    std::string buffer(100000, '\0');
    const int pieces[] = {1000, 100000, 70000, 65536, 3};
    for (int step = 0, progress = 2; progress > 0; ++step) {
        progress = 0;
        for (int i = 0; i < 2; ++i) {
            const int count = kivfsRead(files[i], buffer.data(), pieces[(step + i) % 5]);
            ASSERT_GE(count, 0);
            read[i].append(buffer, 0, count);
            EXPECT_EQ(kivfsTell(files[i]), static_cast<int>(read[i].size()));
            progress += count > 0;
        }
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(read[i] == *expected[i]) << i;
        EXPECT_TRUE(kivfsError(files[i]));
        EXPECT_EQ(kivfsRead(files[i], buffer.data(), 65536), 0);
        // Back into the middle, then a large read across the end.
        EXPECT_EQ(kivfsSeek(files[i], -70000, 2), static_cast<int>(expected[i]->size()) - 70000);
        EXPECT_FALSE(kivfsError(files[i]));
        ASSERT_EQ(kivfsRead(files[i], buffer.data(), 100000), 70000);
        EXPECT_TRUE(buffer.compare(0, 70000, *expected[i], expected[i]->size() - 70000, 70000) ==
                    0);
        EXPECT_EQ(kivfsTell(files[i]), static_cast<int>(expected[i]->size()));
    }
    for (FileHandle* file : files) kivfsCloseFile(file);
}

TEST_F(ZipArchive, EmptyEntryIsAtItsEndAtOnce) {
    Open(ZipBuilder().AddFile("empty.txt", "", ZipMethod::Stored).AddFile("empty.z", ""));
    for (const char* name : {"empty.txt", "empty.z"}) {
        FileHandle* file = OpenEntry(name);
        ASSERT_NE(file, nullptr);
        char byte;
        EXPECT_TRUE(kivfsError(file));
        EXPECT_EQ(kivfsRead(file, &byte, 1), 0);
        EXPECT_EQ(kivfsTell(file), 0);
        EXPECT_EQ(kivfsSeek(file, 0, 2), 0);
        kivfsCloseFile(file);
    }
}

TEST_F(ZipArchive, FilesAndListingsOutliveTheirContainer) {
    const std::string content = SampleText(80000);
    Open(ImpliedTree().AddFile("big.txt", content));
    FileHandle* file = OpenEntry("BIG.txt");
    ASSERT_NE(file, nullptr);
    EnumHandle* listing = kivfsCreateEnumIndir(dir_, "docs/");
    kivfsCloseDir(dir_);
    dir_ = nullptr;
    EXPECT_EQ(ReadAll(file), content);
    EXPECT_EQ(kivfsSeek(file, 10, 0), 10);
    kivfsCloseFile(file);
    EXPECT_EQ(Drain(listing).size(), 2u);
    kivfsCloseEnum(listing);
}

TEST_F(ZipArchive, FullPathsNameEntriesInsideTheArchive) {
    ImpliedTree().WriteTo(path_);
    std::string windowsPath = path_ + ":Docs\\README.txt";
    FileHandle* file = kivfsCreateFile(windowsPath.c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "read me");
    kivfsCloseFile(file);
    EnumHandle* listing = kivfsCreateEnum((path_ + ":docs/").c_str());
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(Drain(listing), (std::vector<Listed>{{"readme.txt", "docs/readme.txt", false},
                                                   {"img/", "docs/img/", true}}));
    kivfsCloseEnum(listing);
    EXPECT_EQ(kivfsCreateFile((path_ + ":missing.txt").c_str(), 0), nullptr);
}

#ifdef _WIN32
// On Windows no other writer can cut short an archive while anything of it
// is open: the archive file is opened sharing reads only (and a mapped file
// cannot shrink). The cut fails, the archive keeps its size, and the open
// entries go on reading their own bytes. Once the last entry is closed the
// archive is no longer held (no handle or view is left), and the cut goes
// through.
TEST_F(ZipArchive, ArchiveCannotBeCutShortWhileAnEntryIsOpen) {
    const std::string content = SampleText(1 << 20, 5);
    const std::string more = content + SampleText(1 << 20, 6);
    Open(ZipBuilder()
             .AddFile("stored.bin", content, ZipMethod::Stored)
             .SetDeflateLevel(1)
             .AddFile("deflated.txt", more));
    FileHandle* stored = OpenEntry("stored.bin");
    FileHandle* deflated = OpenEntry("deflated.txt");
    ASSERT_NE(stored, nullptr);
    ASSERT_NE(deflated, nullptr);
    std::string buffer(4096, '\0');
    ASSERT_EQ(kivfsRead(stored, buffer.data(), 4096), 4096);
    ASSERT_EQ(kivfsRead(deflated, buffer.data(), 4096), 4096);
    // The entries keep the archive open after its container is closed.
    kivfsCloseDir(dir_);
    dir_ = nullptr;
    const auto size = std::filesystem::file_size(path_);
    std::error_code cut;
    std::filesystem::resize_file(path_, 65536, cut);
    EXPECT_TRUE(cut) << "another writer cut the archive short";
    EXPECT_EQ(std::filesystem::file_size(path_), size);
    EXPECT_EQ(kivfsSeek(stored, 100000, 0), 100000);
    EXPECT_EQ(ReadAll(stored, 65536), content.substr(100000));
    kivfsCloseFile(stored);
    std::filesystem::resize_file(path_, 65536, cut);
    EXPECT_TRUE(cut) << "cut short under the deflated entry";
    EXPECT_EQ(ReadAll(deflated, 65536), more.substr(4096));
    kivfsCloseFile(deflated);
    std::filesystem::resize_file(path_, 65536, cut);
    EXPECT_FALSE(cut) << "the archive is still held: " << cut.message();
    EXPECT_EQ(std::filesystem::file_size(path_), 65536u);
}
#endif

// Another program cuts the archive short while entries are open (on Windows
// only Wine's host can): reads from the missing part fail, the position
// stays, and the process lives.
TEST_F(ZipArchive, ArchiveCutShortUnderAnOpenEntryGivesReadErrors) {
    const std::string content = SampleText(1 << 20, 5);
    Open(ZipBuilder()
             .AddFile("stored.bin", content, ZipMethod::Stored)
             .SetDeflateLevel(1)
             .AddFile("deflated.txt", content + SampleText(1 << 20, 6)));
    FileHandle* stored = OpenEntry("stored.bin");
    FileHandle* deflated = OpenEntry("deflated.txt");
    ASSERT_NE(stored, nullptr);
    ASSERT_NE(deflated, nullptr);
    std::string buffer(65536, '\0');
    ASSERT_EQ(kivfsRead(stored, buffer.data(), 4096), 4096);
    ASSERT_EQ(kivfsRead(deflated, buffer.data(), 4096), 4096);
    // Another writer cuts the archive to its first 64 KiB.
    const std::string why = kivfs_test::CutFromOutside(path_, 65536);
    if (!why.empty()) {
        kivfsCloseFile(stored);
        kivfsCloseFile(deflated);
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(kivfsSeek(stored, 100000, 0), 100000);
    EXPECT_EQ(kivfsRead(stored, buffer.data(), 65536), -1);
    EXPECT_EQ(kivfsTell(stored), 100000);
    EXPECT_EQ(kivfsRead(stored, buffer.data(), 65536), -1);
    int count;
    int reads = 0;
    while ((count = kivfsRead(deflated, buffer.data(), 65536)) > 0) ++reads;
    EXPECT_EQ(count, -1);
    EXPECT_LT(reads, 4);
    kivfsCloseFile(stored);
    kivfsCloseFile(deflated);
}

}  // namespace
