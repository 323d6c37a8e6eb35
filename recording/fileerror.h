#pragma once

#include <QString>

class QFileDevice;

// The reason a file operation failed, as the system tells it ("No space
// left on device"): the file's own error text, or, where Qt has none to
// give ("Unknown error", as a buffered write or a commit may leave), the
// text of `error`, the errno read right after the failed call.
QString fileErrorText(const QFileDevice &file, int error);
// The text of an errno value.
QString systemErrorText(int error);
