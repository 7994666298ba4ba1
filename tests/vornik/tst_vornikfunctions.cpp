// The uploader's pure functions: the message font and the text file.
#include "messagefont.h"
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
