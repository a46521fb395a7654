// The mount and host-bridge exports, answering with their plain failure
// values until the mount table is built: no mount is made, translation
// finds nothing, no stub opens.
#include "kivfs.h"

extern "C" {

void kivFSMountPath(const char*, const char*) {}
void kivFSUnmountPath(const char*) {}
int kivFSKivToSyspath(const char*, char*, unsigned int) { return 0; }
int kivFSCreateDirectory(const char*) { return 0; }
int kivFSInitFileSystem(void) { return 0; }
StubOps* kivFSCreateStub(const char*, int) { return nullptr; }
void kivFSDeleteStub(StubOps*) {}

}  // extern "C"
