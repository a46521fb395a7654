// Writes the seed corpora of the fuzz targets: fuzz_seeds FOLDER makes
// FOLDER/<target>/ with a few inputs each that reach the interesting paths at
// once (well-formed archives of each kind, store sessions that use every
// operation, paths of every hostile kind), for the fuzzer to mutate.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "PathsFuzzOps.h"
#include "StoreFuzzOps.h"
#include "support/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace kivfs_fuzz;
using kivfs_test::SampleText;
using kivfs_test::ZipBuilder;
using kivfs_test::ZipImage;
using kivfs_test::ZipMethod;

// An input under construction: bytes appended in the targets' encodings.
class Seed {
  public:
    Seed& Bytes(std::initializer_list<int> bytes) {
        for (int byte : bytes) bytes_ += static_cast<char>(byte);
        return *this;
    }
    Seed& Raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }
    Seed& U16(unsigned value) {
        return Bytes({static_cast<int>(value & 0xff), static_cast<int>(value >> 8)});
    }
    // A zero-terminated text argument of paths_fuzz.
    Seed& Text(const std::string& text, TextKind kind = kPlainText) {
        Bytes({kind});
        if (kind == kPlainText || kind == kLongText) Raw(text).Bytes({0});
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

void Save(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

// `image` with a zip64 end record and its locator inserted before its end
// record; the classic record keeps its own counts and offsets.
std::string WithZip64Records(const ZipImage& image) {
    const size_t entries = image.entries.size();
    const size_t directorySize = image.endRecord - image.centralDirectory;
    Seed records;
    records.Raw("PK\x06\x06").Bytes({44, 0, 0, 0, 0, 0, 0, 0}).U16(45).U16(45);
    records.Bytes({0, 0, 0, 0, 0, 0, 0, 0});  // this disk, the directory's disk
    for (size_t value : {entries, entries, directorySize, image.centralDirectory}) {
        records.U16(static_cast<unsigned>(value & 0xffff))
            .U16(static_cast<unsigned>(value >> 16))
            .Bytes({0, 0, 0, 0});
    }
    records.Raw("PK\x06\x07").Bytes({0, 0, 0, 0});
    records.U16(static_cast<unsigned>(image.endRecord & 0xffff))
        .U16(static_cast<unsigned>(image.endRecord >> 16))
        .Bytes({0, 0, 0, 0, 1, 0, 0, 0});
    std::string bytes = image.bytes;
    bytes.insert(image.endRecord, records.bytes());
    return bytes;
}

// Small archives of every shape the backend reads: stored and deflated
// entries, explicit and implied directories, an empty entry, names that
// differ only in case or use "\", a comment, a few damaged ones, and the
// ones refused or failed on purpose: CRC-32 mismatches, zip64 records and
// encrypted entries.
void ArchiveSeeds(const fs::path& folder) {
    ZipImage tree = ZipBuilder()
                        .AddFile("a.txt", "hello hello hello")
                        .AddFile("b.bin", "stored bytes", ZipMethod::Stored)
                        .AddDirectory("docs")
                        .AddFile("docs/readme.txt", SampleText(600, 2))
                        .AddFile("docs/img/x.png", "png?", ZipMethod::Stored)
                        .Build();
    Save(folder, "tree.zip", tree.bytes);

    ZipImage names = ZipBuilder()
                         .AddFile("empty", "")
                         .AddFile("same", "first")
                         .AddFile("SAME", "second")
                         .AddFile("same", "third", ZipMethod::Stored)
                         .AddFile("win\\path.txt", "backslash")
                         .AddFile("d\xc3\xa9j\xc3\xa0/\xff.txt", "not ascii")
                         .Build();
    Save(folder, "names.zip", names.bytes);

    Save(folder, "text.zip",
         ZipBuilder().SetDeflateLevel(9).AddFile("t.txt", SampleText(3000, 5)).Build().bytes);
    Save(folder, "single.zip", ZipBuilder().AddFile("x", "x", ZipMethod::Stored).Build().bytes);

    ZipImage commented = tree;
    commented.PutU16(commented.endRecord + 20, 9);
    commented.bytes += "a comment";
    Save(folder, "comment.zip", commented.bytes);

    ZipImage corrupt = tree;
    corrupt.CorruptData(0);
    Save(folder, "corrupt-data.zip", corrupt.bytes);
    ZipImage sizes = tree;
    sizes.SetEntrySizes(3, 5, 100000);
    Save(folder, "bad-sizes.zip", sizes.bytes);
    ZipImage count = tree;
    count.SetEntryCount(7);
    Save(folder, "bad-count.zip", count.bytes);

    // CRC-32 mismatches: a stored entry with one byte changed, and a deflated
    // entry whose recorded CRC-32 is wrong.
    ZipImage crc = tree;
    crc.bytes[crc.entries[1].data] ^= 1;
    crc.PutU32(crc.entries[0].centralHeader + 16, 0x12345678);
    Save(folder, "crc.zip", crc.bytes);

    // A zip64 end record and its locator before the classic end record, as
    // writers put them for archives of more than 65,535 entries.
    ZipImage zip64 = tree;
    Save(folder, "zip64.zip", WithZip64Records(zip64));

    // Encrypted entries (general-purpose bit 0 in both headers), one stored
    // and one deflated, beside plain ones.
    ZipImage encrypted = tree;
    for (size_t entry : {0, 1}) {
        encrypted.PutU16(encrypted.entries[entry].localHeader + 6, 1);
        encrypted.PutU16(encrypted.entries[entry].centralHeader + 8, 1);
    }
    Save(folder, "encrypted.zip", encrypted.bytes);
}

// Sessions on one store: files written, extended, sought, resized, copied,
// moved, renamed, deleted, listed, inside and outside transactions.
void StoreSeeds(const fs::path& folder) {
    Seed basic;
    basic.Bytes({kOpen, 0, 2, 1}).Bytes({kWrite, 0, 5}).Raw("hello");
    basic.Bytes({kSeek, 0, 0}).U16(2).Bytes({kWrite, 0, 6}).Raw("y world");
    basic.Bytes({kSeek, 0, 2}).U16(0xfffd).Bytes({kRead, 0, 20, kTell, 0, kError, 0});
    basic.Bytes({kResize, 0}).U16(3).Bytes({kRead, 0, 9}).Bytes({kClose, 0, kCheck});
    Save(folder, "basic", basic.bytes());

    Seed tree;
    for (int name : {0, 2, 3, 4, 6, 8, 9}) {
        tree.Bytes({kOpen, 1, name, 4, kWrite, 1, 0x82, kClose, 1});
    }
    tree.Bytes({kList, 0, kList, 1, kList, 4, kDirExists, 3, kDirExists, 6, kFileExists, 5});
    tree.Bytes({kCopy, 2, 7, 0, kMove, 3, 1, 1, kRename, 0, 1, kRename, 2, 5});
    tree.Bytes({kDeleteDir, 4, kDeleteFile, 0, kCheck, kList, 0, kReopen, kCheck});
    Save(folder, "tree", tree.bytes());

    Seed transaction;
    transaction.Bytes({kOpen, 0, 0, 1, kWrite, 0, 3}).Raw("abc").Bytes({kBegin});
    transaction.Bytes({kWrite, 0, 0x90, kResize, 0}).U16(70);
    transaction.Bytes({kOpen, 1, 3, 1, kWrite, 1, 2}).Raw("xy").Bytes({kCopy, 0, 1, 0});
    transaction.Bytes({kCheck, kCommit, kBegin, kDeleteFile, 1, kMove, 0, 4, 0, kReopen, kCheck});
    transaction.Bytes({kBegin, kBegin, kOpen, 2, 7, 1, kResize, 2}).U16(9);
    transaction.Bytes({kCommit, kCommit, kCheck});
    Save(folder, "transaction", transaction.bytes());
}

// Paths of every hostile kind for every call that takes one.
void PathsSeeds(const fs::path& folder) {
    Seed opens;
    opens.Bytes({kCreateDirOp}).Text("d");
    opens.Bytes({kCreateFileOp}).Text("d:new.txt").Bytes({1});
    opens.Bytes({kCreateFileOp}).Text("d\\new.txt").Bytes({0});
    opens.Bytes({kCreateFileOp}).Text("store.db:x\\y.bin").Bytes({1});
    opens.Bytes({kCreateEnumOp}).Text("store.db:");
    opens.Bytes({kCreateEnumOp}).Text("d/");
    opens.Bytes({kCreateFileOp}).Text("", kNullText).Bytes({1});
    opens.Bytes({kCreateFileOp}).Text("", kEmptyText).Bytes({1});
    opens.Bytes({kCreateFileOp}).Text("d/../x:", kLongText).Bytes({1});
    opens.Bytes({kCreateFileOp}).Text("\xff\xfe\xc0\x80:\xed\xa0\x80").Bytes({1});
    Save(folder, "opens", opens.bytes());

    Seed container;
    container.Bytes({kOpenDirOp}).Text("box.db").Bytes({3});
    container.Bytes({kOpenFileIn}).Text("a\\b:c").Bytes({1});
    container.Bytes({kListIn}).Text("a/");
    container.Bytes({kCopyIn}).Text("a/b:c").Text("..\\x");
    container.Bytes({kOpenDirOp}).Text(".").Bytes({3});
    container.Bytes({kOpenFileIn}).Text("sub/../f").Bytes({5});
    container.Bytes({kRenameIn}).Text("f").Text("", kNullText);
    container.Bytes({kTransactionIn});
    Save(folder, "container", container.bytes());

    Seed mounts;
    mounts.Bytes({kCreateDirOp}).Text("m");
    mounts.Bytes({kMountOp}).Text("app:").Text("m\\");
    mounts.Bytes({kMountOp}).Text("db:").Text("m.db");
    mounts.Bytes({kStubOp}).Text("cfg\\a.ini").Bytes({1});
    mounts.Bytes({kStubOp}).Text("db:x/y").Bytes({1});
    mounts.Bytes({kTranslateOp}).Text("app:cfg\\a.ini").Bytes({5});
    mounts.Bytes({kTranslateOp}).Text("app:").Bytes({0});
    mounts.Bytes({kTranslateOp}).Text("nomount").Bytes({8});
    mounts.Bytes({kTranslateOp}).Text("app:", kLongText).Bytes({23});
    mounts.Bytes({kUnmountOp}).Text("app:");
    mounts.Bytes({kTranslateOp}).Text("app:x").Bytes({4});
    Save(folder, "mounts", mounts.bytes());

    Seed climbing;
    climbing.Bytes({kCreateDirOp}).Text("c");
    climbing.Bytes({kOpenDirOp}).Text("c").Bytes({3});
    climbing.Bytes({kOpenFileIn}).Text("../x").Bytes({1});
    climbing.Bytes({kListIn}).Text("a/../../");
    climbing.Bytes({kDirExistsIn}).Text("..\\c");
    climbing.Bytes({kMountOp}).Text("up:").Text("c");
    climbing.Bytes({kStubOp}).Text("up:a/../../x").Bytes({1});
    climbing.Bytes({kTranslateOp}).Text("up:../c/x").Bytes({16});
    climbing.Bytes({kTranslateOp}).Text("up:a/b/../x").Bytes({16});
    Save(folder, "climbing", climbing.bytes());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[1];
    ArchiveSeeds(folder / "archive_fuzz");
    StoreSeeds(folder / "store_fuzz");
    PathsSeeds(folder / "paths_fuzz");
    return 0;
}
