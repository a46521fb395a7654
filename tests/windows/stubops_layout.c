/* The StubOps record crosses the library boundary: six pointer-sized
 * fields in a fixed order, 24 bytes in the 32-bit build. Compiled for every
 * Windows target; a wrong layout fails the build. */
#include <stddef.h>

#include "kivfs.h"

#define FIELD_AT(field, index) (offsetof(StubOps, field) == (index) * sizeof(void*))

_Static_assert(sizeof(StubOps) == 6 * sizeof(void*), "six pointer-sized fields");
_Static_assert(FIELD_AT(readFn, 0) && FIELD_AT(writeFn, 1) && FIELD_AT(tellFn, 2) &&
                   FIELD_AT(seekFn, 3) && FIELD_AT(errorFn, 4) && FIELD_AT(file, 5),
               "readFn, writeFn, tellFn, seekFn, errorFn, file in this order");
#if defined(_WIN32) && !defined(_WIN64)
_Static_assert(sizeof(StubOps) == 24 && offsetof(StubOps, file) == 20,
               "24 bytes, the file at offset 20, in the 32-bit build");
_Static_assert(sizeof(void*) == 4, "32-bit pointers");
#endif

/* Something for the object file to hold. */
int kivfsStubOpsLayoutChecked(void) {
    return (int)sizeof(StubOps);
}
