#include "drovanestatuscommand.h"

#include "cli/clioutput.h"
#include "server/core/health/statusfile.h"
#include "server/core/log/visibletext.h"

#include <algorithm>

namespace {

const QString kProgram = QStringLiteral("drovane-cli status");
const QString kUsage = QStringLiteral("usage: drovane-cli status FILE");
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
const QString kNone = QStringLiteral("-");

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(kTimeFormat) : kNone;
}

// Columns padded to their widest cell; the last one is not padded.
QString table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths << 0;
            widths[i] = std::max(widths[i], int(row.at(i).size()));
        }
    }
    QString text;
    for (const QStringList &row : rows) {
        QStringList cells;
        for (int i = 0; i < row.size(); ++i)
            cells << (i + 1 < row.size() ? row.at(i).leftJustified(widths.at(i)) : row.at(i));
        QString line = cells.join(QStringLiteral("  "));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace

int runDrovaneStatusCommand(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        CliOutput::printError(kProgram, kUsage);
        return 2;
    }
    QList<StatusFile::Device> devices;
    QDateTime generated;
    QString error;
    if (!StatusFile::read(arguments.first(), &devices, &generated, &error)) {
        CliOutput::printError(kProgram, error);
        return 2;
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("NAME"), QStringLiteral("STATE"), QStringLiteral("SINCE"),
                        QStringLiteral("LAST SUCCESS"), QStringLiteral("FAILURES"), QStringLiteral("BEHIND"),
                        QStringLiteral("BYTES TODAY"), QStringLiteral("LAST ERROR")};
    int notOk = 0;
    for (const StatusFile::Device &device : qAsConst(devices)) {
        const DeviceHealthRecord &h = device.health;
        notOk += h.isOk() ? 0 : 1;
        rows << QStringList{visibleText(device.name), healthKey(h.state), timeText(h.since), timeText(h.lastSuccess),
                            QString::number(h.failures), QString::number(h.filesBehind),
                            QString::number(h.bytesToday),
                            h.lastError.isEmpty() ? kNone : visibleText(h.lastError)};
    }
    CliOutput::printOut(table(rows));
    CliOutput::printOut(QStringLiteral("%1 of %2 devices not ok; status of %3\n")
                            .arg(notOk)
                            .arg(devices.size())
                            .arg(timeText(generated)));
    return notOk == 0 && !devices.isEmpty() ? 0 : 1;
}
