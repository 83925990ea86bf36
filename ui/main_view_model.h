#pragma once

#include <QString>
#include <QVector>

namespace vorn {

// One entry of the client selector.
struct ProfileEntry
{
    QString id;
    QString title;

    bool operator==(const ProfileEntry& other) const { return id == other.id && title == other.title; }
    bool operator!=(const ProfileEntry& other) const { return !(*this == other); }
};

// Everything the footer and the client card show, already translated. The controller computes
// it from its state; the view only applies it, so what a state looks like can be checked
// without widgets.
struct MainViewModel
{
    QString status;
    QString release;
    int progress = 0;
    QString percentText;

    bool checkVisible = true;
    bool checkEnabled = false;
    QString checkToolTip;
    bool pauseVisible = false;
    bool pauseEnabled = false;
    bool pauseShowsResume = false;
    QString pauseToolTip;
    bool playEnabled = false;

    QVector<ProfileEntry> profiles;
    QString selectedProfile; // id; empty when nothing is selected
    bool modernOptionVisible = false;
    bool legacyOptionVisible = false;
    bool legacyOptionChecked = false;

    bool mirrorChecked = false;
    bool mirrorEnabled = false;
    bool proxyChecked = false;
};

} // namespace vorn
