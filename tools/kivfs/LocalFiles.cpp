#include "LocalFiles.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "ToolError.h"

namespace fs = std::filesystem;

namespace kivfs_tool {

namespace {

// The reason text of the latest C library failure, or a plain fallback.
std::string LastErrorText() {
    return errno != 0 ? std::string(std::strerror(errno)) : std::string("input/output error");
}

}  // namespace

// The command line is UTF-8; u8path keeps that meaning on every platform.
fs::path LocalPath(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string Utf8Text(const fs::path& path) {
    return path.u8string();
}

// Existence checks never throw: a path that cannot be examined counts as
// missing, and the open that follows reports the reason.
bool LocalExists(const std::string& utf8) {
    std::error_code ignored;
    return fs::exists(LocalPath(utf8), ignored);
}

bool LocalIsDirectory(const std::string& utf8) {
    std::error_code ignored;
    return fs::is_directory(LocalPath(utf8), ignored);
}

std::string PartFileName(const std::string& target) {
    return target + ".kivfs-part";
}

void RemoveLocalFile(const std::string& utf8) {
    std::error_code ignored;
    fs::remove(LocalPath(utf8), ignored);
}

void RenameLocalFile(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::rename(LocalPath(from), LocalPath(to), error);
    if (error) throw ToolError("cannot write " + Quoted(to) + ": " + error.message());
}

bool SameLocalFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const bool same = fs::equivalent(LocalPath(a), LocalPath(b), error);
    return same && !error;
}

std::string BaseName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Compares resolved paths component by component, so that "/a/bc" is not
// taken to lie inside "/a/b".
bool LiesInside(const fs::path& root, const fs::path& target) {
    std::error_code error;
    const fs::path base = fs::weakly_canonical(root, error);
    if (error) return false;
    const fs::path full = fs::weakly_canonical(target, error);
    if (error) return false;
    auto b = base.begin();
    auto t = full.begin();
    for (; b != base.end(); ++b, ++t) {
        if (b->empty()) continue;  // the empty last element of a path ending in a separator
        if (t == full.end() || *b != *t) return false;
    }
    return true;
}

LocalInput::LocalInput(const std::string& utf8) {
    const fs::path path = LocalPath(utf8);
    std::error_code error;
    if (fs::is_directory(path, error)) {
        throw ToolError("cannot read " + Quoted(utf8) + ": is a directory");
    }
    errno = 0;
    in_.open(path, std::ios::binary);
    if (!in_) throw ToolError("cannot read " + Quoted(utf8) + ": " + LastErrorText());
    size_ = fs::file_size(path, error);
    if (error) throw ToolError("cannot read " + Quoted(utf8) + ": " + error.message());
}

LocalOutput::LocalOutput(const std::string& utf8) : target_(utf8) {
    const fs::path path = LocalPath(utf8);
    std::error_code error;
    if (fs::is_directory(path, error)) {
        throw ToolError("cannot write " + Quoted(utf8) + ": is a directory");
    }
    partPath_ = LocalPath(PartFileName(utf8));
    errno = 0;
    out_.open(partPath_, std::ios::binary | std::ios::trunc);
    if (!out_) throw ToolError("cannot write " + Quoted(utf8) + ": " + LastErrorText());
}

LocalOutput::~LocalOutput() {
    if (committed_) return;
    out_.close();
    RemoveLocalFile(Utf8Text(partPath_));
}

void LocalOutput::Commit() {
    errno = 0;
    out_.flush();
    out_.close();
    if (!out_) throw ToolError("cannot write " + Quoted(target_) + ": " + LastErrorText());
    RenameLocalFile(Utf8Text(partPath_), target_);
    committed_ = true;
}

void MakeLocalDirectories(const std::string& utf8) {
    std::error_code error;
    fs::create_directories(LocalPath(utf8), error);
    if (error || !LocalIsDirectory(utf8)) {
        const std::string reason = error ? error.message() : "not a directory";
        throw ToolError("cannot create directory " + Quoted(utf8) + ": " + reason);
    }
}

}  // namespace kivfs_tool
