// POSIX reports its own calls with errno, so the system's table is the
// errno table.
#include "platform/SystemError.h"

namespace kivfs {

// The system's own error values are errno values.
int SystemErrorToCode(unsigned long error) {
    return ErrnoToCode(static_cast<int>(error));
}

}  // namespace kivfs
