#include "listlineparser.h"

#include <QLocale>
#include <QRegExp>

namespace {

const QString kLinePattern = QStringLiteral(
    "^([\\-dl])([a-zA-Z\\-]{9,9})\\s+\\d+\\s+(\\S*)\\s+(\\S*)\\s+(\\d+)\\s+(\\S+\\s+\\S+\\s+\\S+)\\s+(\\S.*)");

enum Capture { TypeCapture = 1, SizeCapture = 5, DateCapture = 6, NameCapture = 7 };

struct DateFormat
{
    const char *format;
    bool hasYear;
};

// Tried in this order; the first valid result wins.
const DateFormat kDateFormats[] = {
    {"MMM dd  yyyy", true}, {"MMM dd hh:mm", false}, {"MMM  d  yyyy", true},
    {"MMM  d hh:mm", false}, {"MMM  d yyyy", true},  {"MMM dd yyyy", true},
};

// A date listed without its year: the year of now, or the year before when
// that date would lie more than one day in the future. The year is parsed
// with the text so that February 29 is judged in the right year.
QDateTime dateWithoutYear(const QString &text, const QString &format, const QDateTime &now)
{
    const QLocale c(QLocale::C);
    const QString withYearFormat = format + QStringLiteral(" yyyy");
    const QDateTime latest = now.addDays(1);
    const int year = now.date().year();
    const QDateTime thisYear = c.toDateTime(text + QLatin1Char(' ') + QString::number(year), withYearFormat);
    if (thisYear.isValid() && thisYear <= latest)
        return thisYear;
    return c.toDateTime(text + QLatin1Char(' ') + QString::number(year - 1), withYearFormat);
}

} // namespace

int parseListLine(const QString &line, QString *name, qint64 *size, QDateTime *date, const QDateTime &now)
{
    QRegExp expression(kLinePattern);
    if (expression.indexIn(line) == -1)
        return ListLineNoMatch;
    if (expression.cap(TypeCapture) != QLatin1String("-"))
        return ListLineNotFile;
    *name = expression.cap(NameCapture);
    *size = expression.cap(SizeCapture).toLongLong();

    QString text = expression.cap(DateCapture);
    text[0] = text[0].toUpper();
    const QLocale c(QLocale::C);
    for (const DateFormat &f : kDateFormats) {
        const QString format = QString::fromLatin1(f.format);
        const QDateTime parsed = f.hasYear ? c.toDateTime(text, format) : dateWithoutYear(text, format, now);
        if (parsed.isValid()) {
            *date = parsed;
            return ListLineFile;
        }
    }
    return ListLineBadDate;
}
