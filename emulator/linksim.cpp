#include "linksim.h"

#include <algorithm>

namespace emulator {

namespace {

// IP and UDP headers travel on the link too.
constexpr std::size_t kIpUdpOverhead = 28;

} // namespace

LinkSimulator::LinkSimulator(const Options &options)
    : options_(options), rng_(options.seed ? options.seed : std::random_device{}())
{
}

bool LinkSimulator::roll(double percent)
{
    if (percent <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 100)(rng_) < percent;
}

void LinkSimulator::push(Direction direction, Datagram datagram, Clock::time_point now)
{
    if (roll(options_.dropPct))
        return;
    if (roll(options_.duplicatePct))
        schedule(direction, datagram, now);
    schedule(direction, std::move(datagram), now);
}

bool LinkSimulator::departure(Direction direction, std::size_t bytes, Clock::time_point now,
                              Clock::time_point &leaves)
{
    using namespace std::chrono;
    const double bytesPerUs = options_.linkMbit / 8;
    const auto us = [](double v) {
        return duration_cast<Clock::duration>(duration<double, std::micro>(v));
    };
    Clock::time_point &free = linkFree_[direction];
    const auto start = std::max(free, now);
    if (!options_.linkBurstBytes) {
        // A deep FIFO of linkQueueBytes that drops at its tail.
        const auto backlog = free > now ? free - now : Clock::duration::zero();
        if (backlog + us(double(bytes) / bytesPerUs) > us(options_.linkQueueBytes / bytesPerUs))
            return false;
        free = leaves = start + us(double(bytes) / bytesPerUs);
        return true;
    }
    // A token bucket in front of a line much faster than its rate: a datagram leaves once the
    // bucket holds its bytes, in arrival order.
    const double burst = options_.linkBurstBytes;
    double &tokens = tokens_[direction];
    const double at =
        tokens < 0
            ? burst
            : std::min(burst,
                       tokens + bytesPerUs * duration<double, std::micro>(start - free).count());
    const auto wait = start - now + us(std::max(0.0, double(bytes) - at) / bytesPerUs);
    if (wait > us(options_.linkQueueMs * 1000))
        return false;
    leaves = now + wait;
    tokens = std::max(0.0, at - double(bytes)); // what the bucket holds as it leaves
    free = leaves;
    return true;
}

void LinkSimulator::schedule(Direction direction, Datagram datagram, Clock::time_point now)
{
    using namespace std::chrono;
    Clock::time_point due = now;
    if (options_.linkMbit > 0) {
        if (!departure(direction, datagram.bytes.size() + kIpUdpOverhead, now, due))
            return;
        due += duration_cast<Clock::duration>(
            duration<double, std::milli>(options_.linkLatencyMs / 2));
    }
    if (direction == Outbound && options_.delayMs > 0)
        due += milliseconds(options_.delayMs);
    if (roll(options_.reorderPct))
        due += microseconds(std::uniform_int_distribution<int>(1000, 5000)(rng_));
    if (direction == Outbound)
        ++outbound_;
    queue_.push(Item{due, order_++, direction, std::move(datagram)});
}

bool LinkSimulator::takeDue(Clock::time_point now, Direction &direction, Datagram &datagram,
                            Clock::time_point &due)
{
    if (queue_.empty() || queue_.top().due > now)
        return false;
    // priority_queue::top is const; the copy is small next to a datagram's trip.
    Item item = queue_.top();
    queue_.pop();
    if (item.direction == Outbound)
        --outbound_;
    direction = item.direction;
    datagram = std::move(item.datagram);
    due = item.due;
    return true;
}

std::optional<Clock::time_point> LinkSimulator::nextDue() const
{
    if (queue_.empty())
        return std::nullopt;
    return queue_.top().due;
}

void LinkSimulator::clear()
{
    queue_ = {};
    outbound_ = 0;
}

} // namespace emulator
