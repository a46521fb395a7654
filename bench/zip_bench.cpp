// Zip archives through kivfs, next to the same work done directly with
// zziplib (its own file reading, exact-case and case-insensitive opens),
// with libzip (which, like kivfs, checks each entry's CRC-32 as it reads)
// and with raw zlib inflation of the same deflate data:
//   - 20,000 small entries opened by name, half of the names in another
//     letter case, each read whole (entries/s);
//   - one 256 MiB deflated and one 256 MiB stored entry read sequentially in
//     64 KiB chunks (bytes/s);
//   - listings of a directory of 2,000 and of 20,000 entries, files or
//     sub-directories (entries/s: the same rate at both sizes is linear).
// Each pair is printed as a ratio at the end of the run, from the medians
// when the run repeats (on a shared machine, run it as
//   zip_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true).
// The archives are made once per run in a temporary folder (about 330 MB)
// and removed at its end.
#include <benchmark/benchmark.h>
#include <zip.h>
#include <zlib.h>
#include <zzip/zzip.h>

#include <algorithm>
#include <cctype>
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

constexpr int kSmallEntries = 20000;
constexpr size_t kLargeSize = size_t{256} << 20;
constexpr int kChunk = 64 * 1024;

// The archives of one run, each made the first time a benchmark needs it.
class Archives {
  public:
    static Archives& Get() {
        static Archives archives;
        return archives;
    }

    // 20,000 entries "Data/Sprite_NNNNN.Png" of 300 to 1,500 bytes.
    const std::string& Small() {
        if (small_.empty()) small_ = MakeFlat("small.zip", kSmallEntries);
        return small_;
    }
    // The stored names of Small() in a fixed shuffled order, and the names
    // to open them by: the same order, every other one in lower case.
    const std::vector<std::string>& StoredNames() { return (Small(), storedNames_); }
    const std::vector<std::string>& LookupNames() { return (Small(), lookupNames_); }

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
        large_ = temp_ / "large.zip";
        image.WriteTo(large_);
        return large_;
    }
    // The raw deflate data of "big.deflated", in memory.
    const std::string& DeflatedData() { return (Large(), deflatedData_); }

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

    std::string MakeFlat(const std::string& file, int count) {
        ZipBuilder builder;
        std::vector<std::string> names;
        std::mt19937 generator(3);
        std::uniform_int_distribution<size_t> size(300, 1500);
        char name[64];
        for (int i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, "Data/Sprite_%05d.Png", i);
            builder.AddFile(name, SampleText(size(generator), i));
            names.push_back(name);
        }
        if (count == kSmallEntries && storedNames_.empty()) {
            std::shuffle(names.begin(), names.end(), generator);
            storedNames_ = names;
            for (size_t i = 0; i < names.size(); i += 2) {
                for (char& c : names[i]) c = static_cast<char>(std::tolower(c));
            }
            lookupNames_ = names;
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
    std::vector<std::string> storedNames_;
    std::vector<std::string> lookupNames_;
    std::string large_;
    std::string deflatedData_;
    std::map<std::pair<int, bool>, std::string> listings_;
};

// --- 20,000 small entries opened by name and read whole -------------------

void BM_OpenSmall_Kivfs(benchmark::State& state) {
    const std::string& path = Archives::Get().Small();
    const auto& names = Archives::Get().LookupNames();
    std::vector<char> buffer(4096);
    for (auto _ : state) {
        DirHandle* dir = kivfsOpenDir(path.c_str());
        for (const std::string& name : names) {
            FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 0);
            if (!file) state.SkipWithError("entry not found");
            while (kivfsRead(file, buffer.data(), static_cast<int>(buffer.size())) > 0) {
            }
            kivfsCloseFile(file);
        }
        kivfsCloseDir(dir);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// zziplib alone, reading the file itself; `caseless` opens the lookup names
// with ZZIP_CASELESS, otherwise the exact stored names are opened.
void OpenSmallWithZziplib(benchmark::State& state, bool caseless) {
    const std::string& path = Archives::Get().Small();
    const auto& names = caseless ? Archives::Get().LookupNames() : Archives::Get().StoredNames();
    std::vector<char> buffer(4096);
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
BENCHMARK(BM_ReadLarge_Kivfs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_Zziplib)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_Libzip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLarge_RawZlib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_List_Kivfs)
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
            std::printf("  %-40s %6.2f\n", pair.what, ours->second / peer->second);
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
