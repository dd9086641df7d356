// Standard output as the tool's texts need it: UTF-8, and on a terminal the carriage return and erase-line
// sequences that redraw the progress line. Restores the console as it found it.
#pragma once

namespace lut::cli {

class Console {
  public:
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Standard output is a terminal that redraws a line in place.
    bool Terminal() const { return terminal_; }

  private:
    bool terminal_ = false;
    // Windows alone restores these.
    [[maybe_unused]] unsigned long previousMode_ = 0;     // the console's output mode before
    [[maybe_unused]] unsigned int previousCodePage_ = 0;  // its output code page before; 0: unchanged
};

}  // namespace lut::cli
