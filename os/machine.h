// What this machine gives the process, as each system tells it, for planning the memory and
// threads of an export.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

// What a reading below gives where the system sets no bound.
constexpr std::uint64_t kNoBound = ~std::uint64_t{0};

// The processors this process may run on (an affinity mask, taskset or a container may give
// fewer than there are).
int ProcessorsGiven();
// The bytes of address space a new thread's stack reserves.
double ThreadStackReserved();
// What the process holds already, in bytes: address space and resident.
std::pair<double, double> ProcessHolds();
// The address space left under the process's limit (ulimit -v), or kNoBound without one.
std::uint64_t AddressSpaceLeft();
// The memory the process may still take: the least of what the system has available and
// what its control group or job may still use; kNoBound when neither can be read.
std::uint64_t MemoryAvailable();
// Sets an environment variable for this process and the libraries it loads after.
void SetEnvironment(const char* name, const std::string& value);
// Where the address space is bounded: one heap for all threads, not one for each.
void KeepOneMallocArena();
