// MAC texts the network popup refuses, with the message the parse gives for each: one table for
// the parse itself and for the popup's error box.
#pragma once

#include <QString>
#include <QTest>

struct MalformedMac
{
    const char *name;
    const char *text;
    const char *message;
};

inline const MalformedMac MalformedMacs[] = {
    {"five pieces", "02-00-00-00-01", "MAC must have 6 bytes, but \"02-00-00-00-01\" has 5."},
    {"five short pieces", "2-0-0-0-a", "MAC must have 6 bytes, but \"02-00-00-00-0A\" has 5."},
    {"five pieces, lower case", "02-00-00-00-7b",
     "MAC must have 6 bytes, but \"02-00-00-00-7B\" has 5."},
    {"seven pieces", "1-2-3-4-5-6-7", "MAC must have 6 bytes, but \"01-02-03-04-05-06-07\" has 7."},
    {"seven pieces, lower case", "2-0-0-0-0-7b-1",
     "MAC must have 6 bytes, but \"02-00-00-00-00-7B-01\" has 7."},
    {"last piece 100", "02-00-00-00-00-100", "MAC byte \"100\" is out of range."},
    {"out of range keeps blanks", "02-00-00-00-00- 1ff ", "MAC byte \" 1ff \" is out of range."},
    {"trailing dash", "02-00-00-00-00-", "'$' is not a valid integer value"},
    {"nine F digits", "02-00-00-00-00-FFFFFFFFF", "'$FFFFFFFFF' is not a valid integer value"},
    {"eight F digits", "02-00-00-00-00-FFFFFFFF", "MAC byte \"FFFFFFFF\" is out of range."},
    {"not hex", "02-00-00-00-00-7g", "'$7g' is not a valid integer value"},
    {"not hex, trimmed", "02-00-0g -00-00-01", "'$0g' is not a valid integer value"},
    {"sign", "02-00-+1-00-00-01", "'$+1' is not a valid integer value"},
    {"prefix", "0x2-00-00-00-00-01", "'$0x2' is not a valid integer value"},
    {"colons", "02:00:00:00:00:01", "'$02:00:00:00:00:01' is not a valid integer value"},
    {"empty", "", "'$' is not a valid integer value"},
    {"first bad piece stops", "zz-300-00-00-00-01", "'$zz' is not a valid integer value"},
    {"range before later junk", "300-zz", "MAC byte \"300\" is out of range."},
};

enum class MacMessage { AsParsed, InErrorBox };

// Columns "text" and messageColumn, one row per malformed MAC. The error box ends its text with a
// full stop where the message has none.
inline void AddMalformedMacRows(const char *messageColumn, MacMessage form)
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>(messageColumn);
    for (const MalformedMac &mac : MalformedMacs) {
        QString message = QString::fromUtf8(mac.message);
        if (form == MacMessage::InErrorBox && !message.endsWith(QLatin1Char('.')))
            message += QLatin1Char('.');
        QTest::newRow(mac.name) << QString::fromUtf8(mac.text) << message;
    }
}
