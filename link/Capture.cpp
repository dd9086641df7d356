#include "link/Capture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "link/HostSystem.h"

namespace lut {

namespace {

std::filesystem::path FromUtf8(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The stream keeps no reason of its own; the C library's last error is the best there is.
std::error_code StreamError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

bool EndsInPcapng(const std::string& path) {
    constexpr std::string_view Suffix = ".pcapng";
    return path.size() >= Suffix.size() &&
           std::equal(Suffix.begin(), Suffix.end(), path.end() - static_cast<std::ptrdiff_t>(Suffix.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

std::error_code Capture::Open(const std::string& path, const CaptureContext& context) {
    const std::lock_guard lock(mutex_);
    path_ = path;
    pcapng_ = EndsInPcapng(path);
    errno = 0;
    file_.open(FromUtf8(path), std::ios::binary | std::ios::trunc);
    if (file_.is_open()) {
        file_ << (pcapng_ ? PcapngFileHeader(context) : PcapFileHeader()) << std::flush;
    }
    if (!file_.is_open() || !file_) {
        const std::error_code why = StreamError();
        file_.close();
        return why;
    }
    return {};
}

void Capture::Record(CaptureEnd from, CaptureEnd to, std::span<const char> bytes,
                     CaptureDirection direction) {
    Write(from, to, bytes, direction, {});
}

void Capture::RecordFailedSend(CaptureEnd from, CaptureEnd to, std::span<const char> bytes,
                               std::error_code why) {
    if (pcapng_) {
        Write(from, to, bytes, CaptureDirection::Sent, "not sent: the system refused it: " + why.message());
    }
}

void Capture::Write(CaptureEnd from, CaptureEnd to, std::span<const char> bytes, CaptureDirection direction,
                    const std::string& comment) {
    const auto now = std::chrono::system_clock::now();
    const std::lock_guard lock(mutex_);
    if (!file_.is_open() || failure_) {
        return;
    }
    errno = 0;
    const std::uint16_t identification = identification_++;
    file_ << (pcapng_ ? PcapngPacket(now, from, to, bytes, identification, direction, comment)
                      : PcapRecord(now, from, to, bytes, identification))
          << std::flush;
    if (!file_) {
        failure_ = "writing the capture " + path_ + " failed (" + StreamError().message() +
                   "); it ends before this point";
        file_.close();
    }
}

CaptureContext Capture::ContextOf(std::string_view program, std::string_view version,
                                  std::span<const char* const> arguments) {
    return {"Logger Update Tool " + std::string(version) + " (" + std::string(program) + ")",
            SystemDescription(), CommandLineText(arguments)};
}

std::string Capture::OpenFailure(const std::string& path, std::error_code why) {
    return "the capture " + path + " cannot be written: " + why.message();
}

std::optional<std::string> Capture::WriteFailure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace lut
