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
    QString result;
    QString line;
    int width = 0;
    for (const QChar c : simple) {
        line.append(c);
        width += metrics.horizontalAdvance(c);
        if (width > limit) {
            line.append(QLatin1Char('\n'));
            result.append(line);
            line.clear();
            width = 0;
        }
    }
    result.append(line);
    return result;
}

} // namespace PanelRules

} // namespace PlayerUi
