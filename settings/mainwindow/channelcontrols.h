// The filter panel's controls, one entry per input channel.
#pragma once

#include <array>

class QRadioButton;
class TTwoJumper;

// One input channel of the filter panel; the three controls carry the channel as their Tag.
struct TChannelControl
{
    TTwoJumper *Jumper = nullptr;
    QRadioButton *Plain = nullptr;
    QRadioButton *Filtered = nullptr;
};
using TChannelControls = std::array<TChannelControl, 16>;
