#pragma once

#include <QString>
#include <QStringList>

namespace vorn {

// A text kept as its catalogue key, fallback and arguments until it is shown, so that a change
// of language relabels it too. Texts that arrive already made (a server's or an engine's
// message) are kept as they are.
class ShownText
{
public:
    ShownText() = default;
    [[nodiscard]] static ShownText literal(const QString& text);

    // The argument for the next %N, lowest first.
    [[nodiscard]] ShownText arg(const QString& value) const;
    [[nodiscard]] ShownText arg(qint64 value) const { return arg(QString::number(value)); }

    [[nodiscard]] QString toString() const;
    [[nodiscard]] bool isEmpty() const { return !m_key && m_literal.isEmpty(); }
    [[nodiscard]] bool operator==(const ShownText& other) const;
    [[nodiscard]] bool operator!=(const ShownText& other) const { return !(*this == other); }

private:
    friend ShownText translateLater(const char* key, const char* fallback);

    const char* m_key = nullptr;
    const char* m_fallback = nullptr;
    QStringList m_args;
    QString m_literal;
};

// translate(key, fallback) at the moment the text is shown.
[[nodiscard]] ShownText translateLater(const char* key, const char* fallback);

} // namespace vorn
