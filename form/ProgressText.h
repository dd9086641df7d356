// The text on the progress bar: how many blocks went out and how long the rest will take at the fixed pace.
#pragma once

#include <string>

namespace lut::form {

// "12 of 300 blocks, 1:03 left": the remaining blocks at one per 200 ms, then the 5000 ms before the
// result is asked for. Once every block is out: "300 of 300 blocks sent".
std::string ProgressText(int sent, int total);

}  // namespace lut::form
