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
    // The program waits for this box: it must not open underneath an always-on-top window of
    // its own, such as the popup whose button raised it.
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            break;
        }
    }
    box.exec();
}
