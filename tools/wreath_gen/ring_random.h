// A small seeded generator of our own: the std distributions differ from one standard
// library to the next, and the tables must not.
#pragma once

#include <cstdint>

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1), from the top 53 bits.
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Between(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    // -1 or +1.
    double Sign() { return (Next() >> 63) ? 1.0 : -1.0; }

private:
    std::uint64_t m_state;
};
