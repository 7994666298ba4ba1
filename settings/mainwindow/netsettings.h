// Text and byte helpers of the network-settings popup.
#pragma once

#include "mactext.h"

#include <QByteArray>
#include <QString>

// The four texts the board's level-1 status block spreads over the edits; a field is null when
// the block is too short to hold it.
struct StatusTexts
{
    QString mac, ip, subnet, gateway;
};
StatusTexts StatusBlockTexts(const QByteArray &level1);
