// SPDX-License-Identifier: MIT
// The Apache folder the window starts with, on this system's layouts and services.
#include "config/installation.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace testutil;

struct Row
{
    std::vector<platform::InstalledService> services{}; // in the service manager's order
    QStringList existing{};                             // the files and folders there
    QString folder;                                     // the folder the window starts with
};

class TestDefaultFolder : public QObject
{
    Q_OBJECT

  private slots:
    void choice_data()
    {
        QTest::addColumn<Row>("row");
        // clang-format off
#ifdef Q_OS_WIN
        const QString lounge = "C:\\Apache24", xampp = "C:\\xampp\\apache", wamp = "C:\\wamp64\\bin\\apache\\apache";
        const QString apache2 = "C:\\Program Files\\Apache Group\\Apache2", mysqld = "C:\\mysql\\bin\\mysqld.exe";
        QTest::newRow("nothing there: Apache 2.0's folder") << Row{.folder = apache2};
        QTest::newRow("Apache Lounge before XAMPP") << Row{.existing = {xampp, lounge}, .folder = lounge};
        QTest::newRow("WampServer: the highest version, not the last name")
            << Row{.existing = {wamp + "2.4.9", wamp + "2.4.54", wamp + "2.4.10"}, .folder = wamp + "2.4.54"};
        QTest::newRow("the service's folder first, its program in any case and separators")
            << Row{.services = {{"MySQL80", mysqld}, {"Apache2.4", "D:/Web/BIN/HTTPD.EXE"}},
                   .existing = {mysqld, "D:/Web/BIN/HTTPD.EXE", lounge}, .folder = "D:\\Web"};
        QTest::newRow("a service's program gone or not in bin; XAMPP before Apache 2.0")
            << Row{.services = {{"Apache2.4", "D:\\gone\\bin\\httpd.exe"}, {"Apache", "C:\\Apache2\\httpd.exe"}},
                   .existing = {"C:\\Apache2\\httpd.exe", apache2, xampp}, .folder = xampp};
#else
        const QString deb = "/etc/apache2", conf = deb + "/apache2.conf", src = "/usr/local/apache2";
        QTest::newRow("Debian's program alone") << Row{.existing = {deb, "/usr/sbin/apache2"}, .folder = deb};
        QTest::newRow("only conf-available") << Row{.existing = {deb, deb + "/conf-available"}, .folder = src};
        QTest::newRow("source first") << Row{.existing = {deb, conf, src, src + "/conf/httpd.conf"}, .folder = src};
        QTest::newRow("an empty source folder: Debian's") << Row{.existing = {deb, conf, src}, .folder = deb};
#endif
        // clang-format on
    }

    void choice()
    {
        QFETCH(Row, row);
        config::FolderLookup lookup;
        lookup.installedServices = [&] { return row.services; };
        lookup.exists = [&](const QString& path) { return row.existing.contains(path); };
        lookup.subfolders = [&](const QString& parent) { // parent ends in its separator: the names under it
            return QStringList(row.existing)
                .replaceInStrings(parent, QString())
                .filter(QRegularExpression("^[^\\\\/]+$"));
        };
        QCOMPARE(config::DefaultApacheFolder(lookup), row.folder);
    }

    void registeredService()
    {
#ifndef Q_OS_WIN
        QSKIP("Registers a service with the Windows service manager");
#else
        // Apache as "httpd -k install" registers it, in a folder with a blank.
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.filePath("Apache 2.4")),
                      httpd = folder + "\\bin\\httpd.exe";
        QVERIFY(QDir().mkpath(folder + "\\bin") && QFile::copy(BRELLIMAR_TEST_SERVICE, httpd));
        const QString sc = qEnvironmentVariable("SystemRoot") + "\\System32\\sc.exe",
                      name = "BrellimarDefaultFolder";
        const auto unregister = qScopeGuard([&] { RunProgram(sc, {"delete", name}); });
        const Run run = RunProgram(sc, {"create", name, "binPath=", '"' + httpd + "\" -k runservice"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(config::DefaultApacheFolder(), folder);
#endif
    }
};

QTEST_GUILESS_MAIN(TestDefaultFolder)
#include "tst_defaultfolder.moc"
