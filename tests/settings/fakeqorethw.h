// The stand-in device library's test controls, resolved from the very library the window bound.
#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>
#include <cstdint>

class FakeQorethw
{
public:
    // variant: the build's folder name under FAKE_QORETHW_ROOT, e.g. "full" or "no-getstatus".
    static QString folder(const QString &variant);

    explicit FakeQorethw(const QString &variant);
    bool loaded() const { return m_log != nullptr; }

    void reset();
    QString log() const;
    // The status block (without the level-1 byte in front); reported < 0 reports what was written.
    void setStatus(const QByteArray &block, int reported = -1);
    void setReply(const QByteArray &reply);
    enum Call { Status = 0, ChangeNetworking = 1, StrToStr = 2 };
    void setResult(Call call, uint32_t result);
    // hook runs inside each library call, with the call's log line.
    void setHook(void (*hook)(const char *call));

private:
    QLibrary m_library;
    void (*m_reset)() = nullptr;
    const char *(*m_log)() = nullptr;
    void (*m_setStatus)(const uint8_t *, int, int) = nullptr;
    void (*m_setReply)(const uint8_t *, int) = nullptr;
    void (*m_setResult)(int, uint32_t) = nullptr;
    void (*m_setHook)(void (*)(const char *)) = nullptr;
};
