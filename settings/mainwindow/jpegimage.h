// Decoding of the board photograph through libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes JPEG data (baseline or progressive, grey or three components) into an RGB32 image.
// On failure returns a null image and, when error is given, libjpeg's reason.
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);
