// The network popup's text helpers, the MAC parse and the ARP clearing.
#include "arpentry.h"
#include "malformedmacs.h"
#include "netsettings.h"

#include <QTemporaryDir>
#include <QtTest>

class NetSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void formatBytes_data();
    void formatBytes();
    void splitText_data();
    void splitText();
    void bytesToInt_data();
    void bytesToInt();
    void parseMacAccepts_data();
    void parseMacAccepts();
    void parseMacRefuses_data();
    void parseMacRefuses();
    void statusTextsFollowLengthThresholds_data();
    void statusTextsFollowLengthThresholds();
    void plainIPv4_data();
    void plainIPv4();
    void arpClearingRunsPlatformCommandWithAddressAsOneArgument();
    void arpClearingRunsNothingForOtherTexts_data();
    void arpClearingRunsNothingForOtherTexts();
    void arpClearingNamesTheAddressTheLibraryConnectedTo_data();
    void arpClearingNamesTheAddressTheLibraryConnectedTo();
    void systemCommandIsNotWaitedForLongerThanASecond();
    void systemCommandMissingProgramIsIgnored();
};

void NetSettingsTest::formatBytes_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("mac") << "-"
                         << "%.2X" << QByteArray::fromHex("02000000000a") << "02-00-00-00-00-0A";
    QTest::newRow("ip") << "."
                        << "%d" << QByteArray::fromHex("c0a801ae") << "192.168.1.174";
    QTest::newRow("high bytes unsigned") << "."
                                         << "%d" << QByteArray::fromHex("ff80") << "255.128";
    QTest::newRow("empty") << "-"
                           << "%.2X" << QByteArray() << "";
    QTest::newRow("one byte, no separator") << "-"
                                            << "%.2X" << QByteArray::fromHex("ab") << "AB";
}

void NetSettingsTest::formatBytes()
{
    QFETCH(QString, separator);
    QFETCH(QString, pattern);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(FormatBytes(separator, pattern.toLatin1().constData(), bytes), expected);
}

void NetSettingsTest::splitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("plain") << "02-00-01" << QStringList{"02", "00", "01"};
    QTest::newRow("no separator") << "abc" << QStringList{"abc"};
    QTest::newRow("empty text") << "" << QStringList{""};
    QTest::newRow("trailing") << "1-2-" << QStringList{"1", "2", ""};
    QTest::newRow("leading and double") << "-1--2" << QStringList{"", "1", "", "2"};
}

void NetSettingsTest::splitText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QCOMPARE(SplitText(text, QLatin1Char('-')), pieces);
}

void NetSettingsTest::bytesToInt_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("value");
    QTest::newRow("none") << QByteArray() << 0u;
    QTest::newRow("one") << QByteArray::fromHex("05") << 5u;
    QTest::newRow("two") << QByteArray::fromHex("0500") << 5u;
    QTest::newRow("two little-endian") << QByteArray::fromHex("3412") << 0x1234u;
    QTest::newRow("three") << QByteArray::fromHex("563412") << 0x123456u;
    QTest::newRow("four") << QByteArray::fromHex("78563412") << 0x12345678u;
    QTest::newRow("more than four") << QByteArray::fromHex("ffffffffee") << 0xFFFFFFFFu;
}

void NetSettingsTest::bytesToInt()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, value);
    QCOMPARE(BytesToInt(bytes), value);
}

void NetSettingsTest::parseMacAccepts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("layout default") << "02-00-00-00-00-01" << QByteArray::fromHex("020000000001");
    QTest::newRow("short pieces with blanks")
        << "  2-0-0-0-0-a \t" << QByteArray::fromHex("02000000000a");
    QTest::newRow("blanks inside pieces' ends")
        << "02 - 00 -00- 00 -\t00\t- FF" << QByteArray::fromHex("0200000000ff");
    QTest::newRow("leading zeros") << "0000002-0-0-0-0-1" << QByteArray::fromHex("020000000001");
    QTest::newRow("mixed case") << "aB-Cd-eF-00-11-22" << QByteArray::fromHex("abcdef001122");
}

void NetSettingsTest::parseMacAccepts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QByteArray parsed;
    QString error;
    QVERIFY2(ParseMac(text, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed, bytes);
}

void NetSettingsTest::parseMacRefuses_data()
{
    AddMalformedMacRows("message", MacMessage::AsParsed);
}

void NetSettingsTest::parseMacRefuses()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QByteArray parsed = "untouched";
    QString error;
    QVERIFY(!ParseMac(text, &parsed, &error));
    QCOMPARE(error, message);
    QCOMPARE(parsed, QByteArray("untouched"));
}

void NetSettingsTest::statusTextsFollowLengthThresholds_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("subnet");
    QTest::addColumn<QString>("gateway");
    QTest::newRow("11") << 11 << QString() << QString() << QString() << QString();
    QTest::newRow("12") << 12 << "02-00-00-00-00-2A" << QString() << QString() << QString();
    QTest::newRow("16") << 16 << "02-00-00-00-00-2A"
                        << "127.0.0.9" << QString() << QString();
    QTest::newRow("23") << 23 << "02-00-00-00-00-2A"
                        << "127.0.0.9"
                        << "255.255.255.0" << QString();
    QTest::newRow("24") << 24 << "02-00-00-00-00-2A"
                        << "127.0.0.9"
                        << "255.255.255.0"
                        << "127.0.0.1";
    QTest::newRow("256") << 256 << "02-00-00-00-00-2A"
                         << "127.0.0.9"
                         << "255.255.255.0"
                         << "127.0.0.1";
}

void NetSettingsTest::statusTextsFollowLengthThresholds()
{
    QFETCH(int, length);
    QByteArray level1(256, '\x55');
    level1.replace(0, 24, QByteArray::fromHex("01000001000002000000002a7f000009ffffff007f000001"));
    const StatusTexts texts = StatusBlockTexts(level1.left(length));
    QTEST(texts.mac, "mac");
    QTEST(texts.ip, "ip");
    QTEST(texts.subnet, "subnet");
    QTEST(texts.gateway, "gateway");
}

void NetSettingsTest::plainIPv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("plain");
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("layout default") << "192.168.1.174" << true;
    QTest::newRow("top") << "255.255.255.255" << true;
    QTest::newRow("octet above 255") << "127.0.0.256" << false;
    QTest::newRow("short form") << "127.1" << false;
    QTest::newRow("with port") << "127.0.0.1:20805" << false;
    QTest::newRow("host name") << "localhost" << false;
    QTest::newRow("shell text") << "127.0.0.1 & del x" << false;
    QTest::newRow("option") << "-h" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("blank") << " 1.2.3.4" << false;
    QTest::newRow("four digits") << "1.2.3.0004" << false;
    QTest::newRow("IPv6") << "::1" << false;
}

void NetSettingsTest::plainIPv4()
{
    QFETCH(QString, text);
    QFETCH(bool, plain);
    QCOMPARE(IsPlainIPv4(text), plain);
}

void NetSettingsTest::arpClearingRunsPlatformCommandWithAddressAsOneArgument()
{
    QList<SystemCommand> runs;
    ClearArpEntry(QStringLiteral("127.0.0.7"), [&](const SystemCommand &c) { runs << c; });
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].program, QStringLiteral("ip"));
    QCOMPARE(runs[0].arguments, (QStringList{"neigh", "flush", "to", "127.0.0.7"}));
}

void NetSettingsTest::arpClearingRunsNothingForOtherTexts_data()
{
    plainIPv4_data();
}

void NetSettingsTest::arpClearingRunsNothingForOtherTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, plain);
    int runs = 0;
    ClearArpEntry(text, [&](const SystemCommand &) { ++runs; });
    QCOMPARE(runs, plain ? 1 : 0);
}

void NetSettingsTest::arpClearingNamesTheAddressTheLibraryConnectedTo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("argument");
    QTest::newRow("as typed") << "127.0.0.7"
                              << "127.0.0.7";
    // the library reads these parts as decimal; "ip" would read "010" as octal 8
    QTest::newRow("leading zeros") << "127.010.001.007"
                                   << "127.10.1.7";
    QTest::newRow("zeros only") << "127.00.000.1"
                                << "127.0.0.1";
}

void NetSettingsTest::arpClearingNamesTheAddressTheLibraryConnectedTo()
{
    QFETCH(QString, typed);
    QFETCH(QString, argument);
    QList<SystemCommand> runs;
    ClearArpEntry(typed, [&](const SystemCommand &c) { runs << c; });
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].arguments.last(), argument);
    QCOMPARE(runs[0].arguments.count(argument), 1);
}

void NetSettingsTest::systemCommandIsNotWaitedForLongerThanASecond()
{
    QTemporaryDir dir;
    const QString mark = dir.filePath(QStringLiteral("still-running"));
    QElapsedTimer clock;
    clock.start();
    // A command that would outlive the wait: it is stopped, so its mark never appears.
    RunSystemCommand({QStringLiteral("sh"),
                      {QStringLiteral("-c"), QStringLiteral("sleep 3; touch \"$0\""), mark}});
    // waited for the command a full second, not its three (loose above: shared machines stall)
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= 950 && waited < 2500, qPrintable(QString::number(waited)));
    QTest::qWait(3500);
    QVERIFY(!QFile::exists(mark));
}

void NetSettingsTest::systemCommandMissingProgramIsIgnored()
{
    QElapsedTimer clock;
    clock.start();
    RunSystemCommand({QStringLiteral("/nonexistent/program"), {QStringLiteral("127.0.0.1")}});
    QVERIFY(clock.elapsed() < 2500);
}

QTEST_GUILESS_MAIN(NetSettingsTest)
#include "tst_netsettings.moc"
