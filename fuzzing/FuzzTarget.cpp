// One libFuzzer target; VELMORANT_FUZZ_BODY names the FuzzBodies function it
// feeds (catalog, series, marks, board, log, requests or httphead), and
// VELMORANT_FUZZ_PREPARE, when defined, the one that sets up its working
// folder once.
#include "FuzzBodies.h"
#include "WorkDir.h"
#ifdef VELMORANT_FUZZ_EXTRA
#include VELMORANT_FUZZ_EXTRA
#endif

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
#ifdef VELMORANT_FUZZ_PREPARE
    FuzzBodies::VELMORANT_FUZZ_PREPARE(fuzzWorkDir());
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBodies::VELMORANT_FUZZ_BODY(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
        fuzzWorkDir());
    return 0;
}
