#pragma once
// Under the sanitizers a whole run is many times slower; the long tables then take a sample.

#include <cstddef>

namespace orv::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Whether the k-th of count cases runs: all of them natively, every fifth (and the last)
// under the sanitizers.
inline bool Sampled(std::size_t k, std::size_t count) {
    return !kSanitized || k % 5 == 1 || k == count;
}

} // namespace orv::testing
