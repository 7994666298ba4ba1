// How long the upload waits before it probes, how much it keeps in flight and how fast it sends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace qorethw {

using Clock = std::chrono::steady_clock;

// From this round trip on, startup fills the pipe at once at a train's rate: learning the rate
// over the upload's own round trips would cost much of the time.
constexpr std::chrono::milliseconds kLongPath{10};

// Smoothed round trip and its variation as TCP keeps them (RFC 6298), and the least seen.
class RttEstimator
{
public:
    void sample(Clock::duration rtt);
    bool valid() const { return valid_; }
    Clock::duration srtt() const;
    Clock::duration minRtt() const;
    // Silence that makes the sender probe (RFC 8985's PTO: two smoothed round trips, and never
    // less than the RFC 6298 timeout would be without its one-second floor).
    Clock::duration probeTimeout() const;

private:
    bool valid_ = false;
    Clock::duration srtt_{}, rttvar_{}, min_{};
};

// A delivery-rate controller in the manner of BBR (Cardwell et al., "BBR: Congestion-Based
// Congestion Control", ACM Queue 14(5), 2016): the bottleneck's rate is the highest delivery
// rate measured lately, the round trip the least; the sender paces at that rate times a gain
// that cycles (1.25 to probe for more, 0.75 to drain what the probe queued, then 1) and keeps
// at most two bandwidth-delay products in flight. Random loss does not lower the rate; the
// bounded amount in flight keeps the bottleneck's queue short.
class RateController
{
public:
    // `companions`: Companion::count() as this upload begins (read again until a rate is
    // measured, as others begin a moment later). They share the first window and the startup
    // rate instead of each throwing a whole window at the port's queue.
    RateController(std::size_t initialWindow, std::size_t maxWindow, std::size_t companions = 1);

    // `delivered` chunks have arrived in total, the last of them at `arrival` (the board's clock
    // when it reports one: then neither the return path nor this process's wake-ups blur it).
    // appLimited: the sender had nothing new to send, so the rate measured may be short of
    // what the path carries; it is taken only if it is higher than the estimate.
    void onDelivered(std::uint64_t delivered, Clock::time_point arrival, Clock::time_point now,
                     Clock::duration minRtt, bool appLimited);
    // What the path shows besides the rate: the share of chunks lost lately and how long the
    // bottleneck's queue is (the one-way delay above its least, on the board's clock).
    //
    // A queue of a few milliseconds is kept on purpose: it keeps the link busy while this host
    // or the board is late to run, which a sender paced at exactly the bottleneck's rate cannot
    // make up for. Random loss on a path whose queue stays that short is no sign of a full
    // bottleneck, yet a lost chunk arrives nowhere, so sending is scaled up by the share lost; a
    // queue that has grown cancels both, so a bottleneck that drops at its tail is never pressed.
    void setPath(double lossShare, Clock::duration queue);
    // Starts from what an earlier upload over the same path measured: paced at that rate (shared
    // with the uploads under way) from the first chunk, so a long path's first round trip carries
    // data. Measurements replace it within ten round trips, as they do any other.
    void resume(double chunksPerSecond, Clock::duration minRtt, Clock::time_point now);
    // Starts from the rate a train during Connect showed, on a path whose round trip (Connect's)
    // is long enough that learning it from the upload's own round trips costs much: paced at it
    // (shared with the uploads under way) with two round trips' worth in flight. False, and
    // nothing changed, on a short path or without a rate.
    bool startFromTrain(double chunksPerSecond, Clock::duration rtt, Clock::time_point now);
    // The board said nothing for two probe time-outs and what was in flight counts as lost:
    // until the next delivery no more than the first window goes out, at the rate measured
    // before.
    void onTimeout();
    // Chunks allowed in flight.
    std::size_t window() const { return window_; }
    // Time between two chunks; zero while the rate is unknown (the first window goes at once).
    Clock::duration interval() const { return interval_; }
    // Chunks per second; 0 while unknown.
    double bandwidth() const;

private:
    struct Point
    {
        Clock::time_point at;
        std::uint64_t delivered;
    };
    struct Sample
    {
        Clock::time_point at;
        double rate;
    };
    void recompute(Clock::time_point now, Clock::duration minRtt, bool expire);
    // Uploads that began since this one count from then on; none that ended is forgotten.
    std::size_t countCompanions();

    std::size_t companions_;
    const std::size_t initialWindow_, maxWindow_;
    std::deque<Point> history_;
    std::deque<Sample> maxFilter_; // decreasing rates, newest last
    Sample latest_{};              // the last rate measured, whatever the filter kept
    std::size_t window_;
    Clock::duration interval_{};
    Clock::time_point phaseStart_{};
    int phase_ = 0;
    double lossFactor_ = 1;
    Clock::duration queue_{};
    std::uint64_t delivered_ = 0;
    double trainRate_ = 0; // chunks per second in the first arrival trains
};

// One packet of a rate train sent during Connect: its index, its arrival on the board's clock and
// when this host sent it.
struct TrainEcho
{
    std::uint8_t index = 0;
    std::uint32_t arrivalUs = 0;
    Clock::time_point sent;
};
// Bytes per second the train crossed the path at (`bytes`: one packet as the link carries it);
// 0 when its stamps show nothing to trust. Never more than this host sent it at, whatever the
// board claims.
double trainRate(std::vector<TrainEcho> echoes, std::size_t bytes);

// An upload under way in this process, or a session opened for uploads. They leave through the
// same port, so they share the first window and the startup rate (ensemble sharing, RFC 9040).
class Companion
{
public:
    Companion();
    ~Companion();
    Companion(const Companion &) = delete;
    Companion &operator=(const Companion &) = delete;
    // Companions in this process, this one included.
    static std::size_t count();
};

// What the last upload to a destination measured (as TCP keeps per-destination metrics), for
// the next upload over the same path; forgotten after a while, as paths change.
struct PathMetrics
{
    double bytesPerSecond = 0;
    Clock::duration minRtt{};
};
bool recallPath(std::uint64_t destination, PathMetrics &metrics);
void rememberPath(std::uint64_t destination, const PathMetrics &metrics);

} // namespace qorethw
