// A capture of the tool's own traffic: every datagram both endpoints send and receive, written to a pcap or
// pcapng file from whichever thread sent or received it, for a support engineer to open in Wireshark.
#pragma once

#include <cstdint>
#include <fstream>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "link/PcapFormat.h"

namespace lut {

class Capture {
  public:
    // Creates (or empties) the file at the UTF-8 path and writes the file header: pcapng, with the context
    // in its section header, when the name ends in ".pcapng", else classic pcap. The system's reason when it
    // cannot, and nothing is recorded then.
    std::error_code Open(const std::string& path, const CaptureContext& context = {});

    // One datagram as it went from one end to the other; any thread. Each record reaches the file before
    // this returns. After the first write failure nothing more is written.
    void Record(CaptureEnd from, CaptureEnd to, std::span<const char> bytes, CaptureDirection direction);

    // A datagram the system refused to send, with the reason as the packet's comment. pcapng only: a
    // classic file holds what went over the wire and nothing else.
    void RecordFailedSend(CaptureEnd from, CaptureEnd to, std::span<const char> bytes, std::error_code why);

    // What went wrong with the first write that failed, for the one message that tells of it.
    std::optional<std::string> WriteFailure() const;

    // The context of a capture made by one of the tool's programs ("logger-update", "window") of that
    // version, run with these arguments (its own name first) on this system.
    static CaptureContext ContextOf(std::string_view program, std::string_view version,
                                    std::span<const char* const> arguments);

    // What a front end says when Open failed.
    static std::string OpenFailure(const std::string& path, std::error_code why);

  private:
    void Write(CaptureEnd from, CaptureEnd to, std::span<const char> bytes, CaptureDirection direction,
               const std::string& comment);

    std::string path_;
    bool pcapng_ = false;
    mutable std::mutex mutex_;  // one record at a time, from the sending workers and the receiving loop
    std::ofstream file_;
    std::uint16_t identification_ = 0;
    std::optional<std::string> failure_;
};

}  // namespace lut
