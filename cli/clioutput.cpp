#include "clioutput.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace CliOutput {

namespace {

// Indentation of an array element in QJsonDocument's indented form.
const QByteArray kElementIndent = QByteArrayLiteral("    ");

// The first failed write to stdout (errno), 0 while none failed.
int outputError = 0;

void noteOutputError()
{
    if (outputError == 0)
        outputError = errno ? errno : EIO;
}

} // namespace

void printOutPart(const QByteArray &bytes)
{
    errno = 0;
    if (fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
        noteOutputError();
}

void printOutBytes(const QByteArray &bytes)
{
    printOutPart(bytes);
    errno = 0;
    if (fflush(stdout) != 0)
        noteOutputError();
}

bool outputFailed()
{
    return outputError != 0 || ferror(stdout);
}

int exitStatus(const QString &program, int status)
{
    errno = 0;
    if (fflush(stdout) != 0)
        noteOutputError();
    if (!outputFailed())
        return status;
    printError(program, QStringLiteral("cannot write standard output: %1")
                            .arg(QString::fromLocal8Bit(strerror(outputError ? outputError : EIO))));
    return status == 0 ? 1 : status;
}

int runProgram(const QString &program, QStringList arguments,
               const std::function<int(const QString &command, const QStringList &arguments)> &run)
{
    arguments.removeFirst(); // the program's own path
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();
    const int status = run(command, arguments);
    // A command's output that did not reach stdout is a failure too.
    return exitStatus(QStringLiteral("%1 %2").arg(program, command).trimmed(), status);
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

JsonArrayPrinter::JsonArrayPrinter()
{
    printOutPart(QByteArrayLiteral("[\n"));
}

JsonArrayPrinter::~JsonArrayPrinter()
{
    finish();
}

void JsonArrayPrinter::add(const QJsonObject &object)
{
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    text.chop(1); // the document's final line end
    text.replace('\n', '\n' + kElementIndent);
    printOutPart((m_empty ? QByteArray() : QByteArrayLiteral(",\n")) + kElementIndent + text);
    m_empty = false;
}

void JsonArrayPrinter::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    printOutBytes(m_empty ? QByteArrayLiteral("]\n") : QByteArrayLiteral("\n]\n"));
}

} // namespace CliOutput
