// The shared corpus of other zip readers' test archives (real-world and
// deliberately broken ones), each read through the exported calls and
// compared with Python's zipfile reading the same file. zipfile's readings
// are made before the test by ctest's fixture zip_corpus_reference
// (zip_corpus_reference.py, run on the machine that runs ctest, so that
// a Windows build under Wine is compared with the same readings), which
// also names the folder it read: KIVFS_ZIP_CORPUS of its environment, else
// the build's default. The archives are read in place; the test is skipped
// when the folder is absent or the build found no python3 to read it.
//
// What must hold: an entry read to a clean end has the bytes its central
// header describes (size and CRC-32), and the same bytes as zipfile's when
// zipfile reads it; an entry zipfile reads is read here too, unless it is
// encrypted or compressed with a method other than stored or deflated; an
// archive zipfile reads is opened here too, unless it carries zip64 records
// or is one of the few damaged ones listed below.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kivfs.h"

namespace {

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

// zipfile's readings as the fixture wrote them (zip_corpus_reference.py
// says how): the folder read, whether it exists, and its archives.
struct Reference {
    std::string folder;
    bool present = false;
    std::vector<ReferenceArchive> archives;
};

Reference ParseReference(std::istream& lines) {
    Reference reference;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "C") {
            fields >> reference.present;
            fields.get();
            std::getline(fields, reference.folder);
        } else if (kind == "A") {
            ReferenceArchive archive;
            fields >> archive.file >> archive.opened >> archive.zip64;
            reference.archives.push_back(archive);
        } else if (kind == "E" && !reference.archives.empty()) {
            ReferenceEntry entry;
            std::string hex;
            fields >> hex >> entry.flags >> entry.method >> entry.crc >> entry.size >> entry.read >>
                entry.readCrc >> entry.readAdler >> entry.readSize;
            entry.name = Unhex(hex);
            reference.archives.back().entries.push_back(entry);
        }
    }
    return reference;
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
    // The build's path of the readings; empty when it found no python3.
    const std::string readings = KIVFS_ZIP_CORPUS_REFERENCE;
    if (readings.empty()) GTEST_SKIP() << "no python3 on the build machine to read the corpus";
    std::ifstream file(readings, std::ios::binary);
    ASSERT_TRUE(file) << readings << " is missing: ctest's fixture zip_corpus_reference makes it";
    const Reference reference = ParseReference(file);
    if (!reference.present) GTEST_SKIP() << "no corpus at " << reference.folder;
    const std::vector<ReferenceArchive>& archives = reference.archives;
    ASSERT_FALSE(archives.empty()) << "no archives at " << reference.folder;
    for (const ReferenceArchive& archive : archives) {
        SCOPED_TRACE(archive.file);
        const std::string path = reference.folder + "/" + archive.file;
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
