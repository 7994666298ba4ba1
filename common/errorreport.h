// The application's top-level error report, shared by both programs.
#pragma once

#include <QString>

class QWidget;

// Shows a critical message box titled with the application's name; the text gets a closing full
// stop when it has none. Handlers catch their own failures and call this: exceptions never travel
// through Qt's frames.
void ShowErrorReport(const QString &text, QWidget *parent = nullptr);

// The text exactly as the report shows it.
QString ErrorReportText(const QString &text);
