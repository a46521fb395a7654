// kivfsContainerKind: which kind of container would serve a path for
// reading, asked without creating or changing anything on disk.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

#include "kivfs.h"
#include "tool_runner.h"

using kivfs_test::Files;
using kivfs_test::TempDir;

namespace {

const Files kTree = {{"a.txt", "A"}, {"sub/b.txt", "B"}};

class ContainerKind : public testing::TestWithParam<int> {};

// Each kind is named for what it is, and the folder holding it (the
// container itself included) is byte for byte as it was.
TEST_P(ContainerKind, NamesTheKindThatServesThePath) {
    TempDir tmp;
    std::string path = tmp / "c";
    switch (GetParam()) {
        case KIVFS_KIND_FOLDER:
            kivfs_test::MakeTree(path, kTree);
            break;
        case KIVFS_KIND_ZIP:
            kivfs_test::MakeZip(path, kTree);
            break;
        case KIVFS_KIND_STORE:
            kivfs_test::MakeStore(path, kTree);
            break;
    }
    const Files before = kivfs_test::ReadTree(tmp.path());
    EXPECT_EQ(kivfsContainerKind(path.c_str()), GetParam());
    // A trailing ":" names the same container, as in kivfsOpenDir.
    EXPECT_EQ(kivfsContainerKind((path + ":").c_str()), GetParam());
    EXPECT_EQ(kivfs_test::ReadTree(tmp.path()), before);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ContainerKind,
                         testing::Values(KIVFS_KIND_FOLDER, KIVFS_KIND_ZIP, KIVFS_KIND_STORE),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == KIVFS_KIND_FOLDER ? "Folder"
                                                : info.param == KIVFS_KIND_ZIP  ? "Zip"
                                                                                : "Store");
                         });

// What no kind would serve: the answer and its cause, and nothing made or
// changed: no store at a missing path, in an empty file or in a damaged
// archive, no table in another program's database.
TEST(ContainerKindRefusals, NoKindServesAndNothingIsMade) {
    TempDir tmp;
    kivfs_test::ZipImage cut = kivfs_test::MakeZip(tmp / "cut.zip", kTree);
    cut.Truncate(cut.bytes.size() - 30);
    cut.WriteTo(tmp / "cut.zip");
    kivfs_test::WriteBytes(tmp / "notes.txt", "plain text, no container");
    kivfs_test::WriteBytes(tmp / "empty", "");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((tmp / "other.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "create table Other (x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const Files before = kivfs_test::ReadTree(tmp.path());
    struct Case {
        const char* name;
        int kind;
        int cause;
    };
    for (const Case& c : {Case{"missing", 0, KIVFS_ERR_NOT_FOUND},
                          Case{"cut.zip", -KIVFS_KIND_ZIP, KIVFS_ERR_CORRUPT},
                          Case{"notes.txt", 0, KIVFS_ERR_CORRUPT},
                          Case{"other.db", -KIVFS_KIND_STORE, KIVFS_ERR_NOT_FOUND},
                          Case{"empty", -KIVFS_KIND_STORE, KIVFS_ERR_NOT_FOUND}}) {
        EXPECT_EQ(kivfsContainerKind((tmp / c.name).c_str()), c.kind) << c.name;
        EXPECT_EQ(kivfsLastError(), c.cause) << c.name;
    }
    EXPECT_EQ(kivfs_test::ReadTree(tmp.path()), before);
    EXPECT_EQ(kivfsContainerKind(nullptr), 0);
    EXPECT_EQ(kivfsLastError(), KIVFS_ERR_ARGUMENT);
}

}  // namespace
