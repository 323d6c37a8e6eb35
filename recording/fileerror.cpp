#include "fileerror.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace {
const QString kUnknownError = QStringLiteral("Unknown error");
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString fileErrorText(const QFileDevice &file, int error)
{
    const QString text = file.errorString();
    if (!text.isEmpty() && text != kUnknownError)
        return text;
    return error != 0 ? systemErrorText(error) : kUnknownError;
}
