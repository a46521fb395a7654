// Zip archives through kivfs, next to the same work done directly with
// zziplib (its own file reading, exact-case and case-insensitive opens),
// with libzip (which, like kivfs, checks each entry's CRC-32 as it reads)
// and with raw zlib inflation of the same deflate data:
//   - 20,000 small entries (1 to 16 KiB, deflated, in 200 folders of a
//     20,211-entry archive) opened by name in shuffled order, every other
//     name in toggled letter case, each read whole (entries/s);
//   - 2,000 entries opened and read in archives of 2,000 and of 60,000
//     entries (entries/s: the same rate at both sizes means an open costs
//     the same in an archive of any size);
//   - one 256 MiB deflated and one 256 MiB stored entry read sequentially in
//     64 KiB chunks from a freshly opened archive (bytes/s), next to reading
//     the archive file itself;
//   - listings of a directory of 2,000 and of 20,000 entries, files or
//     sub-directories (entries/s: the same rate at both sizes is linear);
//   - StoredVsPread: one 256 MiB stored entry read in 64 KiB chunks (its
//     CRC-32 checked) next to pread of the same bytes of the archive file,
//     timed alternately in each iteration, for an archive written in one
//     write and a copy written 4 KiB at a time (which leaves the page cache
//     holding small pages), warm and cold (the archive dropped from the page
//     cache with posix_fadvise DONTNEED before each side's pass); the
//     counter rate_ratio is the library's rate / pread's (goal: at least 0.9).
// Each pair is printed as a ratio at the end of the run, from the medians
// when the run repeats (on a shared machine, run it as
//   zip_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true).
// The archives are made once per run in a temporary folder (about 450 MB)
// and removed at its end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>
#include <zzip/zzip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

namespace {

using kivfs_test::SampleText;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipMethod;

constexpr size_t kLargeSize = size_t{256} << 20;
constexpr int kChunk = 64 * 1024;
// The scaling run opens this many entries of archives of each size.
constexpr int kScalingOpens = 2000;

// Names to open, and the names they are stored under.
struct Lookups {
    std::vector<std::string> stored;  // in a fixed shuffled order
    std::vector<std::string> asked;   // the same, every other one in toggled case
};

// Every ASCII letter in the other case: a name only a case-insensitive
// lookup finds.
std::string ToggledCase(std::string name) {
    for (char& c : name) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (std::islower(static_cast<unsigned char>(c))) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return name;
}

// The archives of one run, each made the first time a benchmark needs it.
class Archives {
  public:
    static Archives& Get() {
        static Archives archives;
        return archives;
    }

    // 20,211 entries: 20,000 deflated files of 1 to 16 KiB, 100 in each of
    // 200 folders two levels deep ("Pack_NN/Set_NN/Sprite_NNNNN.Png"), the
    // 210 folders' own entries and a read-me.
    const std::string& Small() {
        if (small_.empty()) small_ = MakeNested("small.zip", 20000, 1024, 16384, smallLookups_);
        return small_;
    }
    // The names of Small()'s 20,000 files.
    const Lookups& SmallLookups() { return (Small(), smallLookups_); }

    // An archive of about `entries` entries of 1 KiB (for the scaling run),
    // and 2,000 of its files' names.
    const std::string& Scaling(int entries) {
        std::string& path = scaling_[entries];
        if (path.empty()) {
            Lookups all;
            path = MakeNested("scale" + std::to_string(entries) + ".zip", entries, 1024, 1024, all);
            Lookups& some = scalingLookups_[entries];
            some.stored.assign(all.stored.begin(), all.stored.begin() + kScalingOpens);
            some.asked.assign(all.asked.begin(), all.asked.begin() + kScalingOpens);
        }
        return path;
    }
    const Lookups& ScalingLookups(int entries) {
        return (Scaling(entries), scalingLookups_[entries]);
    }

    // "big.deflated" and "big.stored", 256 MiB of text each.
    const std::string& Large() {
        if (!large_.empty()) return large_;
        const std::string content = SampleText(kLargeSize, 11);
        ZipBuilder builder;
        builder.AddFile("big.deflated", content, ZipMethod::Deflated);
        builder.AddFile("big.stored", content, ZipMethod::Stored);
        kivfs_test::ZipImage image = builder.Build();
        const auto& deflated = image.entries[0];
        deflatedData_ = image.bytes.substr(deflated.data, deflated.dataSize);
        storedOffset_ = static_cast<long>(image.entries[1].data);
        large_ = temp_ / "large.zip";
        image.WriteTo(large_);
        return large_;
    }
    // The raw deflate data of "big.deflated", in memory.
    const std::string& DeflatedData() { return (Large(), deflatedData_); }
    // Where the bytes of "big.stored" start in Large()'s file.
    long StoredOffset() { return (Large(), storedOffset_); }

    // An archive holding only "big.stored" (256 MiB of text), written with
    // one write or 4 KiB at a time, and flushed to disk so that its pages can
    // be dropped from the page cache.
    const std::string& StoredOnly(bool inPieces) {
        std::string& path = inPieces ? storedPieces_ : storedWhole_;
        if (!path.empty()) return path;
        ZipBuilder builder;
        builder.AddFile("big.stored", SampleText(kLargeSize, 11), ZipMethod::Stored);
        const kivfs_test::ZipImage image = builder.Build();
        storedOnlyOffset_ = static_cast<off_t>(image.entries[0].data);
        path = temp_ / (inPieces ? "stored-4k.zip" : "stored-whole.zip");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const size_t piece = inPieces ? 4096 : image.bytes.size();
        for (size_t done = 0; fd >= 0 && done < image.bytes.size();) {
            const ssize_t put =
                ::write(fd, image.bytes.data() + done, std::min(piece, image.bytes.size() - done));
            if (put <= 0) std::abort();
            done += static_cast<size_t>(put);
        }
        if (fd < 0 || ::fsync(fd) != 0) std::abort();
        ::close(fd);
        return path;
    }
    // Where the bytes of "big.stored" start in StoredOnly()'s files.
    off_t StoredOnlyOffset() { return (StoredOnly(false), storedOnlyOffset_); }

    // `count` entries in one directory "Data/", or each in a directory of its
    // own below "Tree/".
    const std::string& Listing(int count, bool directories) {
        std::string& path = listings_[{count, directories}];
        if (path.empty()) {
            path = directories ? MakeTree("tree" + std::to_string(count) + ".zip", count)
                               : MakeFlat("flat" + std::to_string(count) + ".zip", count);
        }
        return path;
    }

  private:
    Archives() = default;

    // `files` deflated files of `minSize` to `maxSize` bytes, 100 to a
    // folder, folders 20 to a pack, with an entry for every folder and a
    // read-me; their names go to `lookups`.
    std::string MakeNested(const std::string& file, int files, size_t minSize, size_t maxSize,
                           Lookups& lookups) {
        // Contents are cut from a few texts, so that making them costs little.
        std::vector<std::string> texts;
        for (unsigned seed = 0; seed < 16; ++seed) texts.push_back(SampleText(maxSize, seed));
        std::mt19937 generator(3);
        std::uniform_int_distribution<size_t> size(minSize, maxSize);
        ZipBuilder builder;
        builder.AddFile("ReadMe.txt", "read me");
        char name[64];
        for (int i = 0; i < files; ++i) {
            const int folder = i / 100;
            if (folder % 20 == 0 && i % 100 == 0) {
                std::snprintf(name, sizeof name, "Pack_%02d/", folder / 20);
                builder.AddDirectory(name);
            }
            if (i % 100 == 0) {
                std::snprintf(name, sizeof name, "Pack_%02d/Set_%02d/", folder / 20, folder % 20);
                builder.AddDirectory(name);
            }
            std::snprintf(name, sizeof name, "Pack_%02d/Set_%02d/Sprite_%05d.Png", folder / 20,
                          folder % 20, i);
            builder.AddFile(name, texts[i % texts.size()].substr(0, size(generator)));
            lookups.stored.push_back(name);
        }
        std::shuffle(lookups.stored.begin(), lookups.stored.end(), generator);
        lookups.asked = lookups.stored;
        for (size_t i = 0; i < lookups.asked.size(); i += 2) {
            lookups.asked[i] = ToggledCase(lookups.asked[i]);
        }
        const std::string path = temp_ / file;
        builder.WriteTo(path);
        return path;
    }

    std::string MakeFlat(const std::string& file, int count) {
        ZipBuilder builder;
        char name[64];
        for (int i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, "Data/Sprite_%05d.Png", i);
            builder.AddFile(name, SampleText(300, i));
        }
        const std::string path = temp_ / file;
        builder.WriteTo(path);
        return path;
    }

    std::string MakeTree(const std::string& file, int count) {
        ZipBuilder builder;
        char name[64];
        for (int i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, "Tree/Level_%05d/Map.dat", i);
            builder.AddFile(name, "map");
        }
        const std::string path = temp_ / file;
        builder.WriteTo(path);
        return path;
    }

    kivfs_test::TempDir temp_;
    std::string small_;
    Lookups smallLookups_;
    std::map<int, std::string> scaling_;
    std::map<int, Lookups> scalingLookups_;
    std::string large_;
    std::string deflatedData_;
    long storedOffset_ = 0;
    std::string storedWhole_;
    std::string storedPieces_;
    off_t storedOnlyOffset_ = 0;
    std::map<std::pair<int, bool>, std::string> listings_;
};

// --- 20,000 small entries opened by name and read whole -------------------

// Opens each name in `dir` and reads it whole.
void OpenAndReadAll(benchmark::State& state, DirHandle* dir,
                    const std::vector<std::string>& names) {
    std::vector<char> buffer(16384);
    for (const std::string& name : names) {
        FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 0);
        if (!file) state.SkipWithError("entry not found");
        while (kivfsRead(file, buffer.data(), static_cast<int>(buffer.size())) > 0) {
        }
        kivfsCloseFile(file);
    }
}

// The same with libzip: opens each exact name in `archive` (null: nothing
// opens) and reads it whole, libzip checking its CRC-32.
void LibzipOpenAndReadAll(benchmark::State& state, zip_t* archive,
                          const std::vector<std::string>& names) {
    std::vector<char> buffer(16384);
    for (const std::string& name : names) {
        zip_file_t* file = archive ? zip_fopen(archive, name.c_str(), 0) : nullptr;
        if (!file) {
            state.SkipWithError("entry not found");
            return;
        }
        while (zip_fread(file, buffer.data(), buffer.size()) > 0) {
        }
        zip_fclose(file);
    }
}

void BM_OpenSmall_Kivfs(benchmark::State& state) {
    const std::string& path = Archives::Get().Small();
    const auto& names = Archives::Get().SmallLookups().asked;
    for (auto _ : state) {
        DirHandle* dir = kivfsOpenDir(path.c_str());
        OpenAndReadAll(state, dir, names);
        kivfsCloseDir(dir);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// zziplib alone, reading the file itself; `caseless` opens the asked names
// with ZZIP_CASELESS, otherwise the exact stored names are opened.
void OpenSmallWithZziplib(benchmark::State& state, bool caseless) {
    const std::string& path = Archives::Get().Small();
    const Lookups& lookups = Archives::Get().SmallLookups();
    const auto& names = caseless ? lookups.asked : lookups.stored;
    std::vector<char> buffer(16384);
    for (auto _ : state) {
        ZZIP_DIR* dir = zzip_dir_open(path.c_str(), nullptr);
        for (const std::string& name : names) {
            ZZIP_FILE* file = zzip_file_open(dir, name.c_str(), caseless ? ZZIP_CASELESS : 0);
            if (!file) state.SkipWithError("entry not found");
            while (zzip_file_read(file, buffer.data(), buffer.size()) > 0) {
            }
            zzip_file_close(file);
        }
        zzip_dir_close(dir);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

void BM_OpenSmall_ZziplibCaseless(benchmark::State& state) {
    OpenSmallWithZziplib(state, true);
}
void BM_OpenSmall_ZziplibExact(benchmark::State& state) {
    OpenSmallWithZziplib(state, false);
}

// libzip alone, opening the exact stored names (its fastest lookup: a hash
// of the names) and checking each entry's CRC-32 as it reads.
void BM_OpenSmall_LibzipExact(benchmark::State& state) {
    const std::string& path = Archives::Get().Small();
    const auto& names = Archives::Get().SmallLookups().stored;
    for (auto _ : state) {
        int error = 0;
        zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
        LibzipOpenAndReadAll(state, archive, names);
        zip_close(archive);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// The cost of one open against the archive's size: 2,000 entries opened and
// read in an archive of 2,000 and of 60,000 entries, the archive opened (and
// its names indexed by a first open) before the timing starts.
void BM_OpenScaling_Kivfs(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string& path = Archives::Get().Scaling(entries);
    const auto& names = Archives::Get().ScalingLookups(entries).asked;
    DirHandle* dir = kivfsOpenDir(path.c_str());
    OpenAndReadAll(state, dir, {names.front(), names.back()});
    for (auto _ : state) OpenAndReadAll(state, dir, names);
    kivfsCloseDir(dir);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// The same opens with libzip (exact names, its hash of the names): what the
// archive's size costs a reader that is not kivfs, reading the same bytes.
void BM_OpenScaling_LibzipExact(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string& path = Archives::Get().Scaling(entries);
    const auto& names = Archives::Get().ScalingLookups(entries).stored;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    for (auto _ : state) LibzipOpenAndReadAll(state, archive, names);
    zip_close(archive);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// --- 256 MiB entries read in 64 KiB chunks --------------------------------

const char* LargeEntry(const benchmark::State& state) {
    return state.range(0) ? "big.stored" : "big.deflated";
}

void BM_ReadLarge_Kivfs(benchmark::State& state) {
    const std::string& path = Archives::Get().Large();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        DirHandle* dir = kivfsOpenDir(path.c_str());
        FileHandle* file = kivfsCreateFileIndir(dir, LargeEntry(state), 0);
        int64_t total = 0;
        int count;
        while ((count = kivfsRead(file, buffer.data(), kChunk)) > 0) total += count;
        if (total != static_cast<int64_t>(kLargeSize)) state.SkipWithError("short read");
        kivfsCloseFile(file);
        kivfsCloseDir(dir);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

void BM_ReadLarge_Zziplib(benchmark::State& state) {
    const std::string& path = Archives::Get().Large();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        ZZIP_DIR* dir = zzip_dir_open(path.c_str(), nullptr);
        ZZIP_FILE* file = zzip_file_open(dir, LargeEntry(state), 0);
        int64_t total = 0;
        zzip_ssize_t count;
        while ((count = zzip_file_read(file, buffer.data(), kChunk)) > 0) total += count;
        if (total != static_cast<int64_t>(kLargeSize)) state.SkipWithError("short read");
        zzip_file_close(file);
        zzip_dir_close(dir);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// libzip, reading the file itself; it checks the entry's CRC-32 once the
// whole entry has been read.
void BM_ReadLarge_Libzip(benchmark::State& state) {
    const std::string& path = Archives::Get().Large();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        int error = 0;
        zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
        zip_file_t* file = archive ? zip_fopen(archive, LargeEntry(state), 0) : nullptr;
        if (!file) {
            state.SkipWithError("libzip cannot open the entry");
            break;
        }
        int64_t total = 0;
        zip_int64_t count;
        while ((count = zip_fread(file, buffer.data(), kChunk)) > 0) total += count;
        if (count < 0 || total != static_cast<int64_t>(kLargeSize))
            state.SkipWithError("short read");
        zip_fclose(file);
        zip_close(archive);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// The floor for the stored entry: the archive file itself read where the
// entry's bytes lie, unbuffered, in the same 64 KiB chunks (read(2) calls).
void BM_ReadLarge_FileRead(benchmark::State& state) {
    const std::string& path = Archives::Get().Large();
    const long offset = Archives::Get().StoredOffset();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        std::setvbuf(file, nullptr, _IONBF, 0);
        std::fseek(file, offset, SEEK_SET);
        size_t total = 0;
        while (total < kLargeSize) {
            const size_t count = std::fread(buffer.data(), 1, kChunk, file);
            if (count == 0) break;
            total += count;
        }
        if (total != kLargeSize) state.SkipWithError("short read");
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// The floor for the deflated entry: its deflate data, already in memory,
// inflated into one 64 KiB buffer chunk after chunk.
void BM_ReadLarge_RawZlib(benchmark::State& state) {
    const std::string& data = Archives::Get().DeflatedData();
    std::vector<unsigned char> buffer(kChunk);
    for (auto _ : state) {
        z_stream stream = {};
        inflateInit2(&stream, -15);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(data.size());
        int result = Z_OK;
        while (result == Z_OK) {
            stream.next_out = buffer.data();
            stream.avail_out = kChunk;
            result = inflate(&stream, Z_NO_FLUSH);
        }
        if (stream.total_out != kLargeSize) state.SkipWithError("short inflate");
        inflateEnd(&stream);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// --- a 256 MiB stored entry next to pread of the archive, warm and cold ----

// Drops the file's pages from the page cache (they are clean: the archives
// were flushed when written).
void DropFromCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Reads "big.stored" through the library in 64 KiB chunks, the archive
// opened fresh; the byte count.
int64_t ReadStoredThroughKivfs(const std::string& path, std::vector<char>& buffer) {
    DirHandle* dir = kivfsOpenDir(path.c_str());
    FileHandle* file = dir ? kivfsCreateFileIndir(dir, "big.stored", 0) : nullptr;
    int64_t total = 0;
    int count = -1;
    while (file && (count = kivfsRead(file, buffer.data(), kChunk)) > 0) total += count;
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
    return count == 0 ? total : -1;
}

// The same bytes with pread of the archive file, opened fresh, in the same
// chunks: the floor.
int64_t ReadStoredWithPread(const std::string& path, off_t offset, std::vector<char>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    int64_t total = 0;
    while (total < static_cast<int64_t>(kLargeSize)) {
        const size_t want = std::min<size_t>(kChunk, kLargeSize - static_cast<size_t>(total));
        const ssize_t got = ::pread(fd, buffer.data(), want, offset + total);
        if (got <= 0) break;
        total += got;
    }
    ::close(fd);
    return total;
}

// range(0): 1 for the archive written 4 KiB at a time; range(1): 1 for cold.
// Both sides run in every iteration, alternating which goes first; the
// benchmark's own time is the library's.
void BM_StoredVsPread(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const bool cold = state.range(1) != 0;
    const std::string& path = Archives::Get().StoredOnly(state.range(0) != 0);
    const off_t offset = Archives::Get().StoredOnlyOffset();
    std::vector<char> buffer(kChunk);
    double kivfs = 0, pread = 0, bestKivfs = 1e300, bestPread = 1e300;
    bool kivfsFirst = true;
    if (!cold) ReadStoredWithPread(path, offset, buffer);
    for (auto _ : state) {
        double pass[2] = {0, 0};  // kivfs, pread
        for (int turn = 0; turn < 2; ++turn) {
            const bool isKivfs = (turn == 0) == kivfsFirst;
            if (cold) DropFromCache(path);
            const auto start = Clock::now();
            const int64_t total = isKivfs ? ReadStoredThroughKivfs(path, buffer)
                                          : ReadStoredWithPread(path, offset, buffer);
            pass[isKivfs ? 0 : 1] = std::chrono::duration<double>(Clock::now() - start).count();
            if (total != static_cast<int64_t>(kLargeSize)) state.SkipWithError("short read");
        }
        kivfsFirst = !kivfsFirst;
        state.SetIterationTime(pass[0]);
        kivfs += pass[0];
        pread += pass[1];
        bestKivfs = std::min(bestKivfs, pass[0]);
        bestPread = std::min(bestPread, pass[1]);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["kivfs_ms"] = kivfs / n * 1e3;
    state.counters["pread_ms"] = pread / n * 1e3;
    state.counters["rate_ratio"] = pread / kivfs;
    state.counters["best_rate_ratio"] = bestPread / bestKivfs;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// --- listings ---------------------------------------------------------------

const char* ListedDirectory(const benchmark::State& state) {
    return state.range(1) ? "Tree/" : "Data/";
}

void BM_List_Kivfs(benchmark::State& state) {
    const std::string& path =
        Archives::Get().Listing(static_cast<int>(state.range(0)), state.range(1) != 0);
    DirHandle* dir = kivfsOpenDir(path.c_str());
    int64_t listed = 0;
    for (auto _ : state) {
        EnumHandle* listing = kivfsCreateEnumIndir(dir, ListedDirectory(state));
        char* name = nullptr;
        while (kivfsMoveNext(listing) && kivfsGetName(listing, &name)) {
            kivfsFreeName(name);
            ++listed;
        }
        kivfsCloseEnum(listing);
    }
    kivfsCloseDir(dir);
    if (listed != state.iterations() * state.range(0)) state.SkipWithError("wrong count");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// zziplib alone: one walk of the central directory, finding the entries
// below the listed directory by their names' prefix, without copying any.
void BM_List_ZziplibWalk(benchmark::State& state) {
    const std::string& path =
        Archives::Get().Listing(static_cast<int>(state.range(0)), state.range(1) != 0);
    const std::string prefix = ListedDirectory(state);
    ZZIP_DIR* dir = zzip_dir_open(path.c_str(), nullptr);
    for (auto _ : state) {
        int64_t below = 0;
        while (ZZIP_DIRENT* entry = zzip_readdir(dir)) {
            below += std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0;
        }
        zzip_rewinddir(dir);
        benchmark::DoNotOptimize(below);
    }
    zzip_dir_close(dir);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The floor the exported listing calls impose: the walk above, handing out
// each listed name as kivfsGetName must (a new[] copy the caller frees with
// delete[]), and nothing else (not de-duplicating directories).
void BM_List_ZziplibWalkHandingOut(benchmark::State& state) {
    const std::string& path =
        Archives::Get().Listing(static_cast<int>(state.range(0)), state.range(1) != 0);
    const std::string prefix = ListedDirectory(state);
    ZZIP_DIR* dir = zzip_dir_open(path.c_str(), nullptr);
    for (auto _ : state) {
        while (ZZIP_DIRENT* entry = zzip_readdir(dir)) {
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
            // A directory's name is the rest's first component with its "/".
            const char* rest = entry->d_name + prefix.size();
            const char* slash = std::strchr(rest, '/');
            const size_t length = slash ? slash + 1 - rest : std::strlen(rest);
            char* name = new char[length + 1];
            std::memcpy(name, rest, length);
            name[length] = '\0';
            benchmark::DoNotOptimize(name);
            delete[] name;
        }
        zzip_rewinddir(dir);
    }
    zzip_dir_close(dir);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// zziplib alone: one walk of the central directory, copying the name of each
// entry below the listed directory.
void BM_List_ZziplibReaddir(benchmark::State& state) {
    const std::string& path =
        Archives::Get().Listing(static_cast<int>(state.range(0)), state.range(1) != 0);
    const std::string prefix = ListedDirectory(state);
    ZZIP_DIR* dir = zzip_dir_open(path.c_str(), nullptr);
    for (auto _ : state) {
        std::vector<std::string> names;
        while (ZZIP_DIRENT* entry = zzip_readdir(dir)) {
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
                names.emplace_back(entry->d_name + prefix.size());
            }
        }
        zzip_rewinddir(dir);
        benchmark::DoNotOptimize(names.data());
    }
    zzip_dir_close(dir);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_OpenSmall_Kivfs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSmall_ZziplibCaseless)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSmall_ZziplibExact)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSmall_LibzipExact)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenScaling_Kivfs)
    ->Arg(2000)
    ->Arg(60000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenScaling_LibzipExact)
    ->Arg(2000)
    ->Arg(60000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ReadLarge_Kivfs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_Zziplib)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_Libzip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_FileRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_RawZlib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StoredVsPread)
    ->ArgNames({"4KiBwrites", "cold"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_StoredVsPread)
    ->ArgNames({"4KiBwrites", "cold"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_List_ZziplibWalk)
    ->ArgsProduct({{2000, 20000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_List_Kivfs)
    ->ArgsProduct({{2000, 20000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_List_ZziplibWalkHandingOut)
    ->ArgsProduct({{2000, 20000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_List_ZziplibReaddir)
    ->ArgsProduct({{2000, 20000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The console report, keeping each run's rate (items or bytes per second) by
// name for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
            const std::string name = run.run_name.str();
            if (!median && medians_.count(name)) continue;
            if (median) medians_.insert(name);
            for (const char* counter : {"items_per_second", "bytes_per_second"}) {
                const auto found = run.counters.find(counter);
                if (found != run.counters.end()) rates_[name] = found->second;
            }
        }
    }

    // Prints ours / peer for each pair that ran; above 1 means kivfs is faster.
    void PrintRatios() const {
        struct Pair {
            const char* what;
            const char* ours;
            const char* peer;
        };
        static const Pair kPairs[] = {
            {"small opens vs zziplib caseless", "BM_OpenSmall_Kivfs/real_time",
             "BM_OpenSmall_ZziplibCaseless/real_time"},
            {"small opens vs zziplib exact", "BM_OpenSmall_Kivfs/real_time",
             "BM_OpenSmall_ZziplibExact/real_time"},
            {"small opens vs libzip exact", "BM_OpenSmall_Kivfs/real_time",
             "BM_OpenSmall_LibzipExact/real_time"},
            {"opens: rate at 60,000 entries / at 2,000", "BM_OpenScaling_Kivfs/60000/real_time",
             "BM_OpenScaling_Kivfs/2000/real_time"},
            {"libzip opens: rate at 60,000 entries / at 2,000",
             "BM_OpenScaling_LibzipExact/60000/real_time",
             "BM_OpenScaling_LibzipExact/2000/real_time"},
            {"256 MiB deflated vs zziplib", "BM_ReadLarge_Kivfs/0/real_time",
             "BM_ReadLarge_Zziplib/0/real_time"},
            {"256 MiB deflated vs raw zlib", "BM_ReadLarge_Kivfs/0/real_time",
             "BM_ReadLarge_RawZlib/real_time"},
            {"256 MiB deflated vs libzip", "BM_ReadLarge_Kivfs/0/real_time",
             "BM_ReadLarge_Libzip/0/real_time"},
            {"256 MiB stored vs zziplib", "BM_ReadLarge_Kivfs/1/real_time",
             "BM_ReadLarge_Zziplib/1/real_time"},
            {"256 MiB stored vs libzip", "BM_ReadLarge_Kivfs/1/real_time",
             "BM_ReadLarge_Libzip/1/real_time"},
            {"256 MiB stored vs reading the file", "BM_ReadLarge_Kivfs/1/real_time",
             "BM_ReadLarge_FileRead/real_time"},
            {"list 20,000 files vs a walk without copies", "BM_List_Kivfs/20000/0/real_time",
             "BM_List_ZziplibWalk/20000/0/real_time"},
            {"list 20,000 dirs vs a walk without copies", "BM_List_Kivfs/20000/1/real_time",
             "BM_List_ZziplibWalk/20000/1/real_time"},
            {"list 20,000 files vs the walk handing out names", "BM_List_Kivfs/20000/0/real_time",
             "BM_List_ZziplibWalkHandingOut/20000/0/real_time"},
            {"list 20,000 dirs vs the walk handing out names", "BM_List_Kivfs/20000/1/real_time",
             "BM_List_ZziplibWalkHandingOut/20000/1/real_time"},
            {"list 2,000 files vs readdir", "BM_List_Kivfs/2000/0/real_time",
             "BM_List_ZziplibReaddir/2000/0/real_time"},
            {"list 20,000 files vs readdir", "BM_List_Kivfs/20000/0/real_time",
             "BM_List_ZziplibReaddir/20000/0/real_time"},
            {"list 2,000 dirs vs readdir", "BM_List_Kivfs/2000/1/real_time",
             "BM_List_ZziplibReaddir/2000/1/real_time"},
            {"list 20,000 dirs vs readdir", "BM_List_Kivfs/20000/1/real_time",
             "BM_List_ZziplibReaddir/20000/1/real_time"},
            {"list files: rate at 20,000 / at 2,000", "BM_List_Kivfs/20000/0/real_time",
             "BM_List_Kivfs/2000/0/real_time"},
            {"list dirs: rate at 20,000 / at 2,000", "BM_List_Kivfs/20000/1/real_time",
             "BM_List_Kivfs/2000/1/real_time"},
        };
        std::printf("\nRatios (rate of the first / rate of the second; > 1: first is faster)\n");
        for (const Pair& pair : kPairs) {
            const auto ours = rates_.find(pair.ours);
            const auto peer = rates_.find(pair.peer);
            if (ours == rates_.end() || peer == rates_.end() || peer->second <= 0) continue;
            std::printf("  %-48s %6.2f\n", pair.what, ours->second / peer->second);
        }
    }

  private:
    // By run name: the median of the repetitions when there are several,
    // else the last run.
    std::map<std::string, double> rates_;
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
