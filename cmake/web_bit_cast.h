// Force-included into the web build's C++ (cmake/web.cmake): emscripten 3.1.6's
// C++ library has no std::bit_cast, which the engine uses; its compiler has the
// builtin the standard one is made of.
#pragma once
#include <version>
#if !defined(__cpp_lib_bit_cast)
#include <type_traits>
namespace std {
template <class To, class From>
    requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
