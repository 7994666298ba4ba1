#pragma once

#include "setupctrls_export.h"

#include <QAccessibleWidget>

class TBoardHighlight;
class TJumperBase;

// What a screen reader learns about the framework's own controls, which Qt cannot know.

// A hotspot is a button named by its popup's caption; pressing it opens and holds the popup, as
// its menu entry does.
class TAccessibleHighlight : public QAccessibleWidget
{
public:
    explicit TAccessibleHighlight(QWidget *widget);

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    TBoardHighlight *highlight() const;
};

// A jumper is a button whose name carries its state, as in "Filter jumper 5, closed": the
// accessible name its host gives it, then where the shunt sits as the user sees it.
class TAccessibleJumper : public QAccessibleWidget
{
public:
    explicit TAccessibleJumper(QWidget *widget);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    // "closed", "open", "left pair closed", "upper pair closed" and so on.
    static QString StateText(const TJumperBase *jumper);

private:
    TJumperBase *jumper() const;
};

// Makes Qt's accessibility ask for the interfaces above; whoever builds a window of these
// controls calls it first.
SETUPCTRLS_EXPORT void InstallSetupCtrlsAccessibility();
