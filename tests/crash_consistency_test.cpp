// Crash consistency of the store.
//
// A child process works on a store (writes at offsets, extensions, resizes,
// copies, moves, renames and deletions, inside and outside explicit
// transactions, and files kept open across several writes) and is killed
// with SIGKILL at a random moment. The store must then reopen, pass SQLite's
// integrity check, and hold every file either as it was before the operation
// that was cut off or as that operation left it, never a mix; and nothing
// that was committed may be lost.
//
// The child logs "B k" before and "D k" after its k-th operation to a side
// file; the parent replays the same operations on a model to learn what each
// file may hold. Every operation outside an explicit transaction, a write in
// place through a file that stays open included, is committed before it
// returns.
//
// A second child lists the store and reads its files over and over, in a
// connection of its own, while the writer works and is killed: the writer's
// commits must wait for its reads rather than be lost (a write reported as
// done that is missing afterwards fails the trial), and its reads must never
// break the store.
//
// KIVFS_CRASH_TRIALS sets the number of trials (60 by default) and
// KIVFS_CRASH_SEED the seed of the first; the test prints how many trials
// ran and how many kills cut an operation off.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kivfs.h"
#include "support/AppendLog.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

using kivfs_test::TempDir;

namespace {

using Files = std::map<std::string, std::string>;  // name -> content
using Content = std::optional<std::string>;        // nullopt: no such file

// The files the workload touches: three directories, and a rename partner
// for every file within its own directory.
constexpr const char* kNames[] = {"f0", "f1", "f2", "d/g0", "d/g1", "d/e/h0", "d/e/h1"};
constexpr uint32_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);

// splitmix64: the same numbers in parent and child from the same seed.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t bound) { return bound ? Next() % bound : 0; }

  private:
    uint64_t state_;
};

// `length` bytes that only the seed decides.
std::string Data(uint32_t seed, uint32_t length) {
    Random random(seed);
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random.Next());
    return bytes;
}

enum class Kind {
    Write,   // open, seek to `offset`, write `length` bytes, close
    Extend,  // open, seek to the end, write, close
    Resize,  // open, resize to `length`, close
    Copy,    // name -> target, not failing on an existing target
    Move,    // likewise
    Rename,  // within one directory
    Delete,
    Begin,
    Commit,
    HoldOpen,    // a file that stays open for the Hold operations that follow
    HoldWrite,   // in place through it: seek to `offset`, write
    HoldExtend,  // through it: seek to the end, write
    HoldResize,  // through it
    HoldClose,
};

struct Op {
    Kind kind = Kind::Begin;
    std::string name;
    std::string target;
    uint32_t offset = 0;
    uint32_t length = 0;  // bytes written, or the new size
    uint32_t dataSeed = 0;
    int seekResult = 0;  // what the seek before a write returns
    bool result = true;  // what the call returns
};

Content Find(const Files& files, const std::string& name) {
    auto at = files.find(name);
    return at == files.end() ? Content() : Content(at->second);
}

// The operations of one trial and the files as they leave them. Child and
// parent make the same sequence from the same files and seed.
class Workload {
  public:
    Workload(Files files, uint64_t seed) : files_(std::move(files)), random_(seed) {}

    // The next operation, applied to the model.
    Op Next() {
        Op op = Choose();
        Apply(op);
        return op;
    }
    const Files& files() const { return files_; }
    bool InTrans() const { return inTrans_; }

  private:
    // Mostly small contents, some spanning many pages, a few large.
    uint32_t Length() {
        const uint32_t kind = random_.Below(100);
        if (kind < 70) return 1 + random_.Below(2000);
        if (kind < 95) return 2000 + random_.Below(62000);
        return 64000 + random_.Below(300000);
    }
    uint32_t SizeOf(const std::string& name) const {
        const Content content = Find(files_, name);
        return content ? static_cast<uint32_t>(content->size()) : 0;
    }
    std::string AnyName() { return kNames[random_.Below(kNameCount)]; }

    Op Choose();
    Op ChooseHold();
    void Apply(Op& op);

    Files files_;
    Random random_;
    bool inTrans_ = false;
    int transLeft_ = 0;  // operations still to run before the Commit
    std::string held_;   // the file kept open, while holdLeft_ > 0
    int holdLeft_ = 0;
};

Op Workload::Choose() {
    if (holdLeft_ > 0) return ChooseHold();
    Op op;
    op.name = AnyName();
    op.dataSeed = random_.Next();
    if (inTrans_ && transLeft_-- == 0) {
        op.kind = Kind::Commit;
        return op;
    }
    const uint32_t pick = random_.Below(100);
    if (pick < 25) {
        op.kind = Kind::Write;
        op.offset = random_.Below(SizeOf(op.name) + 1);
        op.length = Length();
    } else if (pick < 40) {
        op.kind = Kind::Extend;
        op.length = Length();
    } else if (pick < 50) {
        op.kind = Kind::Resize;
        op.length = random_.Below(3) == 0 ? 0 : Length();
    } else if (pick < 62) {
        op.kind = pick < 56 ? Kind::Copy : Kind::Move;
        do op.target = AnyName();
        while (op.target == op.name);
    } else if (pick < 68) {
        op.kind = Kind::Rename;
        const std::string& name = op.name;
        op.target = name.substr(0, name.size() - 1) + (name.back() == '0' ? "1" : "0");
        if (name == "f2") op.target = "f1";
    } else if (pick < 73) {
        op.kind = Kind::Delete;
    } else if (pick < 80 && !inTrans_) {
        op.kind = Kind::Begin;
        transLeft_ = 1 + static_cast<int>(random_.Below(8));
    } else if (pick < 88 && !inTrans_) {
        op.kind = Kind::HoldOpen;
        held_ = op.name;
        holdLeft_ = 2 + static_cast<int>(random_.Below(6));
    } else {
        op.kind = Kind::Extend;
        op.length = 1 + random_.Below(500);
    }
    return op;
}

// Writes in place through the held file, now and then one past its end or a
// resize, then its close.
Op Workload::ChooseHold() {
    Op op;
    op.name = held_;
    op.dataSeed = random_.Next();
    if (--holdLeft_ == 0) {
        op.kind = Kind::HoldClose;
        return op;
    }
    const uint32_t size = SizeOf(held_);
    const uint32_t pick = random_.Below(100);
    if (size > 0 && pick < 80) {
        op.kind = Kind::HoldWrite;
        op.offset = random_.Below(size);
        op.length = 1 + random_.Below(size - op.offset);
    } else if (pick < 93) {
        op.kind = Kind::HoldExtend;
        op.length = 1 + random_.Below(3000);
    } else {
        op.kind = Kind::HoldResize;
        op.length = random_.Below(2 * size + 100);
    }
    return op;
}

// What the store does with the operation, and what its calls return.
void Workload::Apply(Op& op) {
    const Content source = Find(files_, op.name);
    std::string content = source.value_or(std::string());
    switch (op.kind) {
        case Kind::Write:
        case Kind::HoldWrite: {
            const std::string data = Data(op.dataSeed, op.length);
            op.seekResult = source ? static_cast<int>(op.offset) : -1;
            if (op.offset + op.length <= content.size()) {
                content.replace(op.offset, op.length, data);
            } else {
                content = content.substr(0, op.offset) + data;
            }
            files_[op.name] = content;
            break;
        }
        case Kind::Extend:
        case Kind::HoldExtend:
            op.seekResult = source ? static_cast<int>(content.size()) : -1;
            files_[op.name] = content + Data(op.dataSeed, op.length);
            break;
        case Kind::Resize:
        case Kind::HoldResize:
            content.resize(op.length, '\0');
            files_[op.name] = content;
            break;
        case Kind::Copy:
        case Kind::Move:
            op.result = source.has_value();
            if (!source) break;
            files_[op.target] = content;
            if (op.kind == Kind::Move) files_.erase(op.name);
            break;
        case Kind::Rename:
            op.result = !source || !Find(files_, op.target);
            if (!source || !op.result) break;
            files_[op.target] = content;
            files_.erase(op.name);
            break;
        case Kind::Delete:
            files_.erase(op.name);
            break;
        case Kind::Begin:
            inTrans_ = true;
            break;
        case Kind::Commit:
            inTrans_ = false;
            break;
        case Kind::HoldOpen:
        case Kind::HoldClose:
            break;
    }
}

// Opens `name` for one operation; the store ignores the mode.
FileHandle* OpenFile(DirHandle* dir, const std::string& name) {
    return kivfsCreateFileIndir(dir, name.c_str(), 3);
}

bool WriteAt(FileHandle* file, const Op& op, int origin) {
    const std::string data = Data(op.dataSeed, op.length);
    return kivfsSeek(file, origin == 0 ? static_cast<int>(op.offset) : 0, origin) ==
               op.seekResult &&
           kivfsWrite(file, data.data(), static_cast<int>(data.size())) ==
               static_cast<int>(data.size());
}

// Runs one operation in the child; false when a call returned other than the
// model says.
bool Execute(DirHandle* dir, const Op& op, FileHandle*& held) {
    bool ok = true;
    FileHandle* file = held;
    const bool once = op.kind == Kind::Write || op.kind == Kind::Extend || op.kind == Kind::Resize;
    if (once) file = OpenFile(dir, op.name);
    switch (op.kind) {
        case Kind::Write:
        case Kind::HoldWrite:
            ok = WriteAt(file, op, 0);
            break;
        case Kind::Extend:
        case Kind::HoldExtend:
            ok = WriteAt(file, op, 2);
            break;
        case Kind::Resize:
        case Kind::HoldResize:
            ok = kivfsResize(file, op.length);
            break;
        case Kind::Copy:
            ok = kivfsCopyFile(dir, op.name.c_str(), op.target.c_str(), false) == op.result;
            break;
        case Kind::Move:
            ok = kivfsMoveFile(dir, op.name.c_str(), op.target.c_str(), false) == op.result;
            break;
        case Kind::Rename:
            ok = kivfsRenameFile(dir, op.name.c_str(), op.target.c_str()) == op.result;
            break;
        case Kind::Delete:
            ok = kivfsDeleteFile(dir, op.name.c_str());
            break;
        case Kind::Begin:
            ok = kivfsBeginTrans(dir);
            break;
        case Kind::Commit:
            ok = kivfsCommitTrans(dir);
            break;
        case Kind::HoldOpen:
            held = OpenFile(dir, op.name);
            ok = held != nullptr;
            break;
        case Kind::HoldClose:
            kivfsCloseFile(held);
            held = nullptr;
            break;
    }
    if (once) kivfsCloseFile(file);
    return ok;
}

// The child: the workload from `files` and `seed` until it is killed, each
// operation between its two log records. Exit 3 when a call misbehaved.
int RunChild(const std::string& dbPath, const std::string& logPath, const Files& files,
             uint64_t seed) {
    kivfs_test::AppendLog log(logPath.c_str());
    DirHandle* dir = kivfsOpenDir(dbPath.c_str());
    if (!dir) return 2;
    Workload workload(files, seed);
    FileHandle* held = nullptr;
    char record[32];
    for (long k = 0; k < 100000; ++k) {
        const Op op = workload.Next();
        std::snprintf(record, sizeof record, "B %ld\n", k);
        log.Append(record);
        if (!Execute(dir, op, held)) {
            std::snprintf(record, sizeof record, "X %ld\n", k);
            log.Append(record);
            return 3;
        }
        std::snprintf(record, sizeof record, "D %ld\n", k);
        log.Append(record);
    }
    kivfsCloseFile(held);
    kivfsCloseDir(dir);
    return 0;
}

// The last record of the log: 'B', 'D' or 'X' and the operation's index;
// index -1 when the child was killed before its first operation.
struct LastRecord {
    char kind = 'D';
    long index = -1;
};

LastRecord ReadLastRecord(const std::string& logPath) {
    LastRecord last;
    std::istringstream lines(kivfs_test::ReadBytes(logPath));
    char kind = 0;
    long index = 0;
    while (lines >> kind >> index) last = LastRecord{kind, index};
    return last;
}

// For each name, the contents it may hold after the child was killed.
using Acceptable = std::map<std::string, std::vector<Content>>;

// Every file settles on what it holds now.
void Settle(Acceptable& acceptable, const Files& files) {
    for (const char* name : kNames) acceptable[name] = {Find(files, name)};
}

// Replays the child's operations up to its last record: what was committed
// stays; the operation cut off may have been committed or not.
Acceptable Replay(const Files& files, uint64_t seed, const LastRecord& last) {
    Acceptable acceptable;
    Settle(acceptable, files);
    Workload workload(files, seed);
    for (long k = 0; k <= last.index; ++k) {
        const bool inTrans = workload.InTrans();
        const Op op = workload.Next();
        const Files& after = workload.files();
        const bool commits = !inTrans || op.kind == Kind::Commit;
        if (k == last.index && last.kind == 'B') {
            if (!commits) break;
            for (const char* name : kNames) acceptable[name].push_back(Find(after, name));
            break;
        }
        if (!commits || op.kind == Kind::Begin || op.kind == Kind::HoldOpen) continue;
        Settle(acceptable, after);
    }
    return acceptable;
}

// Reads every file of the workload back through the exported calls.
Files ReadStore(DirHandle* dir) {
    Files files;
    for (const char* name : kNames) {
        bool exists = false;
        if (!kivfsIsFileExist(dir, name, &exists) || !exists) continue;
        FileHandle* file = kivfsCreateFileIndir(dir, name, 0);
        const int size = kivfsSeek(file, 0, 2);
        kivfsSeek(file, 0, 0);
        std::string content(size > 0 ? size : 0, '\0');
        if (size > 0) content.resize(kivfsRead(file, content.data(), size));
        kivfsCloseFile(file);
        files[name] = content;
    }
    return files;
}

// What a direct SQLite connection says: the integrity check's verdict and the
// stored names.
struct DirectLook {
    std::string integrity;
    std::vector<std::string> names;
};

DirectLook LookDirectly(const std::string& dbPath) {
    DirectLook look;
    sqlite3* db = nullptr;
    sqlite3_open(dbPath.c_str(), &db);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &query, nullptr);
    while (sqlite3_step(query) == SQLITE_ROW) {
        look.integrity += reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
    }
    sqlite3_finalize(query);
    sqlite3_prepare_v2(db, "SELECT Path || FileName FROM FileStorage ORDER BY 1", -1, &query,
                       nullptr);
    while (sqlite3_step(query) == SQLITE_ROW) {
        look.names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return look;
}

// Lists every directory of the store and reads every file it lists, again
// and again, each pass in a connection of its own, until it is killed. A call
// that fails (a lock held past the busy timeout) only ends the pass.
int RunReader(const std::string& dbPath) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DirHandle* dir = kivfsOpenDir(dbPath.c_str());
        std::vector<std::string> directories{""};
        for (size_t next = 0; dir && next < directories.size(); ++next) {
            EnumHandle* listing = kivfsCreateEnumIndir(dir, directories[next].c_str());
            while (listing && kivfsMoveNext(listing)) {
                char* name = nullptr;
                if (!kivfsGetFullName(listing, &name)) break;
                if (kivfsIsDirectory(listing)) {
                    directories.push_back(name);
                } else {
                    FileHandle* file = kivfsCreateFileIndir(dir, name, 0);
                    while (kivfsRead(file, buffer.data(), static_cast<int>(buffer.size())) > 0) {
                    }
                    kivfsCloseFile(file);
                }
                kivfsFreeName(name);
            }
            kivfsCloseEnum(listing);
        }
        kivfsCloseDir(dir);
    }
}

// Runs `body` in a child next to a reader child and kills it at a random
// moment: once it has begun a random operation among its first 40 (its speed
// depends on the disk's), then after a random pause of up to 3 ms, which
// lands inside an operation as often as between two. The reader is killed
// right after.
kivfs_test::ChildEnd RunAndKill(const std::function<int()>& body, const std::string& dbPath,
                                const std::string& logPath, Random& moments) {
    const long operation = static_cast<long>(moments.Below(40));
    const auto pause = std::chrono::microseconds(moments.Below(3000));
    kivfs_test::ChildProcess reader([&] { return RunReader(dbPath); });
    kivfs_test::ChildProcess child(body);
    while (!child.Ended() && ReadLastRecord(logPath).index < operation) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(pause);
    const kivfs_test::ChildEnd end = child.Kill();
    reader.Kill();
    return end;
}

std::string Show(const Content& content) {
    if (!content) return "missing";
    return std::to_string(content->size()) + " bytes";
}

long FromEnvironment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

TEST(CrashConsistency, KilledStoreKeepsEveryFileWholeAndCommitted) {
    const long trials = FromEnvironment("KIVFS_CRASH_TRIALS", 60);
    const uint64_t firstSeed = static_cast<uint64_t>(FromEnvironment("KIVFS_CRASH_SEED", 1));
    TempDir tmp;
    const std::string dbPath = tmp / "store.db";
    const std::string logPath = tmp / "ops.log";
    Random moments(firstSeed);
    Files files;
    long cutOff = 0;
    long operations = 0;
    for (long trial = 0; trial < trials; ++trial) {
        const uint64_t seed = firstSeed * 1000003 + static_cast<uint64_t>(trial);
        std::remove(logPath.c_str());
        const kivfs_test::ChildEnd end = RunAndKill(
            [&] { return RunChild(dbPath, logPath, files, seed); }, dbPath, logPath, moments);
        const LastRecord last = ReadLastRecord(logPath);
        SCOPED_TRACE("trial " + std::to_string(trial) + ", seed " + std::to_string(seed) +
                     ", last record " + last.kind + " " + std::to_string(last.index));
        ASSERT_TRUE(end.killed || end.exitCode == 0)
            << "child exit " << end.exitCode << ", signal " << end.signal;
        ASSERT_NE(last.kind, 'X') << "a call returned other than expected";
        cutOff += last.kind == 'B';
        operations += last.index + 1;

        DirHandle* dir = kivfsOpenDir(dbPath.c_str());
        ASSERT_NE(dir, nullptr) << "the store does not reopen";
        const Files found = ReadStore(dir);
        kivfsCloseDir(dir);
        const DirectLook look = LookDirectly(dbPath);
        ASSERT_EQ(look.integrity, "ok");
        for (const std::string& name : look.names) {
            ASSERT_TRUE(found.count(name)) << "unexpected stored file " << name;
        }
        const Acceptable acceptable = Replay(files, seed, last);
        for (const char* name : kNames) {
            const Content content = Find(found, name);
            const std::vector<Content>& allowed = acceptable.at(name);
            bool ok = false;
            for (const Content& candidate : allowed) ok = ok || candidate == content;
            std::string shown;
            for (const Content& candidate : allowed) shown += " " + Show(candidate);
            ASSERT_TRUE(ok) << name << " holds " << Show(content) << ", expected one of" << shown;
        }
        files = found;
    }
    std::printf("crash consistency: %ld trials, %ld operations, %ld kills inside an operation\n",
                trials, operations, cutOff);
}

}  // namespace
