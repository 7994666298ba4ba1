#include "congestion.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>

namespace qorethw {

using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

constexpr auto kFirstProbe = milliseconds(200);
constexpr auto kMinProbe = milliseconds(2);
// Delivery rates are measured over at least this much of the board's clock, and over at least
// a round trip with the queue: a bottleneck that several senders share serves each one's chunks
// in trains at its full rate, and only a longer look shows the share.
constexpr auto kMinSpan = microseconds(1000);
// In flight beyond two bandwidth-delay products: room for this host's and the board's
// scheduling, which a round trip of a millisecond or less does not show.
constexpr auto kSchedulingAllowance = milliseconds(10);
constexpr std::size_t kMinWindow = 4;
// The fewest chunks in a first window, and sent a round trip.
constexpr std::size_t kFewestChunks = 2;
constexpr double kAddedPerRound = 1;
constexpr double kGains[] = {1.25, 0.75, 1, 1, 1, 1, 1, 1};
constexpr double kMaxLossCompensated = 0.25;
constexpr auto kQueueTarget = milliseconds(5);
// The gains of the cruising phases while the queue is below its target, and above twice that.
constexpr double kQueueBuildGain = 1.1;
constexpr double kQueueDrainGain = 0.9;

// A path's metrics are trusted this long; a path that has changed since costs one start from a
// wrong rate at most.
constexpr auto kPathMemory = std::chrono::minutes(10);
constexpr std::size_t kMaxPaths = 1024;

struct RememberedPath
{
    PathMetrics metrics;
    Clock::time_point at;
};

std::mutex pathsMutex;
std::map<std::uint64_t, RememberedPath> paths;

std::atomic<std::size_t> companions{0};

} // namespace

Companion::Companion()
{
    ++companions;
}

Companion::~Companion()
{
    --companions;
}

std::size_t Companion::count()
{
    return companions;
}

bool recallPath(std::uint64_t destination, PathMetrics &metrics)
{
    std::lock_guard<std::mutex> lock(pathsMutex);
    const auto it = paths.find(destination);
    if (it == paths.end() || Clock::now() - it->second.at > kPathMemory)
        return false;
    metrics = it->second.metrics;
    return true;
}

void rememberPath(std::uint64_t destination, const PathMetrics &metrics)
{
    std::lock_guard<std::mutex> lock(pathsMutex);
    if (paths.size() >= kMaxPaths && !paths.count(destination)) {
        auto oldest = paths.begin();
        for (auto it = paths.begin(); it != paths.end(); ++it)
            if (it->second.at < oldest->second.at)
                oldest = it;
        paths.erase(oldest);
    }
    paths[destination] = {metrics, Clock::now()};
}

double trainRate(std::vector<TrainEcho> echoes, std::size_t bytes)
{
    std::sort(echoes.begin(), echoes.end(),
              [](const TrainEcho &a, const TrainEcho &b) { return a.index < b.index; });
    echoes.erase(
        std::unique(echoes.begin(), echoes.end(),
                    [](const TrainEcho &a, const TrainEcho &b) { return a.index == b.index; }),
        echoes.end());
    if (echoes.size() < 2)
        return 0;
    // Packets sent in order arrive in order; stamps that go back or leap a second are no clock
    // to measure by.
    std::int64_t boardUs = 0;
    for (std::size_t i = 1; i < echoes.size(); ++i) {
        const std::int32_t step = std::int32_t(echoes[i].arrivalUs - echoes[i - 1].arrivalUs);
        if (step < 0 || step > 1000000)
            return 0;
        boardUs += step;
    }
    // Arrivals closer than the sends were is a board's claim no link makes true.
    const double seconds = std::max(
        double(boardUs) / 1e6, duration<double>(echoes.back().sent - echoes.front().sent).count());
    if (!(seconds > 0))
        return 0;
    return double(echoes.back().index - echoes.front().index) * double(bytes) / seconds;
}

void RttEstimator::sample(Clock::duration rtt)
{
    if (!valid_) {
        srtt_ = rtt;
        rttvar_ = rtt / 2;
        min_ = rtt;
        valid_ = true;
        return;
    }
    const Clock::duration delta = srtt_ > rtt ? srtt_ - rtt : rtt - srtt_;
    rttvar_ = (rttvar_ * 3 + delta) / 4;
    srtt_ = (srtt_ * 7 + rtt) / 8;
    min_ = std::min(min_, rtt);
}

Clock::duration RttEstimator::srtt() const
{
    return valid_ ? srtt_ : Clock::duration(kFirstProbe) / 2;
}

Clock::duration RttEstimator::minRtt() const
{
    return valid_ ? min_ : Clock::duration(kFirstProbe) / 2;
}

Clock::duration RttEstimator::probeTimeout() const
{
    if (!valid_)
        return kFirstProbe;
    return std::max({srtt_ * 2, srtt_ + rttvar_ * 4, Clock::duration(kMinProbe)});
}

RateController::RateController(std::size_t initialWindow, std::size_t maxWindow,
                               std::size_t companions)
    : companions_(std::max<std::size_t>(companions, 1)),
      initialWindow_(std::min(std::max(initialWindow / companions_, kFewestChunks), maxWindow)),
      maxWindow_(maxWindow), window_(initialWindow_)
{
}

double RateController::bandwidth() const
{
    return maxFilter_.empty() ? 0 : maxFilter_.front().rate;
}

void RateController::onDelivered(std::uint64_t delivered, Clock::time_point arrival,
                                 Clock::time_point now, Clock::duration minRtt, bool appLimited)
{
    if (!history_.empty() && arrival < history_.back().at)
        return; // a late acknowledgement, overtaken by a newer one
    history_.push_back({arrival, delivered});
    // The rate over the shortest stretch of at least the span that ends here.
    const auto span = std::max(Clock::duration(kMinSpan), minRtt + queue_);
    while (history_.size() > 2 && arrival - history_[1].at >= span)
        history_.pop_front();
    const Point &from = history_.front();
    if (arrival - from.at >= span && delivered > from.delivered) {
        const double seconds = duration<double>(arrival - from.at).count();
        const double rate = double(delivered - from.delivered) / seconds;
        latest_ = {now, rate};
        if (!appLimited || rate > bandwidth()) {
            while (!maxFilter_.empty() && maxFilter_.back().rate <= rate)
                maxFilter_.pop_back();
            maxFilter_.push_back({now, rate});
        }
    } else if (maxFilter_.empty()) {
        // Until a whole span has passed, the first chunks' arrival train (over kMinSpan) shows
        // the bottleneck's own rate: startup paces at it, its window growing as slow start.
        auto it = history_.rbegin();
        while (it != history_.rend() && arrival - it->at < kMinSpan)
            ++it;
        if (it != history_.rend() && delivered > it->delivered)
            trainRate_ = std::max(trainRate_, double(delivered - it->delivered) /
                                                  duration<double>(arrival - it->at).count());
    }
    delivered_ = delivered;
    recompute(now, minRtt, !appLimited);
}

bool RateController::startFromTrain(double chunksPerSecond, Clock::duration rtt,
                                    Clock::time_point now)
{
    if (!(chunksPerSecond > 0) || rtt < kLongPath)
        return false;
    trainRate_ = chunksPerSecond;
    recompute(now, rtt, false);
    return true;
}

void RateController::resume(double chunksPerSecond, Clock::duration minRtt, Clock::time_point now)
{
    // What one upload measured alone is shared with the uploads under way beside it.
    maxFilter_.push_back({now, chunksPerSecond / double(countCompanions())});
    recompute(now, minRtt, false);
}

std::size_t RateController::countCompanions()
{
    companions_ = std::max(companions_, Companion::count());
    return companions_;
}

void RateController::onTimeout()
{
    history_.clear(); // a rate over the silence would be the silence's
    window_ = initialWindow_;
}

void RateController::setPath(double lossShare, Clock::duration queue)
{
    queue_ = queue;
    lossFactor_ =
        queue < kQueueTarget * 2 ? 1 / (1 - std::clamp(lossShare, 0.0, kMaxLossCompensated)) : 1;
}

void RateController::recompute(Clock::time_point now, Clock::duration minRtt, bool expire)
{
    // The bottleneck's rate is the highest seen over about ten round trips (of measurements
    // that could show it).
    const auto keep = std::max(Clock::duration(minRtt * 10), Clock::duration(milliseconds(30)));
    while (expire && maxFilter_.size() > 1 && now - maxFilter_.front().at > keep)
        maxFilter_.pop_front();
    // A queue past twice its target says the highest rates seen are more than the path gives
    // now (a shared one gives each sender its share): the latest measurement stands alone.
    if (queue_ > kQueueTarget * 2 && maxFilter_.size() > 1 && latest_.rate > 0)
        maxFilter_.assign(1, latest_);
    const double bw = bandwidth();
    if (bw <= 0) {
        // No rate yet: grow as slow start, on a short path paced at the window once a round trip
        // with its queue, so that many starting at once do not burst into a shared bucket. A long
        // path's first train, if it queued nowhere, fills the pipe at once at the train's rate
        // (shared with the uploads beside it): there a round trip of slow start costs much.
        std::size_t window = initialWindow_ + std::size_t(delivered_);
        const bool queued = queue_ >= kQueueTarget;
        if (queued)
            window = std::min(window, window_); // a queue has grown: slow start has found enough
        const auto round = std::max(minRtt + queue_, Clock::duration(kMinSpan));
        const std::size_t companions = countCompanions();
        if (minRtt < kLongPath) {
            interval_ = duration_cast<Clock::duration>(round / double(window));
        } else if (trainRate_ > 0) {
            // A queue past twice its target says the train showed more than the path gives.
            const double rate =
                trainRate_ / double(companions) * (queue_ > kQueueTarget * 2 ? kQueueDrainGain : 1);
            interval_ = duration_cast<Clock::duration>(duration<double>(1 / rate));
            const auto fill = std::size_t(std::ceil(rate * duration<double>(minRtt * 2).count()));
            // Queued, a full pipe keeps what it has in flight, never slow start's count.
            window = queued ? std::min(std::max(window, fill), window_) : std::max(window, fill);
        }
        window_ = std::min(maxWindow_, window);
        return;
    }
    const auto phaseLength = std::max(minRtt, Clock::duration(milliseconds(2)));
    if (phaseStart_ == Clock::time_point{}) {
        phaseStart_ = now;
        phase_ = 0;
    } else if (now - phaseStart_ >= phaseLength) {
        phaseStart_ = now;
        phase_ = (phase_ + 1) % int(std::size(kGains));
    }
    const double window =
        lossFactor_ * bw * duration<double>(minRtt * 2 + kSchedulingAllowance).count();
    window_ = std::clamp<std::size_t>(std::size_t(std::ceil(window)), kMinWindow, maxWindow_);
    double gain = kGains[phase_];
    if (gain == 1 && queue_ < kQueueTarget)
        gain = kQueueBuildGain;
    else if (gain == 1 && queue_ > kQueueTarget * 2)
        gain = kQueueDrainGain; // what the first window or a probe left queued
    // Never slower than a couple of chunks a round trip: a sender whose rate collapsed while a
    // crowd filled the queue would otherwise crawl on long after the crowd has gone.
    const double round = duration<double>(minRtt + queue_).count();
    const double floor = double(kFewestChunks) / round;
    // Every sender adds the same chunk a round trip to what it measured, which raises a small
    // share more than a large one, while a long queue scales all of them down alike: senders
    // that share a bottleneck converge on equal shares, as additive increase and multiplicative
    // decrease make them (Chiu and Jain, 1989).
    const double added = kAddedPerRound / round;
    interval_ = duration_cast<Clock::duration>(
        duration<double>(1 / std::max(bw * gain * lossFactor_ + added, floor)));
}

} // namespace qorethw
