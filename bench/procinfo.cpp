// procinfo.exe PID: prints what Windows reports about another process as one
// line of JSON, for the benchmarks:
//   {"pid":N,"ok":true,"private":B,"working_set":B,"peak_working_set":B,
//    "pagefile":B,"handles":N|null,"system_handles":N|null,"gdi":N|null,"user":N|null}
// A figure the platform does not provide (GetGuiResources is a stub under
// Wine, for instance) is null. "system_handles" counts the process's entries
// in the system's handle table (NtQuerySystemInformation), which Wine fills
// even where GetProcessHandleCount answers 0. Exit code 0, or 1 when the process cannot be
// opened.
#include <windows.h>
#include <psapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void PrintCount(const char* name, bool known, unsigned long value) {
    if (known) std::printf(",\"%s\":%lu", name, value);
    else std::printf(",\"%s\":null", name);
}

// One entry of the system handle table (information class 16).
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

// The number of handles the process holds in the system's handle table.
bool CountSystemHandles(DWORD pid, unsigned long& count) {
    using QueryFunction = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return false;
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query == nullptr) return false;
    constexpr int kSystemHandleInformation = 16;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; attempt < 12; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
            continue;
        }
        if (status < 0) return false;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        const size_t room = (buffer.size() - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
        const size_t n = table->count < room ? table->count : room;
        count = 0;
        for (size_t i = 0; i < n; ++i)
            if ((table->entries[i].ownerPid & 0xFFFF) == (pid & 0xFFFF)) ++count;
        return true;
    }
    return false;
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
    unsigned long systemHandles = 0;
    const bool haveSystemHandles = CountSystemHandles(pid, systemHandles);
    PrintCount("system_handles", haveSystemHandles, systemHandles);
    PrintCount("gdi", gdi != 0, static_cast<unsigned long>(gdi));
    PrintCount("user", user != 0, static_cast<unsigned long>(user));
    std::printf("}\n");
    ::CloseHandle(process);
    return 0;
}
