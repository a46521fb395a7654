// Real directories through the exported calls: listings, the existence
// probes, the refused operations, and names outside ASCII.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/TempDir.h"

using kivfs_test::PathExists;
using kivfs_test::ReadBytes;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;

namespace {

// One listed entry as the three accessors report it.
struct Entry {
    std::string name, fullName;
    bool isDirectory;
    bool operator==(const Entry& o) const {
        return name == o.name && fullName == o.fullName && isDirectory == o.isDirectory;
    }
    friend void PrintTo(const Entry& e, std::ostream* os) {
        *os << e.name << " | " << e.fullName << (e.isDirectory ? " | dir" : "");
    }
};

// Takes over a name the listing handed out; "<none>" when it handed none.
std::string Take(bool ok, char* text) {
    std::string copy = ok && text ? text : "<none>";
    kivfsFreeName(text);
    return copy;
}

std::string NameOf(EnumHandle* e) {
    char* text = nullptr;
    const bool ok = kivfsGetName(e, &text);
    return Take(ok, text);
}

std::string FullNameOf(EnumHandle* e) {
    char* text = nullptr;
    const bool ok = kivfsGetFullName(e, &text);
    return Take(ok, text);
}

// The remaining entries, sorted: the order the system lists them in is its own.
std::vector<Entry> Drain(EnumHandle* e) {
    std::vector<Entry> entries;
    while (kivfsMoveNext(e)) entries.push_back({NameOf(e), FullNameOf(e), kivfsIsDirectory(e)});
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

// Expects that `e` stands on no entry.
void ExpectNoCurrentEntry(EnumHandle* e) {
    char* text = nullptr;
    EXPECT_FALSE(kivfsGetName(e, &text));
    EXPECT_FALSE(kivfsGetFullName(e, &text));
    EXPECT_FALSE(kivfsIsDirectory(e));
    EXPECT_EQ(text, nullptr);
}

class NativeDir : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteBytes(tmp_ / "a.txt", "a");
        std::filesystem::create_directory(tmp_ / "sub");
        WriteBytes(tmp_ / "sub/inner.txt", "inner");
        WriteBytes(tmp_ / "subway.txt", "w");
        dir_ = kivfsOpenDir(tmp_.path().c_str());
        ASSERT_NE(dir_, nullptr);
    }
    void TearDown() override { kivfsCloseDir(dir_); }

    std::vector<Entry> List(const char* name) {
        EnumHandle* e = kivfsCreateEnumIndir(dir_, name);
        if (!e) return {{"<null>", "", false}};
        std::vector<Entry> entries = Drain(e);
        kivfsCloseEnum(e);
        return entries;
    }

    TempDir tmp_;
    DirHandle* dir_ = nullptr;
};

TEST_F(NativeDir, ListsNamesFullNamesAndDirectories) {
    EXPECT_EQ(List(""), (std::vector<Entry>{{"a.txt", "a.txt", false},
                                            {"sub", "sub/", true},
                                            {"subway.txt", "subway.txt", false}}));
    EXPECT_EQ(List("sub/"), (std::vector<Entry>{{"inner.txt", "sub/inner.txt", false}}));
    // Without the trailing "/" the name still lists the folder, not the
    // root's names that begin with it.
    EXPECT_EQ(List("sub"), (std::vector<Entry>{{"inner.txt", "sub/inner.txt", false}}));
    EXPECT_EQ(kivfsCreateEnumIndir(dir_, "a.txt"), nullptr);
    EXPECT_EQ(kivfsCreateEnumIndir(dir_, "missing/"), nullptr);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_NOT_FOUND);

    std::filesystem::create_directory(tmp_ / "empty");
    EXPECT_TRUE(List("empty/").empty());
}

// A link to a directory lists as a directory. (The C++ library of the
// Windows builds makes no links.)
TEST_F(NativeDir, ALinkToADirectoryListsAsOne) {
    std::error_code linkError;
    std::filesystem::create_directory_symlink(tmp_ / "sub", tmp_ / "link", linkError);
    if (linkError) GTEST_SKIP() << "no directory links here: " << linkError.message();
    EXPECT_EQ(List("link/"), (std::vector<Entry>{{"inner.txt", "link/inner.txt", false}}));
    EXPECT_EQ(List("")[1], (Entry{"link", "link/", true}));
}

TEST_F(NativeDir, AccessorsAnswerOnlyOnAnEntryAndResetRestarts) {
    EnumHandle* e = kivfsCreateEnumIndir(dir_, "");
    ASSERT_NE(e, nullptr);
    ExpectNoCurrentEntry(e);
    ASSERT_TRUE(kivfsMoveNext(e));
    const std::string first = NameOf(e);
    EXPECT_FALSE(kivfsGetName(e, nullptr));
    kivfsReset(e);
    ExpectNoCurrentEntry(e);
    ASSERT_TRUE(kivfsMoveNext(e));
    EXPECT_EQ(NameOf(e), first);
    EXPECT_EQ(Drain(e).size(), 2u);
    ExpectNoCurrentEntry(e);
    EXPECT_FALSE(kivfsMoveNext(e));
    // The directory is read as the listing goes: a file made now shows up.
    WriteBytes(tmp_ / "late.txt", "");
    kivfsReset(e);
    EXPECT_EQ(Drain(e).size(), 4u);
    kivfsCloseEnum(e);

    // A directory gone before the first step lists nothing.
    std::filesystem::create_directory(tmp_ / "gone");
    e = kivfsCreateEnumIndir(dir_, "gone/");
    ASSERT_NE(e, nullptr);
    std::filesystem::remove(tmp_ / "gone");
    EXPECT_FALSE(kivfsMoveNext(e));
    kivfsCloseEnum(e);
}

TEST_F(NativeDir, ExistenceIsAskedRelativeToTheRoot) {
    const struct {
        const char* name;
        bool file, directory;
    } cases[] = {{"a.txt", true, false},
                 {"sub/inner.txt", true, false},
                 {"sub", false, true},
                 {"", false, true},
                 {"missing", false, false}};
    for (const auto& c : cases) {
        bool exists = !c.file;
        EXPECT_TRUE(kivfsIsFileExist(dir_, c.name, &exists));
        EXPECT_EQ(exists, c.file) << c.name;
        exists = !c.directory;
        EXPECT_TRUE(kivfsIsDirectoryExist(dir_, c.name, &exists));
        EXPECT_EQ(exists, c.directory) << c.name;
    }
}

TEST_F(NativeDir, ChangingOperationsAreRefusedAndTouchNothing) {
    EXPECT_FALSE(kivfsDeleteFile(dir_, "a.txt"));
    EXPECT_FALSE(kivfsDeleteDirectory(dir_, "sub"));
    EXPECT_FALSE(kivfsRenameFile(dir_, "a.txt", "b.txt"));
    EXPECT_FALSE(kivfsCopyFile(dir_, "a.txt", "c.txt", false));
    EXPECT_FALSE(kivfsMoveFile(dir_, "a.txt", "d.txt", false));
    EXPECT_FALSE(kivfsBeginTrans(dir_));
    EXPECT_FALSE(kivfsCommitTrans(dir_));
    EXPECT_EQ(ReadBytes(tmp_ / "a.txt"), "a");
    EXPECT_TRUE(PathExists(tmp_ / "sub/inner.txt"));
    EXPECT_EQ(List("").size(), 3u);
}

TEST(NativeNames, NamesBeyondAsciiRoundTrip) {
    TempDir tmp;
    const std::string folder = "caf\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC";  // café-日本
    const std::string file = "\xF0\x9D\x84\x9E notes.txt";              // 𝄞 (U+1D11E)
    DirHandle* dir = kivfsOpenDir(tmp.path().c_str());
    ASSERT_NE(dir, nullptr);
    FileHandle* out = kivfsCreateFileIndir(dir, (folder + "/" + file).c_str(), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(kivfsWrite(out, "song", 4), 4);
    kivfsCloseFile(out);
    EXPECT_EQ(ReadBytes(tmp / (folder + "/" + file)), "song");

    EnumHandle* e = kivfsCreateEnumIndir(dir, (folder + "/").c_str());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Drain(e), (std::vector<Entry>{{file, folder + "/" + file, false}}));
    kivfsCloseEnum(e);

    FileHandle* in = kivfsCreateFile((tmp.path() + ":" + folder + "/" + file).c_str(), 0);
    ASSERT_NE(in, nullptr);
    char buffer[8];
    EXPECT_EQ(kivfsRead(in, buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "song");
    kivfsCloseFile(in);
    kivfsCloseDir(dir);
}

}  // namespace
