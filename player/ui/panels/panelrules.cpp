#include "panelrules.h"

#include <QFontMetrics>
#include <QRegularExpression>

#include <algorithm>

namespace PlayerUi {

namespace PanelRules {

namespace {

int lastAtOrBefore(const QVector<double> &values, double ts)
{
    const auto after = std::upper_bound(values.begin(), values.end(), ts);
    return qMax(0, int(after - values.begin()) - 1);
}

} // namespace

int followRow(const QVector<double> &values, int current, double ts)
{
    if (values.isEmpty())
        return -1;
    const int row = current >= 0 && current < values.size() ? current : 0;
    if (ts < values.at(row))
        return lastAtOrBefore(values, ts);
    const int next = row + 1;
    if (next >= values.size() || ts < values.at(next))
        return row;
    const int afterNext = next + 1;
    if (afterNext < values.size() && ts >= values.at(afterNext))
        return lastAtOrBefore(values, ts);
    return next;
}

QString durationText(double ms)
{
    const qint64 seconds = qint64(qMax(0.0, ms) / 1000.0);
    return QString::asprintf("%02lld:%02lld", seconds / 60, seconds % 60);
}

QString wrapText(const QString &text, const QFontMetrics &metrics, int limit)
{
    static const QRegularExpression kSpaces(QStringLiteral("\\s+"));
    const QString simple = QString(text).replace(kSpaces, QStringLiteral(" "));
    QStringList lines;
    QString line;
    for (const QString &word : simple.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(joined) <= limit) {
            line = joined;
            continue;
        }
        if (!line.isEmpty())
            lines.append(line);
        line = word;
        // A word wider than a whole line is broken where it overflows.
        while (line.size() > 1 && metrics.horizontalAdvance(line) > limit) {
            int fits = 1;
            while (fits < line.size() && metrics.horizontalAdvance(line.left(fits + 1)) <= limit)
                ++fits;
            lines.append(line.left(fits));
            line = line.mid(fits);
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace PanelRules

} // namespace PlayerUi
