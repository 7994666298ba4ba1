// The library against a board that answers wrongly: every reply is untrusted input.
#include "crc32.h"
#include "ihexwriter.h"
#include "messages.h"
#include "packet.h"
#include "qorethwtesthelpers.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>

using namespace qorproto;

namespace {

// A board of the test's own making, on a loopback address, answering each request as told.
class FakeBoard
{
public:
    // Returns the datagram to send back, or nothing.
    using Answer = std::function<std::vector<std::uint8_t>(const Packet &)>;

    explicit FakeBoard(Answer answer) : answer_(std::move(answer))
    {
        address_ = unusedLoopbackAddress(port_);
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port_);
        ::inet_pton(AF_INET, address_.toLatin1().constData(), &a.sin_addr);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        thread_ = std::thread([this] { run(); });
    }
    ~FakeBoard()
    {
        stop_ = true;
        thread_.join();
        for (auto &flooder : flooders_)
            flooder.join();
        ::close(fd_);
    }
    bool isBound() const { return bound_; }
    // From the next request on, datagrams of this content arrive without pause.
    void floodWith(std::vector<std::uint8_t> bytes)
    {
        std::lock_guard<std::mutex> lock(floodMutex_);
        flood_ = std::move(bytes);
    }
    QString host() const { return address_ + QStringLiteral(":") + QString::number(port_); }

    static std::vector<std::uint8_t> helloReply(const Packet &request, std::uint16_t window = 64)
    {
        HelloReply r;
        r.session = 77;
        r.flashSize = 65536;
        r.chunkSize = 1024;
        r.window = window;
        return encodeReplyTo(request, encodeHelloReply(r));
    }

private:
    void run()
    {
        std::uint8_t buffer[2048];
        while (!stop_) {
            {
                std::lock_guard<std::mutex> lock(floodMutex_);
                if (!flood_.empty() && floodLength_ && flooders_.empty()) {
                    // Faster than one reader drains them, so the queue is never empty.
                    for (int t = 0; t < 3; ++t)
                        flooders_.emplace_back(
                            [this, bytes = flood_, to = floodTo_, length = floodLength_] {
                                while (!stop_)
                                    ::sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                             reinterpret_cast<const sockaddr *>(&to), length);
                            });
                }
            }
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, flood_.empty() ? 20 : 0) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&from), &length);
            Packet request;
            if (n <= 0 || !decodePacket(buffer, std::size_t(n), request))
                continue;
            {
                std::lock_guard<std::mutex> lock(floodMutex_);
                floodTo_ = from;
                floodLength_ = length;
            }
            const auto out = answer_(request);
            if (!out.empty())
                ::sendto(fd_, out.data(), out.size(), 0, reinterpret_cast<sockaddr *>(&from),
                         length);
        }
    }

    Answer answer_;
    quint16 port_ = 20977;
    QString address_;
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> flooders_;
    std::mutex floodMutex_;
    std::vector<std::uint8_t> flood_;
    sockaddr_in floodTo_{};
    socklen_t floodLength_ = 0;
};

std::vector<std::uint8_t> statusReplyOf(const std::vector<std::uint8_t> &body)
{
    return encodeReply(kBoardOk, body.data(), body.size());
}

// A board that takes a deferred upload of 1 KiB chunks behind a link that loses data datagrams
// number loseFrom .. loseTo (from 0); one that lies takes no chunk yet says the end is done.
struct UploadBoard
{
    int loseFrom = 0, loseTo = -1;
    bool lies = false;
    std::vector<std::uint8_t> image;
    std::vector<bool> got;
    std::size_t contiguous = 0;
    int data = 0;

    std::vector<std::uint8_t> answer(const Packet &p)
    {
        if (p.command() == Command::Hello) {
            HelloReply r;
            r.session = 77;
            r.flashSize = 1 << 20;
            r.chunkSize = 1024;
            r.window = 1024;
            return encodeReplyTo(p, encodeHelloReply(r));
        }
        if (p.command() == Command::Train) // as an older board: no session 0
            return encodeReplyTo(p, encodeReply(kBoardNoSession));
        if (p.command() == Command::UploadBegin || (lies && p.command() == Command::UploadEnd))
            return encodeReplyTo(p, encodeReply(kBoardOk));
        if (p.command() == Command::UploadEnd) {
            UploadEnd e;
            if (!decodeUploadEnd(p.payload, e) || contiguous * 1024 < e.size)
                return encodeReplyTo(p, ack(kBoardIncomplete));
            image.resize(e.size);
            return encodeReplyTo(
                p,
                encodeReply(crc32(image.data(), e.size) == e.crc ? kBoardOk : kBoardCrcMismatch));
        }
        UploadData d;
        const int n = data++;
        if (lies || (n >= loseFrom && n <= loseTo) || !decodeUploadData(p.payload, d))
            return {};
        const std::size_t i = d.offset / 1024;
        image.resize(std::max(image.size(), d.offset + d.size));
        std::memcpy(image.data() + d.offset, d.data, d.size);
        got.resize(std::max(got.size(), i + 1));
        got[i] = true;
        while (contiguous < got.size() && got[contiguous])
            ++contiguous;
        return encodeReplyTo(p, ack(kBoardOk));
    }
    std::vector<std::uint8_t> ack(std::uint32_t status) const
    {
        UploadAck a;
        a.status = status;
        a.contiguous = std::uint32_t(contiguous);
        a.extended = true;
        a.arrivalUs = std::uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
        for (std::size_t c = contiguous + 1; c < got.size(); ++c) {
            const std::size_t bit = c - contiguous - 1;
            if (got[c] && bit < 64)
                a.bitmap |= std::uint64_t(1) << bit;
            else if (got[c]) {
                a.more.resize(std::max(a.more.size(), (bit - 64) / 8 + 1));
                a.more[(bit - 64) / 8] |= std::uint8_t(1u << ((bit - 64) % 8));
            }
        }
        return encodeUploadAck(a);
    }
};

} // namespace

class TestQorethwReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void malformedStatusReplyIsAnError_data();
    void malformedStatusReplyIsAnError();
    void corruptedDatagramsAreIgnoredUntilTheBound();
    void unendingStrayDatagramsDoNotHoldACallPastItsBound_data();
    void unendingStrayDatagramsDoNotHoldACallPastItsBound();
    void malformedHelloReplyFailsConnect_data();
    void malformedHelloReplyFailsConnect();
    void boardErrorInReplyGivesBadNetRespAndCode();
    void lateReplyToEarlierRequestIsIgnored();
    void uploadOverLossyOrLyingBoard_data();
    void uploadOverLossyOrLyingBoard();
};

void TestQorethwReplies::initTestCase()
{
    qputenv("QORETHW_LOOPBACK_ONLY", "1");
    qputenv("QORETHW_TIMEOUT_MS", "500");
}

void TestQorethwReplies::malformedStatusReplyIsAnError_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<uint>("level");
    QTest::addColumn<uint>("result");
    const auto block = [](int size) { return QByteArray(size, '\x11'); };
    const auto withStatus = [](const QByteArray &body) { return QByteArray(4, '\0') + body; };
    QTest::newRow("no status word") << QByteArray("\0\0", 2) << 0u << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("block over 256 bytes")
        << withStatus(block(300)) << 0u << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("level 1 without its byte in front")
        << withStatus(block(23)) << 1u << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("level 1 empty") << withStatus(QByteArray()) << 1u << uint(QEW_ERROR_READ_FAULT);
    QTest::newRow("larger than the buffer")
        << withStatus(block(100)) << 0u << uint(QEW_ERROR_BAD_LENGTH);
    QTest::newRow("short block passed on") << withStatus(block(5)) << 0u << 0u;
}

void TestQorethwReplies::malformedStatusReplyIsAnError()
{
    QFETCH(QByteArray, payload);
    QFETCH(uint, level);
    QFETCH(uint, result);
    const std::vector<std::uint8_t> body(payload.begin(), payload.end());
    FakeBoard board([&](const Packet &p) {
        if (p.command() == Command::Hello)
            return FakeBoard::helloReply(p);
        return encodeReplyTo(p, body);
    });
    QVERIFY(board.isBound());
    Connection connection(connectTo(board.host()));
    QVERIFY(connection);
    QByteArray buffer(64, '\x5A'); // the caller says 32: nothing may land beyond
    int32_t length = 32;
    QCOMPARE(QEW_GetStatusEx(connection.get(), level, &length,
                             reinterpret_cast<uint8_t *>(buffer.data())),
             uint32_t(result));
    QCOMPARE(buffer.mid(32), QByteArray(32, '\x5A'));
    if (result == 0)
        QCOMPARE(length, int32_t(payload.size() - 4));
    else
        QCOMPARE(buffer.left(32), QByteArray(32, '\x5A'));
}

void TestQorethwReplies::corruptedDatagramsAreIgnoredUntilTheBound()
{
    FakeBoard board([](const Packet &p) {
        if (p.command() == Command::Hello)
            return FakeBoard::helloReply(p);
        auto bytes = encodeReplyTo(p, statusReplyOf(std::vector<std::uint8_t>(23, 1)));
        bytes[20] ^= 0x40; // CRC no longer matches
        return bytes;
    });
    QVERIFY(board.isBound());
    Connection connection(connectTo(board.host()));
    QVERIFY(connection);
    uint32_t result = 0;
    const qint64 took = timedReadStatus(connection.get(), &result);
    QCOMPARE(result, QEW_ERROR_TIMEOUT);
    QVERIFY(took < 3000);
}

void TestQorethwReplies::unendingStrayDatagramsDoNotHoldACallPastItsBound_data()
{
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("corrupted") << false;
    QTest::newRow("another session's replies") << true;
}

void TestQorethwReplies::unendingStrayDatagramsDoNotHoldACallPastItsBound()
{
    QFETCH(bool, wellFormed);
    FakeBoard board([](const Packet &p) {
        if (p.command() == Command::Hello)
            return FakeBoard::helloReply(p);
        return std::vector<std::uint8_t>(); // never answers anything else
    });
    QVERIFY(board.isBound());
    Connection connection(connectTo(board.host()));
    QVERIFY(connection);
    Packet stray;
    stray.type = std::uint8_t(Command::Status) | kReplyBit;
    stray.session = 1234; // not ours
    stray.payload = statusReplyOf(std::vector<std::uint8_t>(23, 1));
    auto bytes = encodePacket(stray);
    if (!wellFormed)
        bytes[20] ^= 0x40;
    board.floodWith(bytes);
    QElapsedTimer timer;
    timer.start();
    uint32_t result = 0;
    int error = 0;
    // The caller at the lowest priority: the strays then outpace it, as on a busy board's
    // network, and its queue is never empty when the deadline comes.
    std::thread caller([&] {
        ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
        errno = 0;
        readStatus(connection.get(), &result);
        error = errno;
    });
    caller.join();
    QCOMPARE(result, QEW_ERROR_TIMEOUT);
    QCOMPARE(error, ETIMEDOUT);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

void TestQorethwReplies::malformedHelloReplyFailsConnect_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("window 0") << 0;
    QTest::newRow("chunk too small") << 1;
    QTest::newRow("truncated") << 2;
}

void TestQorethwReplies::malformedHelloReplyFailsConnect()
{
    QFETCH(int, variant);
    FakeBoard board([variant](const Packet &p) {
        if (variant == 0)
            return FakeBoard::helloReply(p, 0);
        HelloReply r;
        r.session = 5;
        r.chunkSize = 10;
        r.window = 8;
        auto payload = encodeHelloReply(r);
        if (variant == 2)
            payload.resize(9);
        return encodeReplyTo(p, payload);
    });
    QVERIFY(board.isBound());
    errno = 0;
    QCOMPARE(connectTo(board.host()), nullptr);
    QCOMPARE(errno, EPROTO);
}

void TestQorethwReplies::boardErrorInReplyGivesBadNetRespAndCode()
{
    FakeBoard board([](const Packet &p) {
        if (p.command() == Command::Hello)
            return FakeBoard::helloReply(p);
        return encodeReplyTo(p, encodeReply(1234));
    });
    QVERIFY(board.isBound());
    Connection connection(connectTo(board.host()));
    QVERIFY(connection);
    errno = 0;
    QCOMPARE(QEW_ChangeNetworking(connection.get(), "127.0.0.5", "255.0.0.0", "127.0.0.1"),
             QEW_ERROR_BAD_NET_RESP);
    QCOMPARE(errno, 1234);
}

void TestQorethwReplies::lateReplyToEarlierRequestIsIgnored()
{
    FakeBoard board([](const Packet &p) {
        if (p.command() == Command::Hello)
            return FakeBoard::helloReply(p);
        // Answers each request with the reply meant for the one before it.
        Packet stale = p;
        stale.sequence = p.sequence - 1;
        return encodeReplyTo(stale, statusReplyOf(std::vector<std::uint8_t>(23, 2)));
    });
    QVERIFY(board.isBound());
    Connection connection(connectTo(board.host()));
    QVERIFY(connection);
    uint32_t result = 0;
    readStatus(connection.get(), &result);
    QCOMPARE(result, QEW_ERROR_TIMEOUT);
}

void TestQorethwReplies::uploadOverLossyOrLyingBoard_data()
{
    QTest::addColumn<int>("kib");
    QTest::addColumn<int>("loseTo");
    QTest::addColumn<bool>("lies");
    QTest::addColumn<uint>("result");
    // The first burst lost but its first six chunks, and every chunk and probe after it for a
    // while: what is in flight must go again, though no probe was ever answered.
    QTest::newRow("first burst and what follows lost") << 256 << 120 << false << 0u;
    QTest::newRow("end taken, no chunk confirmed") << 10 << -1 << true << 30u;
}

void TestQorethwReplies::uploadOverLossyOrLyingBoard()
{
    QFETCH(int, kib);
    QFETCH(int, loseTo);
    QFETCH(bool, lies);
    QFETCH(uint, result);
    ihex::Image hex;
    hex.segments.push_back({0x08000000, std::vector<std::uint8_t>(std::size_t(kib) * 1024)});
    for (std::size_t i = 0; i < hex.segments[0].bytes.size(); ++i)
        hex.segments[0].bytes[i] = std::uint8_t(i * 7 + i / 1024);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("image.hex")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(ihex::write(hex)));
    file.close();
    // The library's own bound: single probes back off past it, on a busy host too.
    qputenv("QORETHW_TIMEOUT_MS", "3000");
    const auto restore = qScopeGuard([] { qputenv("QORETHW_TIMEOUT_MS", "500"); });
    UploadBoard state;
    state.loseFrom = 6;
    state.loseTo = loseTo;
    state.lies = lies;
    {
        FakeBoard board([&](const Packet &p) { return state.answer(p); });
        QVERIFY(board.isBound());
        Connection connection(connectTo(board.host(), QEW_MODE_UPLOAD));
        QVERIFY(connection);
        QCOMPARE(QEW_UploadFirmwareFile(connection.get(), qPrintable(file.fileName())),
                 uint32_t(result));
    }
    if (result == 0)
        QVERIFY(state.image == hex.segments[0].bytes);
}

QTEST_GUILESS_MAIN(TestQorethwReplies)
#include "tst_qorethwreplies.moc"
