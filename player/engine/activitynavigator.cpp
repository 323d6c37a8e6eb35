#include "activitynavigator.h"

namespace {

const QString kAudio = QStringLiteral("audio");
// How far back previousStart() looks first, then ever further (ms): most
// jumps find the interval within the first minute.
constexpr double kLookBackMs[] = {60e3, 600e3, 3600e3, 6 * 3600e3, 24 * 3600e3};

} // namespace

ActivityNavigator::ActivityNavigator(const QList<StreamDescriptor> &descriptors, double gapMs)
{
    for (const StreamDescriptor &descriptor : descriptors) {
        if (descriptor.value(QStringLiteral("TYPE")) != kAudio)
            continue;
        auto member = std::make_unique<AudioIntervalHandle>(descriptor);
        member->setMaxGap(gapMs);
        m_group.addHandle(member.get());
        m_members.push_back(std::move(member));
    }
    m_group.open();
    m_group.next();
    if (m_group.state() == StreamHandle::OnRecord)
        m_firstTime = m_group.currentTime();
}

ActivityNavigator::~ActivityNavigator()
{
    m_group.close();
}

double ActivityNavigator::nextStart(double pos)
{
    // The first merged interval after a seek starts at the records in force
    // at pos, at or before it; the ones after it are whole.
    m_group.seek(pos);
    for (m_group.next(); m_group.state() == StreamHandle::OnRecord; m_group.next()) {
        if (m_group.currentTime() > pos + kMinStepMs)
            return m_group.currentTime();
    }
    return IndexFormat::kNoTime;
}

double ActivityNavigator::previousStart(double pos)
{
    const double limit = pos - kMinStepMs;
    if (!(m_firstTime < limit))
        return IndexFormat::kNoTime;
    for (double back : kLookBackMs) {
        const double from = qMax(m_firstTime, pos - back);
        m_group.seek(from);
        double last = IndexFormat::kNoTime;
        bool lastIsWhole = false;
        bool first = true;
        for (m_group.next(); m_group.state() == StreamHandle::OnRecord && m_group.currentTime() < limit; m_group.next()) {
            last = m_group.currentTime();
            // The first interval may be cut by the seek, unless nothing lies
            // before it.
            lastIsWhole = !first || from <= m_firstTime;
            first = false;
        }
        if (last < IndexFormat::kNoTime && lastIsWhole)
            return last;
        if (from <= m_firstTime)
            return last;
    }
    return m_firstTime;
}
