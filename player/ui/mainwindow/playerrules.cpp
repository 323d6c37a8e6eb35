#include "playerrules.h"

#include <cmath>

namespace PlayerUi {

namespace {

const QString kWavSuffix = QStringLiteral(".wav");

} // namespace

namespace PlayerRules {

QString windowTitle(const QString &path, bool dateValid)
{
    const QString title = path.section(QLatin1Char('/'), -1) + QLatin1Char(' ') + kProgramTitle;
    return dateValid ? title : title + QStringLiteral(" — дата записи неверна");
}

QString openFailureText(RecordingIndexer::Failure failure, const QString &reason, const QString &tempFolder)
{
    switch (failure) {
    case RecordingIndexer::CannotOpen:
        return QStringLiteral("Файл не открывается: %1.").arg(reason);
    case RecordingIndexer::IsDirectory:
        return QStringLiteral("Это папка, а не файл записи.");
    case RecordingIndexer::TextOutOfProportion:
    case RecordingIndexer::FramesOutOfReach:
        return QStringLiteral("Файл повреждён или не является записью регистратора.");
    case RecordingIndexer::IndexFolderFailed:
        return QStringLiteral("Не удалось создать папку для индексных файлов во временной папке %1: %2.").arg(tempFolder, reason);
    case RecordingIndexer::IndexWriteFailed:
        return QStringLiteral("Не удалось записать индексный файл во временную папку %1: %2.").arg(tempFolder, reason);
    case RecordingIndexer::NoFailure:
        break;
    }
    return QStringLiteral("В файле нет ни одного канала: это не запись регистратора.");
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

} // namespace PlayerUi
