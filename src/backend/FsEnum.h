// FsEnum: one listing of a directory inside a container.
//
// Slots, in order: destructor, MoveNext, Reset, GetName, GetFullName,
// IsDirectory. A new listing stands before its first entry; MoveNext is
// called first. Names handed out by GetName/GetFullName are allocated with
// new[] (see NewNameText) and belong to the caller.
#pragma once

#include <cstring>
#include <string_view>

#include "backend/FsObject.h"

namespace kivfs {

class FsEnum : public FsObject {
  public:
    // Advances to the next entry; false at the end and from then on until Reset.
    virtual bool MoveNext() = 0;
    // Puts the listing back before its first entry.
    virtual void Reset() = 0;
    // The current entry's name, newly allocated; false (nothing allocated)
    // when `out` is null or there is no current entry.
    virtual bool GetName(char** out) = 0;
    // As GetName, with the listed directory's text in front; a directory's
    // full name always ends with "/".
    virtual bool GetFullName(char** out) = 0;
    // True when the current entry is a directory.
    virtual bool IsDirectory() = 0;
};

// Returns a new[]-allocated, zero-terminated copy of `text`: the form in which
// every backend hands names to the caller, who releases it with delete[]
// (kivfsFreeName does so for C hosts). A buffer of exactly the name's length
// plus the terminator.
inline char* NewNameText(std::string_view text) {
    char* copy = new char[text.size() + 1];
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}  // namespace kivfs
