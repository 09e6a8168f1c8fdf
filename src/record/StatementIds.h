#pragma once

#include <QUuid>

#include <cstring>
#include <unordered_set>

// Statement ids kept apart by all of their 16 bytes. Qt's own hash of a
// QUuid folds its fields together with XOR, so ids that differ only in a
// counter (as another tool or a made-up log writes them) fall into a few
// buckets, and a year of a class's answers took minutes to tell apart.
struct StatementIdHash {
    std::size_t operator()(const QUuid& id) const noexcept
    {
        static_assert(sizeof(QUuid) == 16);
        quint64 half[2];
        std::memcpy(half, &id, sizeof half);
        return mix(half[0] ^ mix(half[1]));
    }

private:
    // The finishing step of splitmix64: every input bit reaches every
    // output bit.
    static quint64 mix(quint64 x)
    {
        x += 0x9e3779b97f4a7c15ULL;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return x ^ (x >> 31);
    }
};

using StatementIdSet = std::unordered_set<QUuid, StatementIdHash>;
