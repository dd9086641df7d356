// The one place where the POSIX and Winsock socket APIs differ. Internal to link/: only its .cpp files
// include it, so that no other header of the program sees a system header (<windows.h> renames
// GetMessage and others by macro).
#pragma once

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

#include <cstddef>
#include <span>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "link/LocalAddress.h"
#include "link/NativeSocket.h"

namespace lut {

#ifdef _WIN32
static_assert(std::is_same_v<NativeSocket, SOCKET> && InvalidSocket == INVALID_SOCKET);
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

// Sends one datagram; the system's reason when it refuses it.
std::error_code SendDatagram(NativeSocket socket, std::string_view bytes, const sockaddr_in& destination);

// Stops Windows from reporting an earlier send's ICMP "port unreachable" or "time exceeded" as an error
// of a later receive (WSAECONNRESET, WSAENETRESET); a no-op elsewhere. Best effort: the receive path
// skips those errors anyway, and a system without one of the controls keeps working.
void TurnOffResetReports(NativeSocket socket);

// Receives one waiting datagram into the buffer without blocking and stores its length and sender. Else
// the reason: operation_would_block when nothing waits, message_size when the datagram was longer than
// the buffer (it is then lost whole), or the system's error.
std::error_code ReceiveDatagram(NativeSocket socket, std::span<char> buffer, sockaddr_in& sender,
                                std::size_t& count);

// The IPv4 addresses of every interface, up or down, loopback included, in interface order.
std::vector<AdapterAddress> AdapterAddresses();

// The error of the last failed socket call. Winsock's codes compare equal to the std::errc they mean
// (address_in_use, permission_denied, ...) and print its text, as the POSIX codes do.
std::error_code LastSocketError();

}  // namespace lut
