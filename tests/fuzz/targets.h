// What the fuzzers feed with arbitrary bytes, one entry per target; the libFuzzer programs
// and the regression test that replays the kept inputs both call these.
#pragma once

#include <cstddef>
#include <cstdint>

// The backdrop's byte rule over a file holding exactly these bytes.
void FuzzPanelBytes(const std::uint8_t* data, std::size_t size);
// The command line, with the bytes split at every NUL into arguments.
void FuzzCommandLine(const std::uint8_t* data, std::size_t size);
