#include "link/Endpoint.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "link/Capture.h"
#include "link/SocketApi.h"
#include "link/TransientErrors.h"

namespace lut {

namespace {

bool ToSocketAddress(std::string_view address, std::uint16_t port, sockaddr_in& record) {
    const std::string text(address);
    record = sockaddr_in{};
    record.sin_family = AF_INET;
    record.sin_port = htons(port);
    return inet_pton(AF_INET, text.c_str(), &record.sin_addr) == 1;
}

// The address the system sends from towards remote (a datagram socket's connect sends nothing); any
// address when there is no route.
in_addr SourceAddressTowards(const sockaddr_in& remote) {
    sockaddr_in local{};
    const NativeSocket probe = CreateDatagramSocket();
    if (probe != InvalidSocket) {
        socklen_t length = sizeof local;
        if (connect(probe, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 ||
            getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            local = sockaddr_in{};
        }
        CloseNativeSocket(probe);
    }
    return local.sin_addr;
}

// Both ends of a datagram as the wire carried them. An endpoint bound to every address names no local
// address of its own; the one the system picks towards the remote end stands in for it.
std::pair<CaptureEnd, CaptureEnd> HereAndThere(NativeSocket socket, const sockaddr_in& remote) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length);
    if (local.sin_addr.s_addr == htonl(INADDR_ANY)) {
        local.sin_addr = SourceAddressTowards(remote);
    }
    return {{ntohl(local.sin_addr.s_addr), ntohs(local.sin_port)},
            {ntohl(remote.sin_addr.s_addr), ntohs(remote.sin_port)}};
}

void TapSent(Capture& capture, NativeSocket socket, const sockaddr_in& remote, std::string_view bytes,
             std::error_code failure) {
    const auto [here, there] = HereAndThere(socket, remote);
    if (failure) {
        capture.RecordFailedSend(here, there, bytes, failure);
    } else {
        capture.Record(here, there, bytes, CaptureDirection::Sent);
    }
}

// Large enough for any UDP datagram over IPv4, so that the capture holds even one the caller's buffer
// cannot take.
constexpr std::size_t LargestDatagram = 65535;

// One receive that records the datagram whole, then hands the caller what its buffer holds: a datagram
// longer than the buffer is lost to the caller (message_size), as without a capture.
std::error_code ReceiveAndTap(Capture& capture, NativeSocket socket, std::span<char> buffer,
                              sockaddr_in& sender, std::size_t& count) {
    thread_local std::vector<char> whole(LargestDatagram);  // one per receiving thread, made once
    std::size_t received = 0;
    if (const std::error_code error = ReceiveDatagram(socket, whole, sender, received)) {
        return error;
    }
    const auto [here, there] = HereAndThere(socket, sender);
    capture.Record(there, here, std::span<const char>(whole).first(received), CaptureDirection::Received);
    if (received > buffer.size()) {
        return std::make_error_code(std::errc::message_size);
    }
    std::copy_n(whole.begin(), received, buffer.begin());
    count = received;
    return {};
}

}  // namespace

Endpoint::~Endpoint() {
    Close();
}

Endpoint::Endpoint(Endpoint&& other) noexcept {
    Adopt(other.Release());
}

Endpoint& Endpoint::operator=(Endpoint&& other) noexcept {
    if (this != &other) {
        Adopt(other.Release());
    }
    return *this;
}

Endpoint::Owned Endpoint::Release() noexcept {
    // Exclusive: waits for every send in progress, so the handle number is never closed (and perhaps
    // reused by the system) while a sender still holds it.
    const std::unique_lock lock(mutex_);
    return {std::exchange(socket_, InvalidSocket), std::exchange(libraryStarted_, false)};
}

void Endpoint::Adopt(Owned owned) noexcept {
    Owned previous;
    {
        const std::unique_lock lock(mutex_);
        previous = {std::exchange(socket_, owned.socket),
                    std::exchange(libraryStarted_, owned.libraryStarted)};
    }
    Dispose(previous);
}

void Endpoint::Dispose(Owned owned) noexcept {
    if (owned.socket != InvalidSocket) {
        CloseNativeSocket(owned.socket);
    }
    if (owned.libraryStarted) {
        ReleaseSocketLibrary();
    }
}

std::error_code Endpoint::Open(const BindRecord& bind) {
    Close();
    sockaddr_in record{};
    if (!ToSocketAddress(bind.address, bind.port, record)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    if (const std::error_code started = StartSocketLibrary()) {
        return started;
    }
    const NativeSocket socket = CreateDatagramSocket();
    std::error_code failure;
    if (socket == InvalidSocket) {
        failure = LastSocketError();
    } else if (::bind(socket, reinterpret_cast<const sockaddr*>(&record), sizeof record) != 0 ||
               !MakeNonBlocking(socket)) {
        failure = LastSocketError();
        CloseNativeSocket(socket);
    } else {
        TurnOffResetReports(socket);
    }
    if (failure) {
        ReleaseSocketLibrary();
        return failure;
    }
    Adopt({socket, true});
    return {};
}

void Endpoint::Close() {
    Dispose(Release());
}

bool Endpoint::IsOpen() const {
    const std::shared_lock lock(mutex_);
    return socket_ != InvalidSocket;
}

std::error_code Endpoint::SendTo(std::string_view bytes, std::string_view address, std::uint16_t port) {
    sockaddr_in destination{};
    if (!ToSocketAddress(address, port, destination)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::shared_lock lock(mutex_);
    if (socket_ == InvalidSocket) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    const std::error_code failure = SendDatagram(socket_, bytes, destination);
    if (capture_) {
        TapSent(*capture_, socket_, destination, bytes, failure);
    }
    return failure;
}

ReceiveResult Endpoint::Receive(std::span<char> buffer) {
    ReceiveResult result;
    sockaddr_in sender{};
    std::error_code error;
    {
        const std::shared_lock lock(mutex_);
        if (socket_ == InvalidSocket) {
            error = std::make_error_code(std::errc::bad_file_descriptor);
        } else {
            error = SkipTransientErrors(
                [this, buffer, &sender, &result] {
                    return capture_ ? ReceiveAndTap(*capture_, socket_, buffer, sender, result.count)
                                    : ReceiveDatagram(socket_, buffer, sender, result.count);
                },
                result.skippedErrors);
        }
    }
    if (error == std::errc::operation_would_block) {
        result.what = Received::Nothing;
    } else if (error) {
        result.what = Received::Failed;
        result.error = error;
    } else {
        result.what = Received::Datagram;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
        result.senderAddress = text;
        result.senderPort = ntohs(sender.sin_port);
    }
    return result;
}

NativeSocket Endpoint::Handle() const {
    const std::shared_lock lock(mutex_);
    return socket_;
}

std::uint16_t Endpoint::LocalPort() const {
    const std::shared_lock lock(mutex_);
    if (socket_ == InvalidSocket) {
        return 0;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

void Endpoint::SetCapture(std::shared_ptr<Capture> capture) {
    const std::unique_lock lock(mutex_);
    capture_ = std::move(capture);
}

}  // namespace lut
