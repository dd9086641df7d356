#include "TestPlatform.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>

namespace lut::test {

bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string NoSecondLoopbackSender() {
    return UnderWine() ? "Wine sends from 127.0.0.1 whatever loopback address the socket is bound to" : "";
}

bool MayBindPrivilegedPorts() {
#ifdef _WIN32
    return true;
#else
    return geteuid() == 0;
#endif
}

long ThisProcessId() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void SetEnvironmentPath(const char* name, const std::filesystem::path& value) {
#ifdef _WIN32
    const std::wstring wide(name, name + std::strlen(name));
    _wputenv_s(wide.c_str(), value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

std::filesystem::path KeepRecordIn(const std::filesystem::path& folder) {
#ifdef _WIN32
    const std::filesystem::path file = folder / "LoggerUpdateTool" / "updates.jsonl";
    SetEnvironmentPath("LOGGER_UPDATE_RECORD", file);
    return file;
#else
    UnsetEnvironment("LOGGER_UPDATE_RECORD");
    SetEnvironmentPath("XDG_STATE_HOME", folder);
    return folder / "logger-update-tool" / "updates.jsonl";
#endif
}

void UnsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");  // an empty value removes the variable
#else
    unsetenv(name);
#endif
}

bool IsDottedIPv4(const std::string& text) {
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace lut::test
