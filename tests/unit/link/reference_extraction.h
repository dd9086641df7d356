// The extraction rules written as plainly as possible, without cap and without any bookkeeping for speed:
// the yardstick the accumulator is compared with.
#pragma once

#include <string>
#include <vector>

namespace lut::test {

class ReferenceExtraction {
  public:
    explicit ReferenceExtraction(bool discovery) : discovery_(discovery) {}

    std::vector<std::string> Feed(std::string datagram) {
        if (discovery_) {
            for (char& c : datagram) {
                if (c == '\x00' || c == '\x0A' || c == '\xFB' || c == '\xFF') {
                    c = ' ';
                }
            }
        } else {
            datagram = datagram.substr(0, datagram.find('\0'));
        }
        text_ += datagram;
        std::vector<std::string> frames;
        for (;;) {
            auto esc = text_.find('\x1B');
            auto enq = text_.find('\x05');
            while (esc != std::string::npos && enq != std::string::npos && enq < esc) {
                text_.erase(0, enq + 1);
                esc = text_.find('\x1B');
                enq = text_.find('\x05');
            }
            if (esc == std::string::npos || enq == std::string::npos) {
                return frames;
            }
            frames.push_back(text_.substr(esc, enq - esc + 1));
            text_.erase(0, enq + 1);
        }
    }

    const std::string& Text() const { return text_; }

  private:
    bool discovery_;
    std::string text_;
};

}  // namespace lut::test
