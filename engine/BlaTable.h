#pragma once

#include "engine/DeepNumbers.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Bilinear approximations along one reference orbit: entry (m, l) takes a pixel's
// difference dz from iteration m to m + l at once, dz' = A dz + B dc, wherever |dz| is
// below its radius R, so that thousands of iterations cost a few look-ups. Level k holds
// the entries of length 2^k that start at m = 1 + j 2^k; each is made of two of the level
// below. The derivation and the choice of the radii are in docs/deep-zoom.md.
template <class T> class TBlaTable {
public:
    struct TEntry {
        T AR, AI, BR, BI;
        T R; // Euclidean radius of validity
    };
    using TOrbit = std::vector<DeepNumbers::TComplex<T>>;

    // The largest dropped term against the term kept: 2^-40 (docs/deep-zoom.md).
    static constexpr double Epsilon = 1.0 / (std::int64_t{1} << 40);
    // Entries built between two looks at the stop and pause requests.
    static constexpr std::size_t PollEntries = 4096;

    // Builds the table of Orbit (Z_0 .. Z_N) for differences dc up to DcMax and escape
    // bound Limit on |z|^2. GoOn is asked now and then; false stops the build and leaves
    // the table empty.
    bool Build(const TOrbit& Orbit, const T& DcMax, const T& Limit,
               const std::function<bool()>& GoOn);

    // The longest entry that starts at m, is at most MaxLength long and holds dz, whose
    // larger part is DzNorm; nullptr when there is none. Length is set to its length.
    // Inline: a pixel looks once per step.
    const TEntry* Find(std::int32_t M, std::int32_t MaxLength, const T& DzNorm,
                       std::int32_t& Length) const {
        // |dz| <= sqrt(2) x its larger part.
        const T Bound = DzNorm * T(Sqrt2);
        // Once a pixel has left its reference, no entry holds it: one test says so.
        if (!(Bound < FLargestRadius))
            return nullptr;
        const TEntry* Best = nullptr;
        const auto Start = static_cast<std::uint32_t>(M - 1);
        for (std::size_t Level = 1; Level <= FLevels.size(); ++Level) {
            const std::int32_t Size = std::int32_t{1} << Level;
            if ((Start & static_cast<std::uint32_t>(Size - 1)) != 0 || Size > MaxLength)
                break;
            const auto& Entries = FLevels[Level - 1];
            const std::size_t Index = Start >> Level;
            // Radii shrink from level to level at one start, so the first miss ends it.
            if (Index >= Entries.size() || !(Bound < Entries[Index].R))
                break;
            Best = &Entries[Index];
            Length = Size;
        }
        return Best;
    }

    std::size_t Entries() const {
        std::size_t Count = 0;
        for (const auto& Level : FLevels)
            Count += Level.size();
        return Count;
    }
    std::size_t Bytes() const { return Entries() * sizeof(TEntry); }

private:
    static constexpr double Sqrt2 = 1.4142135623730951;

    std::vector<std::vector<TEntry>> FLevels;
    // Of all entries: those of level 1, whose radii the longer ones do not exceed.
    T FLargestRadius{};
};

template <class T>
bool TBlaTable<T>::Build(const TOrbit& Orbit, const T& DcMax, const T& Limit,
                         const std::function<bool()>& GoOn) {
    using namespace DeepNumbers;
    FLevels.clear();
    FLargestRadius = T{};
    const std::int32_t N = static_cast<std::int32_t>(Orbit.size()) - 1;
    const T Zero{};
    const T One(1.0);
    const T TwoEpsilon(2 * Epsilon);
    // An entry tests no z between its ends. Such a z lies within (1 + 2 Epsilon) |Z_k| of
    // the origin, so where that could pass the escape bound the entry must not reach over.
    const T Margin((1 + 4 * Epsilon) * (1 + 4 * Epsilon));
    const auto Safe = [&](std::int32_t K) {
        const T Squared = Orbit[K].Re * Orbit[K].Re + Orbit[K].Im * Orbit[K].Im;
        return Squared * Margin < Limit;
    };
    // One step at m: dz' = 2 Z_m dz + dc, leaving out dz^2, which stays below Epsilon
    // times the term kept while |dz| < 2 Epsilon |Z_m|.
    const auto Single = [&](std::int32_t M) {
        const T AR = Orbit[M].Re + Orbit[M].Re;
        const T AI = Orbit[M].Im + Orbit[M].Im;
        return TEntry{AR, AI, One, Zero, TwoEpsilon * Magnitude(Orbit[M].Re, Orbit[M].Im)};
    };
    // X from m, then Y from the index where X ends (Middle), as one entry.
    const auto Merge = [&](const TEntry& X, const TEntry& Y, std::int32_t Middle) {
        TEntry E;
        E.AR = Y.AR * X.AR - Y.AI * X.AI;
        E.AI = Y.AR * X.AI + Y.AI * X.AR;
        E.BR = Y.AR * X.BR - Y.AI * X.BI + Y.BR;
        E.BI = Y.AR * X.BI + Y.AI * X.BR + Y.BI;
        // dz must stay within X's radius, and what X makes of it within Y's.
        const T Reach = (Y.R - Magnitude(X.BR, X.BI) * DcMax) / Magnitude(X.AR, X.AI);
        E.R = Smaller(X.R, Larger(Zero, Reach));
        if (!(E.R > Zero) || !Safe(Middle))
            E.R = Zero;
        return E;
    };
    std::size_t Built = 0;
    const auto Poll = [&] { return ++Built % PollEntries != 0 || GoOn(); };
    // Level 1 from the single steps; each further level from pairs of the one below.
    for (std::int32_t Size = 2; Size <= N - 1; Size *= 2) {
        std::vector<TEntry> Level;
        Level.reserve(static_cast<std::size_t>((N - 1) / Size));
        for (std::int32_t M = 1; M + Size <= N; M += Size) {
            const std::int32_t Middle = M + Size / 2;
            if (Size == 2)
                Level.push_back(Merge(Single(M), Single(Middle), Middle));
            else {
                const auto& Below = FLevels.back();
                const std::size_t J =
                    static_cast<std::size_t>(M - 1) / static_cast<std::size_t>(Size);
                Level.push_back(Merge(Below[2 * J], Below[2 * J + 1], Middle));
            }
            if (!Poll()) {
                FLevels.clear();
                FLargestRadius = T{};
                return false;
            }
        }
        if (Level.empty())
            break;
        if (Size == 2)
            for (const TEntry& E : Level)
                FLargestRadius = Larger(FLargestRadius, E.R);
        FLevels.push_back(std::move(Level));
    }
    return true;
}
