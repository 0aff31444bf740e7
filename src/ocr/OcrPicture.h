#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// A captured region as the recognition engines get it: kept as it is when both
// sides are at least 120 pixels, otherwise drawn at (10, 10) on a white canvas
// of max(200, w + 20) x max(180, h + 20). All of it counts device pixels,
// whatever the picture's device pixel ratio.
QImage PrepareOcrCanvas(const QImage& picture);

// Baseline JPEG of quality 90 from 24-bit RGB input, every other setting at
// libjpeg's defaults. Empty on failure (a null image).
QByteArray EncodeJpeg(const QImage& image, int quality = 90);
