// Mount names, the translation of virtual paths and directory creation,
// through the exported calls, on real temporary directories and stores.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "kivfs.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"

using kivfs_test::PathExists;
using kivfs_test::ScopedMount;
using kivfs_test::TempDir;

namespace {

// The whole translation of `virtualPath`, asking for the length first.
std::string Translate(const char* virtualPath) {
    const int length = kivFSKivToSyspath(virtualPath, nullptr, 0);
    std::string out(static_cast<size_t>(length) + 1, 'x');
    EXPECT_EQ(kivFSKivToSyspath(virtualPath, out.data(), static_cast<unsigned>(out.size())),
              length);
    EXPECT_EQ(out.back(), '\0');
    out.pop_back();
    return out;
}

// `path` with every "/" written as "\", as a Windows host would pass it.
std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace

TEST(MountTranslation, JoinsTheSystemPathAndTheRestWithOneSlash) {
    TempDir dir;
    ScopedMount app("app:", Backslashed(dir.path()));
    const std::string expected = dir.path() + "/cfg/a.ini";
    EXPECT_EQ(kivFSKivToSyspath("app:cfg\\a.ini", nullptr, 0), static_cast<int>(expected.size()));
    EXPECT_EQ(Translate("app:cfg\\a.ini"), expected);
    EXPECT_EQ(Translate("app:"), dir.path() + "/");
    EXPECT_EQ(Translate("app:a//b/"), dir.path() + "/a//b/");
}

TEST(MountTranslation, TrailingSlashOfTheSystemPathIsKept) {
    TempDir dir;
    ScopedMount data("data:", dir.path() + "/");
    EXPECT_EQ(Translate("data:x.bin"), dir.path() + "//x.bin");
}

TEST(MountTranslation, BufferIsFilledAsStrncpyDoes) {
    TempDir dir;
    ScopedMount app("app:", dir.path());
    const std::string full = dir.path() + "/abc";
    const int length = static_cast<int>(full.size());

    std::string buffer(full.size() + 4, 'x');
    EXPECT_EQ(kivFSKivToSyspath("app:abc", buffer.data(), 0), length);
    EXPECT_EQ(buffer, std::string(full.size() + 4, 'x')) << "size 0 writes nothing";

    EXPECT_EQ(kivFSKivToSyspath("app:abc", buffer.data(), static_cast<unsigned>(full.size())),
              length);
    EXPECT_EQ(buffer, full + "xxxx") << "exactly as long: no terminator";

    buffer.assign(full.size() + 4, 'x');
    EXPECT_EQ(kivFSKivToSyspath("app:abc", buffer.data(), 5), length);
    EXPECT_EQ(buffer.substr(0, 6), full.substr(0, 5) + "x") << "truncated to the size";

    buffer.assign(full.size() + 4, 'x');
    EXPECT_EQ(kivFSKivToSyspath("app:abc", buffer.data(), static_cast<unsigned>(buffer.size())),
              length);
    EXPECT_EQ(buffer, full + std::string(4, '\0')) << "zero-filled to the size";

    EXPECT_EQ(kivFSKivToSyspath("app:abc", nullptr, 16), 0);
}

TEST(MountTranslation, FailuresReturnZeroAndZeroFillTheBuffer) {
    TempDir dir;
    ScopedMount app("App:", dir.path());
    const std::string zeros(8, '\0');
    for (const char* path : {"no-colon", "app:x", "C:/x", "other:x"}) {
        std::string buffer(8, 'x');
        EXPECT_EQ(kivFSKivToSyspath(path, buffer.data(), 8), 0) << path;
        EXPECT_EQ(buffer, zeros) << path;
        EXPECT_EQ(kivFSKivToSyspath(path, nullptr, 0), 0);
    }
    // A null or empty path asks nothing: the buffer is left as it was.
    for (const char* path : {"", static_cast<const char*>(nullptr)}) {
        std::string buffer(8, 'x');
        EXPECT_EQ(kivFSKivToSyspath(path, buffer.data(), 8), 0);
        EXPECT_EQ(buffer, std::string(8, 'x'));
    }
    EXPECT_EQ(Translate("App:x"), dir.path() + "/x") << "names are case-sensitive";
}

TEST(MountTable, NamesThatNoPrefixCanFindAreStoredAndRemoved) {
    TempDir dir;
    {
        ScopedMount bare("data", dir.path());
        ScopedMount inner("a:b:", dir.path());
        EXPECT_EQ(Translate("data"), "");
        EXPECT_EQ(Translate("a:b:x"), "");
    }
    // Both were removed by their unmount: mounting the names again works.
    ScopedMount again("a:", dir.path());
    EXPECT_EQ(Translate("a:b:x"), dir.path() + "/b:x");
}

TEST(MountTable, SecondMountOfANameChangesNothingAndOpensNothing) {
    TempDir first, second;
    ScopedMount app("app:", first.path());
    kivFSMountPath("app:", (second / "would-be.db").c_str());
    EXPECT_EQ(Translate("app:f"), first.path() + "/f");
    EXPECT_FALSE(PathExists(second / "would-be.db"));
}

TEST(MountTable, UnmountEndsTranslation) {
    TempDir dir;
    kivFSMountPath("app:", dir.path().c_str());
    EXPECT_EQ(Translate("app:f"), dir.path() + "/f");
    kivFSUnmountPath("app\\");  // another name, normalised to "app/"
    EXPECT_EQ(Translate("app:f"), dir.path() + "/f");
    kivFSUnmountPath("app:");
    EXPECT_EQ(Translate("app:f"), "");
    kivFSUnmountPath("app:");  // no longer there: ignored
}

TEST(MountTable, NullAndEmptyArgumentsMountNothing) {
    TempDir dir;
    kivFSMountPath(nullptr, dir.path().c_str());
    kivFSMountPath("", dir.path().c_str());
    kivFSMountPath("app:", nullptr);
    kivFSMountPath("app:", "");
    kivFSUnmountPath(nullptr);
    kivFSUnmountPath("");
    EXPECT_EQ(Translate("app:f"), "");
}

TEST(MountTable, PathThatIsNoDirectoryOpensAStore) {
    TempDir dir;
    const std::string store = dir / "save.db";
    ScopedMount save("save:", store);
    EXPECT_TRUE(PathExists(store));
    EXPECT_EQ(Translate("save:slot1/state.bin"), store + "/slot1/state.bin");
}

TEST(MountTable, PathThatSelectsNoContainerAddsNothing) {
    TempDir dir;
    ScopedMount bad("bad:", dir / "missing/deeper/save.db");
    EXPECT_EQ(Translate("bad:x"), "");
}

TEST(CreateDirectory, CreatesOnlyTheLastComponent) {
    TempDir dir;
    EXPECT_EQ(kivFSCreateDirectory(Backslashed(dir / "a").c_str()), 1);
    EXPECT_TRUE(PathExists(dir / "a"));
    EXPECT_EQ(kivFSCreateDirectory((dir / "a").c_str()), 0) << "already there";
    EXPECT_EQ(kivFSCreateDirectory((dir / "x/y").c_str()), 0) << "parent missing";
    EXPECT_FALSE(PathExists(dir / "x"));
    EXPECT_EQ(kivFSCreateDirectory(""), 0);
    EXPECT_EQ(kivFSCreateDirectory(nullptr), 0);
}
