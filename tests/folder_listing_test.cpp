// Listings of a folder named with or without its final "/", the same in a
// real folder, a zip archive and a store.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>

#include "kivfs.h"
#include "support/ZipBackend.h"
#include "tool_runner.h"

using kivfs_test::Files;
using kivfs_test::TempDir;

namespace {

enum class Kind { Folder, Zip, Store };

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Folder:
            return "Folder";
        case Kind::Zip:
            return "Zip";
        default:
            return "Store";
    }
}

// The test list shows the parameter by its name rather than its bytes.
void PrintTo(Kind kind, std::ostream* out) {
    *out << KindName(kind);
}

// Full names and whether each is a directory; the order differs by kind.
using Entries = std::set<std::pair<std::string, bool>>;

const Files kTree = {{"img/a.png", "a"}, {"img/sub/b.png", "b"}, {"imgx.txt", "x"}};

class FolderListing : public testing::TestWithParam<Kind> {
  protected:
    // The tree as the kind holds it; the archive with a directory entry for
    // each folder, as zip -r writes it.
    void SetUp() override {
        std::string path = tmp_ / "tree";
        switch (GetParam()) {
            case Kind::Folder:
                kivfs_test::MakeTree(path, kTree);
                break;
            case Kind::Zip: {
                KIVFS_REQUIRE_ZIP_BACKEND();
                path += ".zip";
                kivfs_test::ZipBuilder builder;
                builder.AddDirectory("img/").AddDirectory("img/sub/");
                for (const auto& [name, bytes] : kTree) builder.AddFile(name, bytes);
                builder.WriteTo(path);
                break;
            }
            case Kind::Store:
                path += ".db";
                kivfs_test::MakeStore(path, kTree);
                break;
        }
        dir_ = kivfsOpenDir(path.c_str());
        ASSERT_NE(dir_, nullptr);
    }
    void TearDown() override { kivfsCloseDir(dir_); }

    // The listing of `name`, failing the test when there is none.
    Entries List(const std::string& name) {
        Entries entries;
        EnumHandle* e = kivfsCreateEnumIndir(dir_, name.c_str());
        EXPECT_NE(e, nullptr) << name;
        while (kivfsMoveNext(e)) {
            char* full = nullptr;
            EXPECT_TRUE(kivfsGetFullName(e, &full));
            entries.emplace(full, kivfsIsDirectory(e));
            kivfsFreeName(full);
        }
        kivfsCloseEnum(e);
        return entries;
    }

    // Lists `name` and every folder below it, naming each folder without
    // its final "/"; a folder listed in itself would recurse to `depth` 0.
    void Walk(const std::string& name, int depth, Entries& seen) {
        ASSERT_GT(depth, 0) << "still descending at " << name;
        for (const auto& entry : List(name)) {
            EXPECT_NE(entry.first, name + "/") << "the folder lists itself";
            seen.insert(entry);
            if (entry.second) Walk(entry.first.substr(0, entry.first.size() - 1), depth - 1, seen);
        }
    }

    TempDir tmp_;
    DirHandle* dir_ = nullptr;
};

TEST_P(FolderListing, AFolderNamedWithoutItsSlashListsItsOwnEntries) {
    const Entries img = {{"img/a.png", false}, {"img/sub/", true}};
    EXPECT_EQ(List("img"), img);
    EXPECT_EQ(List("img/"), img);
    EXPECT_EQ(List("img/sub"), (Entries{{"img/sub/b.png", false}}));

    Entries seen;
    Walk("", 8, seen);
    EXPECT_EQ(seen, (Entries{{"img/", true},
                             {"img/a.png", false},
                             {"img/sub/", true},
                             {"img/sub/b.png", false},
                             {"imgx.txt", false}}));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FolderListing,
                         testing::Values(Kind::Folder, Kind::Zip, Kind::Store),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return std::string(KindName(info.param));
                         });

}  // namespace
