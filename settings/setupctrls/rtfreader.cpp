#include "rtfreader.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// Beyond this depth groups are only counted: their formatting is that of
// the deepest kept group. Keeps the state stack small on hostile input.
constexpr int MaxDepth = 128;
constexpr int MaxWordLength = 32;
constexpr int MaxDigits = 10;
constexpr int DefaultFontSize = 24; // half-points
constexpr int MaxFontSize = 2000;   // half-points; 1000 pt is already absurd

enum class Destination { Text, FontTable, ColorTable, Skip };

struct State
{
    Destination destination = Destination::Text;
    int font = -1;
    int fontSize = DefaultFontSize;
    int color = -1; // -1: the document's default colour
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int unicodeSkip = 1;
};

// Characters 0x80-0x9F of code page 1252; the rest of the page is Latin-1.
const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QChar fromCp1252(uchar byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return QChar(Cp1252High[byte - 0x80]);
    return QChar(byte);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Destinations whose content is not part of the visible text.
bool isSkippedDestination(const QByteArray &word)
{
    static const char *const names[] = {
        "stylesheet", "info",         "pict",     "header",    "footer",
        "headerl",    "headerr",      "headerf",  "footerl",   "footerr",
        "footerf",    "object",       "fldinst",  "listtable", "listoverridetable",
        "rsidtbl",    "generator",    "xmlnstbl", "themedata", "colorschememapping",
        "datastore",  "latentstyles", "filetbl",  "revtbl",    "footnote",
        "annotation", "bkmkstart",    "bkmkend",
    };
    for (const char *name : names)
        if (word == name)
            return true;
    return false;
}

class Parser
{
public:
    Parser(const QByteArray &input, QTextDocument *document) : m_in(input), m_cursor(document) {}

    void run();

private:
    void openGroup();
    void closeGroup();
    // At the character after a backslash; i moves past the escape.
    void readEscape(int &i);
    void readControlWord(int &i);
    void readHexEscape(int &i);
    void controlWord(const QByteArray &word, bool hasParam, int param);
    bool destinationWord(const QByteArray &word);
    void colorTableWord(const QByteArray &word, int param);
    static QChar specialCharacter(const QByteArray &word);
    void unicodeWord(int param);
    // Character formatting; false for a word that is none.
    bool formattingWord(const QByteArray &word, bool hasParam, int param);
    void controlSymbol(char c);
    void character(QChar c);
    void flush();
    void newParagraph();
    QTextCharFormat charFormat() const;

    const QByteArray &m_in;
    QTextCursor m_cursor;
    State m_state;
    QList<State> m_stack;
    int m_overflowDepth = 0;
    bool m_ignorableNext = false; // after \*: an unknown destination is skipped
    int m_skipChars = 0;          // fallback characters left to drop after \uN
    char16_t m_highSurrogate = 0; // first half of a \uN pair, waiting for the second
    bool m_done = false;
    QString m_pending;
    QHash<int, QString> m_fonts;
    QString m_fontName;
    int m_fontNumber = -1;
    int m_defaultFont = 0;
    QList<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSet = false;
};

void Parser::run()
{
    const int n = m_in.size();
    int i = 0;
    while (i < n && !m_done) {
        const char c = m_in.at(i++);
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            closeGroup();
        } else if (c == '\\') {
            if (i >= n)
                break;
            readEscape(i);
        } else if (c == '\t') {
            character(QChar('\t'));
        } else if (uchar(c) >= 0x20) {
            character(fromCp1252(uchar(c)));
        }
        // Line breaks and other control characters carry nothing.
    }
    flush();
}

void Parser::openGroup()
{
    m_skipChars = 0;
    m_highSurrogate = 0;
    if (m_stack.size() >= MaxDepth) {
        ++m_overflowDepth;
        return;
    }
    flush();
    m_stack.append(m_state);
}

void Parser::closeGroup()
{
    m_skipChars = 0;
    m_highSurrogate = 0;
    m_ignorableNext = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_stack.isEmpty())
        return; // a stray closing brace
    flush();
    if (m_state.destination == Destination::FontTable && m_fontNumber >= 0 &&
        !m_fontName.trimmed().isEmpty())
        m_fonts.insert(m_fontNumber, m_fontName.trimmed());
    m_state = m_stack.takeLast();
    if (m_stack.isEmpty())
        m_done = true; // the document's own group has ended
}

void Parser::readEscape(int &i)
{
    const char d = m_in.at(i);
    if (isLetter(d)) {
        readControlWord(i);
    } else if (d == '\'') {
        readHexEscape(++i);
    } else {
        ++i;
        controlSymbol(d);
    }
}

void Parser::readControlWord(int &i)
{
    const int n = m_in.size();
    QByteArray word;
    while (i < n && isLetter(m_in.at(i))) {
        if (word.size() < MaxWordLength)
            word.append(m_in.at(i));
        ++i;
    }
    bool negative = false;
    bool hasParam = false;
    qint64 value = 0;
    if (i < n && m_in.at(i) == '-' && i + 1 < n && isDigit(m_in.at(i + 1))) {
        negative = true;
        ++i;
    }
    int digits = 0;
    while (i < n && isDigit(m_in.at(i))) {
        hasParam = true;
        if (digits < MaxDigits)
            value = value * 10 + (m_in.at(i) - '0');
        ++digits;
        ++i;
    }
    value = std::min<qint64>(value, 0x7FFFFFFF);
    if (negative)
        value = -value;
    if (i < n && m_in.at(i) == ' ')
        ++i;
    controlWord(word, hasParam, int(value));
}

void Parser::readHexEscape(int &i)
{
    const int n = m_in.size();
    const int hi = i < n ? hexValue(m_in.at(i)) : -1;
    const int lo = i + 1 < n ? hexValue(m_in.at(i + 1)) : -1;
    if (hi < 0 || lo < 0) {
        // A truncated escape: drop it, read on from what follows.
        if (hi >= 0)
            ++i;
        return;
    }
    i += 2;
    character(fromCp1252(uchar(hi * 16 + lo)));
}

QTextCharFormat Parser::charFormat() const
{
    QTextCharFormat fmt;
    const int font = m_state.font >= 0 ? m_state.font : m_defaultFont;
    const auto name = m_fonts.constFind(font);
    if (name != m_fonts.constEnd())
        fmt.setFontFamilies({*name});
    fmt.setFontPointSize(m_state.fontSize / 2.0);
    fmt.setFontWeight(m_state.bold ? QFont::Bold : QFont::Normal);
    fmt.setFontItalic(m_state.italic);
    fmt.setFontUnderline(m_state.underline);
    if (m_state.color >= 0 && m_state.color < m_colors.size() &&
        m_colors.at(m_state.color).isValid())
        fmt.setForeground(m_colors.at(m_state.color));
    return fmt;
}

void Parser::flush()
{
    if (m_pending.isEmpty())
        return;
    m_cursor.insertText(m_pending, charFormat());
    m_pending.clear();
}

void Parser::newParagraph()
{
    flush();
    // The empty paragraph between two \par takes the current size, so the
    // blank line is as tall as the text around it.
    m_cursor.insertBlock(m_cursor.blockFormat(), charFormat());
}

void Parser::character(QChar c)
{
    if (m_skipChars > 0) {
        --m_skipChars;
        return;
    }
    // Half a pair followed by anything but its second half is dropped.
    m_highSurrogate = 0;
    switch (m_state.destination) {
    case Destination::Skip:
        return;
    case Destination::FontTable:
        if (c == QLatin1Char(';')) {
            if (m_fontNumber >= 0 && !m_fontName.trimmed().isEmpty())
                m_fonts.insert(m_fontNumber, m_fontName.trimmed());
            m_fontName.clear();
        } else if (m_fontName.size() < 256) {
            m_fontName.append(c);
        }
        return;
    case Destination::ColorTable:
        if (c == QLatin1Char(';')) {
            m_colors.append(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
            m_red = m_green = m_blue = 0;
            m_colorSet = false;
        }
        return;
    case Destination::Text:
        m_pending.append(c);
        return;
    }
}

void Parser::controlSymbol(char c)
{
    m_ignorableNext = false;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        character(QChar(c));
        break;
    case '~':
        character(QChar(0x00A0));
        break;
    case '_':
        character(QChar(0x2011));
        break;
    case '\r':
    case '\n':
        if (m_state.destination == Destination::Text)
            newParagraph();
        break;
    case '*':
        m_ignorableNext = true;
        break;
    default:
        break; // \- and anything unknown
    }
}

void Parser::controlWord(const QByteArray &w, bool hasParam, int param)
{
    const bool ignorable = m_ignorableNext;
    m_ignorableNext = false;
    // Destinations first: they change what the rest of the group means.
    if (destinationWord(w))
        return;
    if (m_state.destination == Destination::ColorTable) {
        colorTableWord(w, param);
        return;
    }
    if (m_state.destination == Destination::FontTable) {
        if (w == "f") {
            m_fontNumber = param;
            m_fontName.clear();
        }
        return; // \fswiss, \fprq, \fcharset... do not matter here
    }
    if (w == "par") {
        if (m_state.destination == Destination::Text)
            newParagraph();
    } else if (const QChar special = specialCharacter(w); !special.isNull()) {
        character(special);
    } else if (w == "u") {
        unicodeWord(param);
    } else if (w == "uc") {
        m_state.unicodeSkip = std::clamp(param, 0, 16);
    } else if (w == "deff") {
        m_defaultFont = param;
    } else if (!formattingWord(w, hasParam, param) && ignorable) {
        // An optional destination we do not know: leave the whole group out.
        m_state.destination = Destination::Skip;
    }
    // Everything else (\rtf, \ansi, \pard, \viewkind, \deflang...) has no
    // visible effect on this document.
}

bool Parser::destinationWord(const QByteArray &w)
{
    if (w == "fonttbl") {
        m_state.destination = Destination::FontTable;
        m_fontName.clear();
    } else if (w == "colortbl") {
        m_state.destination = Destination::ColorTable;
    } else if (isSkippedDestination(w)) {
        m_state.destination = Destination::Skip;
    } else {
        return false;
    }
    return true;
}

void Parser::colorTableWord(const QByteArray &w, int param)
{
    int *component = w == "red"     ? &m_red
                     : w == "green" ? &m_green
                     : w == "blue"  ? &m_blue
                                    : nullptr;
    if (component) {
        *component = std::clamp(param, 0, 255);
        m_colorSet = true;
    }
}

QChar Parser::specialCharacter(const QByteArray &w)
{
    static const struct
    {
        const char *word;
        char16_t character;
    } table[] = {
        {"line", QChar::LineSeparator},
        {"tab", u'\t'},
        {"emdash", 0x2014},
        {"endash", 0x2013},
        {"bullet", 0x2022},
        {"lquote", 0x2018},
        {"rquote", 0x2019},
        {"ldblquote", 0x201C},
        {"rdblquote", 0x201D},
    };
    for (const auto &entry : table) {
        if (w == entry.word)
            return QChar(entry.character);
    }
    return QChar();
}

void Parser::unicodeWord(int param)
{
    // A signed 16-bit value; the fallback characters that follow are
    // dropped. Characters beyond 16 bits come as two \u, one per half.
    const int code = param < 0 ? param + 65536 : param;
    m_skipChars = 0;
    if (code > 0 && code < 0x10000) {
        const char16_t unit = char16_t(code);
        if (QChar::isHighSurrogate(unit)) {
            m_highSurrogate = unit;
        } else if (QChar::isLowSurrogate(unit)) {
            const char16_t high = m_highSurrogate;
            if (high) {
                character(QChar(high));
                character(QChar(unit));
            }
        } else {
            character(QChar(unit));
        }
    }
    m_skipChars = m_state.unicodeSkip;
}

bool Parser::formattingWord(const QByteArray &w, bool hasParam, int param)
{
    const bool on = !hasParam || param != 0;
    bool *flag = w == "b"    ? &m_state.bold
                 : w == "i"  ? &m_state.italic
                 : w == "ul" ? &m_state.underline
                             : nullptr;
    if (!flag && w != "f" && w != "fs" && w != "ulnone" && w != "cf" && w != "plain")
        return false;
    flush();
    if (flag) {
        *flag = on;
    } else if (w == "f") {
        m_state.font = param;
    } else if (w == "fs") {
        m_state.fontSize = hasParam && param > 0 ? std::min(param, MaxFontSize) : DefaultFontSize;
    } else if (w == "ulnone") {
        m_state.underline = false;
    } else if (w == "cf") {
        m_state.color = param;
    } else {
        const State keep = m_state;
        m_state = State();
        m_state.destination = keep.destination;
        m_state.unicodeSkip = keep.unicodeSkip;
    }
    return true;
}

} // namespace

bool RtfReader::read(const QByteArray &rtf, QTextDocument *document)
{
    if (!document)
        return false;
    document->clear();
    if (!rtf.startsWith("{\\rtf")) {
        document->setPlainText(QString::fromLatin1(rtf));
        return false;
    }
    Parser(rtf, document).run();
    return true;
}
