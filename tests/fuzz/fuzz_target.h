// Entry point shared by the fuzz targets: libFuzzer's signature, so the same
// target runs under libFuzzer (clang) or the seeded random driver.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
