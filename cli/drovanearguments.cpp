#include "drovanearguments.h"

#include "server/core/downloaders/downloaderfactory.h"

#include <QUrl>

DrovaneArguments::DrovaneArguments(const QStringList &valueOptions, const QStringList &flags)
    : m_valueOptions(valueOptions)
    , m_flags(flags)
{
}

bool DrovaneArguments::parse(const QStringList &arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--"))) {
            m_positional.append(argument);
        } else if (m_flags.contains(argument)) {
            m_flagsSet.insert(argument);
        } else if (!m_valueOptions.contains(argument)) {
            m_error = QStringLiteral("unknown option %1").arg(argument);
            return false;
        } else if (i + 1 >= arguments.size()) {
            m_error = QStringLiteral("option %1 needs a value").arg(argument);
            return false;
        } else {
            m_values.insert(argument, arguments.at(++i));
        }
    }
    return true;
}

QString unsupportedUrlMessage(const QString &url)
{
    if (isSupportedDownloaderUrl(url))
        return QString();
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty())
        return QStringLiteral("not a device URL: \"%1\" (expected ftp://HOST[:PORT]/PATH or tftp://HOST[:PORT]/PATH)").arg(url);
    return QStringLiteral("unsupported URL scheme \"%1\" in \"%2\": only ftp and tftp devices are served").arg(parsed.scheme(), url);
}
