// Several threads at once: two mount and unmount names (and register the
// library with the host's stub again) while two others
// translate and read through the bridge, and two loader threads read through
// one store mount and one archive mount at once. Every read that opens gives
// the right bytes. The thread-sanitizer build runs this for data races.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kivIOStub.h"
#include "kivfs.h"
#include "support/ScopedMount.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

using kivfs_test::ScopedMount;
using kivfs_test::TempDir;
using kivfs_test::WriteBytes;
using kivfs_test::ZipBuilder;

namespace {

constexpr int kRounds = 150;
const std::string kContent = "the same bytes in every container";

// Reads the whole file `path` names through a stub, made by the library
// itself or through the host's stub library; "" when it does not open.
std::string ReadStub(const char* path, bool throughHostStub = false) {
    StubOps* ops = throughHostStub ? kivIOOpen(path, 0) : kivFSCreateStub(path, 0);
    if (!ops) return std::string();
    std::string out(256, '\0');
    const int got = ops->readFn(ops->file, &out[0], static_cast<int>(out.size()));
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    if (throughHostStub) {
        kivIOClose(ops);
    } else {
        kivFSDeleteStub(ops);
    }
    return out;
}

// Stores `content` as `name` in the store at `path`.
void FillStore(const std::string& path, const char* name, const std::string& content) {
    DirHandle* store = kivfsOpenDir(path.c_str());
    ASSERT_NE(store, nullptr);
    FileHandle* file = kivfsCreateFileIndir(store, name, 1);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(kivfsWrite(file, content.data(), static_cast<int>(content.size())),
              static_cast<int>(content.size()));
    kivfsCloseFile(file);
    kivfsCloseDir(store);
}

// Every entry of the listing of `name` in `dir`, each as its name and its
// kind, one after the other.
std::string ListAll(DirHandle* dir, const char* name) {
    std::string listed;
    EnumHandle* listing = kivfsCreateEnumIndir(dir, name);
    if (!listing) return "no listing";
    while (kivfsMoveNext(listing)) {
        char* entry = nullptr;
        if (!kivfsGetName(listing, &entry)) return "no name";
        listed += entry;
        listed += kivfsIsDirectory(listing) ? ":dir " : ":file ";
        kivfsFreeName(entry);
    }
    kivfsCloseEnum(listing);
    return listed;
}

}  // namespace

TEST(Threads, MountUnmountTranslateAndOpenAtOnce) {
#if defined(_WIN32)
    // Windows file locks belong to each handle, not to the process: the
    // mounts' own connections to a store contend with the readers', and with
    // no busy timeout set a read can fail while a mount opens. There the
    // store takes no part; the folder and the archive do.
    constexpr bool kStoreToo = false;
#else
    constexpr bool kStoreToo = true;
#endif
    TempDir dir;
    WriteBytes(dir / "f.txt", kContent);
    FillStore(dir / "s.db", "f.txt", kContent);
    ZipBuilder().AddFile("f.txt", kContent).Build().WriteTo(dir / "z.zip");
    ScopedMount store("store:", dir / "s.db");
    ScopedMount archive("zip:", dir / "z.zip");

    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    std::vector<std::string> containers = {dir.path(), dir / "z.zip"};
    if (kStoreToo) containers.push_back(dir / "s.db");
    for (const char* name : {"a:", "b:"}) {
        threads.emplace_back([&, name] {
            for (int round = 0; round < kRounds; ++round) {
                kivFSMountPath(name, containers[round % containers.size()].c_str());
                kivFSUnmountPath(name);
                kivFSInitFileSystem();
            }
        });
    }
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&] {
            char buffer[512];
            for (int round = 0; round < kRounds; ++round) {
                for (const char* path : {"a:f.txt", "b:f.txt"}) {
                    kivFSKivToSyspath(path, buffer, sizeof buffer);
                    const std::string got = ReadStub(path);
                    if (!got.empty() && got != kContent) wrong = true;
                }
                // One store connection and one archive serve both threads.
                if (kStoreToo && ReadStub("store:f.txt") != kContent) wrong = true;
                if (KIVFS_TEST_ZIP_BACKEND && ReadStub("zip:f.txt", true) != kContent) wrong = true;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(wrong);
    kivFSUnmountPath("a:");
    kivFSUnmountPath("b:");
}

TEST(Threads, OneStubPerThreadOnOneStoreMount) {
    TempDir dir;
    ScopedMount store("save:", dir / "save.db");
    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < 2; ++writer) {
        threads.emplace_back([&, writer] {
            const std::string name = "save:slot" + std::to_string(writer);
            for (int round = 0; round < kRounds / 3; ++round) {
                const std::string content = name + "#" + std::to_string(round);
                StubOps* ops = kivFSCreateStub(name.c_str(), 1);
                if (!ops) {
                    wrong = true;
                    continue;
                }
                const int size = static_cast<int>(content.size());
                if (ops->writeFn(ops->file, content.data(), size) != size) wrong = true;
                kivFSDeleteStub(ops);
                if (ReadStub(name.c_str()) != content) wrong = true;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(wrong);
}

// One archive listed by several threads at once, from its first listing on,
// while another opens and reads its entries: each listing is what one thread
// alone lists. (The entries themselves share zziplib's state: one thread at a
// time opens and reads them.)
TEST(Threads, ListingsOfOneArchiveAtOnce) {
    if (!KIVFS_TEST_ZIP_BACKEND) GTEST_SKIP() << "built without the zip backend";
    TempDir dir;
    ZipBuilder builder;
    for (int i = 0; i < 300; ++i) {
        const std::string folder = "d" + std::to_string(i % 7) + "/s" + std::to_string(i % 3) + "/";
        builder.AddFile(folder + "f" + std::to_string(i), kContent);
    }
    builder.Build().WriteTo(dir / "z.zip");
    const char* folders[] = {"", "d1/", "d2/s2/", "d6/s0/", "none/"};
    std::vector<std::string> expected;
    DirHandle* alone = kivfsOpenDir((dir / "z.zip").c_str());
    ASSERT_NE(alone, nullptr);
    for (const char* folder : folders) expected.push_back(ListAll(alone, folder));
    kivfsCloseDir(alone);
    EXPECT_EQ(expected[0], "d0/:dir d1/:dir d2/:dir d3/:dir d4/:dir d5/:dir d6/:dir ");

    for (int round = 0; round < 20; ++round) {
        DirHandle* shared = kivfsOpenDir((dir / "z.zip").c_str());
        ASSERT_NE(shared, nullptr);
        std::atomic<bool> wrong{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                for (size_t i = 0; i < expected.size(); ++i) {
                    const size_t at = (i + t) % expected.size();
                    if (ListAll(shared, folders[at]) != expected[at]) wrong = true;
                }
            });
        }
        threads.emplace_back([&] {
            for (const char* name : {"D3/S0/F3", "d4/s1/f4", "D5/s2/F5"}) {
                FileHandle* file = kivfsCreateFileIndir(shared, name, 0);
                char buffer[64] = {};
                if (!file || kivfsRead(file, buffer, sizeof buffer) != int(kContent.size()))
                    wrong = true;
                kivfsCloseFile(file);
            }
        });
        for (auto& thread : threads) thread.join();
        kivfsCloseDir(shared);
        EXPECT_FALSE(wrong) << "round " << round;
    }
}
