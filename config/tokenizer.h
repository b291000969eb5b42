// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace config {

constexpr bool IsWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '#' ||
           u == ';' || u == '_';
}

/**
 * The @p n-th word (from 1) of a line without its line end: a maximal run of word characters, as
 * written; empty when there is none. The comment markers '#' and ';' are word characters, so
 * "#DocumentRoot" is one word and never mistaken for the live directive.
 */
QString GetWord(const QString& line, qint16 n);

} // namespace config
