#include "accessiblenames.h"

#include "tjumper.h"
#include "ui_template.h"

#include <QRadioButton>

void NameForScreenReaders(Ui::MainForm &form, const TChannelControls &channels)
{
    form.Label1->setBuddy(form.IPEdit);
    form.Label4->setBuddy(form.SubnetEdit);
    form.Label5->setBuddy(form.GatewayEdit);
    form.Label10->setBuddy(form.MACEdit);
    form.ChangeNetButton->setAccessibleName(QStringLiteral("Change IP settings"));
    form.ChangeMACButton->setAccessibleName(QStringLiteral("Change MAC address"));

    // One row per input: its number, then the "Plain" and "Filtered" columns.
    for (size_t i = 0; i < channels.size(); ++i) {
        const TChannelControl &channel = channels[i];
        const QString input = QStringLiteral("Input %1").arg(i);
        if (channel.Jumper)
            channel.Jumper->setAccessibleName(QStringLiteral("Filter jumper %1").arg(i));
        if (channel.Plain)
            channel.Plain->setAccessibleName(input + QStringLiteral(" plain"));
        if (channel.Filtered)
            channel.Filtered->setAccessibleName(input + QStringLiteral(" filtered"));
    }
    form.AllPlainButton->setAccessibleName(QStringLiteral("All plain"));
    form.AllFilteredButton->setAccessibleName(QStringLiteral("All filtered"));

    form.ResetNetJumper->setAccessibleName(QStringLiteral("Reset networking jumper"));
    form.ThreeJumper1->setAccessibleName(QStringLiteral("Unused jumper"));

    form.PowerScrewPaint->setAccessibleName(QStringLiteral("Power screw terminal"));
    form.Image1->setAccessibleName(QStringLiteral("Power jack"));
}
