// A visitor made of lambdas, one per alternative of a variant: a missing alternative fails to compile.
#pragma once

namespace lut {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

}  // namespace lut
