// The one place where the POSIX and Winsock socket APIs differ.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "link/LocalAddress.h"

namespace lut {

#ifdef _WIN32
using NativeSocket = SOCKET;
inline constexpr NativeSocket InvalidSocket = INVALID_SOCKET;
#else
using NativeSocket = int;
inline constexpr NativeSocket InvalidSocket = -1;
#endif

// Starts and releases the platform's socket library (a no-op on POSIX); one release per successful start.
std::error_code StartSocketLibrary();
void ReleaseSocketLibrary();

// Creates an IPv4 datagram socket (not inherited by child processes where the platform allows it);
// InvalidSocket on failure, with the reason in LastSocketError().
NativeSocket CreateDatagramSocket();

// Closes a native socket.
void CloseNativeSocket(NativeSocket socket);

// Makes a socket non-blocking.
bool MakeNonBlocking(NativeSocket socket);

// Sends one datagram; false when the system refuses it.
bool SendDatagram(NativeSocket socket, std::string_view bytes, const sockaddr_in& destination);

// Receives one waiting datagram into the buffer without blocking and stores its sender. Nothing when
// nothing waits, on an error, or when the datagram was longer than the buffer (it is then lost whole).
std::optional<std::size_t> ReceiveDatagram(NativeSocket socket, std::span<char> buffer, sockaddr_in& sender);

// The IPv4 addresses of the interfaces that are up, loopback included, in interface order.
std::vector<InterfaceAddress> UpInterfaceAddresses();

// The error of the last failed socket call.
std::error_code LastSocketError();

}  // namespace lut
