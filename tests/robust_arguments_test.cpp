// Hostile arguments through every export: null, empty, 64 KiB long and
// non-UTF-8 texts, texts full of "\", ":" and "..", null out-pointers and
// buffers, negative and extreme counts, offsets, origins, modes and sizes.
// Each call gives its failure value or does what it promises, and nothing
// crashes or leaks (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/ChildProcess.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"
#include "support/ZipBackend.h"
#include "support/ZipBuilder.h"

using kivfs_test::PathExists;
using kivfs_test::ScopedMount;
using kivfs_test::TempDir;

namespace {

constexpr size_t kLong = 64 * 1024;

// A hostile text: `text` unset stands for a null pointer.
struct Hostile {
    const char* label;
    std::optional<std::string> text;
    const char* c_str() const { return text ? text->c_str() : nullptr; }
};

std::vector<Hostile> HostileTexts() {
    std::string climbing;
    while (climbing.size() < kLong) climbing += "../";
    return {
        {"null", std::nullopt},
        {"empty", std::string()},
        {"long", std::string(kLong, 'n')},
        {"long colons", std::string(kLong, ':')},
        {"long climb", climbing},
        {"not UTF-8", std::string("\xff\xfe\xc3\x28\xed\xa0\x80\xc0\xaf", 9)},
        {"backslashes", "a\\b\\\\c\\"},
        {"colons", "a:b::c:"},
        {"lone colon", ":"},
        {"dots", ".."},
        {"dots inside", "a/../../b/./c"},
        {"separators only", "\\/\\/"},
        {"wildcards and quotes", "%_*?'\"<>|"},
        {"control bytes", "\x01\x02\t\n\x7f"},
    };
}

// Drives every container and file call with `text` in each text position of
// `dir`; the assertions hold for any backend.
void CallContainerWith(DirHandle* dir, const Hostile& hostile) {
    SCOPED_TRACE(hostile.label);
    const char* text = hostile.c_str();
    const bool given = text != nullptr;
    bool exists = false;
    EXPECT_FALSE(kivfsIsFileExist(dir, text, nullptr));
    EXPECT_FALSE(kivfsIsDirectoryExist(dir, text, nullptr));
    if (!given) {
        EXPECT_FALSE(kivfsIsFileExist(dir, text, &exists));
        EXPECT_FALSE(kivfsIsDirectoryExist(dir, text, &exists));
        EXPECT_FALSE(kivfsDeleteFile(dir, text));
        EXPECT_FALSE(kivfsDeleteDirectory(dir, text));
    } else {
        kivfsIsFileExist(dir, text, &exists);
        kivfsIsDirectoryExist(dir, text, &exists);
    }
    EXPECT_FALSE(kivfsRenameFile(dir, text, nullptr));
    EXPECT_FALSE(kivfsRenameFile(dir, nullptr, text));
    EXPECT_FALSE(kivfsCopyFile(dir, text, nullptr, false));
    EXPECT_FALSE(kivfsCopyFile(dir, nullptr, text, false));
    EXPECT_FALSE(kivfsMoveFile(dir, text, nullptr, false));
    EXPECT_FALSE(kivfsMoveFile(dir, nullptr, text, true));
    // Nothing is stored under these names, so nothing can be copied from them.
    EXPECT_FALSE(kivfsCopyFile(dir, text, "copy", true));
    EXPECT_FALSE(kivfsMoveFile(dir, text, "moved", true));

    for (int mode : {0, 1, 3, -1, 6, INT_MIN, INT_MAX}) {
        FileHandle* file = kivfsCreateFileIndir(dir, text, mode);
        if (!given || text[0] == '\0') {
            EXPECT_EQ(file, nullptr);
        }
        kivfsCloseFile(file);
    }
    EnumHandle* listing = kivfsCreateEnumIndir(dir, text);
    if (!given) {
        EXPECT_EQ(listing, nullptr);
    }
    for (int entries = 0; listing && entries < 1000 && kivfsMoveNext(listing); ++entries) {
        char* name = nullptr;
        EXPECT_TRUE(kivfsGetName(listing, &name));
        kivfsFreeName(name);
        EXPECT_FALSE(kivfsGetName(listing, nullptr));
        EXPECT_FALSE(kivfsGetFullName(listing, nullptr));
    }
    kivfsCloseEnum(listing);
}

// Every file call with null buffers, non-positive lengths, extreme offsets,
// unknown origins and sizes no file can have.
void CallFileWithHostileNumbers(FileHandle* file) {
    char buffer[8] = {};
    EXPECT_EQ(kivfsRead(file, nullptr, 8), 0);
    EXPECT_EQ(kivfsWrite(file, nullptr, 8), 0);
    for (int length : {0, -1, INT_MIN}) {
        EXPECT_EQ(kivfsRead(file, buffer, length), 0);
        EXPECT_EQ(kivfsWrite(file, buffer, length), 0);
    }
    for (int origin : {0, 1, 2, -1, 3, INT_MAX}) {
        for (int offset : {INT_MIN, -1, INT_MAX}) {
            const int result = kivfsSeek(file, offset, origin);
            EXPECT_GE(result, -1);
            EXPECT_LE(result, 4) << "offset " << offset << " origin " << origin;
        }
    }
    kivfsTell(file);
    kivfsError(file);
}

// Relative texts name things in the current folder, and the storage probe
// creates a store for a container text that names nothing: the tests run in
// their temporary folder, so that whatever the calls make stays there.
class HostileArguments : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::current_path(tmp_.path()); }
    void TearDown() override { std::filesystem::current_path(previous_); }

    const std::filesystem::path previous_ = std::filesystem::current_path();
    TempDir tmp_;
};

TEST_F(HostileArguments, NativeContainer) {
    ASSERT_EQ(kivFSCreateDirectory((tmp_ / "box").c_str()), 1);
    DirHandle* dir = kivfsOpenDir((tmp_ / "box").c_str());
    ASSERT_NE(dir, nullptr);
    for (const Hostile& hostile : HostileTexts()) CallContainerWith(dir, hostile);
    EXPECT_FALSE(kivfsBeginTrans(dir));
    EXPECT_FALSE(kivfsCommitTrans(dir));

    FileHandle* file = kivfsCreateFileIndir(dir, "f.bin", 4);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(kivfsWrite(file, "abcd", 4), 4);
    CallFileWithHostileNumbers(file);
    EXPECT_FALSE(kivfsResize(file, UINT_MAX));
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
    EXPECT_FALSE(PathExists(tmp_ / "copy"));
    EXPECT_FALSE(PathExists(tmp_ / "box/copy"));
}

TEST_F(HostileArguments, StoreContainer) {
    DirHandle* dir = kivfsOpenDir((tmp_ / "store.db").c_str());
    ASSERT_NE(dir, nullptr);
    for (const Hostile& hostile : HostileTexts()) CallContainerWith(dir, hostile);
    FileHandle* file = kivfsCreateFileIndir(dir, "f.bin", 4);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(kivfsWrite(file, "abcd", 4), 4);
    CallFileWithHostileNumbers(file);
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
}

TEST_F(HostileArguments, ZipContainer) {
    KIVFS_REQUIRE_ZIP_BACKEND();
    kivfs_test::ZipBuilder()
        .AddFile("f.bin", "abcd")
        .AddFile("docs/a.txt", "text")
        .AddDirectory("docs")
        .WriteTo(tmp_ / "pack.zip");
    DirHandle* dir = kivfsOpenDir((tmp_ / "pack.zip").c_str());
    ASSERT_NE(dir, nullptr);
    for (const Hostile& hostile : HostileTexts()) CallContainerWith(dir, hostile);
    EXPECT_FALSE(kivfsBeginTrans(dir));
    FileHandle* file = kivfsCreateFileIndir(dir, "F.BIN", 4);
    ASSERT_NE(file, nullptr);
    CallFileWithHostileNumbers(file);
    EXPECT_FALSE(kivfsResize(file, UINT_MAX));
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
}

// In a store a name is only a key: any bytes, any length, are stored, found
// and listed exactly as given (apart from "\" read as "/").
TEST_F(HostileArguments, StoreKeepsAnyNameAsItsKey) {
    DirHandle* dir = kivfsOpenDir((tmp_ / "store.db").c_str());
    ASSERT_NE(dir, nullptr);
    for (const Hostile& hostile : HostileTexts()) {
        if (!hostile.text || hostile.text->empty()) continue;
        SCOPED_TRACE(hostile.label);
        const char* name = hostile.c_str();
        FileHandle* file = kivfsCreateFileIndir(dir, name, 1);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(kivfsWrite(file, hostile.label, 5), 5);
        kivfsCloseFile(file);
        bool exists = false;
        ASSERT_TRUE(kivfsIsFileExist(dir, name, &exists));
        EXPECT_TRUE(exists);
        char buffer[8] = {};
        file = kivfsCreateFileIndir(dir, name, 0);
        EXPECT_EQ(kivfsRead(file, buffer, 8), 5);
        EXPECT_EQ(std::string(buffer, 5), std::string(hostile.label, 5));
        kivfsCloseFile(file);
        EXPECT_TRUE(kivfsDeleteFile(dir, name));
        ASSERT_TRUE(kivfsIsFileExist(dir, name, &exists));
        EXPECT_FALSE(exists);
    }
    kivfsCloseDir(dir);
}

// Sizes beyond what a store can hold are refused at once, without first
// building a value of that size in memory (up to 4 GiB for one call): a child
// process makes the calls and measures how much its memory grew.
TEST_F(HostileArguments, StoreRefusesSizesItCannotHold) {
    const std::string db = tmp_ / "store.db";
    kivfs_test::ChildProcess child([&] {
        DirHandle* dir = kivfsOpenDir(db.c_str());
        FileHandle* file = kivfsCreateFileIndir(dir, "f", 1);
        FileHandle* fresh = kivfsCreateFileIndir(dir, "g", 1);
        const long before = kivfs_test::PeakResidentKiB();
        bool refused = kivfsWrite(file, "abcd", 4) == 4;
        for (unsigned size : {UINT_MAX, 0x80000000u, static_cast<unsigned>(INT_MAX), 1500000000u}) {
            refused = refused && !kivfsResize(file, size) && kivfsSeek(file, 0, 2) == 4 &&
                      !kivfsResize(fresh, size);
        }
        const long grown = kivfs_test::PeakResidentKiB() - before;
        kivfsCloseFile(fresh);
        kivfsCloseFile(file);
        kivfsCloseDir(dir);
        if (!refused) return 1;
        return grown < 256 * 1024 ? 0 : 2;
    });
    const kivfs_test::ChildEnd end = child.Wait();
    EXPECT_EQ(end.exitCode, 0) << "1: a size was not refused, 2: the refusal cost memory";
    DirHandle* dir = kivfsOpenDir(db.c_str());
    bool exists = true;
    ASSERT_TRUE(kivfsIsFileExist(dir, "g", &exists));
    EXPECT_FALSE(exists);
    kivfsCloseDir(dir);
}

TEST_F(HostileArguments, FullPathOpens) {
    ASSERT_EQ(kivFSCreateDirectory((tmp_ / "box").c_str()), 1);
    for (const Hostile& hostile : HostileTexts()) {
        SCOPED_TRACE(hostile.label);
        const std::string inBox = tmp_ / "box:" + hostile.text.value_or("");
        for (const char* path : {hostile.c_str(), inBox.c_str()}) {
            if (!path) {
                EXPECT_EQ(kivfsOpenDir(path), nullptr);
                EXPECT_EQ(kivfsCreateFile(path, 0), nullptr);
                EXPECT_EQ(kivfsCreateEnum(path), nullptr);
                continue;
            }
            kivfsCloseDir(kivfsOpenDir(path));
            kivfsCloseFile(kivfsCreateFile(path, 0));
            EnumHandle* listing = kivfsCreateEnum(path);
            while (listing && kivfsMoveNext(listing)) {
            }
            kivfsCloseEnum(listing);
        }
    }
}

// The host bridge's callbacks take the same hostile numbers as the file
// calls, on a real file and on a stored one.
TEST_F(HostileArguments, StubCallbacks) {
    kivfs_test::WriteBytes(tmp_ / "s.bin", "abcd");
    ScopedMount app("app:", tmp_.path());
    ScopedMount store("db:", tmp_ / "store.db");
    for (const char* path : {"s.bin", "db:s.bin"}) {
        SCOPED_TRACE(path);
        StubOps* ops = kivFSCreateStub(path, 3);
        ASSERT_NE(ops, nullptr);
        char buffer[8] = {};
        EXPECT_EQ(ops->writeFn(ops->file, "abcd", 4), 4);
        EXPECT_EQ(ops->readFn(ops->file, nullptr, 8), 0);
        EXPECT_EQ(ops->writeFn(ops->file, nullptr, 8), 0);
        for (int length : {0, -1, INT_MIN}) {
            EXPECT_EQ(ops->readFn(ops->file, buffer, length), 0);
            EXPECT_EQ(ops->writeFn(ops->file, buffer, length), 0);
        }
        for (int origin : {-1, 3, INT_MAX}) {
            EXPECT_LE(ops->seekFn(ops->file, INT_MIN, origin), 4);
        }
        ops->tellFn(ops->file);
        ops->errorFn(ops->file);
        EXPECT_EQ(ops->readFn(nullptr, buffer, 8), 0);
        EXPECT_EQ(ops->seekFn(nullptr, 0, 0), -1);
        kivFSDeleteStub(ops);
    }
}

TEST_F(HostileArguments, MountsTranslationAndDirectories) {
    for (const Hostile& hostile : HostileTexts()) {
        SCOPED_TRACE(hostile.label);
        const char* text = hostile.c_str();
        const bool blank = !text || !*text;
        {
            // The hostile text as a mount name, on a real directory.
            ScopedMount mount(hostile.text.value_or(""), tmp_.path());
            const int length = kivFSKivToSyspath(text, nullptr, 0);
            if (blank) {
                EXPECT_EQ(length, 0);
            }
            for (unsigned size : {1u, 7u, 4096u}) {
                std::vector<char> buffer(size, 'x');
                EXPECT_EQ(kivFSKivToSyspath(text, buffer.data(), size), length);
                // A null or empty path leaves the buffer as it was; any other
                // fills it as strncpy does.
                const size_t filled = strnlen(buffer.data(), size);
                EXPECT_EQ(filled, blank ? size : std::min<size_t>(length, size));
            }
            StubOps* ops = kivFSCreateStub(text, 0);
            if (blank) {
                EXPECT_EQ(ops, nullptr);
            }
            kivFSDeleteStub(ops);
        }
        EXPECT_EQ(kivFSKivToSyspath(text, nullptr, 0), 0) << "unmounted";
        // The hostile text as a system path.
        if (blank || hostile.text->size() >= kLong) {
            EXPECT_EQ(kivFSCreateDirectory(text), 0);
            kivFSMountPath("hostile:", text);
            EXPECT_EQ(kivFSKivToSyspath("hostile:x", nullptr, 0), 0);
        } else {
            kivFSCreateDirectory(text);
            ScopedMount mount("hostile:", *hostile.text);
            StubOps* ops = kivFSCreateStub("hostile:x", 1);
            kivFSDeleteStub(ops);
        }
        // Below a real folder, any short name that the system accepts makes a
        // directory.
        const std::string below = tmp_ / ("d" + hostile.text.value_or(""));
        const int made = kivFSCreateDirectory(below.c_str());
#if defined(_WIN32)
        // Windows keeps a name that is not UTF-8 with replacement characters,
        // under which this test cannot look it up.
        const bool checkable = std::string(hostile.label) != "not UTF-8";
#else
        const bool checkable = true;
#endif
        if (made && checkable) {
            std::string normalized = below;
            for (char& c : normalized)
                if (c == '\\') c = '/';
            EXPECT_TRUE(PathExists(normalized));
        }
    }
    kivfsFreeName(nullptr);
    kivFSDeleteStub(nullptr);
    kivFSUnmountPath(nullptr);
    kivFSUnmountPath("");
    kivFSMountPath(nullptr, nullptr);
    EXPECT_GT(kivFSInitFileSystem(), 0);
}

}  // namespace
