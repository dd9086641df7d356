// A self-pipe: any thread, or a signal handler, makes its read end readable, which wakes the poll loop.
#pragma once

namespace lut::cli {

class WakePipe {
  public:
    WakePipe();  // throws std::system_error when the pipe cannot be made
    ~WakePipe();
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // Async-signal-safe. A full pipe is already readable, so a failed write loses nothing.
    void Notify() const;

    // Empties the pipe, so that the next poll waits for the next Notify.
    void Clear() const;

    int ReadHandle() const { return read_; }

  private:
    int read_ = -1;
    int write_ = -1;
};

}  // namespace lut::cli
