// A store that receives files all at once or not at all (put, pack): an
// existing store takes them in one transaction, a new one is built aside in
// a part file and renamed into place. Until Commit nothing shows at the
// target, and anything short of Commit (a failure, an interruption) leaves
// the target as it was, with no part file or journal beside it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Container.h"

namespace kivfs_tool {

class NewStoreFile;

class StoreTarget {
  public:
    // Opens the store at `path`, or starts a new one; `what` begins the
    // error lines ("cannot pack into 's.db'"). Throws ToolError.
    StoreTarget(const std::string& path, const std::string& what);
    ~StoreTarget();
    StoreTarget(const StoreTarget&) = delete;
    StoreTarget& operator=(const StoreTarget&) = delete;

    // The store to write into, inside the transaction.
    const Container& store() const { return *store_; }

    // Commits the transaction and, for a new store, puts it in place.
    // Throws ToolError (Interrupted once a signal has arrived) and then
    // leaves the target as it was.
    void Commit();

  private:
    std::string path_;
    std::string what_;
    std::unique_ptr<NewStoreFile> part_;  // set while a new store is being built
    std::optional<Container> store_;
    bool committed_ = false;
};

}  // namespace kivfs_tool
