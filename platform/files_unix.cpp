// SPDX-License-Identifier: MIT
#include "files.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace platform {

bool IsOrdinaryFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QString DecodeConsoleOutput(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::System);
    return decoder.decode(bytes);
}

} // namespace platform
