// How the tool tells a person or a program what happened: a progress bar per board on a
// terminal, plain lines otherwise, or one JSON document.
#pragma once

#include "boardjob.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

class Reporter
{
public:
    enum class Mode { Terminal, Lines, Json };

    Reporter(Mode mode, const QString &command, const QStringList &hosts, std::FILE *out);

    // Any thread.
    void progress(const QString &host, const QString &phase, quint64 done, quint64 total);
    void finished(const BoardResult &result);

    // After every job: the summary (text) or the document (JSON).
    void summarize(const std::vector<BoardResult> &results);
    // Instead of the summary when the run is cut short: what finished, what did not. Prints
    // nothing more after it, and nothing when the summary came first.
    void interrupted();

private:
    struct Row
    {
        QString host, phase;
        quint64 done = 0, total = 0;
        bool finished = false;
        bool ok = false;
        QString message;
    };
    Row *rowOf(const QString &host);
    QString rowText(const Row &row) const;
    void draw(bool force);
    void line(const QString &text);

    const Mode mode_;
    const QString command_;
    std::FILE *out_;
    std::mutex mutex_;
    std::vector<Row> rows_;
    std::vector<BoardResult> finished_; // in the order they finished
    bool closed_ = false;
    int hostWidth_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

QString resultText(const BoardResult &result);
