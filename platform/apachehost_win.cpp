// SPDX-License-Identifier: MIT
#include "apachehost.h"

namespace platform {

QStringConverter::Encoding ApacheFolderEncoding()
{
    return QStringConverter::Utf8;
}

// Apache Lounge's zip, XAMPP, WampServer (one folder per Apache version).
std::vector<ApacheFolderCandidate> ApacheFolderCandidates()
{
    return {{QStringLiteral("C:\\Apache24"), {}},
            {QStringLiteral("C:\\xampp\\apache"), {}},
            {QStringLiteral("C:\\wamp64\\bin\\apache\\apache2.4.*"), {}}};
}

// Where Apache 2.0's installer put it: the window's folder when none of the others is there.
QString ApacheFolderWhenNone()
{
    return QStringLiteral("C:\\Program Files\\Apache Group\\Apache2");
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
