// The program's arguments as UTF-8, so that a file name in any script reaches the update as it was typed.
// Windows hands main() its arguments in the system's ANSI code page; they are taken again from the wide
// command line there.
#pragma once

#include <string>
#include <vector>

namespace lut::cli {

class Arguments {
  public:
    Arguments(int argc, char** argv);
    Arguments(const Arguments&) = delete;  // the pointers point into the texts
    Arguments& operator=(const Arguments&) = delete;

    int Count() const { return static_cast<int>(pointers_.size()); }
    const char* const* Values() const { return pointers_.data(); }

  private:
    std::vector<std::string> texts_;
    std::vector<const char*> pointers_;
};

}  // namespace lut::cli
