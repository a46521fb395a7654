// The store's file below the call layer, where nothing has filtered the
// arguments yet.
#include <gtest/gtest.h>

#include <string>

#include "storage/OpenStorageFs.h"
#include "support/TempDir.h"

namespace {

TEST(StorageFile, NegativeLengthsMoveNothing) {
    kivfs_test::TempDir tmp;
    auto store = kivfs::OpenStorageFs(tmp / "store.db").backend;
    ASSERT_NE(store, nullptr);
    auto file = store->OpenFile("f", 0);
    char buffer[4] = {'.', '.', '.', '.'};
    EXPECT_EQ(file->Write("abc", -3), 0);
    EXPECT_EQ(file->Read(buffer, -1), 0);
    bool exists = true;
    ASSERT_TRUE(store->IsFileExist("f", &exists));
    EXPECT_FALSE(exists);
    ASSERT_EQ(file->Write("abc", 3), 3);
    file->Seek(0, 0);
    EXPECT_EQ(file->Read(buffer, -1), 0);
    EXPECT_EQ(file->Write(buffer, -1), 0);
    EXPECT_EQ(file->Read(buffer, 4), 3);
    EXPECT_EQ(std::string(buffer, 4), "abc.");
}

}  // namespace
