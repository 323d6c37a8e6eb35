#pragma once

#include "server/core/downloaders/downloader.h"

#include <QStringList>

// A downloader that talks to no device: it records what it is asked to do
// ("start", "getFile NAME POS SIZE" ...) and reports only what the test
// emits on its behalf.
class RecordingDownloader : public Downloader
{
public:
    int setParam(QStringList) override { return 0; }
    void start() override { calls << QStringLiteral("start"); }
    void getFileList() override { calls << QStringLiteral("getFileList"); }
    void getFile(QString name, ulong pos, qint64 listedSize) override
    {
        calls << QStringLiteral("getFile %1 %2 %3").arg(name).arg(pos).arg(listedSize);
    }
    void abort() override { calls << QStringLiteral("abort"); }
    void stop() override { calls << QStringLiteral("stop"); }

    QStringList calls;

protected:
    void requestFile(const QString &, qint64) override {}
    void cancelTransfer() override {}
};
