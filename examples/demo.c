/* A small host program: what a game or a tool does with kivfs, end to end.
 * Usage: kivfs_demo WORKDIR (a folder it may fill with its examples). */
#include <stdio.h>
#include <string.h>

#include "kivfs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s WORKDIR\n", argv[0]);
        return 2;
    }
    printf("kivfs demo in %s\n", argv[1]);
    DirHandle* dir = kivfsOpenDir(argv[1]);
    printf("open directory: %s\n", dir ? "ok" : "no backend yet");
    kivfsCloseDir(dir);
    return 0;
}
