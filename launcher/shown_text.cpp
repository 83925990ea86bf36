#include "launcher/shown_text.h"

#include "config/localization.h"

#include <cstring>

namespace vorn {

ShownText ShownText::literal(const QString& text)
{
    ShownText shown;
    shown.m_literal = text;
    return shown;
}

ShownText translateLater(const char* key, const char* fallback)
{
    ShownText shown;
    shown.m_key = key;
    shown.m_fallback = fallback;
    return shown;
}

ShownText ShownText::arg(const QString& value) const
{
    ShownText shown = *this;
    shown.m_args.append(value);
    return shown;
}

QString ShownText::toString() const
{
    if (!m_key)
        return m_literal;
    const QString text = translate(m_key, m_fallback);
    // One pass over all arguments: a release id that itself holds "%2" stays as it is.
    switch (m_args.size()) {
    case 0:
        return text;
    case 1:
        return text.arg(m_args.at(0));
    case 2:
        return text.arg(m_args.at(0), m_args.at(1));
    case 3:
        return text.arg(m_args.at(0), m_args.at(1), m_args.at(2));
    default:
        return text.arg(m_args.at(0), m_args.at(1), m_args.at(2), m_args.at(3));
    }
}

bool ShownText::operator==(const ShownText& other) const
{
    const bool sameKey = (!m_key && !other.m_key)
                         || (m_key && other.m_key && std::strcmp(m_key, other.m_key) == 0);
    return sameKey && m_args == other.m_args && m_literal == other.m_literal;
}

} // namespace vorn
