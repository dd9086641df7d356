#include "sim/SimLogger.h"

#include <span>
#include <utility>

#include "link/uPubpro.h"
#include "sim/Seed.h"

namespace lut::sim {

namespace {

// "R" and a 4-digit hexadecimal field. Appended, not concatenated: GCC 12 at -O2 and above reports a false
// -Wrestrict inside a literal + std::string&&.
std::string RAnswer(std::uint32_t value) {
    std::string answer = "R";
    answer += Hex4(value);
    return answer;
}

// Junk around an answer frame that the tool's extraction must get past: an ENQ before the frame's ESC,
// and text after the ENQ that waits for the next frame. It holds no ESC (that would swallow the next
// frame) and no NUL (the tool's update channel drops everything after one).
constexpr std::string_view JunkBefore{"\xFF\x7Fjunk\x05"};
constexpr std::string_view JunkAfter{"\r\njunk"};

// Resend lists longer than this are shortened in the log.
constexpr std::size_t LoggedIndices = 16;

bool IsHex(std::string_view text) {
    for (const char c : text) {
        if (HexDigitValue(c) < 0) {
            return false;
        }
    }
    return true;
}

void AppendDecoded(std::string_view hex, std::string& bytes) {
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1])));
    }
}

// Received text as it may stand in a log line: control and 8-bit bytes escaped, long texts shortened.
std::string Printable(std::string_view text) {
    constexpr std::size_t Shown = 40;
    std::string line = EscapedText(text, Shown);
    if (text.size() > Shown) {
        line += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return line;
}

// Why a block's data cannot be part of an image of count blocks, or empty when it can: every block but
// the last is full, and the data is whole bytes of hexadecimal text.
std::string BlockFault(std::string_view data, std::uint32_t index, std::uint32_t count) {
    if (index + 1 < count && data.size() != BlockChars) {
        return "only the last block may be shorter than " + std::to_string(BlockChars) + " characters";
    }
    if (data.empty() || data.size() > BlockChars) {
        return "a block holds 1 to " + std::to_string(BlockChars) + " characters";
    }
    if (data.size() % 2 != 0 || !IsHex(data)) {
        return "the data is not whole bytes of hexadecimal text";
    }
    return {};
}

}  // namespace

SimLogger::SimLogger(LoggerIdentity identity, LoggerBehaviour behaviour)
    : identity_(std::move(identity)),
      behaviour_(std::move(behaviour)),
      lossKey_(AddressSeed(behaviour_.seed, identity_.address)) {}

bool SimLogger::LosesOnFirstArrival(std::uint32_t index) const {
    if (behaviour_.dropBlocks.contains(index)) {
        return true;
    }
    return behaviour_.lossPercent > 0 && SplitMix64(lossKey_ + index) % 100 < behaviour_.lossPercent;
}

Reaction SimLogger::Receive(Port port, std::string_view datagram, const Peer& sender, Clock::time_point now) {
    Reaction reaction;
    if (now < restartEnds_) {
        Log(reaction, "<- " + std::to_string(datagram.size()) + " bytes not answered: restarting");
        return reaction;
    }
    if (port == Port::Discovery) {
        HandleProbe(datagram, sender, reaction);
    } else {
        updateRx_.ExtractFrames(
            std::span<const char>(datagram.data(), datagram.size()),
            [this, &reaction, now](const std::string& frame) { HandleFrame(frame, reaction, now); });
    }
    return reaction;
}

void SimLogger::HandleProbe(std::string_view datagram, const Peer& sender, Reaction& reaction) const {
    if (datagram != DiscoveryProbe) {
        Log(reaction, "<- " + std::to_string(datagram.size()) +
                          " bytes on the discovery port, not the probe (" + Printable(datagram) +
                          "), ignored");
        return;
    }
    Log(reaction, "<- probe from " + sender.address + ":" + std::to_string(sender.port));
    std::string text = identity_.serial;
    if (!behaviour_.noVersion) {
        text += "#" + identity_.version;
    }
    Answer(Port::Discovery, text, reaction);
}

void SimLogger::HandleFrame(const std::string& frame, Reaction& reaction, Clock::time_point now) {
    if (!VerifyUpdateFrame(frame)) {
        Log(reaction, "<- frame with a wrong check code, ignored: " + Printable(frame));
        return;
    }
    const std::string_view payload = FramePayload(frame);
    if (payload.starts_with("LU")) {
        HandleRequest(payload, reaction);
    } else if (payload.starts_with("UD")) {
        HandleBlock(payload, reaction);
    } else if (payload == "EN") {
        HandleQuery(reaction, now);
    } else {
        Log(reaction, "<- unknown payload '" + Printable(payload) + "', ignored");
    }
}

void SimLogger::HandleRequest(std::string_view payload, Reaction& reaction) {
    const std::optional<std::uint32_t> count =
        payload.size() >= 6 ? ReadHex4(payload, payload.size() - 4) : std::nullopt;
    if (!count) {
        Log(reaction, "<- LU request without a 4-digit block count, ignored: '" + Printable(payload) + "'");
        return;
    }
    const std::string version(payload.substr(2, payload.size() - 6));
    Log(reaction, "<- LU " + Printable(version) + " count=" + std::to_string(*count));
    session_.reset();
    if (behaviour_.refusal) {
        Answer(Port::Update, *behaviour_.refusal, reaction);
        return;
    }
    session_ = Session{version, *count, std::vector<std::optional<std::string>>(*count),
                       std::vector<bool>(*count, false), false};
    Answer(Port::Update, RAnswer(behaviour_.startBlock), reaction);
}

void SimLogger::HandleBlock(std::string_view payload, Reaction& reaction) {
    const std::optional<std::uint32_t> index = payload.size() >= 6 ? ReadHex4(payload, 2) : std::nullopt;
    if (!index) {
        Log(reaction, "<- UD block without a 4-digit index, ignored: '" + Printable(payload) + "'");
        return;
    }
    const std::string_view data = payload.substr(6);
    const std::string line =
        "<- UD " + std::string(payload.substr(2, 4)) + " (" + std::to_string(data.size()) + " chars)";
    if (!session_) {
        Log(reaction, line + " ignored: no update under way");
        return;
    }
    Session& session = *session_;
    if (*index >= session.count) {
        Log(reaction, line + " ignored: beyond the " + std::to_string(session.count) + " blocks requested");
        return;
    }
    if (const std::string fault = BlockFault(data, *index, session.count); !fault.empty()) {
        Log(reaction, line + " rejected: " + fault);
        return;
    }
    const bool firstArrival = !session.arrived[*index];
    session.arrived[*index] = true;
    if (firstArrival && LosesOnFirstArrival(*index)) {
        Log(reaction, line + " lost on its first arrival");
        return;
    }
    session.blocks[*index] = std::string(data);
    Log(reaction, line);
}

void SimLogger::HandleQuery(Reaction& reaction, Clock::time_point now) {
    if (behaviour_.silent) {
        Log(reaction, "<- EN not answered (--silent)");
        return;
    }
    if (queriesIgnored_ < behaviour_.silentQueries) {
        ++queriesIgnored_;
        Log(reaction, "<- EN not answered (silent query " + std::to_string(queriesIgnored_) + " of " +
                          std::to_string(behaviour_.silentQueries) + ")");
        return;
    }
    if (behaviour_.failAnswer) {
        Log(reaction, "<- EN");
        Answer(Port::Update, *behaviour_.failAnswer, reaction);
        return;
    }
    if (!session_) {
        Log(reaction, "<- EN not answered: no update under way");
        return;
    }
    Log(reaction, "<- EN");
    Session& session = *session_;
    std::vector<std::uint32_t> missing;
    for (std::uint32_t i = 0; i < session.count && missing.size() < MaxListedBlocks; ++i) {
        if (!session.blocks[i]) {
            missing.push_back(i);
        }
    }
    if (missing.empty()) {
        Answer(Port::Update, "R", reaction);
        if (!session.completed) {
            session.completed = true;
            CompletedImage image{session.version, {}};
            for (const std::optional<std::string>& block : session.blocks) {
                AppendDecoded(*block, image.bytes);
            }
            Log(reaction, "image complete: " + std::to_string(image.bytes.size()) + " bytes, version " +
                              Printable(image.version));
            if (behaviour_.adoptVersion) {
                identity_.version = session.version;
            }
            restartEnds_ = now + behaviour_.restartAfterUpdate;
            reaction.image = std::move(image);
        }
        return;
    }
    std::string payload = RAnswer(static_cast<std::uint32_t>(missing.size()));
    std::string listed;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        payload += Hex4(missing[i]);
        if (i < LoggedIndices) {
            listed += ' ';
            listed += Hex4(missing[i]);
        }
    }
    if (missing.size() > LoggedIndices) {
        listed += " ... " + std::to_string(missing.size() - LoggedIndices) + " more";
    }
    Answer(Port::Update, payload, reaction, payload.substr(0, 5) + " (missing" + listed + ")");
}

void SimLogger::Answer(Port port, std::string_view payload, Reaction& reaction,
                       std::string_view shown) const {
    std::string frame;
    std::string notes;
    if (port == Port::Update) {
        frame = MakeFrame(payload);
        if (behaviour_.badCheck) {
            char& digit = frame[frame.size() - 5];
            digit = digit == '0' ? '1' : '0';
            notes += " [wrong check code]";
        }
    } else {
        frame = FrameStart + std::string(payload) + FrameEnd;
    }
    if (behaviour_.junk) {
        frame = std::string(JunkBefore) + frame + std::string(JunkAfter);
        notes += " [junk around]";
    }
    if (behaviour_.split) {
        const std::size_t half = frame.size() / 2;
        reaction.datagrams.push_back(frame.substr(0, half));
        reaction.datagrams.push_back(frame.substr(half));
        notes += " [split in two]";
    } else {
        reaction.datagrams.push_back(std::move(frame));
    }
    const std::string text = !shown.empty()    ? std::string(shown)
                             : payload.empty() ? std::string("(empty payload)")
                                               : Printable(payload);
    Log(reaction, "-> " + text + notes);
}

void SimLogger::Log(Reaction& reaction, std::string_view line) const {
    reaction.log.push_back(identity_.address + " " + std::string(line));
}

}  // namespace lut::sim
