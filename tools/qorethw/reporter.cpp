#include "reporter.h"

#include "revisiontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int kBarWidth = 24;
// A terminal redrawn more often than this only flickers.
constexpr std::chrono::milliseconds kRedrawEvery{100};

QString revisionText(int word)
{
    return word < 0 ? QString() : FormatRevision(word);
}

QJsonObject resultObject(const BoardResult &r)
{
    QJsonObject o;
    o[QStringLiteral("host")] = r.host;
    o[QStringLiteral("ok")] = r.ok;
    o[QStringLiteral("error")] = qint64(r.error);
    o[QStringLiteral("message")] = r.message;
    if (r.hasStatus) {
        o[QStringLiteral("revision")] = revisionText(r.revision);
        o[QStringLiteral("mac")] = r.mac;
        o[QStringLiteral("ip")] = r.ip;
        o[QStringLiteral("subnet")] = r.subnet;
        o[QStringLiteral("gateway")] = r.gateway;
        o[QStringLiteral("bootstrapped")] = r.bootstrapped;
    } else if (r.revision >= 0 || r.revisionAfter >= 0) {
        o[QStringLiteral("revision")] = revisionText(r.revision);
        o[QStringLiteral("revisionAfter")] = revisionText(r.revisionAfter);
    } else if (!r.mac.isEmpty()) {
        o[QStringLiteral("mac")] = r.mac;
    }
    return o;
}

// The document of a run: its command, the results in order and how many failed.
QJsonObject summaryObject(const QString &command, const std::vector<BoardResult> &results)
{
    QJsonArray list;
    int failed = 0;
    for (const BoardResult &r : results) {
        list.append(resultObject(r));
        failed += r.ok ? 0 : 1;
    }
    QJsonObject doc;
    doc[QStringLiteral("command")] = command;
    doc[QStringLiteral("ok")] = failed == 0;
    doc[QStringLiteral("succeeded")] = int(results.size()) - failed;
    doc[QStringLiteral("failed")] = failed;
    doc[QStringLiteral("results")] = list;
    return doc;
}

QString documentText(const QJsonObject &doc)
{
    return QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)).trimmed();
}

} // namespace

QString resultText(const BoardResult &r)
{
    if (!r.ok)
        return QStringLiteral("failed: %1").arg(r.message);
    if (r.hasStatus)
        return QStringLiteral("revision %1, MAC %2, IP %3, subnet %4, gateway %5%6")
            .arg(revisionText(r.revision), r.mac, r.ip, r.subnet, r.gateway,
                 r.bootstrapped ? QStringLiteral(", bootstrapped") : QString());
    if (r.revisionAfter >= 0)
        return QStringLiteral("%1 Revision %2 -> %3.")
            .arg(r.message, r.revision < 0 ? QStringLiteral("unknown") : revisionText(r.revision),
                 revisionText(r.revisionAfter));
    return r.message;
}

Reporter::Reporter(Mode mode, const QString &command, const QStringList &hosts, std::FILE *out)
    : mode_(mode), command_(command), out_(out)
{
    for (const QString &host : hosts) {
        rows_.push_back({host, QStringLiteral("waiting"), 0, 0, false, false, {}});
        hostWidth_ = std::max(hostWidth_, int(host.size()));
    }
}

Reporter::Row *Reporter::rowOf(const QString &host)
{
    for (Row &row : rows_)
        if (row.host == host)
            return &row;
    return nullptr;
}

void Reporter::line(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

QString Reporter::rowText(const Row &row) const
{
    const QString host = row.host.leftJustified(hostWidth_);
    if (row.finished)
        return QStringLiteral("%1  %2").arg(host, row.ok
                                                      ? QStringLiteral("done: ") + row.message
                                                      : QStringLiteral("FAILED: ") + row.message);
    if (row.total == 0)
        return QStringLiteral("%1  %2").arg(host, row.phase);
    const int filled = int(row.done * kBarWidth / row.total);
    const int percent = int(row.done * 100 / row.total);
    return QStringLiteral("%1  [%2%3] %4%  %5 %6/%7 KiB")
        .arg(host, QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('-')))
        .arg(percent, 3)
        .arg(row.phase)
        .arg(row.done / 1024)
        .arg(row.total / 1024);
}

void Reporter::draw(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < kRedrawEvery)
        return;
    lastDraw_ = now;
    QString text;
    if (drawn_)
        text += QStringLiteral("\x1b[%1A").arg(rows_.size());
    for (const Row &row : rows_)
        text += QStringLiteral("\r\x1b[2K") + rowText(row) + QLatin1Char('\n');
    drawn_ = true;
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fflush(out_);
}

void Reporter::progress(const QString &host, const QString &phase, quint64 done, quint64 total)
{
    if (mode_ == Mode::Json)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    Row *row = rowOf(host);
    if (!row || closed_)
        return;
    if (mode_ == Mode::Lines) {
        // A line per phase and per quarter: enough for a log, not a flood.
        const int before = row->total ? int(row->done * 4 / row->total) : -1;
        const int after = total ? int(done * 4 / total) : -1;
        if (phase != row->phase || (total && after != before && (after > 0)))
            line(total ? QStringLiteral("%1: %2 %3%").arg(host, phase).arg(done * 100 / total)
                       : QStringLiteral("%1: %2").arg(host, phase));
    }
    row->phase = phase;
    row->done = done;
    row->total = total;
    if (mode_ == Mode::Terminal)
        draw(false);
}

void Reporter::finished(const BoardResult &result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(result);
    Row *row = rowOf(result.host);
    if (mode_ == Mode::Json || closed_ || !row)
        return;
    row->finished = true;
    row->ok = result.ok;
    row->message = resultText(result);
    if (!result.ok)
        row->message = result.message;
    if (mode_ == Mode::Lines)
        line(QStringLiteral("%1: %2").arg(result.host, resultText(result)));
    else
        draw(true);
}

void Reporter::summarize(const std::vector<BoardResult> &results)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_)
        return;
    closed_ = true;
    int failed = 0;
    for (const BoardResult &r : results)
        failed += r.ok ? 0 : 1;
    if (mode_ == Mode::Json) {
        line(documentText(summaryObject(command_, results)));
        return;
    }
    if (mode_ == Mode::Terminal)
        draw(true);
    line(QStringLiteral("%1 board%2: %3 succeeded, %4 failed")
             .arg(results.size())
             .arg(results.size() == 1 ? QString() : QStringLiteral("s"))
             .arg(int(results.size()) - failed)
             .arg(failed));
    for (const BoardResult &r : results)
        if (!r.ok)
            line(QStringLiteral("  %1: error %2: %3").arg(r.host).arg(r.error).arg(r.message));
}

void Reporter::interrupted()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_)
        return;
    closed_ = true;
    QStringList unfinished;
    for (const Row &row : rows_)
        if (!row.finished)
            unfinished << row.host;
    const auto failed = std::count_if(finished_.begin(), finished_.end(),
                                      [](const BoardResult &r) { return !r.ok; });
    if (mode_ == Mode::Json) {
        QJsonObject doc = summaryObject(command_, finished_);
        doc[QStringLiteral("ok")] = false;
        doc[QStringLiteral("interrupted")] = true;
        doc[QStringLiteral("unfinished")] = QJsonArray::fromStringList(unfinished);
        line(documentText(doc));
        return;
    }
    if (mode_ == Mode::Terminal)
        draw(true);
    line(QStringLiteral("interrupted: %1 of %2 boards finished (%3 failed); not finished: %4")
             .arg(finished_.size())
             .arg(rows_.size())
             .arg(failed)
             .arg(unfinished.isEmpty() ? QStringLiteral("none")
                                       : unfinished.join(QLatin1Char(' '))));
}
