/* kivIOStub.h - the host's I/O stub, to which kivfs registers itself.
 *
 * kivfs calls kivRegisterFS when it is loaded; the stub then opens and
 * releases files through the two callbacks it was given last.
 */
#ifndef KIVIOSTUB_H
#define KIVIOSTUB_H

#include "kivfs.h"

#if defined(_WIN32)
#if defined(KIVIOSTUB_BUILDING)
#define KIVIOSTUB_API __declspec(dllexport)
#else
#define KIVIOSTUB_API __declspec(dllimport)
#endif
#else
#define KIVIOSTUB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef StubOps*(KIVFS_CALL* kivCreateStubFn)(const char* path, int mode);
typedef void(KIVFS_CALL* kivDeleteStubFn)(StubOps* ops);

/* Stores the two callbacks; returns how many registrations it has received,
 * this one included. */
KIVIOSTUB_API int KIVFS_CALL kivRegisterFS(kivCreateStubFn create, kivDeleteStubFn destroy);
/* Opens through the latest registered create callback; null if none. */
KIVIOSTUB_API StubOps* KIVFS_CALL kivIOOpen(const char* path, int mode);
/* Releases through the latest registered delete callback. */
KIVIOSTUB_API void KIVFS_CALL kivIOClose(StubOps* ops);

#ifdef __cplusplus
}
#endif

#endif /* KIVIOSTUB_H */
