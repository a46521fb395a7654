// Reading real files through the library next to plain fopen/fread, in the
// same run and interleaved, so that the ratio between the two is what the
// library adds: the call layer, the backend and the stream wrapper.
//
//   SequentialRead: one 256 MiB file read from start to end in 64 KiB chunks.
//   SmallFiles:     20,000 files of 4 KiB, each opened, read whole and closed.
//   Listing:        the folder of those 20,000 files listed: per entry
//                   kivfsMoveNext, kivfsGetName with its kivfsFreeName and
//                   kivfsIsDirectory, next to opendir/readdir reading each
//                   entry's name and d_type.
//
// Each iteration times both sides over the same files, alternating which
// goes first (block by block for the small files); the counters give each
// side's mean time per pass ("library_ms", "peer_ms") and the ratio
// library/peer of the totals ("ratio") and of the fastest passes
// ("best_ratio"). The goal is a ratio under 1.05 (at least 0.95 of the
// peer's rate). The data is made in a temporary folder when the program
// starts and removed when it ends (about 340 MB of disk meanwhile).
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kivfs.h"
#include "support/TempDir.h"

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kBigSize = 256u * 1024 * 1024;
constexpr int kSmallCount = 20000;
constexpr size_t kSmallSize = 4 * 1024;
constexpr int kSmallBlock = 250;  // files per timed block; divides kSmallCount

// The files both sides read, made once for the whole run.
struct DataSet {
    kivfs_test::TempDir dir;
    std::string bigName = "big.bin";
    std::vector<std::string> smallNames;

    DataSet() {
        std::vector<unsigned char> bytes(1024 * 1024);
        unsigned state = 12345;
        for (auto& b : bytes)
            b = static_cast<unsigned char>((state = state * 1103515245 + 12345) >> 16);
        Write(bigName, bytes.data(), bytes.size(), kBigSize);
        std::filesystem::create_directory(dir / "small");
        for (int i = 0; i < kSmallCount; ++i) {
            smallNames.push_back("small/f" + std::to_string(i) + ".bin");
            Write(smallNames.back(), bytes.data() + i % 1024, kSmallSize, kSmallSize);
        }
    }

    // Writes `total` bytes to `name`, repeating the `size` bytes at `data`.
    void Write(const std::string& name, const unsigned char* data, size_t size, size_t total) {
        std::FILE* out = std::fopen((dir / name).c_str(), "wb");
        if (!out) std::abort();
        for (size_t done = 0; done < total; done += size) std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
};

DataSet* data = nullptr;

// Reads a library file to its end; returns a checksum of what was read.
size_t ReadAllLibrary(DirHandle* dir, const std::string& name, std::vector<char>& buffer) {
    FileHandle* file = kivfsCreateFileIndir(dir, name.c_str(), 0);
    if (!file) std::abort();
    size_t sum = 0;
    for (int got; (got = kivfsRead(file, buffer.data(), kChunk)) > 0;) {
        sum += static_cast<unsigned char>(buffer[got - 1]) + got;
        if (static_cast<size_t>(got) < kChunk) break;
    }
    kivfsCloseFile(file);
    return sum;
}

// The same with the C library alone: the path is joined as a caller would.
size_t ReadAllPlain(const std::string& root, const std::string& name, std::vector<char>& buffer) {
    std::FILE* file = std::fopen((root + "/" + name).c_str(), "rb");
    if (!file) std::abort();
    size_t sum = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, kChunk, file)) > 0;) {
        sum += static_cast<unsigned char>(buffer[got - 1]) + got;
        if (got < kChunk) break;
    }
    std::fclose(file);
    return sum;
}

// Times the two sides block by block, alternating which goes first, so that
// both meet the same load of a shared machine; reports the two sides' times
// per pass and their ratio. The benchmark's own time is the library's.
// `block(dir, index, buffer)` reads block `index` of a pass, through the
// library when `dir` is set and with plain fopen/fread otherwise.
template <typename Block>
void Compare(benchmark::State& state, int blocks, Block block) {
    using Clock = std::chrono::steady_clock;
    DirHandle* dir = kivfsOpenDir(data->dir.path().c_str());
    if (!dir) std::abort();
    std::vector<char> buffer(kChunk);
    double library = 0, plain = 0, bestLibrary = 1e300, bestPlain = 1e300;
    bool libraryFirst = true;
    for (auto _ : state) {
        double pass[2] = {0, 0};  // library, plain
        for (int index = 0; index < blocks; ++index) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool isLibrary = (turn == 0) == libraryFirst;
                const auto start = Clock::now();
                benchmark::DoNotOptimize(block(isLibrary ? dir : nullptr, index, buffer));
                pass[isLibrary ? 0 : 1] +=
                    std::chrono::duration<double>(Clock::now() - start).count();
            }
            libraryFirst = !libraryFirst;
        }
        state.SetIterationTime(pass[0]);
        library += pass[0];
        plain += pass[1];
        bestLibrary = std::min(bestLibrary, pass[0]);
        bestPlain = std::min(bestPlain, pass[1]);
    }
    kivfsCloseDir(dir);
    const double n = static_cast<double>(state.iterations());
    state.counters["library_ms"] = library / n * 1e3;
    state.counters["peer_ms"] = plain / n * 1e3;
    state.counters["ratio"] = library / plain;
    state.counters["best_ratio"] = bestLibrary / bestPlain;
}

// Reads one file whole through the side `dir` selects.
size_t ReadAll(DirHandle* dir, const std::string& name, std::vector<char>& buffer) {
    return dir ? ReadAllLibrary(dir, name, buffer) : ReadAllPlain(data->dir.path(), name, buffer);
}

// The big file is one block.
void SequentialRead(benchmark::State& state) {
    Compare(state, 1, [](DirHandle* dir, int, std::vector<char>& buffer) {
        return ReadAll(dir, data->bigName, buffer);
    });
}

// The small files come in blocks of kSmallBlock, each opened, read whole and
// closed.
void SmallFiles(benchmark::State& state) {
    Compare(state, kSmallCount / kSmallBlock, [](DirHandle* dir, int index, auto& buffer) {
        size_t sum = 0;
        for (int i = index * kSmallBlock; i < (index + 1) * kSmallBlock; ++i) {
            sum += ReadAll(dir, data->smallNames[i], buffer);
        }
        return sum;
    });
}

// Lists the small files' folder once; returns a checksum of what was seen.
// Through the library each entry costs the calls a host makes per name;
// plain readdir hands out its own buffer and the type the kernel reports.
size_t ListOnce(DirHandle* dir) {
    size_t sum = 0;
    if (dir) {
        EnumHandle* listing = kivfsCreateEnumIndir(dir, "small/");
        if (!listing) std::abort();
        while (kivfsMoveNext(listing)) {
            char* name = nullptr;
            if (!kivfsGetName(listing, &name)) std::abort();
            sum += static_cast<unsigned char>(name[0]) + (kivfsIsDirectory(listing) ? 1 : 0);
            kivfsFreeName(name);
        }
        kivfsCloseEnum(listing);
        return sum;
    }
    DIR* folder = ::opendir((data->dir.path() + "/small/").c_str());
    if (!folder) std::abort();
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' &&
            (entry->d_name[1] == '\0' || (entry->d_name[1] == '.' && entry->d_name[2] == '\0')))
            continue;
        sum += static_cast<unsigned char>(entry->d_name[0]) + (entry->d_type == DT_DIR ? 1 : 0);
    }
    ::closedir(folder);
    return sum;
}

// The whole folder is one block.
void Listing(benchmark::State& state) {
    Compare(state, 1, [](DirHandle* dir, int, std::vector<char>&) { return ListOnce(dir); });
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    DataSet set;
    data = &set;
    benchmark::RegisterBenchmark("SequentialRead/256MiB/64KiB", SequentialRead)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(40);
    benchmark::RegisterBenchmark("SmallFiles/20000x4KiB", SmallFiles)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(30);
    benchmark::RegisterBenchmark("Listing/20000", Listing)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(200);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    data = nullptr;
    return 0;
}
