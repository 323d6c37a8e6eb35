#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QJsonObject;

// Console output of the command-line tools: UTF-8 on stdout and stderr.
namespace CliOutput {

void printOut(const QString &text);
void printOutBytes(const QByteArray &bytes);
// A piece of a longer output: buffered, flushed by a later print or at exit.
void printOutPart(const QByteArray &bytes);
// One line on stderr, prefixed by the program name.
void printError(const QString &program, const QString &message);
// Whether everything printed on stdout so far reached it.
bool outputFailed();
// A command's exit status once its output is flushed: `status`, or, when
// stdout could not take it all (a full disk, a closed file), 1 after a
// line on stderr saying why: no command reports success it did not have.
int exitStatus(const QString &program, int status);
// A tool's whole run: takes the command (the first argument after the
// program's), runs it through `run` with the rest, and returns the exit
// status exitStatus() gives for it.
int runProgram(const QString &program, QStringList arguments,
               const std::function<int(const QString &command, const QStringList &arguments)> &run);

// Prints a JSON array of objects element by element, as the elements are
// found, so that a long list never has to be held in memory. The text is
// the same as QJsonDocument's indented form of the whole array.
class JsonArrayPrinter
{
public:
    JsonArrayPrinter();
    // Ends the array if finish() was not called.
    ~JsonArrayPrinter();
    JsonArrayPrinter(const JsonArrayPrinter &) = delete;
    JsonArrayPrinter &operator=(const JsonArrayPrinter &) = delete;

    void add(const QJsonObject &object);
    void finish();

private:
    bool m_empty = true;
    bool m_finished = false;
};

} // namespace CliOutput
