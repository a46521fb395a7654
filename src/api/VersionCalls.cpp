// The exported version call: the text of the version this library was built
// as, for a host that must know which copy it loaded rather than which
// header it was compiled with.
#include "kivfs.h"

#define KIVFS_TEXT_OF(x) #x
#define KIVFS_VERSION_TEXT(major, minor, patch) \
    KIVFS_TEXT_OF(major) "." KIVFS_TEXT_OF(minor) "." KIVFS_TEXT_OF(patch)

extern "C" {

// Made from the header's macros when the library is compiled, so that it
// always agrees with the KIVFS_VERSION_* of the same build.
const char* kivfsVersion(void) {
    return KIVFS_VERSION_TEXT(KIVFS_VERSION_MAJOR, KIVFS_VERSION_MINOR, KIVFS_VERSION_PATCH);
}

}  // extern "C"
