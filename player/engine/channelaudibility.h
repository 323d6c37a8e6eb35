// ChannelAudibility: which channels are heard, and how loud (mute, solo, gain).
#pragma once

#include "player/engine/periodmixer.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

// The listener's choice per audio channel, by its "ID": muted, soloed and a
// gain in dB (ReaderGroup::kGainMinDb..kGainMaxDb). When any channel is
// soloed only the soloed ones are heard; a muted channel is never heard.
// The choice outlives the channel rows (it stays when the channel list
// changes) and turns into the mixer's gains for playback and export.
//
// GUI thread only.
class ChannelAudibility : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool isMuted(const QString &id) const { return m_muted.contains(id); }
    bool isSoloed(const QString &id) const { return m_soloed.contains(id); }
    double gainDb(const QString &id) const { return m_gainDb.value(id, 0.0); }
    // Whether the channel is heard: not muted, and soloed when any is.
    bool isAudible(const QString &id) const;
    // Whether anything differs from every channel heard as recorded.
    bool isDefault() const { return m_muted.isEmpty() && m_soloed.isEmpty() && m_gainDb.isEmpty(); }

    // The mixer's gains for these channels: 0 for those not heard, the
    // factor of a gain other than 0 dB; empty when all are heard as
    // recorded (the mix is then the same bytes as without gains).
    ChannelGains gains(const QStringList &ids) const;

public slots:
    void setMuted(const QString &id, bool muted);
    void setSoloed(const QString &id, bool soloed);
    // Clamped to the allowed range; 0 dB removes the gain.
    void setGainDb(const QString &id, double db);
    void toggleMuted(const QString &id) { setMuted(id, !isMuted(id)); }
    void toggleSoloed(const QString &id) { setSoloed(id, !isSoloed(id)); }

signals:
    // Something about the channel changed (its own state, or, for a solo,
    // whether the others are heard).
    void audibilityChanged(QString id);

private:
    static bool setMembership(QSet<QString> *set, const QString &id, bool member);

    QSet<QString> m_muted;
    QSet<QString> m_soloed;
    QHash<QString, double> m_gainDb;
};
