#include "FakeLogger.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>

#include "link/Readiness.h"
#include "link/uPubpro.h"

namespace lut::cli::test {
namespace {

// A 4-digit hexadecimal field; -1 when it is not one.
int HexField(std::string_view text) {
    const std::string_view field = text.substr(0, 4);
    int value = -1;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
    return field.size() == 4 && error == std::errc() && end == field.data() + field.size() ? value : -1;
}

}  // namespace

FakeLogger::FakeLogger(const std::string& address, LoggerScript script, std::uint16_t updatePort,
                       std::uint16_t discoveryPort)
    : script_(std::move(script)) {
    EXPECT_FALSE(update_.Open({address, updatePort})) << "the fake logger cannot bind " << address;
    EXPECT_FALSE(discovery_.Open({address, discoveryPort})) << "the fake logger cannot bind " << address;
    thread_ = std::thread([this] { Serve(); });
}

FakeLogger::~FakeLogger() {
    stop_.Notify();
    thread_.join();
}

void FakeLogger::Serve() {
    for (;;) {
        std::array<WatchedHandle, 3> watched{
            {{stop_.ReadHandle()}, {update_.Handle()}, {discovery_.Handle()}}};
        if (WaitUntilReadable(watched, std::nullopt) || watched[0].ready) {
            return;
        }
        if (watched[1].ready) {
            OnFrame();
        }
        if (watched[2].ready) {
            OnProbe();
        }
    }
}

void FakeLogger::OnProbe() {
    std::array<char, RxBufferSize> buffer{};
    const ReceiveResult received = discovery_.Receive(buffer);
    if (received.count == 0 || std::string_view(buffer.data(), received.count) != DiscoveryProbe) {
        return;
    }
    std::string identity;
    int oversized = 0;
    {
        std::lock_guard lock(mutex_);
        ++probes_;
        if (complete_ && script_.probesIgnoredAfterUpdate > 0) {
            --script_.probesIgnoredAfterUpdate;
            return;
        }
        if (script_.probesLost > 0) {
            --script_.probesLost;
            return;
        }
        identity =
            !script_.otherIdentity.empty() && probes_ % 2 == 0 ? script_.otherIdentity : script_.identity;
        oversized = script_.oversizedBeforeIdentity;
    }
    if (identity.empty()) {
        return;
    }
    for (int i = 0; i < oversized; ++i) {
        discovery_.SendTo(std::string(RxBufferSize + 1, 'X'), received.senderAddress, received.senderPort);
    }
    discovery_.SendTo(FrameStart + identity + FrameEnd, received.senderAddress, received.senderPort);
}

void FakeLogger::OnFrame() {
    std::array<char, RxBufferSize> buffer{};
    const ReceiveResult received = update_.Receive(buffer);
    const std::string frame(buffer.data(), received.count);
    if (received.count == 0 || !VerifyUpdateFrame(frame)) {
        ADD_FAILURE() << "the tool sent a frame the logger cannot verify";
        return;
    }
    const std::string payload(FramePayload(frame));
    std::string answer;
    int blocksReceived = 0;
    {
        std::lock_guard lock(mutex_);
        if (payload.starts_with("LU")) {
            requests_.push_back(payload);
            blockCount_ = HexField(payload.substr(payload.size() - 4));
            version_ = payload.substr(2, payload.size() - 6);
            answer = script_.requestsLost-- > 0 ? "" : script_.requestAnswer;
            if (answer.starts_with('R')) {
                // It asks to start at a block because it holds the ones before.
                for (int index = 0; index < HexField(answer.substr(1)); ++index) {
                    held_[index];
                }
            }
        } else if (payload.starts_with("UD")) {
            const int index = HexField(payload.substr(2));
            arrivals_.push_back(index);
            blocksReceived = static_cast<int>(arrivals_.size());
            if (script_.lose.erase(index) == 0) {
                held_[index] = payload.substr(6);
            }
        } else if (payload == "EN") {
            ++queries_;
            answer = QueryAnswer();
            if (answer == "R" && !complete_) {
                complete_ = true;
                if (script_.adoptVersion) {
                    script_.identity =
                        script_.identity.substr(0, script_.identity.find('#')) + "#" + version_;
                }
            }
        }
    }
    if (!answer.empty()) {
        update_.SendTo(MakeFrame(answer), received.senderAddress, received.senderPort);
    }
    if (blocksReceived > 0 && script_.onBlock) {
        script_.onBlock(blocksReceived);
    }
}

std::string FakeLogger::QueryAnswer() const {
    std::vector<int> missing;
    for (int index = 0; index < blockCount_; ++index) {
        if (!held_.contains(index)) {
            missing.push_back(index);
        }
    }
    if (missing.empty()) {
        return script_.finalAnswer;
    }
    std::string answer = "R";
    answer += Hex4(static_cast<std::uint32_t>(missing.size()));
    for (const int index : missing) {
        answer += Hex4(static_cast<std::uint32_t>(index));
    }
    return answer;
}

std::vector<std::string> FakeLogger::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::set<std::string> FakeLogger::DistinctRequests() const {
    std::lock_guard lock(mutex_);
    return {requests_.begin(), requests_.end()};
}

std::vector<int> FakeLogger::Blocks() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
}

int FakeLogger::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

int FakeLogger::Probes() const {
    std::lock_guard lock(mutex_);
    return probes_;
}

std::string FakeLogger::Image() const {
    std::lock_guard lock(mutex_);
    std::string image;
    for (const auto& [index, characters] : held_) {
        image += characters;
    }
    return image;
}

}  // namespace lut::cli::test
