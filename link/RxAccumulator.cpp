#include "link/RxAccumulator.h"

#include <algorithm>
#include <cstring>

#include "link/uPubpro.h"

namespace lut {

RxAccumulator::RxAccumulator(Channel channel, std::size_t cap) : channel_(channel), cap_(cap) {}

void RxAccumulator::ExtractFrames(std::span<const char> datagram, const Consumer& consumer) {
    const std::string_view text = DatagramText(datagram);
    if (text.empty()) {
        return;
    }
    Compact();
    Append(text);
    // Each pass reads the accumulator afresh and commits its removal before the consumer runs, so a
    // nested run from inside the consumer finds the text consistent and this run needs no position of its
    // own when it resumes.
    for (;;) {
        const std::size_t enq = text_.find(FrameEnd, std::max(start_, enqSearchFrom_));
        if (enq == std::string::npos) {
            enqSearchFrom_ = text_.size();
            return;
        }
        enqSearchFrom_ = enq;
        const std::size_t esc = text_.find(FrameStart, std::max(start_, escSearchFrom_));
        if (esc == std::string::npos) {
            escSearchFrom_ = text_.size();
            return;
        }
        escSearchFrom_ = esc;
        if (enq < esc) {
            // Text through an ENQ that stands before every ESC can never belong to a frame.
            start_ = enq + 1;
            continue;
        }
        const std::string frame = text_.substr(esc, enq + 1 - esc);
        start_ = enq + 1;
        consumer(frame);
    }
}

std::string_view RxAccumulator::DatagramText(std::span<const char> datagram) const {
    if (channel_ == Channel::Update) {
        const void* zero = std::memchr(datagram.data(), 0, datagram.size());
        const std::size_t length =
            zero == nullptr ? datagram.size()
                            : static_cast<std::size_t>(static_cast<const char*>(zero) - datagram.data());
        return {datagram.data(), length};
    }
    return {datagram.data(), datagram.size()};
}

void RxAccumulator::Append(std::string_view text) {
    const std::size_t live = text_.size() - start_;
    if (live + text.size() > cap_) {
        // Only a prefix of the joined text is ever dropped, never a piece from the middle, so the text
        // that stays is a run of received bytes in their order and no ESC is joined to an ENQ that did
        // not follow it. The kept text begins at an ESC (or is empty): what stood before that ESC could
        // only have been removed before a leading ENQ or discarded with a cut. A frame whose ESC is
        // dropped leaves a tail that ends in an ENQ before any ESC, and that tail is removed as text
        // before a leading ENQ: it never pairs with an ESC.
        const std::size_t excess = live + text.size() - cap_;
        const std::size_t keepFrom =
            excess < live ? text_.find(FrameStart, start_ + excess) : std::string::npos;
        if (keepFrom != std::string::npos) {
            start_ = keepFrom;
        } else {
            start_ = text_.size();
            const std::size_t esc = text.find(FrameStart, excess > live ? excess - live : 0);
            text = esc == std::string::npos ? std::string_view{} : text.substr(esc);
        }
        Compact();
    }
    const std::size_t appendedAt = text_.size();
    text_.append(text);
    if (channel_ == Channel::Discovery) {
        std::replace_if(
            text_.begin() + static_cast<std::ptrdiff_t>(appendedAt), text_.end(),
            [](char c) { return c == '\x00' || c == '\x0A' || c == '\xFB' || c == '\xFF'; }, ' ');
    }
}

void RxAccumulator::Compact() {
    if (start_ == 0) {
        return;
    }
    if (start_ == text_.size()) {
        text_.clear();
    } else if (start_ >= text_.size() - start_) {
        // Erasing moves no more bytes than have left the front since the last erase.
        text_.erase(0, start_);
    } else {
        return;
    }
    enqSearchFrom_ = enqSearchFrom_ > start_ ? enqSearchFrom_ - start_ : 0;
    escSearchFrom_ = escSearchFrom_ > start_ ? escSearchFrom_ - start_ : 0;
    start_ = 0;
}

}  // namespace lut
