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

    const Mode m_mode;
    const QString m_command;
    std::FILE *m_out;
    std::mutex m_mutex;
    std::vector<Row> m_rows;
    std::vector<BoardResult> m_finished; // in the order they finished
    bool m_closed = false;
    int m_hostWidth = 0;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

QString resultText(const BoardResult &result);
