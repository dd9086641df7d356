// A channel's receive accumulator: datagrams are turned into text, joined, and every complete frame
// (ESC through the first ENQ after it) is cut out and handed to the channel's consumer.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace lut {

enum class Channel {
    Update,     // text ends at the first 0x00 byte
    Discovery,  // 0x00, 0x0A, 0xFB and 0xFF become spaces
};

// Beyond this many characters the oldest text is dropped, so a flood of junk without frame ends holds a
// bounded amount of memory per channel. The longest frame a logger can send is a resend answer listing all
// 65,535 blocks (262,151 bytes, arriving over many datagrams); 320 KiB holds it with room for a datagram or
// two of junk before it.
inline constexpr std::size_t RxTextCap = 320 * 1024;

class RxAccumulator {
  public:
    // Receives each frame whole (ESC ... ENQ), after it has left the accumulator. It may call
    // ExtractFrames on this same accumulator again (a modal box runs a nested event loop).
    using Consumer = std::function<void(const std::string& frame)>;

    explicit RxAccumulator(Channel channel, std::size_t cap = RxTextCap);

    // Converts one datagram's bytes to text, appends it, and cuts out every complete frame in order.
    void ExtractFrames(std::span<const char> datagram, const Consumer& consumer);

    // The text waiting for its frame's end.
    std::string_view Text() const { return std::string_view(text_).substr(start_); }

  private:
    std::string_view DatagramText(std::span<const char> datagram) const;
    void Append(std::string_view text);
    void Compact();

    Channel channel_;
    std::size_t cap_;
    // The accumulator is text_ from start_ on: text leaves the front by moving start_, and the dead front
    // is erased only once it outweighs the live text, so removal costs nothing per frame.
    std::string text_;
    std::size_t start_ = 0;
    // How far the text is known to hold no ENQ (no ESC): a long unfinished frame is searched only in the
    // text that arrived since the last search.
    std::size_t enqSearchFrom_ = 0;
    std::size_t escSearchFrom_ = 0;
};

}  // namespace lut
