// A channel's receive accumulator watched against the plain extraction rules: every frame it cuts is
// checked as it leaves, and at the end the whole run of frames is compared with what the rules yield for
// the same datagrams (exactly while the cap was never reached, as tails of the same frames after that).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "FuzzScene.h"
#include "link/RxAccumulator.h"
#include "link/uPubpro.h"
#include "reference_extraction.h"

namespace lut::fuzz {

class CheckedChannel {
  public:
    CheckedChannel(Channel channel, std::size_t cap)
        : channel_(channel),
          cap_(cap),
          accumulator_(channel, cap),
          reference_(channel == Channel::Discovery) {}

    // One datagram, as the socket handler hands it on. The consumer may feed this channel again, as a
    // modal box's nested event loop does.
    void Feed(std::string_view datagram, const RxAccumulator::Consumer& consumer) {
        const std::string_view text =
            channel_ == Channel::Update ? datagram.substr(0, datagram.find('\0')) : datagram;
        capReached_ = capReached_ || accumulator_.Text().size() + text.size() > cap_;
        for (std::string& frame : reference_.Feed(std::string(datagram))) {
            expected_.push_back(std::move(frame));
        }
        accumulator_.ExtractFrames(datagram, [this, &consumer](const std::string& frame) {
            CheckFrame(frame);
            cut_.push_back(frame);
            consumer(frame);
        });
        CheckText();
    }

    // Compares the frames cut over the whole run with the plain rules' frames.
    void Finish() const {
        if (!capReached_) {
            Expect(cut_ == expected_, "frames differ from the plain extraction rules below the cap");
            Expect(accumulator_.Text() == reference_.Text(), "waiting text differs from the plain rules");
            return;
        }
        // Frames end at the same ENQs in order; a capped one may only have lost a front part.
        std::size_t e = 0;
        for (const std::string& frame : cut_) {
            while (e < expected_.size() && !expected_[e].ends_with(frame)) {
                ++e;
            }
            Expect(e < expected_.size(), "the capped accumulator cut a frame that no sender sent");
            ++e;
        }
    }

  private:
    static void CheckFrame(const std::string& frame) {
        Expect(frame.size() >= 2 && frame.front() == FrameStart && frame.back() == FrameEnd,
               "a frame runs from ESC to ENQ");
        Expect(frame.find(FrameEnd) == frame.size() - 1, "a frame holds no ENQ but its last byte");
    }

    void CheckText() const {
        const std::string_view text = accumulator_.Text();
        Expect(text.size() <= cap_, "the accumulator stays within its cap");
        if (channel_ == Channel::Update) {
            Expect(text.find('\0') == std::string_view::npos, "update text holds no zero byte");
        } else {
            Expect(text.find_first_of(std::string_view("\x00\x0A\xFB\xFF", 4)) == std::string_view::npos,
                   "discovery text holds none of the bytes that become spaces");
        }
    }

    Channel channel_;
    std::size_t cap_;
    RxAccumulator accumulator_;
    test::ReferenceExtraction reference_;
    bool capReached_ = false;
    std::vector<std::string> cut_;
    std::vector<std::string> expected_;
};

}  // namespace lut::fuzz
