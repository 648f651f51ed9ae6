// What Windows gives the process: its affinity, its job's limit and the memory status.
#include "os/machine.h"
#include "core/windows_text.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <bit>

int ProcessorsGiven()
{
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return std::popcount(static_cast<std::uint64_t>(process));
    return std::max(1, static_cast<int>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)));
}

// What the program's own header asks for every thread: MinGW's linker sets 2 MiB.
double ThreadStackReserved()
{
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return static_cast<double>(nt->OptionalHeader.SizeOfStackReserve);
}

std::pair<double, double> ProcessHolds()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return {0.0, 0.0};
    return {static_cast<double>(counters.PrivateUsage), static_cast<double>(counters.WorkingSetSize)};
}

// A 64-bit process's address space is bounded only by the memory behind it.
std::uint64_t AddressSpaceLeft()
{
    return kNoBound;
}

std::uint64_t MemoryAvailable()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    std::uint64_t room = GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : kNoBound;
    // A job (a CI runner's, a sandbox's) may bound the process's commit below that.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr) &&
        (job.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) != 0) {
        const double held = ProcessHolds().first;
        const auto limit = static_cast<std::uint64_t>(job.ProcessMemoryLimit);
        const auto used = static_cast<std::uint64_t>(held);
        room = std::min(room, used < limit ? limit - used : 0);
    }
    return room;
}

void SetEnvironment(const char* name, const std::string& value)
{
    SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str());
    _wputenv_s(Widen(name).c_str(), Widen(value).c_str());
}

// The C runtime's heap is Windows' own, one for the process already.
void KeepOneMallocArena()
{
}
