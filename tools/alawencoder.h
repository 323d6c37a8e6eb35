#pragma once

#include <QByteArray>
#include <QVector>

// G.711 A-law compression of 16-bit linear samples (one byte per sample),
// used to make test and demo recordings.
QByteArray encodeALaw(const QVector<qint16> &samples);
