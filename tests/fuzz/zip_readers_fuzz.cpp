// Fuzz target: the bytes as an archive file, read through both zip readers
// at the backend interface, zziplib's results being the oracle for the
// library's own reader (kzip): every listing, existence answer, read, Tell,
// seek and refusal, with the failure each noted, must be the same
// (ZipReaderComparison). It starts from archive_fuzz's seeds.
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzInput.h"
#include "internal/ZipReaderComparison.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = kivfs_fuzz::SandboxPath() + "/input.zip";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string difference = kivfs_test::CompareZipReaders(path);
    if (!difference.empty()) kivfs_fuzz::Fail("the readers differ at " + difference);
    return 0;
}
