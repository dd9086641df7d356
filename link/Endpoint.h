// One IPv4 UDP endpoint: bound to a local address and port, sending to addresses that each send names,
// receiving one datagram at a time without blocking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "link/SocketApi.h"

namespace lut {

// Where an endpoint binds: the caller fills it (the window binds 0.0.0.0, tests bind 127.0.0.1).
struct BindRecord {
    std::string address = "0.0.0.0";
    std::uint16_t port = 0;
};

// What one receive yielded. count > 0: that many bytes, and the sender's dotted address and port.
// count == 0: nothing waiting, an error, an empty datagram, or one longer than the buffer (which is lost).
struct ReceiveResult {
    std::size_t count = 0;
    std::string senderAddress;
    std::uint16_t senderPort = 0;
};

class Endpoint {
  public:
    Endpoint() = default;
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    // Starts the socket library, creates a non-blocking datagram socket and binds it; an endpoint that is
    // open is closed first. On failure nothing stays open, and the error says why (for example, the port is
    // taken or needs privileges, or the address is not dotted IPv4).
    std::error_code Open(const BindRecord& bind);

    // Closes the socket and releases the library, once; later calls do nothing. Safe while another
    // thread is inside SendTo: that send either completes on the old socket or fails.
    void Close();

    bool IsOpen() const;

    // Sends one datagram to address:port; false when the endpoint is closed, the address text is not
    // dotted IPv4, or the system refuses the send.
    bool SendTo(std::string_view bytes, std::string_view address, std::uint16_t port);

    // Receives at most buffer.size() bytes of one waiting datagram without blocking; a datagram longer
    // than the buffer is discarded whole and reported as nothing received.
    ReceiveResult Receive(std::span<char> buffer);

    // The handle a front end watches for readability; InvalidSocket when closed.
    NativeSocket Handle() const;

    // The local port actually bound (useful when binding port 0 in tests); 0 when closed.
    std::uint16_t LocalPort() const;

  private:
    mutable std::shared_mutex
        mutex_;  // sends share it; Close takes it alone, so no send sees a reused handle
    NativeSocket socket_ = InvalidSocket;
    bool libraryStarted_ = false;
};

}  // namespace lut
