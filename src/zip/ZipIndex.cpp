#include "zip/ZipIndex.h"

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

// One byte of a CaselessKey.
char CaselessByte(char c) {
    return c == '\\' ? '/' : LowerByte(c);
}

// Whether CaselessKey(stored) equals `key`, without building it: the scan
// compares every entry's name this way.
bool HasCaselessKey(const char* stored, const std::string& key) {
    std::size_t at = 0;
    for (; stored[at] != '\0'; ++at) {
        if (at == key.size() || CaselessByte(stored[at]) != key[at]) return false;
    }
    return at == key.size();
}

}  // namespace

// One pass in central-directory order: each key's run grows at its end, so
// that its chain lists the entries with that key in the archive's order.
ZipIndex::ZipIndex(ZZIP_DIR* archive) {
    ForEachEntryName(archive, [this](const char* stored) {
        const std::string name = stored;
        (EndsWithSlash(name) ? dirNames_ : fileNames_).insert(LowerAscii(name));
        const auto position = static_cast<std::uint32_t>(storedNames_.size());
        storedNames_.push_back(stored);
        nextWithKey_.push_back(kNoEntry);
        const auto [run, added] =
            keys_.try_emplace(CaselessKey(stored), KeyRun{position, position});
        if (!added) {
            nextWithKey_[run->second.last] = position;
            run->second.last = position;
        }
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

// Every entry that matches exactly has the name's key too, so the exact match
// is looked for along that key's chain only.
std::optional<ZipIndex::Match> ZipIndex::Find(const std::string& name) const {
    const auto found = keys_.find(CaselessKey(name.c_str()));
    if (found == keys_.end()) return std::nullopt;
    for (std::uint32_t at = found->second.first; at != kNoEntry; at = nextWithKey_[at]) {
        if (name == storedNames_[at]) return Match{at, storedNames_[at]};
    }
    const std::uint32_t first = found->second.first;
    return Match{first, storedNames_[first]};
}

// The walk goes on after a case-insensitive match, since an exact one later
// in the directory wins over it.
std::optional<ZipIndex::Match> ZipIndex::Scan(ZZIP_DIR* archive, const std::string& name) {
    const std::string key = CaselessKey(name.c_str());
    std::optional<Match> exact;
    std::optional<Match> caseless;
    std::uint32_t position = 0;
    ForEachEntryName(archive, [&](const char* stored) {
        if (!exact && name == stored) {
            exact = Match{position, stored};
        } else if (!exact && !caseless && HasCaselessKey(stored, key)) {
            caseless = Match{position, stored};
        }
        ++position;
    });
    return exact ? exact : caseless;
}

std::string ZipIndex::LowerAscii(const std::string& name) {
    std::string lowered = name;
    for (char& c : lowered) c = LowerByte(c);
    return lowered;
}

std::string ZipIndex::CaselessKey(const char* name) {
    std::string key = name;
    for (char& c : key) c = CaselessByte(c);
    return key;
}

}  // namespace kivfs
