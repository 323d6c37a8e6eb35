#include "playerrules.h"

#include <cmath>

namespace {

const QString kWavSuffix = QStringLiteral(".wav");

} // namespace

namespace PlayerRules {

QString windowTitle(const QString &path)
{
    return path.section(QLatin1Char('/'), -1) + QLatin1Char(' ') + kProgramTitle;
}

QString exportFileName(const QString &name)
{
    if (name.right(kWavSuffix.size()).toUpper() == kWavSuffix.toUpper())
        return name;
    return name + kWavSuffix;
}

Range exportRange(double markedBegin, double markedDuration)
{
    if (std::fabs(markedDuration) > kNoMarkedArea)
        return Range{markedBegin, markedDuration};
    return Range{0, kWholeRecording};
}

Range fileWideRange(quint32 first, quint32 last)
{
    const quint32 span = last - first;
    return Range{first - kFitMargin * span, (1 + 2 * kFitMargin) * span};
}

QDateTime dateTimeAt(const QDateTime &base, double pos)
{
    return base.addMSecs(qint64(pos));
}

double offsetOf(const QDateTime &base, const QDateTime &target)
{
    return base < target ? double(base.msecsTo(target)) : 0.0;
}

} // namespace PlayerRules
