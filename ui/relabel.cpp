#include "ui/relabel.h"

#include "config/localization.h"
#include "ui/images.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QWidget>

namespace vorn {

namespace {

QString lookUp(const QObject* object, const char* keyProperty, const char* fallbackProperty)
{
    const QByteArray key = object->property(keyProperty).toString().toLatin1();
    const QByteArray fallback = object->property(fallbackProperty).toString().toUtf8();
    return translate(key.constData(), fallback.constData());
}

void relabelObject(QObject* object, const QString& language)
{
    if (!object->property("localeKey").toString().isEmpty()) {
        const QString text = lookUp(object, "localeKey", "localeFallback");
        if (auto* button = qobject_cast<QAbstractButton*>(object))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(object))
            label->setText(text);
        else if (auto* action = qobject_cast<QAction*>(object))
            action->setText(text);
    }
    if (!object->property("localeToolTipKey").toString().isEmpty()) {
        const QString tip = lookUp(object, "localeToolTipKey", "localeToolTipFallback");
        if (auto* widget = qobject_cast<QWidget*>(object))
            widget->setToolTip(tip);
        else if (auto* action = qobject_cast<QAction*>(object))
            action->setToolTip(tip);
    }
    if (object->property("selectedLanguage").isValid()) {
        object->setProperty("selectedLanguage", language);
        if (auto* widget = qobject_cast<QWidget*>(object))
            widget->update();
    }
    const QVariant russian = object->property("chronicleLogoRu");
    const QVariant english = object->property("chronicleLogoEn");
    if (russian.isValid() || english.isValid()) {
        if (auto* label = qobject_cast<QLabel*>(object)) {
            const QPixmap logo = chronicleLogoFor(language, russian.toString(), english.toString(),
                                                  label->devicePixelRatioF());
            if (!logo.isNull())
                label->setPixmap(logo);
        }
    }
}

} // namespace

void relabelWidgetTree(QObject* root, const QString& language)
{
    if (!root)
        return;
    relabelObject(root, language);
    const QList<QObject*> descendants = root->findChildren<QObject*>();
    for (QObject* object : descendants)
        relabelObject(object, language);
}

} // namespace vorn
