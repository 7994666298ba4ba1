#include "macchange.h"

#include "messages.h"

#include <algorithm>
#include <array>

namespace {

// Room for any reply the board sends to a raw command.
constexpr int32_t ReplyCapacity = 256;

} // namespace

QString MacChangeOutcome::failureText() const
{
    if (error != 0)
        return QStringLiteral("Error %1 changing the device's MAC address.").arg(error);
    if (refused)
        return QStringLiteral("Remote error %1 changing the device's MAC address.").arg(code);
    return QString();
}

MacChangeOutcome ChangeMac(QEW_DEB_StrToStr_t exchange, QEW_HANDLE handle, const QByteArray &mac,
                           const QString &arpAddress, const CommandRunner &run)
{
    qorproto::MacAddress bytes{};
    std::copy_n(mac.constData(), std::min<qsizetype>(mac.size(), qsizetype(bytes.size())),
                bytes.begin());
    const std::vector<std::uint8_t> command = qorproto::encodeMacChange(bytes);
    int32_t inLength = int32_t(command.size());
    std::array<uint8_t, ReplyCapacity> reply{};
    int32_t outLength = ReplyCapacity;
    MacChangeOutcome outcome;
    outcome.error = exchange(handle, &inLength, command.data(), &outLength, reply.data());

    ClearArpEntry(arpAddress, run);

    if (outcome.error == 0) {
        const auto answer = qorproto::decodeMacChangeReply(
            reply.data(), size_t(std::clamp(outLength, 0, ReplyCapacity)));
        outcome.refused = answer.refused;
        outcome.code = answer.code;
    }
    return outcome;
}
