// The platform's socket handle as a plain integer, so that headers can name it without a system header.
#pragma once

#include <cstdint>

namespace lut {

#ifdef _WIN32
// SOCKET is an unsigned integer of pointer width; SocketApi.h checks that the two agree.
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket InvalidSocket = ~NativeSocket{0};
#else
// On POSIX any descriptor fits, a pipe's read end as well as a socket.
using NativeSocket = int;
inline constexpr NativeSocket InvalidSocket = -1;
#endif

}  // namespace lut
