// The upload's rate controller alone, over simulated bottlenecks: chunks go as it paces them, a
// deep queue or a token bucket drops what finds it full, acknowledgements carry the board's
// arrival clock. Each path fails the controller that floods it or crawls on it.
#include "congestion.h"
#include "messages.h"

#include <QtTest>

#include <algorithm>
#include <deque>
#include <vector>

using namespace qorethw;
using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

constexpr double kFrameBits = 1500 * 8;

struct Path
{
    double mbit = 100, rttMs = 1, queueMs = 40;
    double burstKiB = 0;    // a token bucket of this burst; 0: a deep FIFO
    int halveAtMs = -1;     // the rate halves then
    int ackLossEvery = 0;   // every n-th acknowledgement lost
    int senders = 1;        // sharing the bottleneck, all starting at once
    int companions = 1;     // of them in one process, which know of each other
    double minFairness = 0; // of the senders' second halves (Jain's index)
    double trainMbit = 0;   // what a train during Connect showed; 0: none
    int lengthMs = 1000;
};

struct Result
{
    double share = 0;    // of what the link could carry
    double lost = 0;     // of the chunks sent
    double fairness = 1; // Jain's index of the senders' deliveries
};

Result simulate(const Path &path)
{
    const milliseconds length(path.lengthMs);
    const auto start = Clock::time_point(std::chrono::seconds(1000));
    const auto halfRtt =
        duration_cast<Clock::duration>(duration<double, std::milli>(path.rttMs / 2));
    struct Chunk
    {
        Clock::time_point sent, arrives; // arrives == {}: dropped
    };
    struct Sender
    {
        explicit Sender(int companions) : cc(16, 1024, std::size_t(companions)) {}
        RateController cc;
        std::deque<Chunk> flight;
        Clock::time_point nextSend, lastAck;
        std::uint64_t delivered = 0, acks = 0, settled = 0; // settled: by half time
        double lossShare = 0;
        Clock::duration minRtt = Clock::duration::max(), minOneWay = Clock::duration::max();
    };
    std::deque<Sender> senders;
    while (int(senders.size()) < path.senders)
        senders.emplace_back(path.companions);
    for (Sender &x : senders) {
        x.nextSend = x.lastAck = start;
        x.cc.startFromTrain(path.trainMbit * 1e6 / kFrameBits, halfRtt * 2, start);
    }
    Clock::time_point free = start;
    double tokens = path.burstKiB * 8192;
    std::uint64_t sent = 0, dropped = 0, delivered = 0;
    double capacityBits = 0;
    for (auto t = start; t < start + length; t += microseconds(20)) {
        if (t == start + length / 2)
            for (Sender &x : senders)
                x.settled = x.delivered;
        const bool halved = path.halveAtMs >= 0 && t - start >= milliseconds(path.halveAtMs);
        const double bitsPerUs = path.mbit * (halved ? 0.5 : 1);
        capacityBits += bitsPerUs * 20;
        for (Sender &x : senders) {
            const auto known = [&](std::size_t i) {
                return i < x.flight.size() && x.flight[i].arrives != Clock::time_point{} &&
                       x.flight[i].arrives + halfRtt <= t;
            };
            for (;;) {
                if (!x.flight.empty() && x.flight.front().arrives == Clock::time_point{} &&
                    known(1)) {
                    x.flight.pop_front(); // found lost by a later chunk's acknowledgement
                    x.lossShare += (1 - x.lossShare) / 64;
                    continue;
                }
                if (!known(0))
                    break;
                const Chunk c = x.flight.front();
                x.flight.pop_front();
                ++x.delivered;
                ++delivered;
                x.lossShare -= x.lossShare / 64;
                x.lastAck = t;
                x.minRtt = std::min(x.minRtt, t - c.sent);
                x.minOneWay = std::min(x.minOneWay, c.arrives - c.sent);
                if (!path.ackLossEvery || ++x.acks % path.ackLossEvery) {
                    // As the sender does: what the round trip exceeds the unloaded one by (as
                    // Connect measured it) is queue the least one-way delay was taken behind.
                    const auto hidden = std::clamp(x.minRtt - halfRtt * 2, Clock::duration(),
                                                   Clock::duration(milliseconds(20)));
                    x.cc.setPath(x.lossShare, c.arrives - c.sent - x.minOneWay + hidden);
                    x.cc.onDelivered(x.delivered, c.arrives, t, x.minRtt, false);
                }
            }
            if (!x.flight.empty() && t - x.lastAck > milliseconds(200)) {
                x.flight.clear(); // a probe time-out: what was in flight counts as lost
                x.cc.onTimeout();
                x.lastAck = t;
            }
            while (x.flight.size() < x.cc.window() && x.nextSend <= t) {
                ++sent;
                const auto begin = std::max(free, t);
                double need = kFrameBits / bitsPerUs; // microseconds of the rate
                if (path.burstKiB > 0) {
                    const double have = std::min(
                        path.burstKiB * 8192,
                        tokens + bitsPerUs * duration<double, std::micro>(begin - free).count());
                    need = std::max(0.0, kFrameBits - have) / bitsPerUs;
                    tokens = std::max(0.0, have - kFrameBits);
                }
                const auto leaves =
                    begin + duration_cast<Clock::duration>(duration<double, std::micro>(need));
                const bool fits = leaves - t <= duration<double, std::milli>(path.queueMs);
                x.flight.push_back({t, fits ? leaves + halfRtt : Clock::time_point{}});
                if (fits)
                    free = leaves;
                else
                    ++dropped;
                x.nextSend = std::max(x.nextSend, t - milliseconds(5)) + x.cc.interval();
            }
        }
    }
    double sum = 0, squares = 0;
    for (const Sender &x : senders) {
        const double late = double(x.delivered - x.settled);
        sum += late;
        squares += late * late;
    }
    return {double(delivered) * kFrameBits / capacityBits,
            double(dropped) / double(std::max<std::uint64_t>(sent, 1)),
            sum * sum / (double(senders.size()) * std::max(squares, 1.0))};
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestRateController : public QObject
{
    Q_OBJECT

private slots:
    void neitherFloodsNorCrawls_data();
    void neitherFloodsNorCrawls();
    void trainClaimsNoMoreThanItsStampsAndSendsShow_data();
    void trainClaimsNoMoreThanItsStampsAndSendsShow();
};

void TestRateController::neitherFloodsNorCrawls_data()
{
    QTest::addColumn<Path>("path");
    QTest::addColumn<double>("minShare");
    QTest::addColumn<double>("maxLost");
    QTest::newRow("deep queue") << Path{} << 0.85 << 0.01;
    QTest::newRow("shallow token bucket") << Path{100, 1, 20, 32} << 0.85 << 0.02;
    QTest::newRow("rate halved mid-upload") << Path{100, 1, 40, 0, 500} << 0.8 << 0.02;
    QTest::newRow("every third acknowledgement lost") << Path{100, 1, 40, 0, -1, 3} << 0.85 << 0.01;
    QTest::newRow("long path") << Path{100, 50, 60} << 0.8 << 0.01;
    // Paced from the first chunk at what Connect's train showed, the pipe stays full although
    // catching up on this host's lateness queues a few milliseconds.
    QTest::newRow("long path, four round trips from a train")
        << Path{100, 50, 60, 0, -1, 0, 1, 1, 0, 100, 200} << 0.7 << 0.01;
    // Twenty that begin in the same instant still lose a share of their first trains; a
    // controller that takes a train's rate for its own floods the bucket with most of it.
    QTest::newRow("20 senders, one token bucket")
        << Path{100, 1, 20, 32, -1, 0, 20} << 0.75 << 0.25;
    // Twenty uploads of one process share the port from the start, none of them starved.
    QTest::newRow("20 uploads of one process, one token bucket")
        << Path{100, 1, 20, 32, -1, 0, 20, 20, 0.8} << 0.9 << 0.05;
}

void TestRateController::neitherFloodsNorCrawls()
{
    QFETCH(Path, path);
    QFETCH(double, minShare);
    QFETCH(double, maxLost);
    const Result o = simulate(path);
    QVERIFY2(o.share >= minShare && o.lost <= maxLost && o.fairness >= path.minFairness,
             qPrintable(QStringLiteral("share %1, lost %2, fairness %3")
                            .arg(o.share)
                            .arg(o.lost)
                            .arg(o.fairness)));
}

void TestRateController::trainClaimsNoMoreThanItsStampsAndSendsShow_data()
{
    // Per answer: the packet's index, the board's arrival stamp and when this host sent it (us);
    // `answer`, when given, is every answer's payload instead.
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<QList<int>>("stampsUs");
    QTest::addColumn<QList<int>>("sentUs");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<double>("mbit"); // 0: no rate
    const QList<int> four{0, 1, 2, 3}, sent{0, 10, 20, 30};
    QTest::newRow("100 Mbit/s") << four << QList<int>{5, 125, 245, 365} << sent << QByteArray()
                                << 100.0;
    QTest::newRow("one lost, the clock wrapping")
        << QList<int>{0, 1, 3} << QList<int>{-125, -5, 235} << QList<int>{0, 10, 30} << QByteArray()
        << 100.0;
    QTest::newRow("claims 10 Gbit/s: what this host sent at")
        << four << QList<int>{5, 6, 7, 8} << QList<int>{0, 40, 80, 120} << QByteArray() << 300.0;
    QTest::newRow("stamps going back")
        << four << QList<int>{5, 125, 100, 365} << sent << QByteArray() << 0.0;
    QTest::newRow("one answer") << QList<int>{2} << QList<int>{5} << QList<int>{0} << QByteArray()
                                << 0.0;
    QTest::newRow("an older board: unknown session")
        << four << four << sent << QByteArray::fromHex("00000009") << 0.0;
    QTest::newRow("cut short") << four << four << sent << QByteArray::fromHex("0000000001000000")
                               << 0.0;
}

void TestRateController::trainClaimsNoMoreThanItsStampsAndSendsShow()
{
    QFETCH(QList<int>, indexes);
    QFETCH(QList<int>, stampsUs);
    QFETCH(QList<int>, sentUs);
    QFETCH(QByteArray, answer);
    QFETCH(double, mbit);
    std::vector<TrainEcho> echoes;
    for (int i = 0; i < indexes.size(); ++i) {
        std::vector<std::uint8_t> payload(answer.begin(), answer.end());
        if (answer.isEmpty())
            payload = qorproto::encodeTrainStamp(
                {0, std::uint8_t(indexes[i]), std::uint32_t(stampsUs[i])});
        qorproto::TrainStamp stamp;
        if (qorproto::decodeTrainStamp(payload, stamp) && stamp.status == 0)
            echoes.push_back({stamp.index, stamp.arrivalUs,
                              Clock::time_point(microseconds(1000000 + sentUs[i]))});
    }
    QCOMPARE(qRound(trainRate(echoes, 1500) * 8 / 1e6), qRound(mbit));
}

QTEST_GUILESS_MAIN(TestRateController)
#include "tst_ratecontroller.moc"
