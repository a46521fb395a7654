// Fuzz target: a sequence of operations on one store, checked step by step
// against an in-memory model of its files.
//
// The bytes (StoreFuzzOps.h) drive opens, writes at any offset, extensions,
// resizes, seeks, reads, copies, moves, renames, deletions, explicit
// transactions, listings and reopenings of one store. Every result is
// compared with what the model predicts; a Check step reads every file back
// through the exported calls, and every reopening and the end of the input
// compare the database file itself, through SQLite, row for row.
//
// One file is open on a name at a time, and the files a directory operation
// touches are closed before it runs, as a host would close them: how an open
// file sees its row changed under it is not what this target checks.
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FuzzInput.h"
#include "StoreFuzzOps.h"
#include "kivfs.h"

namespace kivfs_fuzz {
namespace {

using Files = std::map<std::string, std::string>;  // name -> content

// The two keys a name is stored under: Path up to its last "/", the rest.
struct Keys {
    std::string path;
    std::string fileName;
};

Keys Split(const std::string& name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return {std::string(), name};
    return {name.substr(0, slash + 1), name.substr(slash + 1)};
}

// A directory's text as the store keeps Paths: with its "/" unless empty.
std::string DirText(const std::string& dir) {
    return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

// Whether a stored Path lies in directory `dirPath` (its text with its "/"):
// it begins with that text byte for byte, as the store compares names.
bool InDirectory(const std::string& dirPath, const std::string& path) {
    return path.compare(0, dirPath.size(), dirPath) == 0;
}

// A fixed pattern for long writes, so that they need no input bytes.
std::string Pattern(size_t length, uint8_t seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xff);
    return bytes;
}

// A length argument: a count of input bytes, or a longer run of the pattern.
std::string DataArgument(FuzzInput& in) {
    const uint8_t code = in.Byte();
    if (code < 0x80) return in.Bytes(code);
    return Pattern((code & 0x7f) * 64u, code);
}

size_t LengthArgument(FuzzInput& in) {
    const uint8_t code = in.Byte();
    return code < 0x80 ? code : (code & 0x7f) * 64u;
}

std::string Describe(const std::string& what, const std::string& name) {
    return what + " '" + name + "'";
}

void Expect(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

// The rows of the database file as a direct SQLite connection finds them,
// after checking the file's integrity. Call only while the store is closed.
Files StoredRows(const std::string& dbPath) {
    sqlite3* db = nullptr;
    Expect(sqlite3_open(dbPath.c_str(), &db) == SQLITE_OK, "direct open");
    Files rows;
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &query, nullptr);
    Expect(sqlite3_step(query) == SQLITE_ROW &&
               std::string(reinterpret_cast<const char*>(sqlite3_column_text(query, 0))) == "ok",
           "integrity_check");
    sqlite3_finalize(query);
    sqlite3_prepare_v2(db, "SELECT Path, FileName, Content FROM FileStorage", -1, &query, nullptr);
    while (sqlite3_step(query) == SQLITE_ROW) {
        auto text = [&](int column) {
            const void* bytes = sqlite3_column_blob(query, column);
            return std::string(static_cast<const char*>(bytes),
                               bytes ? sqlite3_column_bytes(query, column) : 0);
        };
        rows[text(0) + text(1)] = text(2);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return rows;
}

// One open file of the run and where the model says it stands.
struct Slot {
    FileHandle* file = nullptr;
    std::string name;
    uint32_t position = 0;
};

class StoreRun {
  public:
    explicit StoreRun(std::string dbPath) : dbPath_(std::move(dbPath)) { Open(); }
    ~StoreRun() {
        CloseStore();
        Expect(StoredRows(dbPath_) == files_, "stored rows at the end");
        std::remove(dbPath_.c_str());
    }
    StoreRun(const StoreRun&) = delete;
    StoreRun& operator=(const StoreRun&) = delete;

    void Step(FuzzInput& in);

  private:
    void Open() {
        dir_ = kivfsOpenDir(dbPath_.c_str());
        Expect(dir_ != nullptr, "open the store");
    }
    // Closes every file, then the store; an explicit transaction still open
    // is rolled back by the close.
    void CloseStore() {
        for (Slot& slot : slots_) CloseSlot(slot);
        kivfsCloseDir(dir_);
        dir_ = nullptr;
        if (beforeTrans_) files_ = std::move(*beforeTrans_);
        beforeTrans_.reset();
    }
    void CloseSlot(Slot& slot) {
        kivfsCloseFile(slot.file);
        slot = Slot();
    }
    // Closes the files a directory operation is about to touch.
    template <typename Touched>
    void CloseWhere(Touched touched) {
        for (Slot& slot : slots_) {
            if (slot.file && touched(slot.name)) CloseSlot(slot);
        }
    }
    void CloseNamed(const std::string& name) {
        CloseWhere([&](const std::string& open) { return open == name; });
    }
    const std::string* Content(const std::string& name) const {
        auto at = files_.find(name);
        return at == files_.end() ? nullptr : &at->second;
    }

    void OpenFile(Slot& slot, const std::string& name, int mode);
    void Write(Slot& slot, const std::string& data);
    void Read(Slot& slot, size_t length);
    void Seek(Slot& slot, int offset, int origin);
    void Resize(Slot& slot, uint32_t size);
    void DirExists(const std::string& dir);
    void DeleteDir(const std::string& dir);
    void Rename(const std::string& from, const std::string& to);
    void CopyOrMove(const std::string& from, const std::string& to, bool failIfExists, bool move);
    void List(const std::string& dir);
    void CheckAll();

    const std::string dbPath_;
    DirHandle* dir_ = nullptr;
    Files files_;                       // what the store holds as the run sees it
    std::optional<Files> beforeTrans_;  // the committed files while a transaction is open
    Slot slots_[kStoreSlots];
};

void StoreRun::Step(FuzzInput& in) {
    const uint8_t op = in.Byte() % kStoreOpCount;
    if (Tracing()) std::fprintf(stderr, "op %d: %s\n", op, in.Upcoming(6).c_str());
    auto slotArg = [&]() -> Slot& { return slots_[in.Byte() % kStoreSlots]; };
    auto nameArg = [&] { return std::string(kStoreNames[in.Byte() % kStoreNameCount]); };
    auto dirArg = [&] { return std::string(kStoreDirs[in.Byte() % kStoreDirCount]); };
    bool exists = false;
    switch (op) {
        case kOpen: {
            Slot& slot = slotArg();
            const std::string name = nameArg();
            OpenFile(slot, name, in.Byte() % 6);
            break;
        }
        case kClose:
            CloseSlot(slotArg());
            break;
        case kWrite: {
            Slot& slot = slotArg();
            Write(slot, DataArgument(in));
            break;
        }
        case kRead: {
            Slot& slot = slotArg();
            Read(slot, LengthArgument(in));
            break;
        }
        case kSeek: {
            Slot& slot = slotArg();
            const uint8_t origin = in.Byte();
            int offset = in.S16();
            if (origin & 0x10) offset = origin & 0x20 ? INT_MAX : INT_MIN;
            Seek(slot, offset, (origin & 3) == 3 ? 7 : origin & 3);
            break;
        }
        case kTell: {
            Slot& slot = slotArg();
            if (slot.file) Expect(kivfsTell(slot.file) == static_cast<int>(slot.position), "tell");
            break;
        }
        case kError: {
            Slot& slot = slotArg();
            if (!slot.file) break;
            const std::string* content = Content(slot.name);
            Expect(kivfsError(slot.file) == (!content || slot.position >= content->size()),
                   Describe("error", slot.name));
            break;
        }
        case kResize: {
            Slot& slot = slotArg();
            Resize(slot, in.U16());
            break;
        }
        case kFileExists: {
            const std::string name = nameArg();
            Expect(kivfsIsFileExist(dir_, name.c_str(), &exists) &&
                       exists == (Content(name) != nullptr),
                   Describe("file exists", name));
            break;
        }
        case kDirExists:
            DirExists(dirArg());
            break;
        case kDeleteFile: {
            const std::string name = nameArg();
            CloseNamed(name);
            Expect(kivfsDeleteFile(dir_, name.c_str()), Describe("delete file", name));
            files_.erase(name);
            break;
        }
        case kDeleteDir:
            DeleteDir(dirArg());
            break;
        case kRename: {
            const std::string from = nameArg();
            Rename(from, nameArg());
            break;
        }
        case kCopy:
        case kMove: {
            const std::string from = nameArg();
            const std::string to = nameArg();
            CopyOrMove(from, to, in.Byte() & 1, op == kMove);
            break;
        }
        case kBegin:
            Expect(kivfsBeginTrans(dir_), "begin");
            beforeTrans_ = files_;  // a second begin commits the first transaction
            break;
        case kCommit:
            Expect(kivfsCommitTrans(dir_) == beforeTrans_.has_value(), "commit");
            beforeTrans_.reset();
            break;
        case kList:
            List(dirArg());
            break;
        case kReopen:
            CloseStore();
            Expect(StoredRows(dbPath_) == files_, "stored rows after closing");
            Open();
            break;
        case kCheck:
            CheckAll();
            break;
    }
}

// A new file stands at 0 whatever its mode; an empty name opens nothing.
void StoreRun::OpenFile(Slot& slot, const std::string& name, int mode) {
    CloseSlot(slot);
    CloseNamed(name);
    FileHandle* file = kivfsCreateFileIndir(dir_, name.c_str(), mode);
    Expect((file != nullptr) == !name.empty(), Describe("open", name));
    if (file) slot = Slot{file, name, 0};
}

// Inside the stored length bytes are overwritten and the length stays; a
// write past the end keeps what lies before the position and ends the file
// after the new bytes. A file with no row gets one.
void StoreRun::Write(Slot& slot, const std::string& data) {
    if (!slot.file) return;
    const int written = kivfsWrite(slot.file, data.data(), static_cast<int>(data.size()));
    Expect(written == static_cast<int>(data.size()), Describe("write", slot.name));
    if (data.empty()) return;
    std::string& content = files_[slot.name];
    if (slot.position + data.size() <= content.size()) {
        content.replace(slot.position, data.size(), data);
    } else {
        content = content.substr(0, slot.position) + data;
    }
    slot.position += static_cast<uint32_t>(data.size());
}

void StoreRun::Read(Slot& slot, size_t length) {
    if (!slot.file) return;
    std::string buffer(length, '\0');
    const int count = kivfsRead(slot.file, buffer.data(), static_cast<int>(length));
    const std::string* content = Content(slot.name);
    const std::string expected =
        content ? content->substr(std::min<size_t>(slot.position, content->size()), length) : "";
    Expect(count == static_cast<int>(expected.size()) && buffer.compare(0, count, expected) == 0,
           Describe("read", slot.name));
    slot.position += count;
}

// Targets are formed in unsigned 32-bit arithmetic; one past the end (or
// before the start, which wraps) leaves the position. No row: -1.
void StoreRun::Seek(Slot& slot, int offset, int origin) {
    if (!slot.file) return;
    const int result = kivfsSeek(slot.file, offset, origin);
    const std::string* content = Content(slot.name);
    if (!content) {
        Expect(result == -1, Describe("seek without a row", slot.name));
        return;
    }
    const uint32_t size = static_cast<uint32_t>(content->size());
    uint32_t target = slot.position;
    if (origin == 0) target = static_cast<uint32_t>(offset);
    if (origin == 1) target = slot.position + static_cast<uint32_t>(offset);
    if (origin == 2) target = size + static_cast<uint32_t>(offset);
    if (target <= size) slot.position = target;
    Expect(result == static_cast<int>(slot.position), Describe("seek", slot.name));
}

// Keeps the first bytes and zero-fills the rest; a missing row is created.
void StoreRun::Resize(Slot& slot, uint32_t size) {
    if (!slot.file) return;
    Expect(kivfsResize(slot.file, size), Describe("resize", slot.name));
    files_[slot.name].resize(size, '\0');
    slot.position = std::min(slot.position, size);
}

// A directory exists while a stored Path begins with its text.
void StoreRun::DirExists(const std::string& dir) {
    const std::string dirPath = DirText(dir);
    bool expected = false;
    for (const auto& file : files_) {
        expected = expected || InDirectory(dirPath, Split(file.first).path);
    }
    bool exists = !expected;
    Expect(kivfsIsDirectoryExist(dir_, dir.c_str(), &exists) && exists == expected,
           Describe("directory exists", dir));
}

// Deletion keeps to the named directory byte for byte; the top empties the
// store.
void StoreRun::DeleteDir(const std::string& dir) {
    const std::string prefix = DirText(dir);
    auto below = [&](const std::string& name) { return InDirectory(prefix, Split(name).path); };
    CloseWhere(below);
    Expect(kivfsDeleteDirectory(dir_, dir.c_str()), Describe("delete directory", dir));
    for (auto at = files_.begin(); at != files_.end();) {
        at = below(at->first) ? files_.erase(at) : std::next(at);
    }
}

// Within one directory only; an existing other target refuses, a missing
// source succeeds and changes nothing.
void StoreRun::Rename(const std::string& from, const std::string& to) {
    CloseNamed(from);
    CloseNamed(to);
    const bool result = kivfsRenameFile(dir_, from.c_str(), to.c_str());
    bool expected = Split(from).path == Split(to).path;
    if (expected && Content(from) && from != to) {
        expected = !Content(to);
        if (expected) {
            files_[to] = std::move(files_[from]);
            files_.erase(from);
        }
    }
    Expect(result == expected, Describe("rename", from + "' to '" + to));
}

// A copy needs a source, and no target when asked to fail on one. A move is
// a copy and the deletion of the source; onto its own name it keeps the file.
void StoreRun::CopyOrMove(const std::string& from, const std::string& to, bool failIfExists,
                          bool move) {
    CloseNamed(to);
    if (move) CloseNamed(from);
    const bool result = move ? kivfsMoveFile(dir_, from.c_str(), to.c_str(), failIfExists)
                             : kivfsCopyFile(dir_, from.c_str(), to.c_str(), failIfExists);
    const bool expected = Content(from) && !(failIfExists && Content(to));
    Expect(result == expected, Describe(move ? "move" : "copy", from + "' to '" + to));
    if (!expected || from == to) return;
    files_[to] = files_[from];
    if (move) files_.erase(from);
}

// The files whose Path is the directory, and one entry per sub-directory a
// deeper Path in it reveals, in any order.
void StoreRun::List(const std::string& dir) {
    const std::string dirPath = DirText(dir);
    std::multiset<std::pair<bool, std::string>> expected;
    std::set<std::string> dirs;
    for (const auto& file : files_) {
        const Keys keys = Split(file.first);
        if (!InDirectory(dirPath, keys.path)) continue;
        if (keys.path == dirPath) {
            expected.insert({false, keys.fileName});
            continue;
        }
        const size_t slash = keys.path.find('/', dirPath.size());
        if (slash == std::string::npos) continue;
        dirs.insert(keys.path.substr(dirPath.size(), slash + 1 - dirPath.size()));
    }
    for (const std::string& name : dirs) expected.insert({true, name});

    EnumHandle* listing = kivfsCreateEnumIndir(dir_, dir.c_str());
    Expect(listing != nullptr, Describe("list", dir));
    std::multiset<std::pair<bool, std::string>> listed;
    while (kivfsMoveNext(listing)) {
        char* name = nullptr;
        char* fullName = nullptr;
        Expect(kivfsGetName(listing, &name) && kivfsGetFullName(listing, &fullName),
               Describe("listed names", dir));
        const bool isDirectory = kivfsIsDirectory(listing);
        Expect(std::string(fullName) == dirPath + name, Describe("full name in", dir));
        listed.insert({isDirectory, name});
        kivfsFreeName(name);
        kivfsFreeName(fullName);
    }
    kivfsCloseEnum(listing);
    Expect(listed == expected, Describe("listing", dir));
}

// Every name's existence, and every file's length and bytes read back through
// a file of its own.
void StoreRun::CheckAll() {
    for (const char* name : kStoreNames) {
        bool exists = false;
        Expect(kivfsIsFileExist(dir_, name, &exists) && exists == (Content(name) != nullptr),
               Describe("check exists", name));
    }
    for (const auto& file : files_) {
        // A copy, move or rename may store a file under the empty name, which
        // no open accepts.
        FileHandle* reader = kivfsCreateFileIndir(dir_, file.first.c_str(), 0);
        if (file.first.empty()) {
            Expect(!reader, "open of the empty name");
            continue;
        }
        Expect(reader && kivfsSeek(reader, 0, 2) == static_cast<int>(file.second.size()) &&
                   kivfsSeek(reader, 0, 0) == 0,
               Describe("check length", file.first));
        std::string bytes(file.second.size() + 1, '\0');
        const int count = kivfsRead(reader, bytes.data(), static_cast<int>(bytes.size()));
        Expect(count == static_cast<int>(file.second.size()) &&
                   bytes.compare(0, count, file.second) == 0 && kivfsError(reader),
               Describe("check content", file.first));
        kivfsCloseFile(reader);
    }
}

}  // namespace
}  // namespace kivfs_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dbPath = kivfs_fuzz::SandboxPath() + "/store.db";
    kivfs_fuzz::FuzzInput in(data, size);
    kivfs_fuzz::StoreRun run(dbPath);
    for (int steps = 0; !in.Done() && steps < 256; ++steps) run.Step(in);
    return 0;
}
