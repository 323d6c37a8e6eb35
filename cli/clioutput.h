#pragma once

#include <QByteArray>
#include <QString>

// Console output of the command-line tools: UTF-8 on stdout and stderr.
namespace CliOutput {

void printOut(const QString &text);
void printOutBytes(const QByteArray &bytes);
// One line on stderr, prefixed by the program name.
void printError(const QString &program, const QString &message);

} // namespace CliOutput
