// The shared corpus of other zip readers' test archives (real-world and
// deliberately broken ones), each read through the exported calls and
// compared with Python's zipfile reading the same file. Read in place from
// KIVFS_ZIP_CORPUS (environment, else the build's default); skipped when the
// folder is absent.
//
// What must hold: an entry read to a clean end has the bytes its central
// header describes (size and CRC-32), and the same bytes as zipfile's when
// zipfile reads it; an entry zipfile reads is read here too, unless it is
// encrypted or compressed with a method other than stored or deflated; an
// archive zipfile reads is opened here too, unless it carries zip64 records
// or is one of the few damaged ones listed below.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kivfs.h"
#include "tool_runner.h"

namespace {

// Prints, for each archive below the folder given: "A <path relative to the
// folder> <1 if zipfile opened it> <1 if a zip64 locator precedes its last
// end record>", then for the first entry of each stored name: "E <name in
// hex, or -> <flags> <method> <recorded CRC-32> <recorded size> <1 if
// zipfile read it> <CRC-32> <Adler-32> <length>" of the bytes it read.
constexpr const char* kReferenceScript = R"(
import os, sys, zipfile, zlib
root = sys.argv[1]
for folder, _, files in sorted(os.walk(root)):
    for file in sorted(f for f in files if f.endswith('.zip')):
        path = os.path.join(folder, file)
        data = open(path, 'rb').read()
        end = data.rfind(b'PK\x05\x06')
        zip64 = end >= 20 and data[end - 20:end - 16] == b'PK\x06\x07'
        try:
            archive = zipfile.ZipFile(path)
        except Exception:
            print('A', os.path.relpath(path, root), 0, int(zip64))
            continue
        print('A', os.path.relpath(path, root), 1, int(zip64))
        seen = set()
        for info in archive.infolist():
            raw = info.orig_filename.encode('utf-8' if info.flag_bits & 0x800 else 'cp437')
            if raw in seen:
                continue
            seen.add(raw)
            try:
                content = archive.open(info).read()
                read = (1, zlib.crc32(content), zlib.adler32(content), len(content))
            except Exception:
                read = (0, 0, 0, 0)
            print('E', raw.hex() or '-', info.flag_bits, info.compress_type, info.CRC,
                  info.file_size, *read)
)";

// Archives zipfile reads that are refused here, with the reason given: most
// are damaged (zziplib would read them wrongly, or the archive check cannot
// tell which directory is meant). Archives with zip64 records are refused
// too (KIVFS_ERR_UNSUPPORTED), but need no entry.
const std::map<std::string, int> kRefused = {
    // Offsets off by a base that zipfile guesses.
    {"go-klauspost/test-badbase.zip", KIVFS_ERR_CORRUPT},
    // The end record gives the wrong directory offset.
    {"libzip/incons-cdoffset.zip", KIVFS_ERR_CORRUPT},
    // A comment runs past the directory.
    {"libzip/incons-central-file-comment-longer.zip", KIVFS_ERR_CORRUPT},
    // More, or fewer, entries counted than the directory holds.
    {"libzip/incons-file-count-high.zip", KIVFS_ERR_CORRUPT},
    {"libzip/incons-file-count-low.zip", KIVFS_ERR_CORRUPT},
    // Bytes before the archive, offsets not adjusted.
    {"libzip/junk-at-start.zip", KIVFS_ERR_CORRUPT},
    // The last end record is one inside the archive comment.
    {"libzip/zip-in-archive-comment.zip", KIVFS_ERR_CORRUPT},
    // No entries: zziplib opens none.
    {"libzip/testempty.zip", KIVFS_ERR_UNSUPPORTED},
};

// Entries zipfile reads that are not opened here: their central and local
// sizes disagree, which zziplib would serve as other bytes.
const std::map<std::string, const char*> kEntriesRefused = {
    {"libzip/incons-central-compsize-larger.zip", "compressed sizes disagree"},
    {"libzip/incons-central-compsize-larger-toolarge.zip", "compressed sizes disagree"},
    {"libzip/incons-central-size-larger.zip", "sizes disagree"},
};

struct ReferenceEntry {
    std::string name;
    unsigned flags = 0, method = 0;
    uint32_t crc = 0, size = 0;  // as the central header records them
    bool read = false;           // zipfile read it; then its bytes':
    uint32_t readCrc = 0, readAdler = 0, readSize = 0;
};

struct ReferenceArchive {
    std::string file;  // relative to the corpus folder
    bool opened = false, zip64 = false;
    std::vector<ReferenceEntry> entries;
};

std::string Unhex(const std::string& hex) {
    std::string bytes;
    if (hex == "-") return bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    }
    return bytes;
}

std::vector<ReferenceArchive> ParseReference(const std::string& text) {
    std::vector<ReferenceArchive> archives;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "A") {
            ReferenceArchive archive;
            fields >> archive.file >> archive.opened >> archive.zip64;
            archives.push_back(archive);
        } else if (kind == "E" && !archives.empty()) {
            ReferenceEntry entry;
            std::string hex;
            fields >> hex >> entry.flags >> entry.method >> entry.crc >> entry.size >> entry.read >>
                entry.readCrc >> entry.readAdler >> entry.readSize;
            entry.name = Unhex(hex);
            archives.back().entries.push_back(entry);
        }
    }
    return archives;
}

std::string CorpusFolder() {
    const char* folder = std::getenv("KIVFS_ZIP_CORPUS");
    return folder ? folder : KIVFS_ZIP_CORPUS;
}

// Reads an entry whole; `clean` when it ended with 0 and kivfsError.
struct Read {
    std::string bytes;
    bool clean = false;
};

Read ReadWhole(FileHandle* file) {
    Read read;
    char buffer[65536];
    int count;
    while ((count = kivfsRead(file, buffer, sizeof buffer)) > 0) read.bytes.append(buffer, count);
    read.clean = count == 0 && kivfsError(file);
    return read;
}

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

uint32_t Adler(const std::string& bytes) {
    return static_cast<uint32_t>(
        adler32_z(1, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// One entry against zipfile's reading of it.
void CheckEntry(DirHandle* dir, const ReferenceEntry& entry, bool mayRefuse) {
    // The calls take "\" for "/" and an empty inner name for the root.
    if (entry.name.empty() || entry.name.find('\\') != std::string::npos) return;
    SCOPED_TRACE("entry " + entry.name);
    FileHandle* file = kivfsCreateFileIndir(dir, entry.name.c_str(), 0);
    const bool unreadable = (entry.flags & 1) || (entry.method != 0 && entry.method != 8);
    if (unreadable) {
        EXPECT_EQ(file, nullptr) << "encrypted, or a method zziplib lacks";
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_UNSUPPORTED);
    }
    if (!file) {
        EXPECT_TRUE(!entry.read || unreadable || mayRefuse) << "zipfile reads it";
        return;
    }
    const Read read = ReadWhole(file);
    kivfsCloseFile(file);
    if (read.clean) {
        EXPECT_EQ(read.bytes.size(), entry.size);
        EXPECT_EQ(Crc(read.bytes), entry.crc) << "bytes that fail their CRC-32 as success";
    } else {
        EXPECT_EQ(kivfsLastError(), KIVFS_ERR_CORRUPT);
    }
    if (entry.read) {
        EXPECT_TRUE(read.clean) << "zipfile reads it";
        EXPECT_EQ(read.bytes.size(), entry.readSize);
        EXPECT_EQ(Crc(read.bytes), entry.readCrc);
        EXPECT_EQ(Adler(read.bytes), entry.readAdler);
    }
}

TEST(ZipCorpus, EveryArchiveReadsAsZipfileReadsItOrIsRefusedForACause) {
#ifdef _WIN32
    GTEST_SKIP() << "the reference readings are Python's zipfile, run through a POSIX shell";
#endif
    const std::string folder = CorpusFolder();
    if (!std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "no corpus at " << folder;
    }
    const kivfs_test::ToolResult python = kivfs_test::RunShell(
        "python3 - " + kivfs_test::ShellWord(folder), folder, kReferenceScript);
    ASSERT_EQ(python.status, 0) << python.err;
    const std::vector<ReferenceArchive> archives = ParseReference(python.out);
    ASSERT_FALSE(archives.empty());
    for (const ReferenceArchive& archive : archives) {
        SCOPED_TRACE(archive.file);
        const std::string path = folder + "/" + archive.file;
        DirHandle* dir = kivfsOpenDir(path.c_str());
        const auto refused = kRefused.find(archive.file);
        if (archive.zip64 || refused != kRefused.end()) {
            EXPECT_EQ(dir, nullptr);
            EXPECT_EQ(kivfsLastError(), archive.zip64 ? KIVFS_ERR_UNSUPPORTED : refused->second);
        } else if (archive.opened) {
            EXPECT_NE(dir, nullptr) << "zipfile reads it";
        }
        if (!dir) continue;
        for (const ReferenceEntry& entry : archive.entries) {
            CheckEntry(dir, entry, kEntriesRefused.count(archive.file) != 0);
        }
        kivfsCloseDir(dir);
    }
}

}  // namespace
