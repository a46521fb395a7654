// One of the two files of the tool that include system headers (with
// Interrupt.cpp).
#include "Terminal.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kivfs_tool {

// isatty on the stream's descriptor.
bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// Only Windows translates newlines on standard streams; POSIX streams are
// already binary.
void UseBinaryMode(std::FILE* stream) {
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

}  // namespace kivfs_tool
