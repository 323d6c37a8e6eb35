#include "clioutput.h"

#include <cstdio>

namespace CliOutput {

void printOutBytes(const QByteArray &bytes)
{
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    fflush(stdout);
}

void printOut(const QString &text)
{
    printOutBytes(text.toUtf8());
}

void printError(const QString &program, const QString &message)
{
    const QByteArray line = (program + QStringLiteral(": ") + message + QLatin1Char('\n')).toUtf8();
    fwrite(line.constData(), 1, size_t(line.size()), stderr);
    fflush(stderr);
}

} // namespace CliOutput
