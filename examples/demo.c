/* A small host program doing what a game or a tool does with kivfs, end to
 * end: it writes and lists files in a real directory, saves a game into a
 * store, reads a pack from a zip archive, and goes through mounted names and
 * the host I/O bridge. Plain C, nothing but kivfs.h.
 *
 * Usage: kivfs_demo WORKDIR [PACK.zip]
 *   WORKDIR  an existing folder the demo may fill
 *   PACK     a zip archive to read (tools/demo.sh makes one from examples/pack)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kivfs.h"

static int failures = 0;

/* Reports one step; a failed step makes the demo exit non-zero at the end. */
static void step(int ok, const char* what) {
    printf("  [%s] %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

static void join(char* out, size_t size, const char* a, const char* b) {
    snprintf(out, size, "%s%s", a, b);
}

/* Prints every entry of a listing, directories marked with "/". */
static void list(EnumHandle* e) {
    char* name = NULL;
    while (kivfsMoveNext(e)) {
        if (kivfsGetFullName(e, &name)) {
            printf("      %s\n", name);
            kivfsFreeName(name);
        }
    }
    kivfsCloseEnum(e);
}

static void real_directory(const char* work) {
    const char text[] = "started\n";
    char buffer[64] = {0};
    printf("real directory %s\n", work);
    DirHandle* dir = kivfsOpenDir(work);
    step(dir != NULL, "open the folder");
    FileHandle* f = kivfsCreateFileIndir(dir, "logs/2024/run.txt", 1);
    step(f != NULL, "create logs/2024/run.txt (parents made on the way)");
    step(kivfsWrite(f, text, (int)strlen(text)) == (int)strlen(text), "write a line");
    kivfsCloseFile(f);
    f = kivfsCreateFileIndir(dir, "logs/2024/run.txt", 0);
    step(f && kivfsRead(f, buffer, sizeof buffer - 1) == (int)strlen(text) &&
             strcmp(buffer, text) == 0,
         "read it back");
    kivfsCloseFile(f);
    printf("    listing logs/:\n");
    list(kivfsCreateEnumIndir(dir, "logs/"));
    kivfsCloseDir(dir);
}

static void store(const char* work) {
    char path[1024];
    const char save[] = "level=3;hp=97";
    char buffer[64] = {0};
    bool exists = false;
    join(path, sizeof path, work, "/saves.db");
    printf("store %s\n", path);
    DirHandle* db = kivfsOpenDir(path);
    step(db != NULL, "open (create) the store");
    step(kivfsBeginTrans(db), "begin a transaction");
    FileHandle* f = kivfsCreateFileIndir(db, "slot1/state.bin", 1);
    step(kivfsWrite(f, save, (int)sizeof save) == (int)sizeof save, "write slot1/state.bin");
    kivfsCloseFile(f);
    step(kivfsCopyFile(db, "slot1/state.bin", "slot2/state.bin", false), "copy it to slot2");
    step(kivfsCommitTrans(db), "commit");
    step(kivfsIsFileExist(db, "slot2/state.bin", &exists) && exists, "slot2/state.bin exists");
    kivfsCloseDir(db);

    join(path, sizeof path, work, "/saves.db:slot2/state.bin");
    f = kivfsCreateFile(path, 0);
    step(f && kivfsRead(f, buffer, sizeof buffer) == (int)sizeof save && strcmp(buffer, save) == 0,
         "read slot2/state.bin by full path");
    kivfsCloseFile(f);
    join(path, sizeof path, work, "/saves.db:");
    printf("    listing the store's root:\n");
    list(kivfsCreateEnum(path));
}

static void archive(const char* pack) {
    char path[1024];
    char buffer[128] = {0};
    bool exists = false;
    printf("zip archive %s\n", pack);
    join(path, sizeof path, pack, ":readme.txt");
    FileHandle* f = kivfsCreateFile(path, 0);
    int n = f ? kivfsRead(f, buffer, sizeof buffer - 1) : 0;
    step(n > 0, "read readme.txt by full path");
    printf("      %s", buffer);
    step(f && kivfsRead(f, buffer, 1) == 0 && kivfsError(f), "end of entry reported");
    kivfsCloseFile(f);
    DirHandle* zip = kivfsOpenDir(pack);
    step(zip != NULL, "open the archive as a container");
    step(kivfsIsFileExist(zip, "DOCS/guide.TXT", &exists) && exists,
         "DOCS/guide.TXT found, letter case ignored");
    step(!kivfsDeleteFile(zip, "readme.txt"), "archives refuse changes");
    printf("    listing the archive's root:\n");
    list(kivfsCreateEnumIndir(zip, ""));
    kivfsCloseDir(zip);
}

static void mounts(const char* work, const char* pack) {
    char path[1024];
    char buffer[64] = {0};
    const char note[] = "written through the bridge";
    printf("mounts and the host I/O bridge\n");
    kivFSMountPath("app:", work);
    int length = kivFSKivToSyspath("app:logs/2024/run.txt", NULL, 0);
    char* sys = (char*)calloc((size_t)length + 1, 1);
    step(length > 0 &&
             kivFSKivToSyspath("app:logs/2024/run.txt", sys, (unsigned)length + 1) == length,
         "translate app:logs/2024/run.txt");
    printf("      -> %s\n", sys);
    free(sys);

    StubOps* ops = kivFSCreateStub("logs\\2024\\run.txt", 0); /* no ":" means "app:" */
    step(ops && ops->readFn(ops->file, buffer, sizeof buffer - 1) > 0, "read through readFn");
    kivFSDeleteStub(ops);

    join(path, sizeof path, work, "/saves.db");
    kivFSMountPath("save:", path);
    ops = kivFSCreateStub("save:notes/bridge.txt", 1);
    step(ops && ops->writeFn(ops->file, note, (int)sizeof note) == (int)sizeof note,
         "write save:notes/bridge.txt through writeFn");
    step(ops && ops->seekFn(ops->file, 0, 0) == 0 &&
             ops->readFn(ops->file, buffer, 64) == (int)sizeof note,
         "seek back and read it");
    kivFSDeleteStub(ops);
    if (pack) {
        kivFSMountPath("pack:", pack);
        ops = kivFSCreateStub("pack:Docs/Guide.txt", 0);
        memset(buffer, 0, sizeof buffer);
        step(ops && ops->readFn(ops->file, buffer, sizeof buffer - 1) > 0 &&
                 ops->errorFn(ops->file) != 0,
             "read pack:Docs/Guide.txt from the archive through the bridge");
        kivFSDeleteStub(ops);
        kivFSUnmountPath("pack:");
    }
    kivFSUnmountPath("save:");
    kivFSUnmountPath("app:");
    step(kivFSKivToSyspath("app:x", NULL, 0) == 0, "unmounted names translate to nothing");
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s WORKDIR [PACK.zip]\n", argv[0]);
        return 2;
    }
    real_directory(argv[1]);
    store(argv[1]);
    if (argc == 3) archive(argv[2]);
    mounts(argv[1], argc == 3 ? argv[2] : NULL);
    printf(failures ? "%d step(s) failed\n" : "all steps passed\n", failures);
    return failures ? 1 : 0;
}
