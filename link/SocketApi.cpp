#include "link/SocketApi.h"

#include <cerrno>
#include <climits>
#include <string>

#ifdef _WIN32
#include <iphlpapi.h>
#include <mswsock.h>

#include <memory>
#else
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/uio.h>
#endif

namespace lut {

#ifdef _WIN32

namespace {

struct WinsockMeaning {
    int code;
    std::errc meaning;
    const char* text;  // the C library here has no text for most of these conditions
};

// Winsock's own numbers mean what these POSIX conditions mean; the standard library maps none of them.
constexpr WinsockMeaning WinsockMeanings[] = {
    {WSAEINTR, std::errc::interrupted, "Interrupted system call"},
    {WSAEBADF, std::errc::bad_file_descriptor, "Bad file descriptor"},
    {WSAEACCES, std::errc::permission_denied, "Permission denied"},
    {WSAEFAULT, std::errc::bad_address, "Bad address"},
    {WSAEINVAL, std::errc::invalid_argument, "Invalid argument"},
    {WSAEMFILE, std::errc::too_many_files_open, "Too many open files"},
    {WSAEWOULDBLOCK, std::errc::operation_would_block, "Resource temporarily unavailable"},
    {WSAEINPROGRESS, std::errc::operation_in_progress, "Operation now in progress"},
    {WSAEALREADY, std::errc::connection_already_in_progress, "Operation already in progress"},
    {WSAENOTSOCK, std::errc::not_a_socket, "Socket operation on non-socket"},
    {WSAEDESTADDRREQ, std::errc::destination_address_required, "Destination address required"},
    {WSAEMSGSIZE, std::errc::message_size, "Message too long"},
    {WSAEPROTOTYPE, std::errc::wrong_protocol_type, "Protocol wrong type for socket"},
    {WSAENOPROTOOPT, std::errc::no_protocol_option, "Protocol not available"},
    {WSAEPROTONOSUPPORT, std::errc::protocol_not_supported, "Protocol not supported"},
    {WSAEOPNOTSUPP, std::errc::operation_not_supported, "Operation not supported"},
    {WSAEAFNOSUPPORT, std::errc::address_family_not_supported, "Address family not supported by protocol"},
    {WSAEADDRINUSE, std::errc::address_in_use, "Address already in use"},
    {WSAEADDRNOTAVAIL, std::errc::address_not_available, "Cannot assign requested address"},
    {WSAENETDOWN, std::errc::network_down, "Network is down"},
    {WSAENETUNREACH, std::errc::network_unreachable, "Network is unreachable"},
    {WSAENETRESET, std::errc::network_reset, "Network dropped connection on reset"},
    {WSAECONNABORTED, std::errc::connection_aborted, "Software caused connection abort"},
    {WSAECONNRESET, std::errc::connection_reset, "Connection reset by peer"},
    {WSAENOBUFS, std::errc::no_buffer_space, "No buffer space available"},
    {WSAEISCONN, std::errc::already_connected, "Transport endpoint is already connected"},
    {WSAENOTCONN, std::errc::not_connected, "Transport endpoint is not connected"},
    {WSAETIMEDOUT, std::errc::timed_out, "Connection timed out"},
    {WSAECONNREFUSED, std::errc::connection_refused, "Connection refused"},
    {WSAEHOSTUNREACH, std::errc::host_unreachable, "No route to host"},
};

const WinsockMeaning* WinsockMeaningOf(int code) {
    for (const WinsockMeaning& entry : WinsockMeanings) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// Keeps Winsock's number (for logs and support) while comparing equal to, and printing as, the POSIX
// condition it means.
class WinsockCategory final : public std::error_category {
  public:
    const char* name() const noexcept override { return "winsock"; }

    std::error_condition default_error_condition(int code) const noexcept override {
        if (const WinsockMeaning* entry = WinsockMeaningOf(code)) {
            return std::make_error_condition(entry->meaning);
        }
        return std::error_condition(code, *this);
    }

    std::string message(int code) const override {
        if (const WinsockMeaning* entry = WinsockMeaningOf(code)) {
            return entry->text;
        }
        return std::system_category().message(code);
    }
};

std::error_code WinsockError(int code) {
    static const WinsockCategory category;
    return std::error_code(code, category);
}

}  // namespace

std::error_code StartSocketLibrary() {
    WSADATA data;
    const int result = WSAStartup(MAKEWORD(2, 2), &data);
    return result == 0 ? std::error_code{} : WinsockError(result);
}

void ReleaseSocketLibrary() {
    WSACleanup();
}

NativeSocket CreateDatagramSocket() {
    return socket(AF_INET, SOCK_DGRAM, 0);
}

void CloseNativeSocket(NativeSocket socket) {
    closesocket(socket);
}

bool MakeNonBlocking(NativeSocket socket) {
    u_long nonBlocking = 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

std::error_code SendDatagram(NativeSocket socket, std::string_view bytes, const sockaddr_in& destination) {
    if (bytes.size() > INT_MAX) {
        return std::make_error_code(std::errc::message_size);
    }
    if (sendto(socket, bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination) == SOCKET_ERROR) {
        return LastSocketError();
    }
    return {};
}

void TurnOffResetReports(NativeSocket socket) {
#ifndef SIO_UDP_NETRESET
    constexpr DWORD SIO_UDP_NETRESET = _WSAIOW(IOC_VENDOR, 15);  // not in every SDK's headers
#endif
    for (const DWORD control :
         {static_cast<DWORD>(SIO_UDP_CONNRESET), static_cast<DWORD>(SIO_UDP_NETRESET)}) {
        BOOL report = FALSE;
        DWORD returned = 0;
        WSAIoctl(socket, control, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    }
}

std::error_code ReceiveDatagram(NativeSocket socket, std::span<char> buffer, sockaddr_in& sender,
                                std::size_t& count) {
    int senderLength = sizeof sender;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and the system discards the rest of it.
    const int received =
        recvfrom(socket, buffer.data(), static_cast<int>(buffer.size() > INT_MAX ? INT_MAX : buffer.size()),
                 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received == SOCKET_ERROR) {
        return LastSocketError();
    }
    count = static_cast<std::size_t>(received);
    return {};
}

std::vector<InterfaceAddress> UpInterfaceAddresses() {
    std::vector<InterfaceAddress> result;
    ULONG size = 16 * 1024;
    std::unique_ptr<char[]> storage;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        storage = std::make_unique<char[]>(size);
        status = GetAdaptersAddresses(
            AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.get()), &size);
    }
    if (status != NO_ERROR) {
        return result;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.get()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        char name[256] = {};
        WideCharToMultiByte(CP_UTF8, 0, adapter->FriendlyName, -1, name, sizeof name - 1, nullptr, nullptr);
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            char text[INET_ADDRSTRLEN] = {};
            if (address->sin_family == AF_INET &&
                inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
                result.push_back({name, text});
            }
        }
    }
    return result;
}

std::error_code LastSocketError() {
    return WinsockError(WSAGetLastError());
}

#else

std::error_code StartSocketLibrary() {
    return {};
}

void ReleaseSocketLibrary() {}

NativeSocket CreateDatagramSocket() {
#ifdef SOCK_CLOEXEC
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
#else
    return socket(AF_INET, SOCK_DGRAM, 0);
#endif
}

void CloseNativeSocket(NativeSocket socket) {
    close(socket);
}

bool MakeNonBlocking(NativeSocket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags != -1 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::error_code SendDatagram(NativeSocket socket, std::string_view bytes, const sockaddr_in& destination) {
    ssize_t sent = 0;
    do {
        sent = sendto(socket, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                      sizeof destination);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? LastSocketError() : std::error_code{};
}

void TurnOffResetReports(NativeSocket) {}

std::error_code ReceiveDatagram(NativeSocket socket, std::span<char> buffer, sockaddr_in& sender,
                                std::size_t& count) {
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received = 0;
    do {
        received = recvmsg(socket, &message, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        return LastSocketError();
    }
    // The system reports a datagram longer than the buffer by MSG_TRUNC and has dropped its rest; it is
    // lost whole, as on Windows, rather than handed on cut short.
    if ((message.msg_flags & MSG_TRUNC) != 0) {
        return std::make_error_code(std::errc::message_size);
    }
    count = static_cast<std::size_t>(received);
    return {};
}

std::vector<InterfaceAddress> UpInterfaceAddresses() {
    std::vector<InterfaceAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return result;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
            result.push_back({entry->ifa_name, text});
        }
    }
    freeifaddrs(list);
    return result;
}

std::error_code LastSocketError() {
    return std::error_code(errno, std::system_category());
}

#endif

}  // namespace lut
