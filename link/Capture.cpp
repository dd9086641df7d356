#include "link/Capture.h"

#include <cerrno>
#include <chrono>
#include <filesystem>

namespace lut {

namespace {

std::filesystem::path FromUtf8(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The stream keeps no reason of its own; the C library's last error is the best there is.
std::error_code StreamError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

}  // namespace

std::error_code Capture::Open(const std::string& path) {
    const std::lock_guard lock(mutex_);
    path_ = path;
    errno = 0;
    file_.open(FromUtf8(path), std::ios::binary | std::ios::trunc);
    if (file_.is_open()) {
        file_ << PcapFileHeader() << std::flush;
    }
    if (!file_.is_open() || !file_) {
        const std::error_code why = StreamError();
        file_.close();
        return why;
    }
    return {};
}

void Capture::Record(CaptureEnd from, CaptureEnd to, std::span<const char> bytes) {
    const auto now = std::chrono::system_clock::now();
    const std::lock_guard lock(mutex_);
    if (!file_.is_open() || failure_) {
        return;
    }
    errno = 0;
    file_ << PcapRecord(now, from, to, bytes, identification_++) << std::flush;
    if (!file_) {
        failure_ = "writing the capture " + path_ + " failed (" + StreamError().message() +
                   "); it ends before this point";
        file_.close();
    }
}

std::string Capture::OpenFailure(const std::string& path, std::error_code why) {
    return "the capture " + path + " cannot be written: " + why.message();
}

std::optional<std::string> Capture::WriteFailure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace lut
