// POSIX: nothing stops a cut under a mapping; truncate(2) is what another
// program would call.
#include "support/OutsideCut.h"

#include <filesystem>
#include <system_error>

namespace kivfs_test {

std::string CutFromOutside(const std::string& path, std::uint64_t size) {
    std::error_code cut;
    std::filesystem::resize_file(path, size, cut);
    return cut ? "truncate(2) failed: " + cut.message() : std::string();
}

}  // namespace kivfs_test
