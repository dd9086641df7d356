// A channel's receive accumulator: datagrams are turned into text, joined, and every complete frame
// (ESC through the first ENQ after it) is cut out and handed to the channel's consumer.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace lut {

enum class Channel {
    Update,     // text ends at the first 0x00 byte
    Discovery,  // 0x00, 0x0A, 0xFB and 0xFF become spaces
};

// Beyond this many characters the oldest text is dropped: no logger frame comes near it, and it keeps a
// flood of junk from growing memory without end.
inline constexpr std::size_t RxTextCap = 256 * 1024;

class RxAccumulator {
public:
    // Receives each frame whole (ESC ... ENQ), after it has left the accumulator. It may call
    // ExtractFrames on this same accumulator again (a modal box runs a nested event loop).
    using Consumer = std::function<void(const std::string& frame)>;

    explicit RxAccumulator(Channel channel, std::size_t cap = RxTextCap);

    // Converts one datagram's bytes to text, appends it, and cuts out every complete frame in order.
    void ExtractFrames(std::span<const char> datagram, const Consumer& consumer);

    const std::string& Text() const { return text_; }

private:
    Channel channel_;
    std::size_t cap_;
    std::string text_;
};

}  // namespace lut
