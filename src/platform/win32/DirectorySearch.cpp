// Windows directory search: the C runtime's wide _wfindfirst64i32 /
// _wfindnext64i32 / _findclose (FindFirstFileW and its kin underneath) over
// the pattern folder + prefix + "*.*". The wide calls return every name as it
// is on disk; the narrow ones would give "?" for each character outside the
// ANSI code page.
#include "platform/DirectorySearch.h"

#include <io.h>

#include "platform/Text.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/WideText.h"

namespace kivfs {

namespace {

constexpr intptr_t kNoSearch = -1;

}  // namespace

// `pending` holds the first entry, which _wfindfirst64i32 returns together
// with the handle; Next hands it out before asking for more.
struct DirectorySearch::State {
    intptr_t handle = kNoSearch;  // open for the life of the search
    _wfinddata64i32_t found = {};
    bool pending = true;  // `found` holds an entry not handed out yet
    bool ended = false;   // set once _wfindnext64i32 has run out
    std::string name;     // `found`'s name in UTF-8: what the last entry's view shows

    ~State() {
        if (handle != kNoSearch) _findclose(handle);
    }
};

// "*.*" matches every name, those without a dot too: the system keeps that
// meaning of the pattern from DOS. A pattern longer than MaxPathUnits is
// refused before the system sees it, as every path is.
std::unique_ptr<DirectorySearch> DirectorySearch::Start(const std::string& folder,
                                                        const std::string& prefix) {
    const std::u16string wide = ToUtf16((folder + prefix + "*.*").c_str());
    if (wide.size() > MaxPathUnits()) return nullptr;
    auto state = std::make_unique<State>();
    state->handle = _wfindfirst64i32(Wide(wide), &state->found);
    if (state->handle == kNoSearch) return nullptr;
    return std::unique_ptr<DirectorySearch>(new DirectorySearch(std::move(state)));
}

DirectorySearch::DirectorySearch(std::unique_ptr<State> state) : state_(std::move(state)) {}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::Next(DirectoryEntry& entry) {
    State& s = *state_;
    if (s.ended) return false;
    if (!s.pending && _wfindnext64i32(s.handle, &s.found) != 0) {
        s.ended = true;
        return false;
    }
    s.pending = false;
    s.name = ToUtf8(Utf16(s.found.name));
    entry.name = s.name;
    entry.isDirectory = (s.found.attrib & _A_SUBDIR) != 0;
    return true;
}

}  // namespace kivfs
