#include "PathContent.h"

#include <fstream>
#include <system_error>

#include "Container.h"
#include "LocalFiles.h"
#include "kivfs.h"

namespace fs = std::filesystem;

namespace kivfs_tool {

namespace {

// The library's answer for an existing, readable, non-empty file or a
// folder. A kind it cannot read as it is (a damaged or zip64 archive, a
// damaged store, a SQLite database without a store's table, which a
// creating open gives one) is still that kind: opening it then reports why.
PathContent KindOfContainer(const std::string& utf8) {
    switch (kivfsContainerKind(utf8.c_str())) {
        case KIVFS_KIND_FOLDER:
            return PathContent::Directory;
        case KIVFS_KIND_ZIP:
        case -KIVFS_KIND_ZIP:
            return PathContent::ZipArchive;
        case KIVFS_KIND_STORE:
            return PathContent::Store;
        case -KIVFS_KIND_STORE:
            if (kivfsLastError() == KIVFS_ERR_BUSY) throw ToolError(StoreLockedText(utf8));
            return PathContent::Store;
        default:
            return PathContent::Other;
    }
}

}  // namespace

PathContent WhatPathHolds(const std::string& utf8) {
    const fs::path path = LocalPath(utf8);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) return PathContent::Nothing;
    if (fs::is_directory(status)) return KindOfContainer(utf8);
    if (!fs::is_regular_file(status)) return PathContent::Other;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return PathContent::Other;
    if (size == 0) return PathContent::EmptyFile;
    if (!std::ifstream(path, std::ios::binary)) return PathContent::Unreadable;
    return KindOfContainer(utf8);
}

}  // namespace kivfs_tool
