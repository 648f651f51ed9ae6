#include "app/memory_room.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

// Measured on Mesa 22.3's llvmpipe, with a little to spare. Per pixel: its colour, depth and
// stencil buffers, and the RGB picture read back from them.
constexpr double kDriverBytesPerPixel = 9.0;
constexpr double kReadBackBytesPerPixel = 3.0;
// The driver itself in address space: its code and LLVM's, and each rasteriser thread's stack
// and working memory (with malloc kept to one arena); and what of it is resident.
constexpr double kDriverAddressSpace = 260.0 * kMiB;
constexpr double kDriverAddressSpacePerThread = 16.0 * kMiB;
constexpr double kDriverResident = 110.0 * kMiB;

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
    return kUnknown;
}

// A number in a file, or kUnknown ("max", or no such file).
std::uint64_t FileNumber(const std::string& path)
{
    std::ifstream in(path);
    std::uint64_t value = 0;
    return in >> value ? value : kUnknown;
}

// What this process's control group may still use, in bytes, or kUnknown without a limit;
// version 2 (memory.max) or version 1 (the memory controller's limit_in_bytes).
std::uint64_t GroupRoom()
{
    std::ifstream self("/proc/self/cgroup");
    std::uint64_t limit = kUnknown, used = kUnknown;
    for (std::string line; std::getline(self, line) && limit == kUnknown;) {
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
    if (limit == kUnknown || used == kUnknown || limit >= (std::uint64_t{1} << 62))
        return kUnknown;
    return used < limit ? limit - used : 0;
}

// The address space left under the limit (ulimit -v), or kUnknown without one.
std::uint64_t AddressSpaceLeft()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kUnknown;
    const std::uint64_t used = ProcKilobytes("/proc/self/status", "VmSize");
    return used != kUnknown && used < limit.rlim_cur ? limit.rlim_cur - used : 0;
}

// The rasteriser threads llvmpipe starts: one for each processor, at most 16, unless told.
int DriverThreads()
{
    if (const char* told = std::getenv("LP_NUM_THREADS"); told && *told) {
        int threads = 0;
        const char* end = told + std::strlen(told);
        if (std::from_chars(told, end, threads).ptr == end)
            return std::clamp(threads, 0, 16);
    }
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
}

std::string NotEnough(int width, int height, double need, std::uint64_t room)
{
    char line[160];
    (void)std::snprintf(line, sizeof line, "a %dx%d picture needs about %.0f MiB; only %.0f MiB are available", width,
                        height, need / kMiB, static_cast<double>(room) / kMiB);
    return line;
}

}  // namespace

void FitDriverToAddressLimit()
{
    if (AddressSpaceLeft() != kUnknown)
        ::mallopt(M_ARENA_MAX, 1);
}

std::string CheckRoomForPicture(int width, int height, double encoderBytesPerPixel)
{
    const double pictures = static_cast<double>(width) * height *
                            (kDriverBytesPerPixel + kReadBackBytesPerPixel + encoderBytesPerPixel);
    if (const std::uint64_t space = AddressSpaceLeft(); space != kUnknown) {
        const double need = pictures + kDriverAddressSpace + kDriverAddressSpacePerThread * DriverThreads();
        if (need > static_cast<double>(space))
            return NotEnough(width, height, need, space);
    }
    const std::uint64_t memory = std::min(ProcKilobytes("/proc/meminfo", "MemAvailable"), GroupRoom());
    if (const double need = pictures + kDriverResident; memory != kUnknown && need > static_cast<double>(memory))
        return NotEnough(width, height, need, memory);
    return {};
}
