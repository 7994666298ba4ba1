// Between the socket and the board: injected faults and a simulated link of given rate and
// latency, in both directions.
#pragma once

#include "board.h"
#include "options.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <queue>
#include <random>
#include <vector>

namespace emulator {

using Clock = std::chrono::steady_clock;

class LinkSimulator
{
public:
    enum Direction { Inbound = 0, Outbound = 1 };

    explicit LinkSimulator(const Options &options);

    void push(Direction direction, Datagram datagram, Clock::time_point now);
    // The next datagram whose time has come, if any, with the time it was due. The link runs on
    // those times, not on when this process happens to get the processor.
    bool takeDue(Clock::time_point now, Direction &direction, Datagram &datagram,
                 Clock::time_point &due);
    std::optional<Clock::time_point> nextDue() const;
    void clear();
    bool hasOutbound() const { return outbound_ > 0; }

private:
    struct Item
    {
        Clock::time_point due;
        std::uint64_t order;
        Direction direction;
        Datagram datagram;
        bool operator>(const Item &o) const { return due != o.due ? due > o.due : order > o.order; }
    };
    bool roll(double percent);
    // When a datagram of `bytes` entering the bottleneck at `now` leaves it; false to drop it.
    bool departure(Direction direction, std::size_t bytes, Clock::time_point now,
                   Clock::time_point &leaves);
    void schedule(Direction direction, Datagram datagram, Clock::time_point now);

    const Options &options_;
    std::mt19937 rng_;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue_;
    std::uint64_t order_ = 0;
    std::size_t outbound_ = 0;
    Clock::time_point linkFree_[2];
    double tokens_[2] = {-1, -1}; // the bucket's bytes at linkFree_; -1: full, never used
};

} // namespace emulator
