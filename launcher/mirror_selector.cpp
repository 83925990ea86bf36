#include "launcher/mirror_selector.h"

#include "config/localization.h"
#include "config/settings.h"

#include <QUrl>

namespace vorn {

MirrorSelector::MirrorSelector(bool useMirror, QObject* parent)
    : QObject(parent)
    , m_useMirror(useMirror)
{
}

QStringList MirrorSelector::orderedBaseUrls(const QStringList& list) const
{
    QStringList ordered = list;
    if (m_useMirror && ordered.size() > 1)
        ordered.swapItemsAt(0, 1);
    return ordered;
}

MirrorSelector::Toggle MirrorSelector::toggle(bool checked, bool allowed)
{
    if (checked == m_useMirror)
        return Toggle::Unchanged;
    if (!allowed) {
        emit changed();
        return Toggle::Refused;
    }
    m_previousUseMirror = m_useMirror;
    m_requestedUseMirror = checked;
    m_switching = true;
    m_useMirror = checked;
    vorn::setUseMirror(checked);
    emit logLine(QStringLiteral("NET-MIRROR-CHECK"),
                 translate("Main/MirrorSwitching", "Checking the selected update server..."));
    emit changed();
    return Toggle::Accepted;
}

bool MirrorSelector::answeringServer(const QString& baseUrl, const QStringList& list)
{
    int index = -1;
    const QUrl answered(baseUrl);
    for (int i = 0; i < list.size(); ++i) {
        if (QUrl(list.at(i)).matches(answered, QUrl::StripTrailingSlash)) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return false;
    const bool servedByMirror = index > 0;
    const bool switching = m_switching;
    const bool oldUseMirror = m_useMirror;
    setUseMirror(servedByMirror, switching);
    if (!switching) {
        if (oldUseMirror != m_useMirror)
            emit logLine(QStringLiteral("NET-MIRROR-AUTO"),
                         translate("Main/MirrorAutoChanged",
                                   "The active update server was changed automatically"));
        return true;
    }
    m_switching = false;
    if (servedByMirror == m_requestedUseMirror)
        emit logLine(QStringLiteral("NET-MIRROR-MANUAL"),
                     translate("Main/MirrorSwitchSucceeded",
                               "The selected update server is available and is now active"));
    else
        emit logLine(QStringLiteral("NET-MIRROR-FALLBACK"),
                     translate("Main/MirrorSwitchFallback",
                               "The selected update server is unavailable; returned to the working server"));
    emit changed();
    return true;
}

void MirrorSelector::switchFailed(const QString& message)
{
    m_switching = false;
    setUseMirror(m_previousUseMirror, true);
    emit logLine(QStringLiteral("NET-MIRROR-FAILED"),
                 translate("Main/MirrorSwitchFailed",
                           "Neither update server responded while switching; the previous selection was restored: %1")
                     .arg(message));
}

void MirrorSelector::setUseMirror(bool value, bool store)
{
    const bool changedValue = value != m_useMirror;
    m_useMirror = value;
    if (store && changedValue)
        vorn::setUseMirror(value);
    emit changed();
}

} // namespace vorn
