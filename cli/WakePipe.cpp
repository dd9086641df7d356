#include "cli/WakePipe.h"

#include <system_error>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace lut::cli {

#ifdef _WIN32

namespace {

void Release(SOCKET read, SOCKET write) {
    for (const SOCKET s : {read, write}) {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
    }
    WSACleanup();
}

// A non-blocking UDP socket bound to a free port of 127.0.0.1, with its address.
SOCKET LoopbackSocket(sockaddr_in& address) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return s;
}

}  // namespace

WakePipe::WakePipe() {
    WSADATA data;
    if (const int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        throw std::system_error(error, std::system_category(), "cannot start the socket library");
    }
    sockaddr_in readAddress{};
    sockaddr_in writeAddress{};
    read_ = LoopbackSocket(readAddress);
    write_ = read_ == INVALID_SOCKET ? INVALID_SOCKET : LoopbackSocket(writeAddress);
    // Connected both ways: the read end then takes datagrams from the write end only.
    if (write_ == INVALID_SOCKET ||
        connect(read_, reinterpret_cast<const sockaddr*>(&writeAddress), sizeof writeAddress) != 0 ||
        connect(write_, reinterpret_cast<const sockaddr*>(&readAddress), sizeof readAddress) != 0) {
        const int error = WSAGetLastError();
        Release(read_, write_);
        throw std::system_error(error, std::system_category(), "cannot create the wake-up sockets");
    }
}

WakePipe::~WakePipe() {
    Release(read_, write_);
}

void WakePipe::Notify() const {
    const char byte = 1;
    send(write_, &byte, 1, 0);
}

void WakePipe::Clear() const {
    char bytes[64];
    while (recv(read_, bytes, sizeof bytes, 0) > 0) {
    }
}

#else

WakePipe::WakePipe() {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create the wake-up pipe");
    }
    read_ = ends[0];
    write_ = ends[1];
}

WakePipe::~WakePipe() {
    close(read_);
    close(write_);
}

void WakePipe::Notify() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(write_, &byte, 1);
}

void WakePipe::Clear() const {
    char bytes[64];
    while (read(read_, bytes, sizeof bytes) > 0) {
    }
}

#endif

}  // namespace lut::cli
