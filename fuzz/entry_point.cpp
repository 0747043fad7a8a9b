// The libFuzzer entry point of one target, named by TARVEX_FUZZ_TARGET when it is built.

#include <cstddef>
#include <cstdint>

#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tarvex::fuzz::FindTarget(TARVEX_FUZZ_TARGET)->run(data, size);
}
