#include "link/HostSystem.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <sstream>
#else
#include <sys/utsname.h>

#include <fstream>
#endif

namespace lut {

#ifdef _WIN32

std::string SystemDescription() {
    // GetVersionEx reports what the program's manifest declares; the kernel's own call tells the truth.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersionCall = const char*(CDECL*)();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    std::ostringstream text;
    text << "Windows";
    if (ntdll == nullptr) {
        return text.str();
    }
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const auto call =
        reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (call != nullptr && call(&version) == 0) {
        text << ' ' << version.dwMajorVersion << '.' << version.dwMinorVersion << '.'
             << version.dwBuildNumber;
    }
    const auto wine =
        reinterpret_cast<WineVersionCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    if (wine != nullptr) {
        text << " (Wine " << wine() << ')';
    }
    return text.str();
}

#else

std::string SystemDescription() {
    utsname name{};
    std::string text = uname(&name) == 0 ? std::string(name.sysname) + " " + name.release + " " + name.machine
                                         : std::string("Linux");
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line)) {
        if (line.starts_with("PRETTY_NAME=")) {
            std::string pretty = line.substr(12);
            if (pretty.size() >= 2 && pretty.front() == '"' && pretty.back() == '"') {
                pretty = pretty.substr(1, pretty.size() - 2);
            }
            text += " (" + pretty + ")";
        }
    }
    return text;
}

#endif

}  // namespace lut
