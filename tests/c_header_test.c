/* The public headers compile as C99 and the calls link from C; the null and
 * empty arguments give every call its failure value. */
#include <stdio.h>

#include "kivIOStub.h"
#include "kivfs.h"

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

int main(void) {
    bool exists = true;
    char buffer[8];
    char* name = NULL;
    CHECK(kivfsOpenDir(NULL) == NULL);
    CHECK(kivfsOpenDir("") == NULL);
    CHECK(!kivfsIsFileExist(NULL, "a", &exists));
    CHECK(kivfsCreateFile(NULL, 0) == NULL);
    CHECK(kivfsRead(NULL, buffer, 8) == 0);
    CHECK(kivfsSeek(NULL, 0, 0) == -1);
    CHECK(!kivfsError(NULL));
    CHECK(!kivfsGetName(NULL, &name));
    CHECK(kivFSCreateStub(NULL, 0) == NULL);
    CHECK(sizeof(StubOps) == 6 * sizeof(void*));
    kivfsCloseFile(NULL);
    kivfsCloseEnum(NULL);
    kivfsCloseDir(NULL);
    kivfsFreeName(NULL);
    kivFSDeleteStub(NULL);
    return failures == 0 ? 0 : 1;
}
