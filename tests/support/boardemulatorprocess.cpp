#include "boardemulatorprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

quint16 defaultPort()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("QORETHW_PORT", &ok);
    return ok && port > 0 && port < 65536 ? quint16(port) : quint16(20805);
}

// True when nobody holds address:port for UDP yet.
bool addressFree(const QString &address, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    const bool parsed = ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) == 1;
    const bool free = parsed && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return free;
}

} // namespace

BoardEmulatorProcess::BoardEmulatorProcess(QStringList extraArgs, QObject *parent)
    : QObject(parent), extraArgs_(std::move(extraArgs))
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    const QString port = optionValue(extraArgs_, QStringLiteral("--port"));
    port_ = port.isEmpty() ? defaultPort() : quint16(port.toUInt());
    address_ = optionValue(extraArgs_, QStringLiteral("--address"));
    fixedAddress_ = !address_.isEmpty();
    stateFile_ = optionValue(extraArgs_, QStringLiteral("--state"));
    if (stateFile_.isEmpty())
        stateFile_ = dir_.filePath(QStringLiteral("board.state"));
    firmwareFile_ = optionValue(extraArgs_, QStringLiteral("--firmware-out"));
    if (firmwareFile_.isEmpty())
        firmwareFile_ = dir_.filePath(QStringLiteral("firmware.bin"));
}

BoardEmulatorProcess::~BoardEmulatorProcess()
{
    stop();
}

QString BoardEmulatorProcess::optionValue(const QStringList &args, const QString &name)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

QString BoardEmulatorProcess::emulatorPath() const
{
    const QString fromEnv = qEnvironmentVariable("BOARD_EMULATOR");
    if (!fromEnv.isEmpty())
        return fromEnv;
#ifdef BOARD_EMULATOR_PATH
    if (QFileInfo::exists(QStringLiteral(BOARD_EMULATOR_PATH)))
        return QStringLiteral(BOARD_EMULATOR_PATH);
#endif
    return QCoreApplication::applicationDirPath() + QStringLiteral("/board-emulator");
}

QString BoardEmulatorProcess::freshAddress(quint16 port)
{
    auto *random = QRandomGenerator::global();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // 127.0.x.x is left to hand-started boards and the demo.
        const QString candidate = QStringLiteral("127.%1.%2.%3")
                                      .arg(random->bounded(1, 255))
                                      .arg(random->bounded(0, 256))
                                      .arg(random->bounded(1, 255));
        if (addressFree(candidate, port))
            return candidate;
    }
    return QString();
}

bool BoardEmulatorProcess::start(int timeoutMs)
{
    if (isRunning())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    // A restart after a move comes back where the board last listened.
    if (!listening_.isEmpty())
        address_ = listening_;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (address_.isEmpty()) {
            address_ = freshAddress(port_);
            if (address_.isEmpty()) {
                error_ = QStringLiteral("no free loopback address");
                return false;
            }
        }
        if (launch(int(deadline.remainingTime())))
            return true;
        // Someone else took the address between the check and the start: try another one.
        if (fixedAddress_ || !listening_.isEmpty() || deadline.hasExpired() ||
            !log().contains(QStringLiteral("cannot listen")))
            return false;
        address_.clear();
    }
    return false;
}

bool BoardEmulatorProcess::launch(int timeoutMs)
{
    QStringList args = extraArgs_;
    if (!args.contains(QStringLiteral("--address")))
        args << QStringLiteral("--address") << address_;
    if (!args.contains(QStringLiteral("--port")))
        args << QStringLiteral("--port") << QString::number(port_);
    if (!args.contains(QStringLiteral("--state")))
        args << QStringLiteral("--state") << stateFile_;
    if (!args.contains(QStringLiteral("--firmware-out")))
        args << QStringLiteral("--firmware-out") << firmwareFile_;
    output_.clear();
    listening_.clear();
    process_.start(emulatorPath(), args);
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = process_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (listening_.isEmpty()) {
        if (process_.state() == QProcess::NotRunning || deadline.hasExpired()) {
            readOutput();
            if (!listening_.isEmpty())
                break;
            error_ = QStringLiteral("the emulator did not start listening: ") + log();
            stop();
            return false;
        }
        process_.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 100)));
        readOutput();
    }
    return true;
}

void BoardEmulatorProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
    readOutput();
}

bool BoardEmulatorProcess::isRunning() const
{
    return process_.state() != QProcess::NotRunning;
}

bool BoardEmulatorProcess::waitForFinished(int timeoutMs)
{
    const bool finished =
        process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
    readOutput();
    return finished;
}

void BoardEmulatorProcess::readOutput() const
{
    if (process_.state() == QProcess::Running)
        process_.waitForReadyRead(0);
    const QByteArray more = process_.readAll();
    if (more.isEmpty())
        return;
    output_ += more;
    static const QRegularExpression listening(
        QStringLiteral("listening on (\\d+\\.\\d+\\.\\d+\\.\\d+):(\\d+)"));
    auto it = listening.globalMatch(QString::fromUtf8(more));
    while (it.hasNext())
        listening_ = it.next().captured(1);
}

QString BoardEmulatorProcess::address() const
{
    readOutput();
    return listening_.isEmpty() ? address_ : listening_;
}

QString BoardEmulatorProcess::hostText() const
{
    const QString host = address();
    return port_ == defaultPort() ? host : host + QLatin1Char(':') + QString::number(port_);
}

QByteArray BoardEmulatorProcess::firmware() const
{
    QFile file(firmwareFile_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString BoardEmulatorProcess::log() const
{
    readOutput();
    return QString::fromUtf8(output_);
}

bool BoardEmulatorProcess::waitForLog(const QString &text, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (log().contains(text))
            return true;
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return log().contains(text);
        process_.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 50)));
    }
}
