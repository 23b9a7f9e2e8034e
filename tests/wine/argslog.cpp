// argslog: a stand-in for the outside programs Cribwatch starts (browser,
// mail client, volume control). It appends its command line as one line to
// the file beside it named like itself with ".log" for ".exe", and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char log[MAX_PATH + 8] = "";
    const DWORD n = ::GetModuleFileNameA(nullptr, log, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    char* dot = std::strrchr(log, '.');
    if (dot) *dot = '\0';
    std::strcat(log, ".log");
    std::FILE* f = std::fopen(log, "a");
    if (!f) return 1;
    std::fprintf(f, "%s\n", ::GetCommandLineA());
    std::fclose(f);
    return 0;
}
