// Fuzz target: the update receive path. Datagrams go through the update accumulator and the check code to
// the update controller, in whichever step of the dialogue the input starts. Answers that pass may start
// the workers; they send into an endpoint that was never opened and wait on a clock that never moves, and
// every input ends by waking and joining them.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CheckedChannel.h"
#include "FakeWindow.h"
#include "FuzzScene.h"
#include "RecordingDisplay.h"
#include "VirtualPacer.h"
#include "link/Endpoint.h"
#include "update/Messages.h"
#include "update/dialogue/DialoguePresenter.h"
#include "update/dialogue/UpdateDialogue.h"

namespace lut::fuzz {
namespace {

using test::FakeWindow;
using Kind = FakeWindow::Kind;

const LoggerRow Logger{"SN0001", "127.0.0.2", "S1.00"};

// The first byte of an input:
//   bits 0-2  the step of the dialogue (0 "", 1 "SS", 2 "LU", 3 "UD", 4 "EN"; 5 to 7 count on from "")
//   bit 3     no logger is selected
//   bits 4-5  the image: 0, 2, 600 or 1,802 hexadecimal characters
//   bit 6     an accumulator cap of 64 characters instead of the real one
class Setup {
  public:
    explicit Setup(std::uint8_t bits) : bits_(bits) {}
    Protocol Step() const { return static_cast<Protocol>((bits_ & 7) % 5); }
    bool Selected() const { return (bits_ & 0x08) == 0; }
    std::size_t ImageChars() const {
        constexpr std::size_t Sizes[] = {0, 2, 600, 1802};
        return Sizes[(bits_ >> 4) & 3];
    }
    std::size_t Cap() const { return (bits_ & 0x40) != 0 ? 64 : RxTextCap; }

  private:
    std::uint8_t bits_;
};

// What the steps of an input do:
//   F  a datagram holding one frame of the step's bytes as payload
//   R  the step's bytes as one datagram
//   N  a frame of the step's bytes that arrives while a box is up: the first box shown takes every such
//      frame waiting into its nested event loop, and a box shown there takes the rest, so that boxes
//      stack as far as the tool lets them
//   U  the Update button
//   S  a Search: the list is emptied and the state becomes "SS"
//   L  the logger is listed and selected again
constexpr std::string_view Kinds = "FRNUSL";

class Bench final : public DialogueObserver {
  public:
    explicit Bench(const Setup& setup) : channel_(Channel::Update, setup.Cap()) {
        window_.rows = {Logger};
        if (setup.Selected()) {
            window_.selected = 0;
        }
        window_.filePath = "/images/S1.02.bin";
        window_.version = "S1.02";
        window_.whileBoxShown = [this](const FakeWindow::Shown& shown) {
            // The Update button's box, an unreadable answer's, and the one that ends the dialogue.
            Expect(++boxesUp_ <= 3, "boxes never stack more than three deep");
            const bool outer = errorBoxUp_;
            errorBoxUp_ = outer || shown.kind == Kind::Error;
            DeliverNested();
            errorBoxUp_ = outer;
            --boxesUp_;
        };
        LoadedImage_ = ShareImage(std::string(setup.ImageChars(), 'A'));
        dialogue_.SendImage = LoadedImage_;
        dialogue_.ProtocolState.Store(setup.Step());
    }

    void OnDialogueEvent(const DialogueEvent& event) override { Present(event, window_); }

    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    void Run(const Step& step) {
        switch (step.kind) {
            case 'F':
                Deliver(MakeFrame(step.bytes));
                return;
            case 'N':
                nested_.push_back(MakeFrame(step.bytes));
                return;
            case 'U':
                PressUpdate();
                return;
            case 'S':
                window_.ClearList();
                dialogue_.ProtocolState.Store(Protocol::Search);
                return;
            case 'L':
                window_.rows = {Logger};
                window_.selected = 0;
                return;
            default:
                Deliver(step.bytes);
                return;
        }
    }

    void Finish() const { channel_.Finish(); }

  private:
    // One datagram as the receive hands it on: an empty one, or one longer than the buffer, is none.
    void Deliver(std::string_view datagram) {
        if (datagram.empty() || datagram.size() > RxBufferSize) {
            return;
        }
        channel_.Feed(datagram, [this](const std::string& frame) {
            if (VerifyUpdateFrame(frame)) {
                Answer(frame);
            }
        });
    }

    void DeliverNested() {
        while (!nested_.empty()) {
            const std::string datagram = std::move(nested_.front());
            nested_.pop_front();
            ++nestedDeliveries_;
            Deliver(datagram);
        }
    }

    void PressUpdate() {
        const Protocol before = dialogue_.ProtocolState.Load();
        const int nestedBefore = nestedDeliveries_;
        lut::PressUpdate(dialogue_, window_,
                         window_.selected
                             ? std::optional(window_.rows.at(static_cast<std::size_t>(*window_.selected)))
                             : std::nullopt,
                         LoadedImage_);
        const Protocol after = dialogue_.ProtocolState.Load();
        Expect(nestedDeliveries_ != nestedBefore || after == before || after == Protocol::Request,
               "the Update button only ever sets \"LU\"");
    }

    void Answer(const std::string& frame) {
        const Protocol before = dialogue_.ProtocolState.Load();
        const std::size_t shownBefore = window_.log.size();
        const int nestedBefore = nestedDeliveries_;
        dialogue_.HandleUpdateFrame(frame);
        // An answer handled inside this one's box has moved the dialogue on by itself.
        if (nestedDeliveries_ == nestedBefore) {
            CheckAnswer(before, FramePayload(frame),
                        std::vector<FakeWindow::Shown>(window_.log.begin() + static_cast<long>(shownBefore),
                                                       window_.log.end()));
        }
    }

    // What an answer may do in each step, and what the technician sees of it.
    void CheckAnswer(Protocol before, std::string_view payload, const std::vector<FakeWindow::Shown>& shown) {
        const Protocol after = dialogue_.ProtocolState.Load();
        const bool accepting = payload.starts_with('R');
        const auto only = [&shown](Kind kind, std::string_view text) {
            return shown.size() == 1 && shown[0].kind == kind && shown[0].text.starts_with(text);
        };
        switch (before) {
            case Protocol::Idle:
            case Protocol::Search:
            case Protocol::Update:
                Expect(after == before && shown.empty(), "an answer nobody awaits changes nothing");
                return;
            case Protocol::Request:
                if (after == Protocol::Update) {
                    Expect(accepting && only(Kind::Status, text::Updating),
                           "an acceptance shows \"Updating\"");
                    Expect(Running(dialogue_.Upthread), "an acceptance starts worker A");
                } else if (after == Protocol::Idle) {
                    const std::string_view code = payload.substr(0, 3);
                    Expect(!accepting, "only a refusal ends the request");
                    Expect(code == "E80"   ? only(Kind::Warning, text::FlashNotExists)
                           : code == "E81" ? only(Kind::Warning, text::SameVersion)
                                           : shown.empty(),
                           "a refusal shows its code's message, or nothing for other codes");
                } else {
                    Expect(
                        after == Protocol::Request && accepting &&
                            Unreadable(shown, text::UnreadableAcceptance),
                        "an unreadable acceptance is reported, unless the box of another is up, and leaves "
                        "\"LU\"");
                }
                return;
            case Protocol::End:
                if (after == Protocol::Update) {
                    Expect(accepting && only(Kind::Status, text::Updating),
                           "a resend answer shows \"Updating\"");
                    Expect(Running(dialogue_.Upthread1), "a resend answer starts worker B");
                } else if (after == Protocol::Idle) {
                    Expect(payload == "R" ? only(Kind::Warning, text::UpdateComplete)
                                          : !accepting && only(Kind::Warning, text::UpdateUnknownError),
                           "\"R\" alone completes the update, an answer not beginning with R fails it");
                } else {
                    Expect(
                        after == Protocol::End && accepting && Unreadable(shown, text::UnreadableResendList),
                        "an unreadable resend answer is reported, unless the box of another is up, and "
                        "leaves "
                        "\"EN\"");
                }
                return;
        }
    }

    // An answer that cannot be read goes to the error display, unless an error box is up already: a stream
    // of them must not pile one box on another.
    bool Unreadable(const std::vector<FakeWindow::Shown>& shown, std::string_view error) const {
        if (errorBoxUp_) {
            return shown.empty();
        }
        return shown.size() == 1 && shown[0].kind == Kind::Error && shown[0].text.starts_with(error);
    }

    // A started run waits on the clock that never moves, so a worker told to start is never idle again.
    template <typename Thread>
    static bool Running(const std::unique_ptr<Thread>& worker) {
        return worker != nullptr && !worker->Thread().Idle();
    }

    FakeWindow window_;
    test::VirtualPacer pacer_;
    test::RecordingDisplay display_;
    Endpoint neverOpened_;
    ImageText LoadedImage_;
    UpdateDialogue dialogue_{neverOpened_, UpdatePort, pacer_, display_, *this};
    CheckedChannel channel_;
    std::deque<std::string> nested_;
    int nestedDeliveries_ = 0;
    int boxesUp_ = 0;
    bool errorBoxUp_ = false;
};

}  // namespace
}  // namespace lut::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lut::fuzz;
    const Scene scene = ParseScene(data, size, Kinds, 'R');
    Bench bench{Setup(scene.setup)};
    for (const Step& step : scene.steps) {
        bench.Run(step);
    }
    bench.Finish();
    return 0;
}
