#include "errorreport.h"

#include <QApplication>
#include <QMessageBox>

QString ErrorReportText(const QString &text)
{
    if (text.isEmpty() || text.endsWith(QLatin1Char('.')))
        return text;
    return text + QLatin1Char('.');
}

void ShowErrorReport(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ErrorReportText(text),
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}
