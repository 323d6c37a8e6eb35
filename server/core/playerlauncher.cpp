#include "playerlauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace PlayerLauncher {

const QString kProgramName = QStringLiteral("Velmora");

QString findPlayer(const QString &programFolder)
{
    const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
    const QFileInfo beside(QDir(folder).filePath(kProgramName));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(kProgramName);
}

bool start(const QString &folder, const QString &fileName, QString *error, const QString &programFolder)
{
    const QString program = findPlayer(programFolder);
    if (program.isEmpty()) {
        *error = QStringLiteral("Проигрыватель %1 не найден ни рядом с программой, ни в PATH").arg(kProgramName);
        return false;
    }
    const QString recording = QDir(folder).filePath(fileName);
    if (!QProcess::startDetached(program, {recording})) {
        *error = QStringLiteral("Не удалось запустить проигрыватель %1").arg(program);
        return false;
    }
    return true;
}

} // namespace PlayerLauncher
