#include "clioutput.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace CliOutput {

namespace {

// Indentation of an array element in QJsonDocument's indented form.
const QByteArray kElementIndent = QByteArrayLiteral("    ");

} // namespace

void printOutPart(const QByteArray &bytes)
{
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printOutBytes(const QByteArray &bytes)
{
    printOutPart(bytes);
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
