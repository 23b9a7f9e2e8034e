// procinfo.exe PID: prints what Windows reports about another process as one
// line of JSON, for the benchmarks:
//   {"pid":N,"ok":true,"private":B,"working_set":B,"peak_working_set":B,
//    "pagefile":B,"handles":N|null,"gdi":N|null,"user":N|null}
// A figure the platform does not provide (GetGuiResources is a stub under
// Wine, for instance) is null. Exit code 0, or 1 when the process cannot be
// opened.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

void PrintCount(const char* name, bool known, unsigned long value) {
    if (known) std::printf(",\"%s\":%lu", name, value);
    else std::printf(",\"%s\":null", name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: procinfo PID\n");
        return 2;
    }
    const DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 0));
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        std::printf("{\"pid\":%lu,\"ok\":false,\"error\":%lu}\n", static_cast<unsigned long>(pid),
                    static_cast<unsigned long>(::GetLastError()));
        return 1;
    }

    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    const bool haveMemory = ::GetProcessMemoryInfo(
        process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) != 0;

    DWORD handles = 0;
    const bool haveHandles = ::GetProcessHandleCount(process, &handles) != 0;

    // GetGuiResources answers 0 both for "none" and for "not supported"; a
    // live dialog program always owns some objects, so 0 means unknown.
    ::SetLastError(0);
    const DWORD gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD user = ::GetGuiResources(process, GR_USEROBJECTS);

    std::printf("{\"pid\":%lu,\"ok\":true", static_cast<unsigned long>(pid));
    PrintCount("private", haveMemory, static_cast<unsigned long>(memory.PrivateUsage));
    PrintCount("working_set", haveMemory, static_cast<unsigned long>(memory.WorkingSetSize));
    PrintCount("peak_working_set", haveMemory, static_cast<unsigned long>(memory.PeakWorkingSetSize));
    PrintCount("pagefile", haveMemory, static_cast<unsigned long>(memory.PagefileUsage));
    PrintCount("handles", haveHandles, static_cast<unsigned long>(handles));
    PrintCount("gdi", gdi != 0, static_cast<unsigned long>(gdi));
    PrintCount("user", user != 0, static_cast<unsigned long>(user));
    std::printf("}\n");
    ::CloseHandle(process);
    return 0;
}
