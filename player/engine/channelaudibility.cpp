#include "channelaudibility.h"

bool ChannelAudibility::isAudible(const QString &id) const
{
    return !isMuted(id) && (m_soloed.isEmpty() || isSoloed(id));
}

ChannelGains ChannelAudibility::gains(const QStringList &ids) const
{
    ChannelGains gains;
    if (isDefault())
        return gains;
    for (const QString &id : ids) {
        if (!isAudible(id))
            gains.insert(id, 0.0);
        else if (m_gainDb.contains(id))
            gains.insert(id, ReaderGroup::gainFactor(m_gainDb.value(id)));
    }
    return gains;
}

void ChannelAudibility::setMuted(const QString &id, bool muted)
{
    if (muted == isMuted(id))
        return;
    if (muted)
        m_muted.insert(id);
    else
        m_muted.remove(id);
    emit audibilityChanged(id);
}

void ChannelAudibility::setSoloed(const QString &id, bool soloed)
{
    if (soloed == isSoloed(id))
        return;
    if (soloed)
        m_soloed.insert(id);
    else
        m_soloed.remove(id);
    emit audibilityChanged(id);
}

void ChannelAudibility::setGainDb(const QString &id, double db)
{
    const double clamped = qBound(ReaderGroup::kGainMinDb, db, ReaderGroup::kGainMaxDb);
    if (clamped == gainDb(id))
        return;
    if (clamped == 0)
        m_gainDb.remove(id);
    else
        m_gainDb.insert(id, clamped);
    emit audibilityChanged(id);
}
