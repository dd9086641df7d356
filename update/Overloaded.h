// A visitor made of lambdas, one per alternative of a variant: a missing alternative fails to compile.
#pragma once

namespace lut {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
// clang before 17 deduces no template arguments for an aggregate by itself.
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace lut
