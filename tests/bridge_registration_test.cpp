// Registration with the host's I/O stub, in a process of its own so that the
// count starts from the library's load.
#include <gtest/gtest.h>

#include "kivIOStub.h"
#include "kivfs.h"

// Loading the library registered it once, before main; a host's own call
// registers again and gets the stub's answer back unchanged.
TEST(Registration, LoadRegistersOnceAndEveryCallRegistersAgain) {
    EXPECT_EQ(kivFSInitFileSystem(), 2);
    EXPECT_EQ(kivFSInitFileSystem(), 3);
    EXPECT_EQ(kivIOOpen("app:nothing-mounted", 0), nullptr);
    kivIOClose(nullptr);
}
