// What Linux gives the process: /proc, the control group's files and the resource limits.
#include "os/machine.h"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// A "Name: value kB" line of a /proc file, in bytes.
std::uint64_t ProcKilobytes(const char* file, const std::string& name)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, name.size() + 1, name + ":") != 0)
            continue;
        std::istringstream value(line.substr(name.size() + 1));
        std::uint64_t kilobytes = 0;
        if (value >> kilobytes)
            return kilobytes * 1024;
    }
    return kNoBound;
}

// A number in a file, or kNoBound ("max", or no such file).
std::uint64_t FileNumber(const std::string& path)
{
    std::ifstream in(path);
    std::uint64_t value = 0;
    return in >> value ? value : kNoBound;
}

// What this process's control group may still use, in bytes, or kNoBound without a limit;
// version 2 (memory.max) or version 1 (the memory controller's limit_in_bytes).
std::uint64_t GroupRoom()
{
    std::ifstream self("/proc/self/cgroup");
    std::uint64_t limit = kNoBound, used = kNoBound;
    for (std::string line; std::getline(self, line) && limit == kNoBound;) {
        if (line.compare(0, 3, "0::") == 0) {
            const std::string group = "/sys/fs/cgroup" + line.substr(3);
            limit = FileNumber(group + "/memory.max");
            used = FileNumber(group + "/memory.current");
        } else if (const auto at = line.find(":memory:"); at != std::string::npos) {
            const std::string group = "/sys/fs/cgroup/memory" + line.substr(at + 8);
            limit = FileNumber(group + "/memory.limit_in_bytes");
            used = FileNumber(group + "/memory.usage_in_bytes");
        }
    }
    // Version 1 writes "no limit" as a number near 2^63.
    if (limit == kNoBound || used == kNoBound || limit >= (std::uint64_t{1} << 62))
        return kNoBound;
    return used < limit ? limit - used : 0;
}

}  // namespace

int ProcessorsGiven()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// The system's default, which follows ulimit -s.
double ThreadStackReserved()
{
    pthread_attr_t attributes;
    std::size_t size = 8 << 20;
    if (::pthread_getattr_default_np(&attributes) == 0) {
        (void)::pthread_attr_getstacksize(&attributes, &size);
        ::pthread_attr_destroy(&attributes);
    }
    return static_cast<double>(size);
}

std::pair<double, double> ProcessHolds()
{
    const std::uint64_t size = ProcKilobytes("/proc/self/status", "VmSize");
    const std::uint64_t resident = ProcKilobytes("/proc/self/status", "VmRSS");
    return {size == kNoBound ? 0.0 : static_cast<double>(size),
            resident == kNoBound ? 0.0 : static_cast<double>(resident)};
}

// The limit less what the process already uses.
std::uint64_t AddressSpaceLeft()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kNoBound;
    const std::uint64_t used = ProcKilobytes("/proc/self/status", "VmSize");
    return used != kNoBound && used < limit.rlim_cur ? limit.rlim_cur - used : 0;
}

std::uint64_t MemoryAvailable()
{
    return std::min(ProcKilobytes("/proc/meminfo", "MemAvailable"), GroupRoom());
}

void SetEnvironment(const char* name, const std::string& value)
{
    ::setenv(name, value.c_str(), 1);
}

void KeepOneMallocArena()
{
    ::mallopt(M_ARENA_MAX, 1);
}
