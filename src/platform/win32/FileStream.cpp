// Windows opening of a FileStream: _wfopen with the UTF-16 path and the wide
// mode text. Only files on disk open: a reserved device name (and a name
// with characters Windows forbids) is refused before the call, whatever
// else is not a disk file after it.
#include "platform/FileStream.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

#include "backend/Failure.h"
#include "kivfs.h"
#include "platform/Text.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/WideText.h"

namespace kivfs {

// _wfopen refuses a directory in every mode, as the other systems' open is
// made to. A pipe or a device reached through another name ("\\.\pipe\x",
// "\\.\COM1") opens, so the handle's type is checked afterwards too.
bool FileStream::Open(const std::string& path, const char* modeText) {
    const std::u16string widePath = ToUtf16(path.c_str());
    if (!IsUsablePath(widePath)) {
        NoteFailure(NamesReservedDevice(widePath) ? KIVFS_ERR_NOT_A_FILE : KIVFS_ERR_ARGUMENT);
        return false;
    }
    const std::u16string wideMode = ToUtf16(modeText);
    std::FILE* stream = _wfopen(Wide(widePath), Wide(wideMode));
    if (!stream) {
        NoteErrno(errno);
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(stream);
        NoteFailure(KIVFS_ERR_NOT_A_FILE);
        return false;
    }
    stream_ = stream;
    return true;
}

}  // namespace kivfs
