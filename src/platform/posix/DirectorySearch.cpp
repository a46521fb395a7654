// POSIX directory search: opendir/readdir of the folder, filtered by the
// name prefix. Names are handed out as views of readdir's own record, which
// POSIX keeps valid until the next readdir on the same stream.
#include "platform/DirectorySearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

namespace kivfs {

namespace {

// True when `entry` is a directory. The type readdir reports is enough for
// most file systems; where it is unknown, and for symbolic links (which other
// systems' searches report with the directory bit of what they lead to), the
// entry is looked up by path.
bool EntryIsDirectory(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
    struct stat info;
    const std::string path = folder + entry.d_name;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

struct DirectorySearch::State {
    DIR* handle = nullptr;  // open for the life of the search
    std::string folder;     // as given to Start: "" or ending in "/"
    std::string prefix;     // what an entry's name must begin with
    bool ended = false;     // set once readdir has run out

    ~State() {
        if (handle) ::closedir(handle);
    }
};

// The folder is kept as given: EntryIsDirectory puts it in front of names,
// and "" then leaves them relative to the current directory, as opendir(".")
// lists it.
std::unique_ptr<DirectorySearch> DirectorySearch::Start(const std::string& folder,
                                                        const std::string& prefix) {
    auto state = std::make_unique<State>();
    state->folder = folder;
    state->prefix = prefix;
    state->handle = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!state->handle) return nullptr;
    return std::unique_ptr<DirectorySearch>(new DirectorySearch(std::move(state)));
}

DirectorySearch::DirectorySearch(std::unique_ptr<State> state) : state_(std::move(state)) {}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::Next(DirectoryEntry& entry) {
    State& s = *state_;
    while (!s.ended) {
        const dirent* found = ::readdir(s.handle);
        if (!found) {
            s.ended = true;
            break;
        }
        if (!s.prefix.empty() &&
            std::strncmp(found->d_name, s.prefix.c_str(), s.prefix.size()) != 0) {
            continue;
        }
        entry.name = found->d_name;
        entry.isDirectory = EntryIsDirectory(s.folder, *found);
        return true;
    }
    return false;
}

}  // namespace kivfs
