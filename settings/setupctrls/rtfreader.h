#pragma once

#include "setupctrls_export.h"

#include <QByteArray>
#include <QString>

class QTextDocument;

// Reads the subset of RTF that our help texts use into a QTextDocument:
// font and colour tables, paragraphs, bold/italic/underline runs, font
// sizes and colours, \'hh and \uN escapes and the common typographic
// symbols. Anything else is skipped. Malformed input (unbalanced braces,
// truncated escapes, absurd numbers) is read as far as it makes sense and
// never makes the reader fail or run away.
class SETUPCTRLS_EXPORT RtfReader
{
public:
    // Replaces the document's content. Text that is not RTF at all is put
    // in as plain text, so nothing is lost, and false is returned.
    static bool read(const QByteArray &rtf, QTextDocument *document);
};
