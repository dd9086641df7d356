#include "cli/WakePipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace lut::cli {

WakePipe::WakePipe() {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create the wake-up pipe");
    }
    read_ = ends[0];
    write_ = ends[1];
}

WakePipe::~WakePipe() {
    close(read_);
    close(write_);
}

void WakePipe::Notify() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(write_, &byte, 1);
}

void WakePipe::Clear() const {
    char bytes[64];
    while (read(read_, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace lut::cli
