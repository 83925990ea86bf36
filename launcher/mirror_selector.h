#pragma once

#include <QObject>
#include <QStringList>

namespace vorn {

// Which update server is tried first: the main one or the mirror. Follows the server that
// really answered, and confirms a switch the user asked for with a check before keeping it.
class MirrorSelector final : public QObject
{
    Q_OBJECT
public:
    enum class Toggle { Unchanged, Accepted, Refused };

    explicit MirrorSelector(bool useMirror, QObject* parent = nullptr);

    [[nodiscard]] bool useMirror() const { return m_useMirror; }
    [[nodiscard]] bool isSwitching() const { return m_switching; }

    // A copy of list with the first two entries swapped while the mirror is preferred.
    [[nodiscard]] QStringList orderedBaseUrls(const QStringList& list) const;

    // The check box. allowed: more than one server and nothing that a switch would disturb.
    // Accepted: the preference changed and is stored; the caller runs the confirming check.
    Toggle toggle(bool checked, bool allowed);
    // The server that delivered a release. Returns false when it is not in list.
    bool answeringServer(const QString& baseUrl, const QStringList& list);
    // Every server failed while a switch was being confirmed: the old preference returns.
    void switchFailed(const QString& message);
    void setUseMirror(bool value, bool store);

signals:
    void logLine(const QString& tag, const QString& message);
    void changed();

private:
    bool m_useMirror = false;
    bool m_switching = false;
    bool m_previousUseMirror = false;
    bool m_requestedUseMirror = false;
};

} // namespace vorn
