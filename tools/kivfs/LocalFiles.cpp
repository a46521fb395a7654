#include "LocalFiles.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "ToolError.h"

namespace fs = std::filesystem;

namespace kivfs_tool {

namespace {

// A system's message in the lower case that error lines use.
std::string LowerFirst(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// The reason text of the latest C library failure, or a plain fallback.
std::string LastErrorText() {
    return SystemReason(errno);
}

// An error of the file-system library, in the same style.
std::string ReasonOf(const std::error_code& error) {
    return LowerFirst(error.message());
}

}  // namespace

std::string SystemReason(int error) {
    return error == 0 ? std::string("input/output error") : LowerFirst(std::strerror(error));
}

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
    if (error) throw ToolError("cannot write " + Quoted(to) + ": " + ReasonOf(error));
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
    if (error) throw ToolError("cannot read " + Quoted(utf8) + ": " + ReasonOf(error));
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

void LocalOutput::Close() {
    if (!out_.is_open()) return;
    errno = 0;
    out_.flush();
    out_.close();
    if (!out_) throw ToolError("cannot write " + Quoted(target_) + ": " + LastErrorText());
}

void LocalOutput::Commit() {
    Close();
    RenameLocalFile(Utf8Text(partPath_), target_);
    committed_ = true;
}

LocalPart::LocalPart(const std::string& target) : target_(target), part_(PartFileName(target)) {
    RemoveLocalFile(part_);
}

LocalPart::~LocalPart() {
    if (!kept_) RemoveLocalFile(part_);
}

void LocalPart::Keep() {
    RenameLocalFile(part_, target_);
    kept_ = true;
}

// The missing folders are found from the deepest up, then made one by one
// from the top, so that each one made can be noted.
void MakeLocalDirectories(const std::string& utf8, std::vector<fs::path>* created) {
    std::error_code error;
    std::vector<fs::path> missing;
    for (fs::path path = LocalPath(utf8); !path.empty() && !fs::exists(path, error);
         path = path.parent_path()) {
        missing.push_back(path);
        if (path == path.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend() && !error; ++it) {
        if (fs::create_directory(*it, error) && created) created->push_back(*it);
    }
    if (error || !LocalIsDirectory(utf8)) {
        const std::string reason = error ? ReasonOf(error) : "not a directory";
        throw ToolError("cannot create directory " + Quoted(utf8) + ": " + reason);
    }
}

}  // namespace kivfs_tool
