// libFuzzer target: the marks file: reading, rewriting and appending.
#include "FuzzBodies.h"
#include "WorkDir.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    if (fuzzWorkDir().isEmpty()) {
        std::fprintf(stderr, "cannot make a working folder\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBodies::marks(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
                      fuzzWorkDir());
    return 0;
}
