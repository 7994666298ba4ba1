#include "rtfreader.h"

#include <QGuiApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

struct Run
{
    QString text;
    bool bold;
    double points;
    QColor colour;
    QStringList families;
};

QList<Run> runsOf(const QTextBlock &block)
{
    QList<Run> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const QTextCharFormat fmt = f.charFormat();
        runs.append(
            {f.text(), fmt.fontWeight() >= QFont::Bold, fmt.fontPointSize(),
             fmt.hasProperty(QTextFormat::ForegroundBrush) ? fmt.foreground().color() : QColor(),
             fmt.fontFamilies().toStringList()});
    }
    return runs;
}

QStringList blockTexts(const QTextDocument &doc)
{
    QStringList texts;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        texts << b.text();
    return texts;
}

const QByteArray Header =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fprq2\\fcharset0 "
    "Verdana;}}{\\colortbl\\red64\\green64\\blue64;\\red255\\green255\\blue64;"
    "\\red64\\green64\\blue255;\\red255\\green64\\blue64;}\\viewkind4\\uc1\\pard\\f0\\cf0\r\n";

const QColor DarkGrey(64, 64, 64);
const QColor Yellow(255, 255, 64);
const QColor Blue(64, 64, 255);

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titleIsBoldSixteenPointVerdanaInTheFirstColour();
    void paragraphsAreSeparatedByEmptyLines();
    void colouredBoldRunsTakeTheTableColours();
    void groupsRestoreTheFormattingAround();
    void escapes_data();
    void escapes();
    void unknownWordsAndDestinationsAreSkipped();
    void notRtfIsKeptAsPlainText();
    void malformedInputIsReadAsFarAsItGoes_data();
    void malformedInputIsReadAsFarAsItGoes();
    void deepNestingKeepsTheTextInside();
    void readingReplacesTheDocument();
};

void TestRtfReader::titleIsBoldSixteenPointVerdanaInTheFirstColour()
{
    QTextDocument doc;
    QVERIFY(RtfReader::read(
        Header + "\\fs32 {\\b Kestrune Board Settings Program}\\fs24\r\n\\par\\par Body.}", &doc));
    const QList<Run> runs = runsOf(doc.begin());
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].text, QStringLiteral("Kestrune Board Settings Program"));
    QVERIFY(runs[0].bold);
    QCOMPARE(runs[0].points, 16.0);
    QCOMPARE(runs[0].colour, DarkGrey);
    QCOMPARE(runs[0].families, QStringList{QStringLiteral("Verdana")});
}

void TestRtfReader::paragraphsAreSeparatedByEmptyLines()
{
    QTextDocument doc;
    RtfReader::read(
        Header + "\\fs32 {\\b Title}\\fs24\r\n\\par\\par First one.\r\n\\par\\par Second one.}",
        &doc);
    QCOMPARE(blockTexts(doc), (QStringList{"Title", "", "First one.", "", "Second one."}));
    const QList<Run> body = runsOf(doc.findBlockByNumber(2));
    QCOMPARE(body.size(), 1);
    QVERIFY(!body[0].bold);
    QCOMPARE(body[0].points, 12.0);
    QCOMPARE(body[0].colour, DarkGrey);
    // The blank line between is as tall as the body text.
    QCOMPARE(doc.findBlockByNumber(3).charFormat().fontPointSize(), 12.0);
}

void TestRtfReader::colouredBoldRunsTakeTheTableColours()
{
    QTextDocument doc;
    RtfReader::read(Header + "\\fs24 {\\cf1\\fs24\\b Yellow circles} provide, {\\cf2 features}.}",
                    &doc);
    const QList<Run> runs = runsOf(doc.begin());
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs[0].text, QStringLiteral("Yellow circles"));
    QCOMPARE(runs[0].colour, Yellow);
    QVERIFY(runs[0].bold);
    QCOMPARE(runs[1].text, QStringLiteral(" provide, "));
    QCOMPARE(runs[1].colour, DarkGrey);
    QVERIFY(!runs[1].bold);
    QCOMPARE(runs[2].text, QStringLiteral("features"));
    QCOMPARE(runs[2].colour, Blue);
    QVERIFY(!runs[2].bold);
    QCOMPARE(runs[3].text, QStringLiteral("."));
}

void TestRtfReader::groupsRestoreTheFormattingAround()
{
    QTextDocument doc;
    RtfReader::read("{\\rtf1 a{\\b b{\\i c}d}e\\b0 f\\b g}", &doc);
    const QList<Run> runs = runsOf(doc.begin());
    QString bold;
    for (const Run &r : runs)
        if (r.bold)
            bold += r.text;
    QCOMPARE(doc.toPlainText(), QStringLiteral("abcdefg"));
    QCOMPARE(bold, QStringLiteral("bcdg"));
}

void TestRtfReader::escapes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("em dash keeps the spaces after it")
        << QByteArray("group \\emdash  the") << QStringLiteral("group \u2014 the");
    QTest::newRow("hex in code page 1252")
        << QByteArray("caf\\'e9 \\'80") << QStringLiteral("caf\u00e9 \u20ac");
    QTest::newRow("unicode skips its fallback")
        << QByteArray("a\\u8212?b") << QStringLiteral("a\u2014b");
    QTest::newRow("negative unicode value")
        << QByteArray("\\u-3913?") << QString(QChar(char16_t(65536 - 3913)));
    QTest::newRow("characters beyond 16 bits come in two halves")
        << QByteArray("a\\u-10179?\\u-8704?b") << QStringLiteral("a\U0001F600b");
    QTest::newRow("a lone first half is dropped")
        << QByteArray("a\\u-10179?b\\u-8704?c") << QStringLiteral("abc");
    QTest::newRow("uc0 keeps what follows")
        << QByteArray("\\uc0\\u233 x") << QStringLiteral("\u00e9x");
    QTest::newRow("uc2 skips two, a hex escape counting as one")
        << QByteArray("\\uc2\\u233\\'e9?x") << QStringLiteral("\u00e9x");
    QTest::newRow("literal braces and backslash")
        << QByteArray("\\{x\\}\\\\") << QStringLiteral("{x}\\");
    QTest::newRow("quotes and bullet")
        << QByteArray("\\ldblquote q\\rdblquote \\bullet") << QStringLiteral("\u201cq\u201d\u2022");
    QTest::newRow("line breaks in the source are not text")
        << QByteArray("one\r\ntwo") << QStringLiteral("onetwo");
}

void TestRtfReader::escapes()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QTextDocument doc;
    RtfReader::read("{\\rtf1\\ansi " + body + "}", &doc);
    QCOMPARE(doc.toPlainText(), text);
}

void TestRtfReader::unknownWordsAndDestinationsAreSkipped()
{
    QTextDocument doc;
    RtfReader::read("{\\rtf1{\\info{\\title T}}{\\*\\generator G;}{\\*\\mystery M}\\foo12 \\bar "
                    "a{\\stylesheet S}b}",
                    &doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("ab"));
}

void TestRtfReader::notRtfIsKeptAsPlainText()
{
    QTextDocument doc;
    QVERIFY(!RtfReader::read("just {text}", &doc));
    QCOMPARE(doc.toPlainText(), QStringLiteral("just {text}"));
}

void TestRtfReader::malformedInputIsReadAsFarAsItGoes_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("unterminated group")
        << QByteArray("{\\rtf1 abc{\\b def") << QStringLiteral("abcdef");
    QTest::newRow("extra closing braces end the document")
        << QByteArray("{\\rtf1 a}}}b") << QStringLiteral("a");
    QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 a\\'4") << QStringLiteral("a");
    QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 a\\'zzb}") << QStringLiteral("azzb");
    QTest::newRow("trailing backslash") << QByteArray("{\\rtf1 a\\") << QStringLiteral("a");
    QTest::newRow("huge numbers")
        << QByteArray("{\\rtf1\\fs999999999999999999 a\\cf-99999999999 b\\u99999999999 ?c}")
        << QStringLiteral("abc");
    // The skip count is capped at 16 characters.
    QTest::newRow("huge unicode skip")
        << QByteArray("{\\rtf1\\uc2147483647\\u233 abcdefghijklmnopqrstuvwxyz}")
        << QStringLiteral("\u00e9qrstuvwxyz");
    QTest::newRow("colour index out of range")
        << QByteArray("{\\rtf1{\\colortbl;\\red1;}\\cf7 x\\cf-1 y}") << QStringLiteral("xy");
    QTest::newRow("endless control word")
        << QByteArray("{\\rtf1\\") + QByteArray(5000, 'a') + " x}" << QStringLiteral("x");
    QTest::newRow("NUL bytes") << QByteArray("{\\rtf1 a\0b}", 11) << QStringLiteral("ab");
}

void TestRtfReader::malformedInputIsReadAsFarAsItGoes()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, &doc));
    QCOMPARE(doc.toPlainText(), text);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (const Run &r : runsOf(b))
            QVERIFY(r.points > 0 && r.points <= 1000);
}

void TestRtfReader::deepNestingKeepsTheTextInside()
{
    const QByteArray rtf =
        "{\\rtf1 " + QByteArray(200000, '{') + "deep" + QByteArray(200000, '}') + " after}";
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, &doc));
    QCOMPARE(doc.toPlainText(), QStringLiteral("deep after"));
}

void TestRtfReader::readingReplacesTheDocument()
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("old"));
    RtfReader::read("{\\rtf1 new}", &doc);
    QCOMPARE(doc.toPlainText(), QStringLiteral("new"));
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
