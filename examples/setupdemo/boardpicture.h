#pragma once

#include <QImage>

// A drawn stand-in for the board photograph, 549 x 600, with the parts where
// the demo's hotspots sit.
QImage DrawBoardPicture();
