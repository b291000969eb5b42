// SPDX-License-Identifier: MIT
#include "apachehost.h"

namespace platform {

QStringConverter::Encoding ApacheFolderEncoding()
{
    return QStringConverter::Utf8;
}

QStringList ApacheFolderCandidates()
{
    return {QStringLiteral("C:\\Program Files\\Apache Group\\Apache2")};
}

QString DebianApacheControl()
{
    return {};
}

QString DebianPhpFolder()
{
    return {};
}

QString FedoraPhpFpmPoolFolder()
{
    return {};
}

QString PackageProgramFolder()
{
    return {};
}

QStringList ApacheProgramCandidates()
{
    return {QStringLiteral("bin/httpd.exe")};
}

// Access lists decide there, and Apache's service usually runs as LocalSystem.
QString FirstFolderClosedTo(const QString&, const QString&)
{
    return {};
}

bool FileNamesLikeWindows()
{
    return true;
}

} // namespace platform
