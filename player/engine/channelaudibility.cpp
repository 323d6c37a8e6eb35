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
    if (setMembership(&m_muted, id, muted))
        emit audibilityChanged(id);
}

void ChannelAudibility::setSoloed(const QString &id, bool soloed)
{
    if (setMembership(&m_soloed, id, soloed))
        emit audibilityChanged(id);
}

// Puts id in or out of the set; whether that changed it.
bool ChannelAudibility::setMembership(QSet<QString> *set, const QString &id, bool member)
{
    if (member == set->contains(id))
        return false;
    if (member)
        set->insert(id);
    else
        set->remove(id);
    return true;
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
