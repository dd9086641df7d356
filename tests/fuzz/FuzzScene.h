// How a fuzz input becomes a scene: its first byte sets the scene up, the rest is a run of datagrams and
// actions. Each begins with a kind letter; a newline followed by a kind letter begins the next one, and any
// other newline is data, so every byte value can still reach a channel. Text before the first kind letter
// is a datagram of the default kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace lut::fuzz {

struct Step {
    char kind;
    std::string_view bytes;
};

struct Scene {
    std::uint8_t setup = 0;
    std::vector<Step> steps;
};

inline Scene ParseScene(const std::uint8_t* data, std::size_t size, std::string_view kinds,
                        char defaultKind) {
    Scene scene;
    if (size == 0) {
        return scene;
    }
    scene.setup = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto isKind = [&kinds](char c) { return kinds.find(c) != std::string_view::npos; };

    std::size_t begin = 0;
    char kind = defaultKind;
    if (!rest.empty() && isKind(rest[0])) {
        kind = rest[0];
        begin = 1;
    }
    for (std::size_t at = begin; at <= rest.size(); ++at) {
        const bool end = at == rest.size();
        if (end || (rest[at] == '\n' && at + 1 < rest.size() && isKind(rest[at + 1]))) {
            scene.steps.push_back({kind, rest.substr(begin, at - begin)});
            if (!end) {
                kind = rest[at + 1];
                begin = at + 2;
                ++at;
            }
        }
    }
    return scene;
}

// Aborts the run when a property that must hold is broken; the fuzzer reports it as a crash, with the
// input that broke it.
[[noreturn]] inline void Broken(const char* property) {
    std::fprintf(stderr, "broken: %s\n", property);
    std::abort();
}

inline void Expect(bool holds, const char* property) {
    if (!holds) {
        Broken(property);
    }
}

}  // namespace lut::fuzz
