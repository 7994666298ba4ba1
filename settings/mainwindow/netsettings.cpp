#include "netsettings.h"

StatusTexts StatusBlockTexts(const QByteArray &level1)
{
    StatusTexts texts;
    const QString dot = QStringLiteral(".");
    if (level1.size() >= 12)
        texts.mac = FormatBytes(QStringLiteral("-"), "%.2X", level1.mid(6, 6));
    if (level1.size() >= 16)
        texts.ip = FormatBytes(dot, "%d", level1.mid(12, 4));
    if (level1.size() >= 20)
        texts.subnet = FormatBytes(dot, "%d", level1.mid(16, 4));
    if (level1.size() >= 24)
        texts.gateway = FormatBytes(dot, "%d", level1.mid(20, 4));
    return texts;
}
