/* kivfs.h - one file-system interface over real directories, zip archives
 * (read only) and SQLite stores, callable from C and C++.
 *
 * Paths are zero-terminated UTF-8; "\" and "/" are both accepted. A file
 * inside a container is named by the container's path, a ":" and the inner
 * name ("packs/base.zip:img/logo.png"). Failures are reported through
 * results: null handles, false, 0, or -1 from kivfsSeek, kivfsRead and the
 * stub's seek and read; kivfsLastError then tells the calling thread why.
 */
#ifndef KIVFS_H
#define KIVFS_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(KIVFS_BUILDING)
#define KIVFS_API __declspec(dllexport)
#else
#define KIVFS_API __declspec(dllimport)
#endif
#else
#define KIVFS_API __attribute__((visibility("default")))
#endif

/* The calling convention of every export and every callback that crosses
 * the library boundary: cdecl on Windows, whatever default a host compiler
 * is set to (the 32-bit MSVC /Gz switch makes stdcall the default), and the
 * platform's only convention elsewhere. */
#if defined(_WIN32)
#define KIVFS_CALL __cdecl
#else
#define KIVFS_CALL
#endif

/* Why a call failed: kivfsLastError's codes. */
#define KIVFS_OK 0
#define KIVFS_ERR_NOT_FOUND 1     /* no such file, directory or container */
#define KIVFS_ERR_EXISTS 2        /* the target exists and the call may not replace it */
#define KIVFS_ERR_ARGUMENT 3      /* a null, empty or out-of-range argument */
#define KIVFS_ERR_READ_ONLY 4     /* the container or file cannot be written */
#define KIVFS_ERR_BUSY 5          /* another connection or program holds a lock */
#define KIVFS_ERR_NO_SPACE 6      /* the disk or the store is full */
#define KIVFS_ERR_IO 7            /* the system or SQLite reported an I/O error */
#define KIVFS_ERR_CORRUPT 8       /* damaged data: a bad archive, a CRC mismatch, a bad store */
#define KIVFS_ERR_UNSUPPORTED 9   /* valid data this library does not read (zip64, encryption) */
#define KIVFS_ERR_NO_MEMORY 10    /* an allocation failed */
#define KIVFS_ERR_PERMISSION 11   /* the system refused access */
#define KIVFS_ERR_OUTSIDE_ROOT 12 /* a name climbs above its container's or mount's root */
#define KIVFS_ERR_NOT_A_FILE 13   /* a directory, FIFO, socket or device where a file belongs */

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header, and kivfsVersion: that of the library
 * actually loaded, "MAJOR.MINOR.PATCH" of the macros it was built with (a
 * static text, never null), so that a host can tell the two apart. */
#define KIVFS_VERSION_MAJOR 0
#define KIVFS_VERSION_MINOR 2
#define KIVFS_VERSION_PATCH 0
KIVFS_API const char* KIVFS_CALL kivfsVersion(void);

typedef struct DirHandle DirHandle;
typedef struct FileHandle FileHandle;
typedef struct EnumHandle EnumHandle;

/* The kinds of container, as kivfsContainerKind names them. */
#define KIVFS_KIND_FOLDER 1 /* a real directory */
#define KIVFS_KIND_ZIP 2    /* a zip archive (read only) */
#define KIVFS_KIND_STORE 3  /* a store: a tree of files in one SQLite database */

/* The kind of container that would serve `path` for reading (a
 * KIVFS_KIND_* value), found as kivfsOpenDir finds it, but without creating
 * or changing anything on disk: no store is made at a missing path or in an
 * empty file, and a SQLite database without a store in it is not given one.
 * When no kind would serve it, kivfsLastError says why and the result is
 * 0, or the negated kind (-KIVFS_KIND_ZIP, -KIVFS_KIND_STORE) when the path
 * holds a container of that kind that cannot be read as it is: a zip64 or
 * damaged archive, a store locked by another program or damaged, or a SQLite
 * database without a store in it, an empty file included (KIVFS_ERR_NOT_FOUND:
 * kivfsOpenDir would make the store there). */
KIVFS_API int KIVFS_CALL kivfsContainerKind(const char* path);

/* Containers. */
KIVFS_API DirHandle* KIVFS_CALL kivfsOpenDir(const char* path);
KIVFS_API void KIVFS_CALL kivfsCloseDir(DirHandle* dir);
KIVFS_API bool KIVFS_CALL kivfsIsFileExist(DirHandle* dir, const char* name, bool* exists);
KIVFS_API bool KIVFS_CALL kivfsDeleteDirectory(DirHandle* dir, const char* name);
KIVFS_API bool KIVFS_CALL kivfsIsDirectoryExist(DirHandle* dir, const char* name, bool* exists);
KIVFS_API bool KIVFS_CALL kivfsDeleteFile(DirHandle* dir, const char* name);
KIVFS_API bool KIVFS_CALL kivfsRenameFile(DirHandle* dir, const char* oldName, const char* newName);
KIVFS_API bool KIVFS_CALL kivfsCopyFile(DirHandle* dir, const char* source, const char* target,
                                        bool failIfExists);
KIVFS_API bool KIVFS_CALL kivfsMoveFile(DirHandle* dir, const char* source, const char* target,
                                        bool failIfExists);
KIVFS_API bool KIVFS_CALL kivfsBeginTrans(DirHandle* dir);
KIVFS_API bool KIVFS_CALL kivfsCommitTrans(DirHandle* dir);

/* Files. mode: 0 "rb", 1 "wb", 2 "ab", 3 "rb+", 4 "wb+", 5 "ab+". */
KIVFS_API FileHandle* KIVFS_CALL kivfsCreateFileIndir(DirHandle* dir, const char* name, int mode);
KIVFS_API FileHandle* KIVFS_CALL kivfsCreateFile(const char* path, int mode);
KIVFS_API void KIVFS_CALL kivfsCloseFile(void* handle); /* a FileHandle* or an EnumHandle* */
KIVFS_API int KIVFS_CALL kivfsRead(FileHandle* file, void* buffer, int length);
KIVFS_API int KIVFS_CALL kivfsWrite(FileHandle* file, const void* buffer, int length);
KIVFS_API int KIVFS_CALL kivfsTell(FileHandle* file);
KIVFS_API int KIVFS_CALL kivfsSeek(FileHandle* file, int offset, int origin);
KIVFS_API bool KIVFS_CALL kivfsError(FileHandle* file);
KIVFS_API bool KIVFS_CALL kivfsResize(FileHandle* file, unsigned int newSize);

/* Listings. */
KIVFS_API EnumHandle* KIVFS_CALL kivfsCreateEnumIndir(DirHandle* dir, const char* name);
KIVFS_API EnumHandle* KIVFS_CALL kivfsCreateEnum(const char* path);
KIVFS_API void KIVFS_CALL kivfsCloseEnum(void* handle); /* the same function as kivfsCloseFile */
KIVFS_API bool KIVFS_CALL kivfsMoveNext(EnumHandle* e);
KIVFS_API void KIVFS_CALL kivfsReset(EnumHandle* e);
KIVFS_API bool KIVFS_CALL kivfsGetName(EnumHandle* e, char** out);
KIVFS_API bool KIVFS_CALL kivfsGetFullName(EnumHandle* e, char** out);
KIVFS_API bool KIVFS_CALL kivfsIsDirectory(EnumHandle* e);
KIVFS_API void KIVFS_CALL
kivfsFreeName(char* name); /* releases a text from kivfsGetName/kivfsGetFullName */

/* Error reasons. The code is kept per thread: every call that returns its
 * failure value sets it, a call that succeeds leaves it as it was, and it is
 * KIVFS_OK before the thread's first failure. The end of a file (kivfsRead 0)
 * or of a listing (kivfsMoveNext false) is not a failure. kivfsErrorText
 * gives a static text for any code, never null. */
KIVFS_API int KIVFS_CALL kivfsLastError(void);
KIVFS_API const char* KIVFS_CALL kivfsErrorText(int code);

/* Mounts: virtual names such as "app:" on system paths. */
KIVFS_API void KIVFS_CALL kivFSMountPath(const char* name, const char* sysPath);
KIVFS_API void KIVFS_CALL kivFSUnmountPath(const char* name);
KIVFS_API int KIVFS_CALL kivFSKivToSyspath(const char* virtualPath, char* buffer,
                                           unsigned int bufferSize);
KIVFS_API int KIVFS_CALL kivFSCreateDirectory(const char* sysPath);

/* The record handed to the host's I/O layer: five callbacks and the open
 * file they work on, passed back as their first argument. */
typedef struct StubOps {
    int(KIVFS_CALL* readFn)(void* file, void* buffer, int length);
    int(KIVFS_CALL* writeFn)(void* file, const void* buffer, int length);
    int(KIVFS_CALL* tellFn)(void* file);
    int(KIVFS_CALL* seekFn)(void* file, int offset, int origin);
    int(KIVFS_CALL* errorFn)(void* file);
    void* file;
} StubOps;

KIVFS_API int KIVFS_CALL kivFSInitFileSystem(void);
KIVFS_API StubOps* KIVFS_CALL kivFSCreateStub(const char* path, int mode);
KIVFS_API void KIVFS_CALL kivFSDeleteStub(StubOps* ops);

#ifdef __cplusplus
}
#endif

#endif /* KIVFS_H */
