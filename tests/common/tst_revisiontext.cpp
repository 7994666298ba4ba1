// The revision readout's texts: revision words, hex dumps and the names of failed status reads.
#include "revisiontext.h"

#include <QTest>

class TestRevisionText : public QObject
{
    Q_OBJECT

private slots:
    void formatRevisionShowsMajorMinorAndPatch_data();
    void formatRevisionShowsMajorMinorAndPatch();
    void hexDigitUsesLowFourBits_data();
    void hexDigitUsesLowFourBits();
    void hexDumpGivesThreeCharactersPerByte_data();
    void hexDumpGivesThreeCharactersPerByte();
    void statusErrorTextNamesKnownErrors_data();
    void statusErrorTextNamesKnownErrors();
};

void TestRevisionText::formatRevisionShowsMajorMinorAndPatch_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("text");
    QTest::newRow("0x0100") << 0x0100 << "1.0";
    QTest::newRow("0x0123") << 0x0123 << "1.2.3";
    QTest::newRow("0x0210") << 0x0210 << "2.1";
    QTest::newRow("0x0AF5") << 0x0AF5 << "10.15.5";
    QTest::newRow("0x000F") << 0x000F << "0.0.15";
    QTest::newRow("0xFFFF") << 0xFFFF << "255.15.15";
    QTest::newRow("0x0101") << 0x0101 << "1.0.1";
    QTest::newRow("0x00F0") << 0x00F0 << "0.15";
    QTest::newRow("0x0000") << 0x0000 << "0.0";
}

void TestRevisionText::formatRevisionShowsMajorMinorAndPatch()
{
    QFETCH(int, word);
    QFETCH(QString, text);
    QCOMPARE(FormatRevision(word), text);
}

void TestRevisionText::hexDigitUsesLowFourBits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QChar>("digit");
    const char digits[] = "0123456789ABCDEF";
    for (int value = 0; value < 16; ++value)
        QTest::addRow("%d", value) << value << QChar(QLatin1Char(digits[value]));
    QTest::newRow("0x3A") << 0x3A << QChar(QLatin1Char('A'));
    QTest::newRow("0x1F0") << 0x1F0 << QChar(QLatin1Char('0'));
    QTest::newRow("-1") << -1 << QChar(QLatin1Char('F'));
}

void TestRevisionText::hexDigitUsesLowFourBits()
{
    QFETCH(int, value);
    QFETCH(QChar, digit);
    QCOMPARE(HexDigit(value), digit);
}

void TestRevisionText::hexDumpGivesThreeCharactersPerByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QByteArray() << "";
    QTest::newRow("one") << QByteArray("\x0A", 1) << "0A ";
    QTest::newRow("five") << QByteArray("\x00\x01\x02\x7F\x80", 5) << "00 01 02 7F 80 ";
    QTest::newRow("high") << QByteArray("\xFF\xC3", 2) << "FF C3 ";
}

void TestRevisionText::hexDumpGivesThreeCharactersPerByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(HexDump(bytes), text);
}

void TestRevisionText::statusErrorTextNamesKnownErrors_data()
{
    QTest::addColumn<uint>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("6") << 6u << "ERROR_INVALID_HANDLE";
    QTest::newRow("24") << 24u << "ERROR_BAD_LENGTH";
    QTest::newRow("30") << 30u << "ERROR_READ_FAULT";
    QTest::newRow("58") << 58u << "ERROR_BAD_NET_RESP";
    QTest::newRow("998") << 998u << "ERROR_NOACCESS";
    QTest::newRow("1460") << 1460u << "ERROR_TIMEOUT";
    QTest::newRow("2250") << 2250u << "ERROR_NOT_CONNECTED";
    QTest::newRow("87") << 87u << "Error 87";
    QTest::newRow("0") << 0u << "Error 0";
    QTest::newRow("max") << 0xFFFFFFFFu << "Error 4294967295";
}

void TestRevisionText::statusErrorTextNamesKnownErrors()
{
    QFETCH(uint, result);
    QFETCH(QString, text);
    QCOMPARE(StatusErrorText(result), text);
}

QTEST_MAIN(TestRevisionText)
#include "tst_revisiontext.moc"
