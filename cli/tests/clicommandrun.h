#pragma once

// Runs velmora-cli in a child process with a private temporary folder (so
// that index files left behind would show) and collects what it printed.

#include "testsupport/testfiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

struct CliRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
    QStringList leftovers; // files left in the temporary folder
};

// Where a run's temporary folder and standard output go, when not to the
// defaults (a private folder, a pipe read by the test).
struct CliPlaces
{
    QString tmpDir;      // TMPDIR as given (a file, a missing folder ...)
    QString stdoutFile;  // standard output written to this file (/dev/full ...)
};

inline CliRun runCli(const QStringList &arguments, const CliPlaces &places = CliPlaces())
{
    TempDir tmp;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), places.tmpDir.isEmpty() ? tmp.path() : places.tmpDir);
    process.setProcessEnvironment(env);
    if (!places.stdoutFile.isEmpty())
        process.setStandardOutputFile(places.stdoutFile, QIODevice::Append);
    process.start(QStringLiteral(VELMORA_CLI), arguments);
    process.waitForFinished(120000);
    CliRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.leftovers = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    return run;
}

inline QJsonArray jsonList(const QByteArray &out)
{
    return QJsonDocument::fromJson(out).array();
}
