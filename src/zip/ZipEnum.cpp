#include "zip/ZipEnum.h"

#include <cstring>

#include "zip/ZipEntryNames.h"

namespace kivfs {

// One pass over the central directory, in its order.
ZipEnum::ZipEnum(ZZIP_DIR* archive, const std::string& dirPath) : SnapshotEnum(dirPath) {
    ForEachEntryName(archive, [&](const char* stored) {
        const std::size_t length = std::strlen(stored);
        if (length <= dirPath.size() ||
            dirPath.compare(0, dirPath.size(), stored, dirPath.size()) != 0)
            return;
        const char* rest = stored + dirPath.size();
        const char* slash = std::strchr(rest, '/');
        if (!slash) {
            AddFile(rest);
        } else {
            AddDirectory(std::string(rest, slash + 1));
        }
    });
}

}  // namespace kivfs
