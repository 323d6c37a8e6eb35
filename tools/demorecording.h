#pragma once

#include <QByteArray>

class QIODevice;

// Writes the demo recording: a FILE and a DEVICE section, A-law speech
// channels, and a text channel of Russian events in Windows-1251, with talk
// spurts separated by gaps of seconds and minutes. Returns false when the
// device could not take all bytes.
bool writeDemoRecording(QIODevice *device);
