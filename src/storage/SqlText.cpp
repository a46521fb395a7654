#include "storage/SqlText.h"

#include <sqlite3.h>

#include <cstdarg>

namespace kivfs {

// Formats through sqlite3_vmprintf, the one formatter that knows "%Q".
SqlText::SqlText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    text_ = sqlite3_vmprintf(format, args);
    va_end(args);
}

// Releases the text with the allocator that made it.
SqlText::~SqlText() {
    sqlite3_free(text_);
}

}  // namespace kivfs
