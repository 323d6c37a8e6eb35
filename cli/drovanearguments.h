#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// Arguments of one drovane-cli command: positional texts, options that take
// a value ("--options TEXT") and flags ("--json"). Names not declared are
// errors, as is an option without its value.
class DrovaneArguments
{
public:
    DrovaneArguments(const QStringList &valueOptions, const QStringList &flags);

    // False with error() set on an unknown name or a missing value.
    bool parse(const QStringList &arguments);

    const QStringList &positional() const { return m_positional; }
    bool has(const QString &name) const { return m_values.contains(name) || m_flagsSet.contains(name); }
    QString value(const QString &name) const { return m_values.value(name); }
    QString error() const { return m_error; }

private:
    QStringList m_valueOptions;
    QStringList m_flags;
    QStringList m_positional;
    QMap<QString, QString> m_values;
    QSet<QString> m_flagsSet;
    QString m_error;
};

// The message for a device URL of an unsupported scheme, empty when the URL
// is one a downloader serves.
QString unsupportedUrlMessage(const QString &url);
