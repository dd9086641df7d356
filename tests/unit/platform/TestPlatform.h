// What the tests need to know of the system they run on, without a system header: <windows.h> would
// rename methods such as GetMessage in the test that includes it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace lut::test {

// The Windows program runs under Wine, which differs from Windows where a few tests look: it lets a socket
// bind an address no interface has, and a socket bound to 127.0.0.2 or above sends from 127.0.0.1.
bool UnderWine();

// Why a test that needs a second loopback address as a sender cannot run here; empty where it can.
std::string NoSecondLoopbackSender();

// Skips the test (in its body or SetUp) where fake loggers at 127.0.0.2 and above cannot answer from
// their own address.
#define LUT_SKIP_WITHOUT_SECOND_LOOPBACK_SENDER()                                    \
    if (const std::string why = ::lut::test::NoSecondLoopbackSender(); !why.empty()) \
    GTEST_SKIP() << why

// This user may bind ports below 1024: root on POSIX, anyone on Windows, which has no privileged ports.
bool MayBindPrivilegedPorts();

// The system's number of this process.
long ThisProcessId();

// Sets or removes a variable of this process's environment; a path keeps every character (on Windows it
// goes in wide).
void SetEnvironment(const char* name, const std::string& value);
void SetEnvironmentPath(const char* name, const std::filesystem::path& value);
void UnsetEnvironment(const char* name);

// Has this process keep the update record in the folder, and returns the record's file. On Linux the
// state folder moves (as a user moves it); the Windows folder comes from the system, so the record's own
// variable names the file there.
std::filesystem::path KeepRecordIn(const std::filesystem::path& folder);

// The text is an IPv4 address in dotted decimal.
bool IsDottedIPv4(const std::string& text);

}  // namespace lut::test
