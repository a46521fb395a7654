#include "zip/ZipIndex.h"

#include <cstring>

namespace kivfs {

namespace {

// A stored "\" is a "/" (archives made by some Windows tools store
// 'dir\c.txt'), as the listings take it too.
bool EndsWithSlash(const char* text) {
    const std::size_t length = std::strlen(text);
    return length != 0 && (text[length - 1] == '/' || text[length - 1] == '\\');
}

// A-Z to a-z, as the C library's tolower does in the "C" locale; every other
// byte (UTF-8 included) is left alone.
char LowerByte(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// One byte of a name as zziplib's case-insensitive compare sees it: A-Z
// lowered and a backslash taken as "/". Two names match there exactly when these
// bytes are all equal.
char CaselessByte(char c) {
    return c == '\\' ? '/' : LowerByte(c);
}

// Whether two names match in zziplib's case-insensitive compare.
bool SameCaselessKey(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (CaselessByte(*a) != CaselessByte(*b)) return false;
    }
    return *a == *b;
}

// Whether a stored name is `name` exactly, a stored "\" standing for "/".
bool SameName(const char* stored, const std::string& name) {
    std::size_t at = 0;
    for (; stored[at] != '\0'; ++at) {
        if (at == name.size() || (stored[at] == '\\' ? '/' : stored[at]) != name[at]) return false;
    }
    return at == name.size();
}

// FNV-1a over the name as zziplib's case-insensitive compare sees it: names
// that match there hash alike.
std::uint32_t CaselessHash(const char* name) {
    std::uint32_t hash = 2166136261u;
    for (; *name != '\0'; ++name) {
        hash = (hash ^ static_cast<unsigned char>(CaselessByte(*name))) * 16777619u;
    }
    return hash;
}

// The smallest power of two holding `count` keys with at least as many
// empty slots, so that probe runs stay short.
std::size_t TableSize(std::size_t count) {
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    return size;
}

}  // namespace

// One pass in central-directory order: a key's first entry takes its slot,
// later ones join the end of its chain, so that the chain lists the entries
// with that key in the archive's order.
ZipIndex::ZipIndex(ArchiveReader& archive) {
    archive.VisitNames([this](const char* stored) { storedNames_.push_back(stored); });
    slots_.assign(TableSize(storedNames_.size()), Slot{nullptr, 0, kNoEntry});
    nextWithKey_.assign(storedNames_.size(), kNoEntry);
    // The last entry of each key's chain so far, by slot; only while filling.
    std::vector<std::uint32_t> lastWithKey(slots_.size(), kNoEntry);
    for (std::uint32_t position = 0; position < storedNames_.size(); ++position) {
        const std::uint32_t hash = CaselessHash(storedNames_[position]);
        const std::size_t at = SlotOf(storedNames_[position], hash);
        if (slots_[at].position == kNoEntry) {
            slots_[at] = Slot{storedNames_[position], hash, position};
        } else {
            slots_[at].position |= kMoreWithKey;
            nextWithKey_[lastWithKey[at]] = position;
        }
        lastWithKey[at] = position;
    }
}

// Linear probing from the hash's own slot; the table always has empty slots,
// so the probe ends.
std::size_t ZipIndex::SlotOf(const char* name, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.position == kNoEntry || (slot.hash == hash && SameCaselessKey(slot.name, name))) {
            return at;
        }
    }
}

std::uint32_t ZipIndex::FirstWithKey(const std::string& name) const {
    const std::uint32_t position =
        slots_[SlotOf(name.c_str(), CaselessHash(name.c_str()))].position;
    return position == kNoEntry ? kNoEntry : position & ~kMoreWithKey;
}

// Names equal apart from case (and "\" for "/") have one caseless key, so
// the entries to look at are that key's chain.
bool ZipIndex::HasEntry(const std::string& name, bool directory) const {
    for (std::uint32_t at = FirstWithKey(name); at != kNoEntry; at = nextWithKey_[at]) {
        if (EndsWithSlash(storedNames_[at]) == directory &&
            SameCaselessKey(storedNames_[at], name.c_str())) {
            return true;
        }
    }
    return false;
}

// The empty name too is a file's.
bool ZipIndex::HasFile(const std::string& name) const {
    return HasEntry(name, false);
}

bool ZipIndex::HasDirectory(const std::string& name) const {
    if (!name.empty() && name.back() == '/') return HasEntry(name, true);
    return HasEntry(name + '/', true);
}

// Every entry that matches exactly has the name's key too, so the exact match
// is looked for along that key's chain only, and only when the key has more
// than one entry: a key's only entry is the one an open takes, exact or not.
std::optional<ZipIndex::Match> ZipIndex::Find(const std::string& name) const {
    const Slot& slot = slots_[SlotOf(name.c_str(), CaselessHash(name.c_str()))];
    if (slot.position == kNoEntry) return std::nullopt;
    const std::uint32_t first = slot.position & ~kMoreWithKey;
    if (slot.position == first) return Match{first, slot.name};
    for (std::uint32_t at = first; at != kNoEntry; at = nextWithKey_[at]) {
        if (SameName(storedNames_[at], name)) return Match{at, storedNames_[at]};
    }
    return Match{first, slot.name};
}

// The walk goes on after a case-insensitive match, since an exact one later
// in the directory wins over it.
std::optional<ZipIndex::Match> ZipIndex::Scan(ArchiveReader& archive, const std::string& name) {
    std::optional<Match> exact;
    std::optional<Match> caseless;
    std::uint32_t position = 0;
    archive.VisitNames([&](const char* stored) {
        if (!exact && SameName(stored, name)) {
            exact = Match{position, stored};
        } else if (!exact && !caseless && SameCaselessKey(stored, name.c_str())) {
            caseless = Match{position, stored};
        }
        ++position;
    });
    return exact ? exact : caseless;
}

}  // namespace kivfs
