#pragma once

#include <QByteArray>

class QIODevice;

// Writes the demo recording: a FILE and a DEVICE section, two A-law speech
// channels, a G.726-32 channel, a TETRA channel made of the given coded
// speech (18-byte frames), and a text channel of Russian events in
// Windows-1251, with talk spurts separated by gaps of seconds and minutes.
// Returns false when the device could not take all bytes.
bool writeDemoRecording(QIODevice *device, const QByteArray &tetraSpeech);
