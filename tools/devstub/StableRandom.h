#pragma once

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>

// Deterministic numbers that are the same on every platform and Qt version,
// so a seed always replays the same season, goals and model answers.
class StableRandom
{
public:
    explicit StableRandom(std::uint64_t seed)
        : m_state(seed)
    {}

    std::uint64_t next()
    {
        // splitmix64
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // In [0, 1).
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

    // In [low, high].
    int between(int low, int high) { return low + int(next() % std::uint64_t(high - low + 1)); }

    int poisson(double mean)
    {
        const double limit = std::exp(-mean);
        double product = uniform();
        int count = 0;
        while (product > limit && count < 12) {
            ++count;
            product *= uniform();
        }
        return count;
    }

    // A well-mixed hash of a text and a seed (FNV-1a, then one splitmix step).
    static std::uint64_t hash(const QString &text, std::uint64_t seed = 0)
    {
        std::uint64_t h = 0xcbf29ce484222325ULL ^ seed;
        const QByteArray bytes = text.toUtf8();
        for (const char c : bytes) {
            h ^= std::uint8_t(c);
            h *= 0x100000001b3ULL;
        }
        return StableRandom(h).next();
    }

private:
    std::uint64_t m_state;
};
