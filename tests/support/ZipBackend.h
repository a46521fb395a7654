// Whether the library under test has its zip backend: a Windows build made
// without a zziplib of its own has none (KIVFS_TEST_ZIP_BACKEND is set by
// the test build).
#pragma once

#include <gtest/gtest.h>

// Skips the running test, saying why, in a build without the zip backend.
#define KIVFS_REQUIRE_ZIP_BACKEND()                                              \
    if (!KIVFS_TEST_ZIP_BACKEND)                                                 \
    GTEST_SKIP() << "built without the zip backend: no zziplib for this target " \
                    "(KIVFS_ZZIPLIB_PREFIX)"
