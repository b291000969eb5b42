// SPDX-License-Identifier: MIT
#include "servicelist.h"

#include <QRegularExpression>

namespace platform {

QString ServiceProgram(const QString& binaryPath)
{
    static const QRegularExpression program(QStringLiteral(R"(^\s*(?:"([^"]*)|(.*?\.exe)(?=\s|$)|(\S*)))"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = program.match(binaryPath);
    for (int group = 1; group <= 3; ++group)
        if (match.capturedStart(group) >= 0)
            return match.captured(group);
    return {};
}

} // namespace platform
