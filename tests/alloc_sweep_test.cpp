// Allocation failures: a scenario through every backend (a folder, a store, a
// zip archive) and the bridge is run again and again, the N-th allocation of
// run N failing (operator new throws std::bad_alloc, SQLite's allocator
// returns null), alone or with every later one, until a run completes with
// no failure injected. Every run
// must end in failure values or success: no crash, nothing thrown out of a
// call, right bytes from every read that succeeds, and a store that passes
// SQLite's integrity check. The sanitizer build runs it for leaks.
//
// This program replaces the global operator new and delete, which the library
// then uses too, and installs SQLite's allocator before anything uses SQLite.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "kivfs.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

namespace {

// Which allocations fail: while `failFrom` is N > 0, the N-th allocation
// counted since arming fails, and with `failAfterwards` every later one too.
// `reached` tells that the N-th was made.
std::atomic<long> failFrom{0};
std::atomic<long> counted{0};
std::atomic<bool> failAfterwards{false};
std::atomic<bool> reached{false};

// True when this allocation is to fail.
bool FailThisAllocation() {
    const long from = failFrom.load(std::memory_order_relaxed);
    if (from == 0) return false;
    const long count = ++counted;
    if (count < from || (count > from && !failAfterwards)) return false;
    reached = true;
    return true;
}

void* Allocate(std::size_t size) {
    if (FailThisAllocation()) return nullptr;
    return std::malloc(size ? size : 1);
}

sqlite3_mem_methods sqliteDefaults;

void* SqliteMalloc(int size) {
    return FailThisAllocation() ? nullptr : sqliteDefaults.xMalloc(size);
}

void* SqliteRealloc(void* old, int size) {
    return FailThisAllocation() ? nullptr : sqliteDefaults.xRealloc(old, size);
}

// Installed before main, so before SQLite is first initialised.
const bool sqliteWrapped = [] {
    sqlite3_mem_methods methods;
    if (sqlite3_config(SQLITE_CONFIG_GETMALLOC, &sqliteDefaults) != SQLITE_OK) return false;
    methods = sqliteDefaults;
    methods.xMalloc = SqliteMalloc;
    methods.xRealloc = SqliteRealloc;
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
}();

const std::string kText = "text of the folder's file";
const std::string kEntry = "text of the archive's entry";
const std::string kEntryTail = kEntry.substr(5);  // after a seek to 5
const std::string kSaved = "bytes saved in the store";

// Every path the scenario uses, made before a failure is armed, so that the
// scenario itself allocates nothing of its own.
struct Paths {
    std::string tree, treeFile, store, zip, zipEntry, zipRoot;
};

// What a run saw.
struct Outcome {
    bool wrongBytes = false;
    // Some container failed to open and said it was for want of memory.
    bool toldNoMemory = false;
};

// Notes wrong bytes when a read of `got` bytes into `buffer` succeeded with
// anything but the start of `expected` (compared without allocating).
void Compare(const char* buffer, int got, const std::string& expected, Outcome& out) {
    if (got <= 0) return;
    if (static_cast<size_t>(got) > expected.size() ||
        std::memcmp(buffer, expected.data(), static_cast<size_t>(got)) != 0)
        out.wrongBytes = true;
}

// Reads what `file` holds from its position and compares it with `expected`
// when the read succeeds.
void ReadAndCompare(FileHandle* file, const std::string& expected, Outcome& out) {
    if (!file) return;
    char buffer[128];
    const int got = kivfsRead(file, buffer, sizeof buffer);
    Compare(buffer, got, expected, out);
}

void ListAll(EnumHandle* listing) {
    if (!listing) return;
    while (kivfsMoveNext(listing)) {
        char* name = nullptr;
        if (kivfsGetName(listing, &name)) kivfsFreeName(name);
        if (kivfsGetFullName(listing, &name)) kivfsFreeName(name);
        kivfsIsDirectory(listing);
    }
    kivfsCloseEnum(listing);
}

void WriteText(FileHandle* file, const std::string& text) {
    if (!file) return;
    kivfsWrite(file, text.data(), static_cast<int>(text.size()));
    kivfsCloseFile(file);
}

void FolderPart(const Paths& paths, Outcome& out) {
    DirHandle* tree = kivfsOpenDir(paths.tree.c_str());
    if (!tree) {
        out.toldNoMemory = kivfsLastError() == KIVFS_ERR_NO_MEMORY;
        return;
    }
    FileHandle* file = kivfsCreateFileIndir(tree, "a.txt", 0);
    ReadAndCompare(file, kText, out);
    kivfsCloseFile(file);
    WriteText(kivfsCreateFileIndir(tree, "new.txt", 1), kText);
    ListAll(kivfsCreateEnumIndir(tree, ""));
    kivfsCloseDir(tree);
}

void StorePart(const Paths& paths, Outcome& out) {
    DirHandle* store = kivfsOpenDir(paths.store.c_str());
    if (!store) return;
    kivfsBeginTrans(store);
    WriteText(kivfsCreateFileIndir(store, "s/one.bin", 1), kSaved);
    kivfsCommitTrans(store);
    WriteText(kivfsCreateFileIndir(store, "s/two.bin", 1), kSaved);
    kivfsCopyFile(store, "s/one.bin", "s/copy.bin", false);
    kivfsRenameFile(store, "s/two.bin", "s/three.bin");
    kivfsDeleteFile(store, "s/copy.bin");
    kivfsMoveFile(store, "s/three.bin", "s/moved.bin", true);
    bool exists = false;
    kivfsIsDirectoryExist(store, "s", &exists);
    ListAll(kivfsCreateEnumIndir(store, "s"));
    FileHandle* file = kivfsCreateFileIndir(store, "s/one.bin", 0);
    ReadAndCompare(file, kSaved, out);
    if (file) kivfsResize(file, 4);
    kivfsCloseFile(file);
    kivfsCloseDir(store);
}

void ZipPart(const Paths& paths, Outcome& out) {
    FileHandle* file = kivfsCreateFile(paths.zipEntry.c_str(), 0);
    ReadAndCompare(file, kEntry, out);
    kivfsCloseFile(file);
    ListAll(kivfsCreateEnum(paths.zipRoot.c_str()));
    DirHandle* archive = kivfsOpenDir(paths.zip.c_str());
    if (!archive) return;
    bool exists = false;
    kivfsIsFileExist(archive, "DOCS/ENTRY.TXT", &exists);
    file = kivfsCreateFileIndir(archive, "docs/entry.txt", 0);
    if (file && kivfsSeek(file, 5, 0) == 5) ReadAndCompare(file, kEntryTail, out);
    kivfsCloseFile(file);
    kivfsCloseDir(archive);
}

// Reads `path` through a stub when it opens.
void ReadStub(const char* path, const std::string& expected, Outcome& out) {
    StubOps* ops = kivFSCreateStub(path, 0);
    if (!ops) return;
    char buffer[128];
    const int got = ops->readFn(ops->file, buffer, sizeof buffer);
    Compare(buffer, got, expected, out);
    ops->errorFn(ops->file);
    kivFSDeleteStub(ops);
}

void BridgePart(const Paths& paths, Outcome& out) {
    kivFSMountPath("sweep:", paths.store.c_str());
    StubOps* ops = kivFSCreateStub("sweep:s/four.bin", 1);
    if (ops) {
        ops->writeFn(ops->file, kSaved.data(), static_cast<int>(kSaved.size()));
        ops->seekFn(ops->file, 0, 0);
        kivFSDeleteStub(ops);
    }
    ReadStub("sweep:s/four.bin", kSaved, out);
    kivFSUnmountPath("sweep:");
    kivFSMountPath("zsweep:", paths.zip.c_str());
    ReadStub("zsweep:docs/entry.txt", kEntry, out);
    char buffer[256];
    kivFSKivToSyspath("zsweep:docs/entry.txt", buffer, sizeof buffer);
    kivFSUnmountPath("zsweep:");
}

// Whether SQLite finds the store whole ("ok"); a store not created is whole.
bool StoreIsWhole(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return true;
    }
    sqlite3_stmt* check = nullptr;
    bool whole = false;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
        sqlite3_step(check) == SQLITE_ROW) {
        whole =
            std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") == 0;
    }
    sqlite3_finalize(check);
    sqlite3_close(db);
    return whole;
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = Allocate(size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

// Runs the scenario with allocation N failing (and, with `afterwards`, every
// later one), N = 1, 2, ... until a run makes fewer than N allocations. Gives
// the number of runs.
long Sweep(bool afterwards) {
    // A memory file system where there is one: the scenario commits often,
    // and thousands of runs would otherwise wait on the disk.
    if (std::FILE* shm = std::fopen("/dev/shm", "r")) {
        std::fclose(shm);
        setenv("TMPDIR", "/dev/shm", 1);
    }
    kivfs_test::TempDir dir;
    std::filesystem::create_directory(dir / "tree");
    kivfs_test::WriteBytes(dir / "tree/a.txt", kText);
    kivfs_test::ZipBuilder().AddFile("docs/entry.txt", kEntry).Build().WriteTo(dir / "pack.zip");
    const Paths paths{dir / "tree",
                      dir / "tree/new.txt",
                      dir / "save.db",
                      dir / "pack.zip",
                      dir / "pack.zip:docs/entry.txt",
                      dir / "pack.zip:docs"};

    long runs = 0;
    bool toldNoMemory = false;
    failAfterwards = afterwards;
    for (long failing = 1;; ++failing) {
        std::remove(paths.store.c_str());
        std::remove(paths.treeFile.c_str());
        Outcome outcome;
        reached = false;
        counted = 0;
        failFrom = failing;
        FolderPart(paths, outcome);
        StorePart(paths, outcome);
        ZipPart(paths, outcome);
        BridgePart(paths, outcome);
        failFrom = 0;
        // A mount whose unmount failed is not carried into the next run.
        kivFSUnmountPath("sweep:");
        kivFSUnmountPath("zsweep:");
        ++runs;
        toldNoMemory = toldNoMemory || outcome.toldNoMemory;
        EXPECT_FALSE(outcome.wrongBytes) << "allocation " << failing;
        EXPECT_TRUE(StoreIsWhole(paths.store)) << "allocation " << failing;
        if (!reached || ::testing::Test::HasFailure()) break;
        if (failing >= 100000) {
            ADD_FAILURE() << "the scenario never completes";
            break;
        }
    }
    EXPECT_TRUE(toldNoMemory);
    return runs;
}

}  // namespace

TEST(AllocationFailures, OneFailedAllocationAtEveryPoint) {
    ASSERT_TRUE(sqliteWrapped);
    const long runs = Sweep(false);
    std::printf("%ld runs until the scenario met no failure\n", runs);
    EXPECT_GT(runs, 100);
}

TEST(AllocationFailures, EveryAllocationFailingFromEveryPointOn) {
    ASSERT_TRUE(sqliteWrapped);
    const long runs = Sweep(true);
    std::printf("%ld runs until the scenario met no failure\n", runs);
    EXPECT_GT(runs, 100);
}
