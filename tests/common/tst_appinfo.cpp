// The programs' identity: anything but --help and --version (Qt's own options included) is left to
// QApplication, and each program's icon is built in at every size.
#include "appinfo.h"

#include <QGuiApplication>
#include <QIcon>
#include <QTest>

#include <vector>

class AppInfoTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLineLeavesAllElseToQApplication_data();
    void commandLineLeavesAllElseToQApplication();
    void identityBuiltInIconAtEverySize_data();
    void identityBuiltInIconAtEverySize();
};

void AppInfoTest::commandLineLeavesAllElseToQApplication_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList{};
    QTest::newRow("Qt's options") << QStringList{"-platform", "offscreen", "-style", "Fusion"};
    QTest::newRow("Qt's option with h and v in it") << QStringList{"-qwindowgeometry", "200x100"};
    QTest::newRow("a file") << QStringList{"board.hex"};
    QTest::newRow("after --") << QStringList{"--", "--help", "-v"};
}

void AppInfoTest::commandLineLeavesAllElseToQApplication()
{
    QFETCH(QStringList, arguments);
    std::vector<QByteArray> storage{QByteArray("program")};
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The answers themselves need an application of their own; the installed programs' check
    // (tests/install) asks them.
    const std::optional<int> status =
        AnswerCommandLine(int(argv.size() - 1), argv.data(), {"com.kestrune.Vornik", "Test."});
    QVERIFY(!status);
}

void AppInfoTest::identityBuiltInIconAtEverySize_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("settings") << "com.kestrune.BoardSettings";
    QTest::newRow("Vornik") << "com.kestrune.Vornik";
}

void AppInfoTest::identityBuiltInIconAtEverySize()
{
    QFETCH(QString, id);
    const QByteArray name = id.toUtf8();
    SetDesktopIdentity({name.constData(), "Test."});
    QCOMPARE(QGuiApplication::desktopFileName(), id);
    const QIcon icon = QGuiApplication::windowIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                 qPrintable(QString::number(size)));
}

QTEST_MAIN(AppInfoTest)
#include "tst_appinfo.moc"
