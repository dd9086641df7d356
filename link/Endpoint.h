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

#include "link/NativeSocket.h"

namespace lut {

// Where an endpoint binds: the caller fills it (the window binds 0.0.0.0, tests bind 127.0.0.1).
struct BindRecord {
    std::string address = "0.0.0.0";
    std::uint16_t port = 0;
};

// What one receive yielded.
enum class Received {
    Datagram,  // count bytes (perhaps none) from the sender
    Nothing,   // nothing waits
    Failed,    // the endpoint cannot receive: closed, or an error that is not transient (network down)
};

struct ReceiveResult {
    Received what = Received::Nothing;
    std::size_t count = 0;
    std::string senderAddress;
    std::uint16_t senderPort = 0;
    std::error_code error;          // Failed: why
    std::size_t skippedErrors = 0;  // transient errors (TransientErrors.h) got past before this result
};

class Endpoint {
  public:
    Endpoint() = default;
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    // The socket changes owner; the moved-from endpoint is closed, as if never opened. Moving waits for
    // sends in progress on either endpoint, as Close does.
    Endpoint(Endpoint&& other) noexcept;
    Endpoint& operator=(Endpoint&& other) noexcept;

    // Starts the socket library, creates a non-blocking datagram socket and binds it; an endpoint that is
    // open is closed first. On failure nothing stays open, and the error says why (for example, the port is
    // taken or needs privileges, or the address is not dotted IPv4).
    std::error_code Open(const BindRecord& bind);

    // Closes the socket and releases the library, once; later calls do nothing. Safe while another
    // thread is inside SendTo: that send either completes on the old socket or fails.
    void Close();

    bool IsOpen() const;

    // Sends one datagram to address:port. Empty on success; else why not: invalid_argument when the
    // address text is not dotted IPv4, bad_file_descriptor when the endpoint is closed, or the system's
    // reason for refusing the send.
    std::error_code SendTo(std::string_view bytes, std::string_view address, std::uint16_t port);

    // Receives at most buffer.size() bytes of one waiting datagram without blocking. Transient errors are
    // skipped and counted, a datagram longer than the buffer among them (it is discarded whole); a
    // closed endpoint fails with bad_file_descriptor.
    ReceiveResult Receive(std::span<char> buffer);

    // The handle a front end watches for readability; InvalidSocket when closed.
    NativeSocket Handle() const;

    // The local port actually bound (useful when binding port 0 in tests); 0 when closed.
    std::uint16_t LocalPort() const;

  private:
    struct Owned {
        NativeSocket socket = InvalidSocket;
        bool libraryStarted = false;
    };

    // Takes the socket out of this endpoint, which is closed afterwards without the socket being closed.
    Owned Release() noexcept;
    // Installs a socket, and closes the one held before.
    void Adopt(Owned owned) noexcept;
    static void Dispose(Owned owned) noexcept;

    mutable std::shared_mutex
        mutex_;  // sends share it; Close takes it alone, so no send sees a reused handle
    NativeSocket socket_ = InvalidSocket;
    bool libraryStarted_ = false;
};

}  // namespace lut
