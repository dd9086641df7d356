// The one place where the POSIX and Winsock socket APIs differ.
#pragma once

#include <system_error>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace lut {

#ifdef _WIN32
using NativeSocket = SOCKET;
inline constexpr NativeSocket InvalidSocket = INVALID_SOCKET;
#else
using NativeSocket = int;
inline constexpr NativeSocket InvalidSocket = -1;
#endif

// Starts and releases the platform's socket library (a no-op on POSIX); one release per successful start.
bool StartSocketLibrary();
void ReleaseSocketLibrary();

// Closes a native socket.
void CloseNativeSocket(NativeSocket socket);

// Makes a socket non-blocking.
bool MakeNonBlocking(NativeSocket socket);

// The error of the last failed socket call.
std::error_code LastSocketError();

}  // namespace lut
