// Small files in a store, next to the same files as plain files in a
// directory tree and next to SQLite used directly on the same table, in one
// run: 20,000 files of 1 to 16 KiB, written in one transaction, then read
// back whole in random order. Reported as files/s (items_per_second) and, at
// the end, as ratios of the store to each peer measured in the same run.
//
// The read pass is measured twice: inside one transaction (BeginTrans ..
// CommitTrans for the store, BEGIN .. COMMIT for SQLite alone), and with each
// operation in its own transaction, as a caller that groups nothing gets it.
// Inside one transaction the store moves one blob handle from file to file
// (sqlite3_blob_reopen) instead of opening one per file; SQLite alone is
// measured both ways there, so the store can be compared with each.
// The least SQLite alone needs for each file, one prepared statement that
// finds the row and hands out its Content (per file, and all in one
// transaction), is the floor of any reader over the store that returns the
// same bytes (Read_SqliteFloor_*). Writes are compared with SQLite alone
// binding each file's bytes to its INSERT, and inserting zero bytes and
// writing the file's bytes through a blob handle.
// A third pass streams one 4 MiB file in 4 KiB pieces through one open file,
// as a host plays music or loads a level: reported as read calls/s. Outside
// a transaction every call of the store is a transaction of its own that
// holds no lock afterwards; SQLite alone keeps one read-only blob handle,
// and with it its read lock, for the whole file: the fastest it can be.
// Listings are measured in stores of 1,000 and 100,000 rows, folders of 20
// files each: one folder listed again and again on an open store (its cost
// should not grow with the store), and a walk of the whole tree as `kivfs ls
// -R` does it, each pass on a freshly opened store, next to SQLite alone
// reading every row's FileName and Path once.
// Rates come from wall-clock time: the kernel's share of file work counts.
// On a noisy machine run with --benchmark_repetitions=N (and
// --benchmark_enable_random_interleaving=true): the ratios then use medians.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/TempDir.h"

namespace {

constexpr int kFiles = 20000;
constexpr int kMaxSize = 16 * 1024;

struct SampleFile {
    std::string name;      // relative name, "d07/s13/f00427.bin"
    std::string path;      // its directory part, "d07/s13/"
    std::string fileName;  // its last component
    int size;              // 1 .. 16 KiB
    int offset;            // where its bytes start in the shared source buffer
};

// The same files, sizes and contents for every contestant; a fixed seed keeps
// runs comparable. 20 x 25 directories of 40 files each.
struct Sample {
    std::vector<SampleFile> files;
    std::vector<int> readOrder;  // a random permutation of the indices
    std::string bytes;           // source of every file's content

    Sample() {
        std::mt19937 random(20240607);
        std::uniform_int_distribution<int> size(1024, kMaxSize);
        std::uniform_int_distribution<int> byte(0, 255);
        bytes.resize(2 * kMaxSize);
        for (char& b : bytes) b = static_cast<char>(byte(random));
        for (int i = 0; i < kFiles; ++i) {
            char path[32];
            char fileName[32];
            std::snprintf(path, sizeof path, "d%02d/s%02d/", i % 20, (i / 20) % 25);
            std::snprintf(fileName, sizeof fileName, "f%05d.bin", i);
            files.push_back(SampleFile{std::string(path) + fileName, path, fileName, size(random),
                                       i % kMaxSize});
            readOrder.push_back(i);
        }
        std::shuffle(readOrder.begin(), readOrder.end(), random);
    }
    const char* Content(const SampleFile& file) const { return bytes.data() + file.offset; }
};

const Sample& TheSample() {
    static const Sample sample;
    return sample;
}

// --- the store, through the library --------------------------------------

void StoreWrite(const std::string& at) {
    const Sample& sample = TheSample();
    DirHandle* dir = kivfsOpenDir(at.c_str());
    kivfsBeginTrans(dir);
    for (const SampleFile& file : sample.files) {
        FileHandle* handle = kivfsCreateFileIndir(dir, file.name.c_str(), 1);
        kivfsWrite(handle, sample.Content(file), file.size);
        kivfsCloseFile(handle);
    }
    kivfsCommitTrans(dir);
    kivfsCloseDir(dir);
}

bool StoreRead(const std::string& at, bool oneTransaction) {
    const Sample& sample = TheSample();
    std::vector<char> buffer(kMaxSize);
    bool whole = true;
    DirHandle* dir = kivfsOpenDir(at.c_str());
    if (oneTransaction) kivfsBeginTrans(dir);
    for (int i : sample.readOrder) {
        const SampleFile& file = sample.files[i];
        FileHandle* handle = kivfsCreateFileIndir(dir, file.name.c_str(), 0);
        whole &= kivfsRead(handle, buffer.data(), kMaxSize) == file.size;
        kivfsCloseFile(handle);
    }
    if (oneTransaction) kivfsCommitTrans(dir);
    kivfsCloseDir(dir);
    return whole;
}

// --- plain files in a directory tree -------------------------------------

void TreeWrite(const std::string& at) {
    const Sample& sample = TheSample();
    std::string lastPath;
    for (const SampleFile& file : sample.files) {
        if (file.path != lastPath) {
            std::filesystem::create_directories(at + "/" + file.path);
            lastPath = file.path;
        }
        std::FILE* out = std::fopen((at + "/" + file.name).c_str(), "wb");
        std::fwrite(sample.Content(file), 1, static_cast<size_t>(file.size), out);
        std::fclose(out);
    }
}

bool TreeRead(const std::string& at) {
    const Sample& sample = TheSample();
    std::vector<char> buffer(kMaxSize);
    bool whole = true;
    for (int i : sample.readOrder) {
        const SampleFile& file = sample.files[i];
        std::FILE* in = std::fopen((at + "/" + file.name).c_str(), "rb");
        std::setvbuf(in, nullptr, _IONBF, 0);  // straight into the caller's buffer
        whole &= std::fread(buffer.data(), 1, kMaxSize, in) == static_cast<size_t>(file.size);
        std::fclose(in);
    }
    return whole;
}

// --- SQLite alone, on the same table ------------------------------------

// What a program using SQLite directly for the same job would do: the same
// page and cache sizes and table, statements prepared once, names bound, and
// an incremental blob handle per file read.
class DirectStore {
  public:
    explicit DirectStore(const std::string& at) {
        sqlite3_open(at.c_str(), &db_);
        sqlite3_exec(db_, "PRAGMA page_size=8192", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "PRAGMA cache_size=400", nullptr, nullptr, nullptr);
        sqlite3_exec(db_,
                     "create table if not exists FileStorage (FileName text, Path text, Content "
                     "blob, Info blob, primary key(FileName, Path));",
                     nullptr, nullptr, nullptr);
    }
    ~DirectStore() {
        sqlite3_blob_close(kept_);
        sqlite3_finalize(lookup_);
        sqlite3_finalize(insert_);
        sqlite3_finalize(content_);
        sqlite3_finalize(insertZeros_);
        sqlite3_close(db_);
    }
    DirectStore(const DirectStore&) = delete;
    DirectStore& operator=(const DirectStore&) = delete;

    void Exec(const char* sql) { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

    void Insert(const SampleFile& file, const char* bytes) {
        if (!insert_) {
            sqlite3_prepare_v2(
                db_, "INSERT INTO FileStorage (FileName, Path, Content) VALUES (?, ?, ?);", -1,
                &insert_, nullptr);
        }
        sqlite3_bind_text(insert_, 1, file.fileName.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert_, 2, file.path.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_blob(insert_, 3, bytes, file.size, SQLITE_STATIC);
        sqlite3_step(insert_);
        sqlite3_reset(insert_);
    }

    // The same, as a program that streams each file's bytes in would: a
    // row of zero bytes of the file's length, then its bytes written through
    // a read-write blob handle.
    void InsertThroughBlob(const SampleFile& file, const char* bytes) {
        if (!insertZeros_) {
            sqlite3_prepare_v2(
                db_, "INSERT INTO FileStorage (FileName, Path, Content) VALUES (?, ?, ?);", -1,
                &insertZeros_, nullptr);
        }
        sqlite3_bind_text(insertZeros_, 1, file.fileName.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insertZeros_, 2, file.path.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_zeroblob(insertZeros_, 3, file.size);
        sqlite3_step(insertZeros_);
        sqlite3_reset(insertZeros_);
        sqlite3_blob* blob = nullptr;
        if (sqlite3_blob_open(db_, "main", "FileStorage", "Content", sqlite3_last_insert_rowid(db_),
                              1, &blob) == SQLITE_OK) {
            sqlite3_blob_write(blob, bytes, file.size, 0);
        }
        sqlite3_blob_close(blob);
    }

    // The whole content into `buffer`; its length, or -1. Each file gets a
    // read-write blob handle of its own, as the store's files do.
    int Read(const SampleFile& file, char* buffer) {
        const sqlite3_int64 row = Lookup(file);
        sqlite3_blob* blob = nullptr;
        if (row == 0 ||
            sqlite3_blob_open(db_, "main", "FileStorage", "Content", row, 1, &blob) != SQLITE_OK) {
            sqlite3_blob_close(blob);
            return -1;
        }
        const int length = ReadWhole(blob, buffer);
        sqlite3_blob_close(blob);
        return length;
    }

    // The same, moving one kept read-write handle from row to row (only
    // inside a transaction: an open handle holds its read lock).
    int ReadReusingHandle(const SampleFile& file, char* buffer) {
        const sqlite3_int64 row = Lookup(file);
        if (row == 0) return -1;
        if (kept_ && sqlite3_blob_reopen(kept_, row) != SQLITE_OK) {
            sqlite3_blob_close(kept_);
            kept_ = nullptr;
        }
        if (!kept_ &&
            sqlite3_blob_open(db_, "main", "FileStorage", "Content", row, 1, &kept_) != SQLITE_OK) {
            sqlite3_blob_close(kept_);
            kept_ = nullptr;
            return -1;
        }
        return ReadWhole(kept_, buffer);
    }

    // The whole content through one statement that finds the row and hands
    // out its Content; its length, or -1. The least SQLite needs per file.
    int ReadInOneStatement(const SampleFile& file, char* buffer) {
        if (!content_) {
            sqlite3_prepare_v2(db_, "SELECT Content from FileStorage where FileName=? and Path=?;",
                               -1, &content_, nullptr);
        }
        sqlite3_bind_text(content_, 1, file.fileName.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(content_, 2, file.path.c_str(), -1, SQLITE_STATIC);
        int length = -1;
        if (sqlite3_step(content_) == SQLITE_ROW) {
            const void* bytes = sqlite3_column_blob(content_, 0);
            length = std::min(sqlite3_column_bytes(content_, 0), kMaxSize);
            std::memcpy(buffer, bytes, static_cast<size_t>(length));
        }
        sqlite3_reset(content_);
        return length;
    }

    // Closes the kept handle, which would keep a COMMIT from succeeding.
    void CloseKeptHandle() {
        sqlite3_blob_close(kept_);
        kept_ = nullptr;
    }

  private:
    // The file's rowid, 0 when it is missing.
    sqlite3_int64 Lookup(const SampleFile& file) {
        if (!lookup_) {
            sqlite3_prepare_v2(db_, "SELECT rowid from FileStorage where FileName=? and Path=?;",
                               -1, &lookup_, nullptr);
        }
        sqlite3_bind_text(lookup_, 1, file.fileName.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(lookup_, 2, file.path.c_str(), -1, SQLITE_STATIC);
        const bool found = sqlite3_step(lookup_) == SQLITE_ROW;
        const sqlite3_int64 row = found ? sqlite3_column_int64(lookup_, 0) : 0;
        sqlite3_reset(lookup_);
        return row;
    }

    // The handle's whole value into `buffer`; its length, or -1.
    static int ReadWhole(sqlite3_blob* blob, char* buffer) {
        const int length = std::min(sqlite3_blob_bytes(blob), kMaxSize);
        return sqlite3_blob_read(blob, buffer, length, 0) == SQLITE_OK ? length : -1;
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* lookup_ = nullptr;
    sqlite3_stmt* content_ = nullptr;
    sqlite3_stmt* insertZeros_ = nullptr;
    sqlite3_blob* kept_ = nullptr;  // ReadReusingHandle's handle, or null
};

void DirectWrite(const std::string& at) {
    const Sample& sample = TheSample();
    DirectStore store(at);
    store.Exec("BEGIN TRANSACTION;");
    for (const SampleFile& file : sample.files) store.Insert(file, sample.Content(file));
    store.Exec("COMMIT TRANSACTION;");
}

void DirectWriteThroughBlob(const std::string& at) {
    const Sample& sample = TheSample();
    DirectStore store(at);
    store.Exec("BEGIN TRANSACTION;");
    for (const SampleFile& file : sample.files) store.InsertThroughBlob(file, sample.Content(file));
    store.Exec("COMMIT TRANSACTION;");
}

// How SQLite alone reads: each file in its own transaction, or all in one,
// with a handle per file or one handle moved from file to file.
enum class DirectMode { kPerOperation, kOneTransaction, kReusedHandle };

bool DirectRead(const std::string& at, DirectMode mode) {
    const Sample& sample = TheSample();
    std::vector<char> buffer(kMaxSize);
    bool whole = true;
    DirectStore store(at);
    const bool oneTransaction = mode != DirectMode::kPerOperation;
    if (oneTransaction) store.Exec("BEGIN TRANSACTION;");
    for (int i : sample.readOrder) {
        const SampleFile& file = sample.files[i];
        const int length = mode == DirectMode::kReusedHandle
                               ? store.ReadReusingHandle(file, buffer.data())
                               : store.Read(file, buffer.data());
        whole &= length == file.size;
    }
    store.CloseKeptHandle();
    if (oneTransaction) store.Exec("COMMIT TRANSACTION;");
    return whole;
}

// The floor of any reader over SQLite that returns the same bytes: one
// statement per file, in a transaction of its own (autocommit: one lock
// cycle per file) or all in one transaction.
bool DirectReadOneStatement(const std::string& at, bool oneTransaction) {
    const Sample& sample = TheSample();
    std::vector<char> buffer(kMaxSize);
    bool whole = true;
    DirectStore store(at);
    if (oneTransaction) store.Exec("BEGIN TRANSACTION;");
    for (int i : sample.readOrder) {
        const SampleFile& file = sample.files[i];
        whole &= store.ReadInOneStatement(file, buffer.data()) == file.size;
    }
    if (oneTransaction) store.Exec("COMMIT TRANSACTION;");
    return whole;
}

// --- one large file streamed in small pieces ------------------------------

constexpr int kStreamBytes = 4 << 20;
constexpr int kStreamPiece = 4096;

// A store holding the one file "stream.bin" (rowid 1), written once.
struct StreamTarget {
    kivfs_test::TempDir dir;
    std::string store = dir / "stream.db";
    StreamTarget() {
        const std::string bytes(kStreamBytes, 's');
        DirHandle* handle = kivfsOpenDir(store.c_str());
        FileHandle* file = kivfsCreateFileIndir(handle, "stream.bin", 1);
        kivfsWrite(file, bytes.data(), kStreamBytes);
        kivfsCloseFile(file);
        kivfsCloseDir(handle);
    }
};

const std::string& StreamStore() {
    static const StreamTarget target;
    return target.store;
}

void Read_Store_Streamed(benchmark::State& state) {
    DirHandle* dir = kivfsOpenDir(StreamStore().c_str());
    std::vector<char> buffer(kStreamPiece);
    for (auto _ : state) {
        FileHandle* file = kivfsCreateFileIndir(dir, "stream.bin", 0);
        int total = 0;
        for (int n; (n = kivfsRead(file, buffer.data(), kStreamPiece)) > 0;) total += n;
        kivfsCloseFile(file);
        if (total != kStreamBytes) state.SkipWithError("the file did not read back whole");
    }
    kivfsCloseDir(dir);
    state.SetItemsProcessed(state.iterations() * (kStreamBytes / kStreamPiece));
}

void Read_SqliteAlone_Streamed(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open(StreamStore().c_str(), &db);
    std::vector<char> buffer(kStreamPiece);
    for (auto _ : state) {
        sqlite3_blob* blob = nullptr;
        sqlite3_blob_open(db, "main", "FileStorage", "Content", 1, 0, &blob);
        for (int at = 0; at < kStreamBytes; at += kStreamPiece) {
            if (sqlite3_blob_read(blob, buffer.data(), kStreamPiece, at) != SQLITE_OK) {
                state.SkipWithError("the blob did not read");
                break;
            }
        }
        sqlite3_blob_close(blob);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * (kStreamBytes / kStreamPiece));
}

// --- listings ---------------------------------------------------------------

constexpr int kFolderFiles = 20;
constexpr int kFoldersPerTop = 50;
constexpr const char* kListedFolder = "d000/s25/";

// A store of `rows` rows, 20 files (16 bytes each) in each folder
// dNNN/sNN/, written with SQLite directly into the table the library made.
struct ListingStore {
    kivfs_test::TempDir dir;
    std::string path;
    int rows;
    explicit ListingStore(int rowCount) : path(dir / "listing.db"), rows(rowCount) {
        kivfsCloseDir(kivfsOpenDir(path.c_str()));
        DirectStore store(path);
        store.Exec("BEGIN TRANSACTION;");
        static const char kContent[16] = {};
        for (int i = 0; i < rows; ++i) {
            const int folder = i / kFolderFiles;
            char folderPath[32];
            char fileName[32];
            std::snprintf(folderPath, sizeof folderPath, "d%03d/s%02d/", folder / kFoldersPerTop,
                          folder % kFoldersPerTop);
            std::snprintf(fileName, sizeof fileName, "f%06d.bin", i);
            store.Insert(SampleFile{std::string(), folderPath, fileName, 16, 0}, kContent);
        }
        store.Exec("COMMIT TRANSACTION;");
    }
};

const ListingStore& SmallListingStore() {
    static const ListingStore store(1000);
    return store;
}
const ListingStore& LargeListingStore() {
    static const ListingStore store(100000);
    return store;
}

// Reads a listing to its end, each name fetched as a host would; descends
// into every directory when `walk`. Counts the entries.
int ReadListing(DirHandle* dir, const std::string& prefix, bool walk) {
    EnumHandle* listing = kivfsCreateEnumIndir(dir, prefix.c_str());
    if (!listing) return -1;
    int count = 0;
    while (kivfsMoveNext(listing)) {
        char* fullName = nullptr;
        if (!kivfsGetFullName(listing, &fullName)) return -1;
        ++count;
        if (walk && kivfsIsDirectory(listing)) {
            const std::string name = fullName;
            kivfsFreeName(fullName);
            const int below = ReadListing(dir, name, true);
            if (below < 0) return -1;
            count += below;
        } else {
            kivfsFreeName(fullName);
        }
    }
    kivfsCloseEnum(listing);
    return count;
}

// The 20-file folder, listed again and again on one open store; the first
// listing (which reads the store once) is made before timing.
void ListOneFolder(benchmark::State& state, const ListingStore& store) {
    DirHandle* dir = kivfsOpenDir(store.path.c_str());
    ReadListing(dir, kListedFolder, false);
    for (auto _ : state) {
        if (ReadListing(dir, kListedFolder, false) != kFolderFiles)
            state.SkipWithError("the folder did not list whole");
    }
    kivfsCloseDir(dir);
    state.SetItemsProcessed(state.iterations());
}

void List_Store_Folder20_Rows1k(benchmark::State& state) {
    ListOneFolder(state, SmallListingStore());
}
void List_Store_Folder20_Rows100k(benchmark::State& state) {
    ListOneFolder(state, LargeListingStore());
}

// Every folder listed, from a freshly opened store each pass: rows/s. As
// `kivfs ls -R` does, each listing its own transaction (a read lock taken
// and given back: about eight system calls), or all in one transaction.
void WalkStore(benchmark::State& state, bool oneTransaction) {
    const ListingStore& store = LargeListingStore();
    const int folders = store.rows / kFolderFiles;
    const int entries = store.rows + folders + folders / kFoldersPerTop;
    for (auto _ : state) {
        DirHandle* dir = kivfsOpenDir(store.path.c_str());
        if (oneTransaction) kivfsBeginTrans(dir);
        if (ReadListing(dir, "", true) != entries) state.SkipWithError("the tree did not list");
        if (oneTransaction) kivfsCommitTrans(dir);
        kivfsCloseDir(dir);
    }
    state.SetItemsProcessed(state.iterations() * store.rows);
}

void Walk_Store_Rows100k(benchmark::State& state) {
    WalkStore(state, false);
}
void Walk_Store_OneTransaction_Rows100k(benchmark::State& state) {
    WalkStore(state, true);
}

// One SELECT of every row's two keys, on a freshly opened connection.
void Walk_SqliteAlone_Rows100k(benchmark::State& state) {
    const ListingStore& store = LargeListingStore();
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open(store.path.c_str(), &db);
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT FileName, Path FROM FileStorage", -1, &query, nullptr);
        size_t bytes = 0;
        int rows = 0;
        while (sqlite3_step(query) == SQLITE_ROW) {
            bytes += std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
            bytes += std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(query, 1)));
            ++rows;
        }
        sqlite3_finalize(query);
        sqlite3_close(db);
        benchmark::DoNotOptimize(bytes);
        if (rows != store.rows) state.SkipWithError("the rows did not read");
    }
    state.SetItemsProcessed(state.iterations() * store.rows);
}

// --- the runs -------------------------------------------------------------

// What the read passes read: a store and a tree written once, outside timing.
struct ReadTargets {
    kivfs_test::TempDir dir;
    std::string store = dir / "store.db";
    std::string tree = dir / "tree";
    ReadTargets() {
        StoreWrite(store);
        TreeWrite(tree);
    }
};

const ReadTargets& Targets() {
    static const ReadTargets targets;
    return targets;
}

// Runs `write` into a fresh folder each iteration; the clean-up is untimed.
template <typename Write>
void RunWrite(benchmark::State& state, Write write) {
    TheSample();
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<kivfs_test::TempDir>();
        const std::string at = *dir / "target";
        state.ResumeTiming();
        write(at);
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

template <typename Read>
void RunRead(benchmark::State& state, Read read) {
    Targets();
    for (auto _ : state) {
        if (!read()) state.SkipWithError("a file did not read back whole");
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void Write_Store(benchmark::State& state) {
    RunWrite(state, StoreWrite);
}
void Write_PosixTree(benchmark::State& state) {
    RunWrite(state, TreeWrite);
}
void Write_SqliteAlone(benchmark::State& state) {
    RunWrite(state, DirectWrite);
}

void Write_SqliteThroughBlob(benchmark::State& state) {
    RunWrite(state, DirectWriteThroughBlob);
}

void Read_Store_OneTransaction(benchmark::State& state) {
    RunRead(state, [] { return StoreRead(Targets().store, true); });
}
void Read_Store_PerOperation(benchmark::State& state) {
    RunRead(state, [] { return StoreRead(Targets().store, false); });
}
void Read_PosixTree(benchmark::State& state) {
    RunRead(state, [] { return TreeRead(Targets().tree); });
}
void Read_SqliteAlone_OneTransaction(benchmark::State& state) {
    RunRead(state, [] { return DirectRead(Targets().store, DirectMode::kOneTransaction); });
}
void Read_SqliteAlone_PerOperation(benchmark::State& state) {
    RunRead(state, [] { return DirectRead(Targets().store, DirectMode::kPerOperation); });
}
void Read_SqliteAlone_ReusedHandle(benchmark::State& state) {
    RunRead(state, [] { return DirectRead(Targets().store, DirectMode::kReusedHandle); });
}

void Read_SqliteFloor_OneTransaction(benchmark::State& state) {
    RunRead(state, [] { return DirectReadOneStatement(Targets().store, true); });
}
void Read_SqliteFloor_PerOperation(benchmark::State& state) {
    RunRead(state, [] { return DirectReadOneStatement(Targets().store, false); });
}

BENCHMARK(Write_Store)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Write_PosixTree)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Write_SqliteAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Write_SqliteThroughBlob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Read_Store_OneTransaction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Read_PosixTree)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Read_SqliteAlone_OneTransaction)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Read_SqliteAlone_ReusedHandle)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Read_Store_PerOperation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Read_SqliteAlone_PerOperation)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Read_SqliteFloor_OneTransaction)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Read_SqliteFloor_PerOperation)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Read_Store_Streamed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Read_SqliteAlone_Streamed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(List_Store_Folder20_Rows1k)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(List_Store_Folder20_Rows100k)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Walk_Store_Rows100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(Walk_Store_OneTransaction_Rows100k)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(Walk_SqliteAlone_Rows100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Keeps each run's files/s so that the ratios can be printed after the table.
// With repetitions, the median of a benchmark's runs replaces them (it is
// reported after them); the other aggregates are not rates of a run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end())
                filesPerSecond[run.run_name.function_name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> filesPerSecond;
};

// Prints store / peer for each pair measured in this run (above 1: the store
// is faster).
void PrintRatios(const std::map<std::string, double>& rates) {
    const char* pairs[][2] = {
        {"Write_Store", "Write_PosixTree"},
        {"Write_Store", "Write_SqliteAlone"},
        {"Read_Store_OneTransaction", "Read_PosixTree"},
        {"Read_Store_OneTransaction", "Read_SqliteAlone_OneTransaction"},
        {"Read_Store_OneTransaction", "Read_SqliteAlone_ReusedHandle"},
        {"Read_Store_PerOperation", "Read_PosixTree"},
        {"Read_Store_PerOperation", "Read_SqliteAlone_PerOperation"},
        {"Read_SqliteAlone_OneTransaction", "Read_PosixTree"},
        {"Read_Store_Streamed", "Read_SqliteAlone_Streamed"},
        {"Write_Store", "Write_SqliteThroughBlob"},
        {"Read_SqliteFloor_OneTransaction", "Read_PosixTree"},
        {"Read_SqliteFloor_PerOperation", "Read_PosixTree"},
        {"Read_Store_OneTransaction", "Read_SqliteFloor_OneTransaction"},
        {"Read_Store_PerOperation", "Read_SqliteFloor_PerOperation"},
        {"List_Store_Folder20_Rows1k", "List_Store_Folder20_Rows100k"},
        {"Walk_Store_Rows100k", "Walk_SqliteAlone_Rows100k"},
        {"Walk_Store_OneTransaction_Rows100k", "Walk_SqliteAlone_Rows100k"},
    };
    std::printf(
        "\nfiles/s (streamed: read calls/s; listed: listings/s; walk: rows/s) ratios in this "
        "run (above 1: the first is faster)\n");
    for (const auto& pair : pairs) {
        auto a = rates.find(pair[0]);
        auto b = rates.find(pair[1]);
        if (a == rates.end() || b == rates.end() || b->second == 0) continue;
        std::printf("  %-34s / %-34s %6.3f\n", pair[0], pair[1], a->second / b->second);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter.filesPerSecond);
    benchmark::Shutdown();
    return 0;
}
