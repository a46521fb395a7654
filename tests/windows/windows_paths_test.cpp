// What only Windows paths have: drive letters and "\" in full paths,
// reserved device names, characters Windows forbids in names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kivfs.h"
#include "support/TempDir.h"

using kivfs_test::PathExists;
using kivfs_test::ReadBytes;
using kivfs_test::TempDir;

namespace {

// `path` with every "/" turned into "\", as a Windows host writes it.
std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string ReadAll(FileHandle* file) {
    std::string text;
    char buffer[64];
    for (int n; (n = kivfsRead(file, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

// 'C:\...\save.db:saves\slot1.bin' and 'C:\...\box:logs\run.txt': the split
// at the last ":" keeps the drive letter with the container, for a store
// and for a real folder, in every full-path call.
TEST(WindowsPaths, DriveLettersAndBackslashesInFullPaths) {
    TempDir tmp;
    ASSERT_EQ(tmp.path()[1], ':') << "a temporary folder with a drive: " << tmp.path();
    const std::string store = Backslashed(tmp / "save.db");
    FileHandle* file = kivfsCreateFile((store + ":saves\\slot1.bin").c_str(), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "state", 5), 5);
    kivfsCloseFile(file);
    file = kivfsCreateFile((store + ":saves/slot1.bin").c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "state");
    kivfsCloseFile(file);

    ASSERT_EQ(kivFSCreateDirectory((tmp / "box").c_str()), 1);
    const std::string box = Backslashed(tmp / "box");
    file = kivfsCreateFile((box + ":logs\\run.txt").c_str(), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "run", 3), 3);
    kivfsCloseFile(file);
    EXPECT_EQ(ReadBytes(tmp / "box/logs/run.txt"), "run");
    // The whole path exists now: it is split at its last separator.
    file = kivfsCreateFile((box + "\\logs\\run.txt").c_str(), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "run");
    kivfsCloseFile(file);

    EnumHandle* listing = kivfsCreateEnum((box + ":logs\\").c_str());
    ASSERT_NE(listing, nullptr);
    ASSERT_TRUE(kivfsMoveNext(listing));
    char* name = nullptr;
    ASSERT_TRUE(kivfsGetFullName(listing, &name));
    EXPECT_STREQ(name, "logs/run.txt");
    kivfsFreeName(name);
    kivfsCloseEnum(listing);

    DirHandle* dir = kivfsOpenDir(Backslashed(tmp.path()).c_str());
    ASSERT_NE(dir, nullptr);
    bool exists = false;
    EXPECT_TRUE(kivfsIsFileExist(dir, "BOX\\LOGS\\RUN.TXT", &exists));
    EXPECT_TRUE(exists) << "names are case-insensitive on Windows";
    kivfsCloseDir(dir);

    kivFSMountPath("game:", box.c_str());
    StubOps* ops = kivFSCreateStub("game:logs\\run.txt", 0);
    ASSERT_NE(ops, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(ops->readFn(ops->file, buffer, sizeof buffer), 3);
    kivFSDeleteStub(ops);
    kivFSUnmountPath("game:");
}

// A path whose only ":" is its drive's names no container: nothing opens
// and nothing is made (not a store called "C" in the current folder).
TEST(WindowsPaths, TheDriveColonSeparatesNothing) {
    TempDir tmp;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());
    EXPECT_EQ(kivfsCreateFile((tmp / "new.txt").c_str(), 1), nullptr);
    EXPECT_EQ(kivfsCreateEnum((tmp / "nothing").c_str()), nullptr);
    std::filesystem::current_path(previous);
    EXPECT_FALSE(PathExists(tmp / "new.txt"));
    EXPECT_FALSE(PathExists(tmp / "C"));
}

// In a real folder, a device name never opens the device (reading CON would
// wait for the console) and a forbidden character never reaches the system;
// every call fails and nothing is made. In a store the same names are keys.
TEST(WindowsPaths, DeviceNamesAndForbiddenCharactersAreNoFiles) {
    TempDir tmp;
    DirHandle* dir = kivfsOpenDir(tmp.path().c_str());
    ASSERT_NE(dir, nullptr);
    for (const char* name : {"CON", "nul", "aux.txt", "sub/COM1", "LPT9.log", "con .txt", "a:b",
                             "what?", "star*", "pipe|", "quote\"", "lt<"}) {
        SCOPED_TRACE(name);
        for (int mode = 0; mode < 6; ++mode) {
            EXPECT_EQ(kivfsCreateFileIndir(dir, name, mode), nullptr);
            EXPECT_NE(kivfsLastError(), KIVFS_OK);
        }
        bool exists = true;
        EXPECT_TRUE(kivfsIsFileExist(dir, name, &exists));
        EXPECT_FALSE(exists);
        EXPECT_EQ(kivfsOpenDir((tmp / name).c_str()), nullptr);
    }
    EXPECT_EQ(kivfsCreateFile((tmp.path() + ":CON").c_str(), 0), nullptr);
    EXPECT_EQ(kivFSCreateDirectory((tmp / "NUL").c_str()), 0);
    // "sub/" was made on the way to "sub/COM1", nothing else.
    EnumHandle* listing = kivfsCreateEnumIndir(dir, "");
    ASSERT_NE(listing, nullptr);
    int entries = 0;
    while (kivfsMoveNext(listing)) ++entries;
    kivfsCloseEnum(listing);
    EXPECT_EQ(entries, 1);
    kivfsCloseDir(dir);

    DirHandle* store = kivfsOpenDir((tmp / "keys.db").c_str());
    ASSERT_NE(store, nullptr);
    FileHandle* file = kivfsCreateFileIndir(store, "CON", 1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kivfsWrite(file, "key", 3), 3);
    kivfsCloseFile(file);
    file = kivfsCreateFileIndir(store, "CON", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "key");
    kivfsCloseFile(file);
    kivfsCloseDir(store);
}

#if !KIVFS_TEST_ZIP_BACKEND
// A zip archive given as a container in a build without the zip backend
// opens nothing, says why, and is left exactly as it was. Only such a build
// has the test: with the backend it cannot apply.
TEST(WindowsPaths, ArchivesFailCleanlyWithoutTheZipBackend) {
    TempDir tmp;
    const std::string archive = tmp / "pack.zip";
    const std::string bytes("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);
    kivfs_test::WriteBytes(archive, bytes);
    EXPECT_EQ(kivfsOpenDir(archive.c_str()), nullptr);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    EXPECT_EQ(kivfsCreateFile((archive + ":a.txt").c_str(), 1), nullptr);
    EXPECT_EQ(ReadBytes(archive), bytes);
}
#endif

}  // namespace
