#include "zip/ZipIndex.h"

#include "platform/Text.h"
#include "zip/ZipEntryNames.h"

namespace kivfs {

namespace {

bool EndsWithSlash(const std::string& text) {
    return !text.empty() && text.back() == '/';
}

// A-Z to a-z, as the C library's tolower does in the "C" locale; every other
// byte (UTF-8 included) is left alone.
char LowerByte(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

// One pass in central-directory order; emplace keeps the first entry of each
// key, which is the one a case-insensitive scan would stop at.
ZipIndex::ZipIndex(ZZIP_DIR* archive) {
    ForEachEntryName(archive, [this](const char* stored) {
        const std::string name = stored;
        (EndsWithSlash(name) ? dirNames_ : fileNames_).insert(LowerAscii(name));
        storedNames_.emplace(CaselessKey(stored), stored);
    });
}

bool ZipIndex::HasFile(const std::string& name) const {
    return fileNames_.count(LowerAscii(name)) != 0;
}

bool ZipIndex::HasDirectory(const std::string& name) const {
    std::string key = LowerAscii(name);
    if (!EndsWithSlash(key)) key += '/';
    return dirNames_.count(key) != 0;
}

const char* ZipIndex::StoredName(const std::string& name) const {
    const auto found = storedNames_.find(CaselessKey(name.c_str()));
    return found == storedNames_.end() ? nullptr : found->second;
}

std::string ZipIndex::LowerAscii(const std::string& name) {
    std::string lowered = name;
    for (char& c : lowered) c = LowerByte(c);
    return lowered;
}

std::string ZipIndex::CaselessKey(const char* name) {
    std::string key = LowerAscii(name);
    NormalizeSlashes(key);
    return key;
}

}  // namespace kivfs
