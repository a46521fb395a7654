#include "storage/OpenStorageFs.h"

#include "storage/StorageFs.h"
#include "storage/StoreConnection.h"

namespace kivfs {

// The connection makes sure of the FileStorage table; one that cannot be
// opened has noted why.
std::unique_ptr<FsBackend> OpenStorageFs(const std::string& path) {
    std::unique_ptr<StoreConnection> store = StoreConnection::Open(path);
    if (!store) return nullptr;
    return std::make_unique<StorageFs>(std::move(store));
}

}  // namespace kivfs
