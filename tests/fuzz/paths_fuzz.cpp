// Fuzz target: hostile paths and names for the full-path opens, the calls
// inside an open container, the mount calls, path translation, directory
// creation and the host bridge.
//
// The bytes (PathsFuzzOps.h) become null, empty, 64 KiB long, non-UTF-8 and
// "\" / ":" / ".." laden texts. Everything runs inside a work folder: system
// paths are given below it and kept from climbing out (Confine), and the
// folder is emptied after each input. Names inside a container and the rest
// of a virtual path may climb one level above their root: the library must
// refuse them where they would reach a folder (ClimbsOut). Besides
// surviving, the calls are held to the results they promise: translation's
// length and strncpy-like filling, a created directory that exists, handles
// that work when they are handed out, climbing names refused.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "PathsFuzzOps.h"
#include "kivfs.h"

namespace kivfs_fuzz {
namespace {

using Text = std::optional<std::string>;  // nullopt stands for a null pointer

constexpr size_t kLongText = 64 * 1024;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// How a text is kept inside the sandbox.
enum class Scope {
    kSystemPath,  // resolved by the system: no part may climb above its start
    kName,        // checked by the library: may climb one level, never more
};

// Keeps a text inside the folder it is resolved against, whatever the
// library makes of it. A system path may not start at the file system's
// root, and no ".." may climb above the start of its part (the text before,
// between and after its ":"s), since each part is resolved against a folder
// at or below the work folder (the work folder itself, a container, a mount).
// A name (":" is a plain character in it) may climb one level, which is still
// inside the sandbox, so that the library's refusal is put to the test. An
// offending ".." becomes "._".
std::string Confine(std::string text, Scope scope = Scope::kSystemPath) {
    const bool systemPath = scope == Scope::kSystemPath;
    if (systemPath && !text.empty() && IsSeparator(text[0])) text[0] = '_';
    const int lowest = systemPath ? 0 : -1;
    int depth = 0;
    for (size_t begin = 0; begin <= text.size();) {
        size_t end = begin;
        while (end < text.size() && !IsSeparator(text[end]) && (!systemPath || text[end] != ':'))
            ++end;
        const std::string segment = text.substr(begin, end - begin);
        if (segment == "..") {
            if (depth == lowest) {
                text[begin + 1] = '_';
            } else {
                --depth;
            }
        } else if (!segment.empty() && segment != ".") {
            ++depth;
        }
        if (end < text.size() && text[end] == ':') depth = 0;
        begin = end + 1;
    }
    return text;
}

// True when the ".." components of a name climb above its start at some
// point, "/" and "\" both separating: such a name must not reach a folder.
bool ClimbsOut(const std::string& name) {
    int depth = 0;
    for (size_t begin = 0; begin <= name.size();) {
        size_t end = begin;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        const std::string segment = name.substr(begin, end - begin);
        if (segment == ".." && --depth < 0) return true;
        if (segment != ".." && !segment.empty() && segment != ".") ++depth;
        begin = end + 1;
    }
    return false;
}

// The name a virtual path gives inside its mount: the rest after its first
// ":", or the whole text when it has none (the bridge puts "app:" in front).
std::string RestOf(const std::string& virtualPath) {
    const size_t colon = virtualPath.find(':');
    return colon == std::string::npos ? virtualPath : virtualPath.substr(colon + 1);
}

// The folder the inputs run in.
const std::string& WorkFolder() {
    static const std::string folder = [] {
        const std::string path = SandboxPath() + "/work";
        std::filesystem::create_directory(path);
        return path;
    }();
    return folder;
}

// What a text argument stands for.
enum class Role { kName, kVirtualPath, kSystemPath };

// A text argument: a name inside a container, a virtual path (kept as a
// system path up to its first ":" and as a name after it), or a path of the
// file system, which is then given below the work folder.
Text TextArgument(FuzzInput& in, Role role) {
    std::string text;
    switch (in.Byte() % 4) {
        case kNullText:
            return std::nullopt;
        case kEmptyText:
            return std::string();
        case kLongText: {
            const std::string piece = in.Until(0);
            if (piece.empty()) return std::string(kLongText, 'a');
            while (text.size() < kLongText) text += piece;
            break;
        }
        default:
            text = in.Until(0);
            break;
    }
    switch (role) {
        case Role::kName:
            return Confine(text, Scope::kName);
        case Role::kVirtualPath: {
            const size_t colon = text.find(':');
            if (colon == std::string::npos) return Confine(text, Scope::kName);
            return Confine(text.substr(0, colon)) + ":" +
                   Confine(text.substr(colon + 1), Scope::kName);
        }
        case Role::kSystemPath:
            break;
    }
    return WorkFolder() + "/" + Confine(text);
}

// True when `path` names a real directory, as the container choice reads it:
// one trailing ":" dropped.
bool IsFolder(std::string path) {
    if (!path.empty() && path.back() == ':') path.pop_back();
    std::error_code ignored;
    return !path.empty() && std::filesystem::is_directory(path, ignored);
}

const char* Pointer(const Text& text) {
    return text ? text->c_str() : nullptr;
}

void Expect(bool ok, const char* what) {
    if (!ok) Fail(what);
}

// Works an open file a little: a write, a seek back, a read, the rest.
void ExerciseFile(FileHandle* file) {
    char bytes[16] = "kivfs";
    kivfsWrite(file, bytes, 5);
    Expect(kivfsSeek(file, 0, 0) >= -1, "seek result");
    kivfsRead(file, bytes, sizeof bytes);
    kivfsTell(file);
    kivfsError(file);
    kivfsResize(file, 3);
    kivfsSeek(file, -1, 2);
    kivfsRead(file, bytes, sizeof bytes);
}

// Reads a whole listing, names and full names, twice over a Reset.
void ExerciseListing(EnumHandle* listing) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int entries = 0; entries < 256 && kivfsMoveNext(listing); ++entries) {
            char* name = nullptr;
            char* fullName = nullptr;
            Expect(kivfsGetName(listing, &name) && name, "listed name");
            Expect(kivfsGetFullName(listing, &fullName) && fullName, "listed full name");
            kivfsIsDirectory(listing);
            kivfsFreeName(name);
            kivfsFreeName(fullName);
        }
        Expect(!kivfsGetName(listing, nullptr), "name into null");
        kivfsReset(listing);
    }
}

class PathsRun {
  public:
    ~PathsRun() {
        for (const Text& name : mounts_) kivFSUnmountPath(Pointer(name));
    }
    void Step(FuzzInput& in);

  private:
    // `folder`: the container is a real directory, where names are resolved.
    void InContainer(DirHandle* dir, bool folder, FuzzInput& in);
    void Translate(const Text& path, unsigned size);

    std::vector<Text> mounts_;  // every name mounted, unmounted at the end
};

void PathsRun::Step(FuzzInput& in) {
    const uint8_t op = in.Byte() % kPathsOpCount;
    // The mount calls, translation and the bridge take names and virtual
    // paths; the others system paths.
    const bool virtualPath =
        op == kUnmountOp || op == kTranslateOp || op == kStubOp || op == kMountOp;
    const Text path = TextArgument(in, virtualPath ? Role::kVirtualPath : Role::kSystemPath);
    switch (op) {
        case kOpenDirOp: {
            const bool folder = path && IsFolder(Normalized(*path));
            DirHandle* dir = kivfsOpenDir(Pointer(path));
            Expect(!dir || (path && !path->empty()), "a container from no path");
            const int steps = in.Byte() % 4;
            for (int step = 0; step < steps && dir; ++step) InContainer(dir, folder, in);
            kivfsCloseDir(dir);
            break;
        }
        case kCreateFileOp: {
            FileHandle* file = kivfsCreateFile(Pointer(path), static_cast<int8_t>(in.Byte()));
            Expect(!file || (path && !path->empty()), "a file from no path");
            if (file) ExerciseFile(file);
            kivfsCloseFile(file);
            break;
        }
        case kCreateEnumOp: {
            EnumHandle* listing = kivfsCreateEnum(Pointer(path));
            Expect(!listing || (path && !path->empty()), "a listing from no path");
            if (listing) ExerciseListing(listing);
            kivfsCloseEnum(listing);
            break;
        }
        case kMountOp: {
            const Text sysPath = TextArgument(in, Role::kSystemPath);
            kivFSMountPath(Pointer(path), Pointer(sysPath));
            mounts_.push_back(path);
            break;
        }
        case kUnmountOp:
            kivFSUnmountPath(Pointer(path));
            break;
        case kTranslateOp:
            Translate(path, in.Byte() % 24);
            break;
        case kCreateDirOp: {
            const int made = kivFSCreateDirectory(Pointer(path));
            Expect(made == 0 || (made == 1 && std::filesystem::is_directory(Normalized(*path))),
                   "created directory");
            break;
        }
        case kStubOp: {
            StubOps* ops = kivFSCreateStub(Pointer(path), static_cast<int8_t>(in.Byte()));
            Expect(!ops || !ClimbsOut(RestOf(*path)), "a stub for a climbing name");
            if (ops) {
                char bytes[8] = "stub";
                ops->writeFn(ops->file, bytes, 4);
                ops->seekFn(ops->file, 0, 0);
                ops->readFn(ops->file, bytes, sizeof bytes);
                ops->tellFn(ops->file);
                ops->errorFn(ops->file);
            }
            kivFSDeleteStub(ops);
            break;
        }
    }
}

// One call inside an open container with hostile names.
void PathsRun::InContainer(DirHandle* dir, bool folder, FuzzInput& in) {
    const uint8_t op = in.Byte() % kContainerOpCount;
    const Text name = op == kTransactionIn ? Text() : TextArgument(in, Role::kName);
    const char* first = Pointer(name);
    // A folder refuses a climbing name in every call.
    const bool refused = folder && name && ClimbsOut(*name);
    bool exists = false;
    switch (op) {
        case kFileExistsIn:
            Expect(!kivfsIsFileExist(dir, first, &exists) || (first && !refused),
                   "exists of null or of a climbing name");
            break;
        case kDirExistsIn:
            Expect(!kivfsIsDirectoryExist(dir, first, &exists) || (first && !refused),
                   "exists of null or of a climbing name");
            break;
        case kListIn: {
            EnumHandle* listing = kivfsCreateEnumIndir(dir, first);
            Expect(!listing || !refused, "a listing for a climbing name");
            if (listing) ExerciseListing(listing);
            kivfsCloseEnum(listing);
            break;
        }
        case kOpenFileIn: {
            FileHandle* file = kivfsCreateFileIndir(dir, first, static_cast<int8_t>(in.Byte()));
            Expect(!file || (first && *first && !refused), "a file from no or a climbing name");
            if (file) ExerciseFile(file);
            kivfsCloseFile(file);
            break;
        }
        case kDeleteFileIn:
            Expect(!kivfsDeleteFile(dir, first) || first, "delete of null");
            break;
        case kDeleteDirIn:
            Expect(!kivfsDeleteDirectory(dir, first) || first, "delete of null");
            break;
        case kRenameIn:
        case kCopyIn:
        case kMoveIn: {
            const Text target = TextArgument(in, Role::kName);
            const char* second = Pointer(target);
            const bool done = op == kRenameIn ? kivfsRenameFile(dir, first, second)
                              : op == kCopyIn ? kivfsCopyFile(dir, first, second, false)
                                              : kivfsMoveFile(dir, first, second, true);
            Expect(!done || (first && second), "rename, copy or move of null");
            break;
        }
        case kTransactionIn:
            if (kivfsBeginTrans(dir)) kivfsCommitTrans(dir);
            break;
    }
}

// The length comes back whatever the buffer; a buffer is filled as strncpy
// fills it: the path and zeros to its end, or the path cut at its size.
void PathsRun::Translate(const Text& path, unsigned size) {
    const int length = kivFSKivToSyspath(Pointer(path), nullptr, 0);
    Expect(length >= 0, "translated length");
    Expect(length == 0 || path->find(':') == std::string::npos || !ClimbsOut(RestOf(*path)),
           "translation of a climbing name");
    Expect(kivFSKivToSyspath(Pointer(path), nullptr, size) == (size ? 0 : length),
           "translation into null");
    if (size == 0) return;
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), 0x55, size);
    Expect(kivFSKivToSyspath(Pointer(path), buffer.get(), size) == length, "translation");
    const size_t filled = strnlen(buffer.get(), size);
    if (static_cast<unsigned>(length) >= size) {
        Expect(filled == size, "translation cut at the buffer's size");
        return;
    }
    const bool untouched = length == 0 && buffer[0] == 0x55;
    Expect(untouched || (filled == static_cast<size_t>(length) &&
                         std::all_of(buffer.get() + length, buffer.get() + size,
                                     [](char c) { return c == 0; })),
           "translation's zero filling");
}

// Empties the work folder for the next input, which must not see this one's
// files (an input must replay alike).
void EmptyWorkFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(WorkFolder(), ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

}  // namespace
}  // namespace kivfs_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        kivfs_fuzz::FuzzInput in(data, size);
        kivfs_fuzz::PathsRun run;
        for (int steps = 0; !in.Done() && steps < 64; ++steps) run.Step(in);
    }
    kivfs_fuzz::EmptyWorkFolder();
    return 0;
}
