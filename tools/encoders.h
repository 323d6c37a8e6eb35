#pragma once

#include <QByteArray>
#include <QVector>

// Coded forms of 16-bit linear samples, used to make test, demo and
// benchmark recordings.

// G.711 A-law ("PCMA"): one byte per sample.
QByteArray encodeALaw(const QVector<qint16> &samples);

// G.726 32 kbit/s ("G726-32") from a fresh encoder: two samples per byte
// (an odd last sample waits for a partner and is left out).
QByteArray encodeG726(const QVector<qint16> &samples);
