// SPDX-License-Identifier: MIT
#include "files.h"

#include "win/native_win.h"

namespace platform {

bool IsOrdinaryFile(const QString& path)
{
    return !path.isEmpty() && win::IsOrdinaryFile(path.toStdWString());
}

QString DecodeConsoleOutput(const QByteArray& bytes)
{
    return QString::fromStdWString(win::DecodeConsoleBytes(bytes.toStdString()));
}

} // namespace platform
