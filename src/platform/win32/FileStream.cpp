// Windows opening of a FileStream: _wfopen with the UTF-16 path and the wide
// mode text. Only files on disk open. A reserved device name (CON, NUL,
// aux.txt ...), which every folder resolves to the device, and a name with
// characters Windows forbids are refused before anything is opened; a pipe
// or device reached by another name ("//./pipe/x") is refused by its handle
// type right after, before anything is read or written. _wfopen waits for
// no peer: a named pipe without a server fails at once. Transfers, positions
// and the end-of-file indicator are the C stream's own.
#include "platform/FileStream.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "kivfs.h"
#include "platform/Text.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/WideText.h"

namespace kivfs {

namespace {

// The stdio mode texts this stream takes.
bool IsModeText(const char* modeText) {
    for (const char* known : {"rb", "wb", "ab", "rb+", "wb+", "ab+"}) {
        if (modeText && std::strcmp(modeText, known) == 0) return true;
    }
    return false;
}

}  // namespace

// _wfopen refuses a directory in every mode (EACCES); it is reported as what
// it is, not as a refusal of access.
int FileStream::Open(const std::string& path, const char* modeText) {
    if (!IsModeText(modeText)) return KIVFS_ERR_ARGUMENT;
    const std::u16string widePath = ToUtf16(path.c_str());
    if (NamesReservedDevice(widePath)) return KIVFS_ERR_NOT_A_FILE;
    if (!IsUsablePath(widePath)) return KIVFS_ERR_ARGUMENT;
    const std::u16string wideMode = ToUtf16(modeText);
    std::FILE* stream = _wfopen(Wide(widePath), Wide(wideMode));
    if (!stream) {
        const int cause = ErrnoToCode(errno);
        const DWORD attributes = GetFileAttributesW(Wide(widePath));
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return folder ? KIVFS_ERR_NOT_A_FILE : cause;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(stream);
        return KIVFS_ERR_NOT_A_FILE;
    }
    stream_ = stream;
    readOnly_ = modeText[0] == 'r' && !std::strchr(modeText, '+');
    return KIVFS_OK;
}

// fclose writes out the buffer and releases the stream even when the write
// fails.
int FileStream::Close() {
    int cause = KIVFS_OK;
    if (stream_ && std::fclose(stream_) != 0) cause = ErrnoToCode(errno);
    stream_ = nullptr;
    return cause;
}

FileStream::~FileStream() {
    Close();
}

// Every file here is a C stream (platform/FileStream.cpp).
int FileStream::Read(void* buffer, size_t size, size_t& got) {
    return StreamRead(buffer, size, got);
}

int FileStream::Tell(long& position) {
    return StreamTell(position);
}

int FileStream::Seek(long offset, int whence) {
    return StreamSeek(offset, whence);
}

bool FileStream::Eof() const {
    return std::feof(stream_) != 0;
}

}  // namespace kivfs
