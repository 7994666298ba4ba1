// The uploader's pure functions: revision texts, hex dumps, the message font and the text file.
#include "messagefont.h"
#include "revisiontext.h"
#include "textfile.h"
#include "vornikerror.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestVornikFunctions : public QObject
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
    void messageFontSizeRoundsHalvesToEven_data();
    void messageFontSizeRoundsHalvesToEven();
    void applyMessageFontTakesFaceAndPixelHeight();
    void applyMessageFontWithoutMessageFontFallsBackToTahoma();
    void writeTextFileWritesOneBytePerCharacter();
    void writeTextFileEmptiesAnExistingFile();
    void writeTextFileRefusesWhatIsNotItsOwnFile_data();
    void writeTextFileRefusesWhatIsNotItsOwnFile();
    void writeTextFileInMissingFolderFails();
};

void TestVornikFunctions::formatRevisionShowsMajorMinorAndPatch_data()
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

void TestVornikFunctions::formatRevisionShowsMajorMinorAndPatch()
{
    QFETCH(int, word);
    QFETCH(QString, text);
    QCOMPARE(FormatRevision(word), text);
}

void TestVornikFunctions::hexDigitUsesLowFourBits_data()
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

void TestVornikFunctions::hexDigitUsesLowFourBits()
{
    QFETCH(int, value);
    QFETCH(QChar, digit);
    QCOMPARE(HexDigit(value), digit);
}

void TestVornikFunctions::hexDumpGivesThreeCharactersPerByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QByteArray() << "";
    QTest::newRow("one") << QByteArray("\x0A", 1) << "0A ";
    QTest::newRow("five") << QByteArray("\x00\x01\x02\x7F\x80", 5) << "00 01 02 7F 80 ";
    QTest::newRow("high") << QByteArray("\xFF\xC3", 2) << "FF C3 ";
}

void TestVornikFunctions::hexDumpGivesThreeCharactersPerByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(HexDump(bytes), text);
}

void TestVornikFunctions::statusErrorTextNamesKnownErrors_data()
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

void TestVornikFunctions::statusErrorTextNamesKnownErrors()
{
    QFETCH(uint, result);
    QFETCH(QString, text);
    QCOMPARE(StatusErrorText(result), text);
}

void TestVornikFunctions::messageFontSizeRoundsHalvesToEven_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("size");
    QTest::newRow("-12") << -12 << 9;
    QTest::newRow("-11 (8.25)") << -11 << 8;
    QTest::newRow("-13 (9.75)") << -13 << 10;
    QTest::newRow("-14 (10.5)") << -14 << 10;
    QTest::newRow("-10 (7.5)") << -10 << 8;
    QTest::newRow("-18 (13.5)") << -18 << 14;
    QTest::newRow("-6 (4.5)") << -6 << 4;
    QTest::newRow("-16") << -16 << 12;
    QTest::newRow("2 (-1.5)") << 2 << -2;
}

void TestVornikFunctions::messageFontSizeRoundsHalvesToEven()
{
    QFETCH(int, height);
    QFETCH(int, size);
    QCOMPARE(MessageFontSize(height), size);
}

void TestVornikFunctions::applyMessageFontTakesFaceAndPixelHeight()
{
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    ApplyMessageFont(font, TMessageFont{QStringLiteral("DejaVu Sans"), -12});
    QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(font.pixelSize(), 9);

    // A face name longer than the system allows is cut at 32 characters.
    ApplyMessageFont(font, TMessageFont{QString(40, QLatin1Char('x')), -16});
    QCOMPARE(font.family(), QString(32, QLatin1Char('x')));
    QCOMPARE(font.pixelSize(), 12);
}

void TestVornikFunctions::applyMessageFontWithoutMessageFontFallsBackToTahoma()
{
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    ApplyMessageFont(font, std::nullopt);
    QCOMPARE(font.family(), QStringLiteral("Tahoma"));
    QCOMPARE(font.pixelSize(), 8);
}

void TestVornikFunctions::writeTextFileWritesOneBytePerCharacter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.hex"));
    WriteTextFile(QStringLiteral(":00000001FF\r\n\u00E9"), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(":00000001FF\r\n\xE9"));
}

void TestVornikFunctions::writeTextFileEmptiesAnExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.hex"));
    WriteTextFile(QString(1000, QLatin1Char('x')), path);
    WriteTextFile(QStringLiteral("short"), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("short"));
    WriteTextFile(QString(), path);
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestVornikFunctions::writeTextFileRefusesWhatIsNotItsOwnFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("symbolic link") << "link";
    QTest::newRow("folder") << "folder";
    QTest::newRow("second hard link") << "hardlink";
}

void TestVornikFunctions::writeTextFileRefusesWhatIsNotItsOwnFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("precious"));
    const QString path = dir.filePath(QStringLiteral("out.hex"));
    QFile precious(target);
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep me");
    precious.close();
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(target, path));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else
        QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()),
                 0);

    QString error;
    try {
        WriteTextFile(QStringLiteral("image"), path);
    } catch (const TVornikError &e) {
        error = e.text();
    }
    QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me"));
}

void TestVornikFunctions::writeTextFileInMissingFolderFails()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/out.hex"));
    QVERIFY_THROWS_EXCEPTION(TVornikError, WriteTextFile(QStringLiteral("x"), path));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestVornikFunctions)
#include "tst_vornikfunctions.moc"
