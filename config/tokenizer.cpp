// SPDX-License-Identifier: MIT
#include "tokenizer.h"

namespace config {

QString GetWord(const QString& line, qint16 n)
{
    if (line.isEmpty() || n < 1)
        return {};

    qint16 counter = 0;
    qsizetype begin = -1;
    const qsizetype length = line.size();
    for (qsizetype i = 0; i < length; ++i) {
        const bool word = IsWordChar(line.at(i));
        const bool prevWord = i > 0 && IsWordChar(line.at(i - 1));
        if (word && !prevWord && ++counter == n)
            begin = i;
        if (begin >= 0 && (i + 1 == length || !IsWordChar(line.at(i + 1))))
            return line.mid(begin, i - begin + 1);
    }
    return {};
}

} // namespace config
