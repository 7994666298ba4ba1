#include "fakeqorethw.h"

#include <QDir>

QString FakeQorethw::folder(const QString &variant)
{
    return QDir(QStringLiteral(FAKE_QORETHW_ROOT)).filePath(variant);
}

FakeQorethw::FakeQorethw(const QString &variant)
    : m_library(QDir(folder(variant)).filePath(QStringLiteral("QORETHW")))
{
    if (!m_library.load())
        return;
    m_reset = reinterpret_cast<void (*)()>(m_library.resolve("FakeQEW_Reset"));
    m_setStatus = reinterpret_cast<void (*)(const uint8_t *, int, int)>(
        m_library.resolve("FakeQEW_SetStatus"));
    m_setReply =
        reinterpret_cast<void (*)(const uint8_t *, int)>(m_library.resolve("FakeQEW_SetReply"));
    m_setResult = reinterpret_cast<void (*)(int, uint32_t)>(m_library.resolve("FakeQEW_SetResult"));
    m_setHook =
        reinterpret_cast<void (*)(void (*)(const char *))>(m_library.resolve("FakeQEW_SetHook"));
    if (m_reset && m_setStatus && m_setReply && m_setResult && m_setHook)
        m_log = reinterpret_cast<const char *(*)()>(m_library.resolve("FakeQEW_Log"));
}

void FakeQorethw::reset()
{
    m_reset();
}

QString FakeQorethw::log() const
{
    return QString::fromLatin1(m_log());
}

void FakeQorethw::setStatus(const QByteArray &block, int reported)
{
    m_setStatus(reinterpret_cast<const uint8_t *>(block.constData()), int(block.size()), reported);
}

void FakeQorethw::setReply(const QByteArray &reply)
{
    m_setReply(reinterpret_cast<const uint8_t *>(reply.constData()), int(reply.size()));
}

void FakeQorethw::setResult(Call call, uint32_t result)
{
    m_setResult(int(call), result);
}

void FakeQorethw::setHook(void (*hook)(const char *call))
{
    m_setHook(hook);
}
