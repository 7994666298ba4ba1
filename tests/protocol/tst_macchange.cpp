// The MAC change's bytes, both ways: what the programs send, what the board reads back and answers.
#include "messages.h"

#include <QtTest>

using namespace qorproto;

namespace {

std::vector<std::uint8_t> bytes(const QByteArray &text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

} // namespace

class TestMacChange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandIsTagAndSixBytes_data();
    void commandIsTagAndSixBytes();
    void replyIsEmptyOrRefusalWithLittleEndianCode_data();
    void replyIsEmptyOrRefusalWithLittleEndianCode();
};

void TestMacChange::commandIsTagAndSixBytes_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("decoded");
    const QByteArray mac = QByteArray::fromHex("021122334455");
    QTest::newRow("change") << QByteArray("ChMC") + mac << true;
    QTest::newRow("one byte short") << QByteArray("ChMC") + mac.left(5) << false;
    QTest::newRow("one byte over") << QByteArray("ChMC") + mac + '\0' << false;
    QTest::newRow("other command") << QByteArray("ChIP") + mac << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestMacChange::commandIsTagAndSixBytes()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, decoded);
    MacAddress mac{};
    QCOMPARE(decodeMacChange(bytes(payload), mac), decoded);
    if (decoded)
        QCOMPARE(encodeMacChange(mac), bytes(payload));
}

void TestMacChange::replyIsEmptyOrRefusalWithLittleEndianCode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<uint>("code");
    QTest::addColumn<bool>("canonical"); // what the board itself sends
    QTest::newRow("done") << QByteArray() << false << 0u << true;
    QTest::newRow("refused 258") << QByteArray("_Err\x02\x01\x00\x00", 8) << true << 258u << true;
    QTest::newRow("other text") << QByteArray("OK") << false << 0u << false;
    QTest::newRow("tag cut short") << QByteArray("_Er") << false << 0u << false;
    QTest::newRow("no code") << QByteArray("_Err") << true << 0u << false;
    QTest::newRow("short code") << QByteArray("_Err\x05", 5) << true << 5u << false;
    QTest::newRow("long code") << QByteArray("_Err\x01\x02\x03\x04\x05", 9) << true << 0x04030201u
                               << false;
}

void TestMacChange::replyIsEmptyOrRefusalWithLittleEndianCode()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, refused);
    QFETCH(uint, code);
    QFETCH(bool, canonical);
    const auto data = bytes(body);
    const MacChangeReply reply = decodeMacChangeReply(data.data(), data.size());
    QCOMPARE(reply.refused, refused);
    QCOMPARE(uint(reply.code), code);
    if (canonical)
        QCOMPARE(encodeMacChangeReply(reply), data);
}

QTEST_MAIN(TestMacChange)
#include "tst_macchange.moc"
