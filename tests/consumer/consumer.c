/* A host program that lives outside the kivfs tree and is built against an
 * installed copy of it: it checks that it loaded the version of its header,
 * stores a file, then reads it back through the full-path form, and asks why
 * a call failed. Usage: consumer WORKDIR (an existing, empty folder). */
#include <stdio.h>
#include <string.h>

#include <kivfs.h>

static int fail(const char* what) {
    fprintf(stderr, "consumer: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    static const char kText[] = "hello from a C host";
    const int length = (int)(sizeof kText - 1);
    char store[4096];
    char full[4200];
    char back[64];
    DirHandle* dir;
    FileHandle* file;
    int count;

    if (argc != 2) return fail("usage: consumer WORKDIR");
    snprintf(store, sizeof store, "%d.%d.%d", KIVFS_VERSION_MAJOR, KIVFS_VERSION_MINOR,
             KIVFS_VERSION_PATCH);
    if (strcmp(kivfsVersion(), store) != 0) return fail("the library is not the header's version");
    if (kivfsLastError() != KIVFS_OK) return fail("a failure reported before any call failed");
    if (kivfsOpenDir(NULL) != NULL) return fail("a null path opened a container");
    if (kivfsLastError() != KIVFS_ERR_ARGUMENT) {
        return fail("a null path was not an argument error");
    }
    if (kivfsErrorText(kivfsLastError())[0] == '\0') return fail("no text for the reason");
    snprintf(store, sizeof store, "%s/consumer.db", argv[1]);
    snprintf(full, sizeof full, "%s:greeting/hello.txt", store);

    dir = kivfsOpenDir(store);
    if (!dir) return fail("cannot open the store");
    file = kivfsCreateFileIndir(dir, "greeting/hello.txt", 1);
    if (!file) return fail("cannot create the file");
    count = kivfsWrite(file, kText, length);
    kivfsCloseFile(file);
    kivfsCloseDir(dir);
    if (count != length) return fail("short write");

    file = kivfsCreateFile(full, 0);
    if (!file) return fail("cannot open the file by its full path");
    count = kivfsRead(file, back, (int)sizeof back);
    kivfsCloseFile(file);
    if (count != length || memcmp(back, kText, (size_t)length) != 0) {
        return fail("read back other bytes than were written");
    }
    /* Calls that succeed leave the reason of the last failure. */
    if (kivfsLastError() != KIVFS_ERR_ARGUMENT) return fail("a success changed the reason");
    puts("consumer: ok");
    return 0;
}
