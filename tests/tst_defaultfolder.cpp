// SPDX-License-Identifier: MIT
// The Apache folder the window starts with, on this system's layouts and services.
#include "config/installation.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace testutil;

class TestDefaultFolder : public QObject
{
    Q_OBJECT

  private slots:
    void choice_data()
    {
        QTest::addColumn<QStringList>("services"); // NAME=its program, in the service manager's order
        QTest::addColumn<QStringList>("existing"); // the files and folders there
        QTest::addColumn<QString>("folder");       // the folder the window starts with
        // clang-format off
#ifdef Q_OS_WIN
        const QString wamp = "C:\\wamp64\\bin\\apache\\";
        QTest::newRow("nothing there: Apache 2.0's folder")
            << QStringList() << QStringList() << "C:\\Program Files\\Apache Group\\Apache2";
        QTest::newRow("Apache Lounge before XAMPP")
            << QStringList() << QStringList{"C:\\xampp\\apache", "C:\\Apache24"} << "C:\\Apache24";
        QTest::newRow("XAMPP before Apache 2.0")
            << QStringList() << QStringList{"C:\\Program Files\\Apache Group\\Apache2", "C:\\xampp\\apache"}
            << "C:\\xampp\\apache";
        QTest::newRow("WampServer: the highest version, not the last name")
            << QStringList()
            << QStringList{wamp + "apache2.4.9", wamp + "apache2.4.54", wamp + "apache2.4.10", wamp + "php"}
            << wamp + "apache2.4.54";
        QTest::newRow("the service's folder first")
            << QStringList{"MySQL80=C:\\mysql\\bin\\mysqld.exe", "Apache2.4=D:\\web\\Apache24\\bin\\httpd.exe"}
            << QStringList{"C:\\mysql\\bin\\mysqld.exe", "D:\\web\\Apache24\\bin\\httpd.exe", "C:\\Apache24"}
            << "D:\\web\\Apache24";
        QTest::newRow("the program in any case and separators")
            << QStringList{"Apache=C:/Web/APACHE/BIN/HTTPD.EXE"} << QStringList{"C:/Web/APACHE/BIN/HTTPD.EXE"}
            << "C:\\Web\\APACHE";
        QTest::newRow("a service's program gone or not in bin")
            << QStringList{"Apache2.4=D:\\gone\\bin\\httpd.exe", "Apache=C:\\Apache2\\httpd.exe"}
            << QStringList{"C:\\Apache2\\httpd.exe", "C:\\xampp\\apache"} << "C:\\xampp\\apache";
#else
        const QString debian = "/etc/apache2", source = "/usr/local/apache2";
        QTest::newRow("nothing there") << QStringList() << QStringList() << source;
        QTest::newRow("Debian's apache2") << QStringList() << QStringList{debian, debian + "/apache2.conf"} << debian;
        QTest::newRow("Debian's program, its configuration gone")
            << QStringList() << QStringList{debian, "/usr/sbin/apache2"} << debian;
        QTest::newRow("only javascript-common's conf-available")
            << QStringList() << QStringList{debian, debian + "/conf-available"} << source;
        QTest::newRow("a build from source before Debian's")
            << QStringList() << QStringList{debian, debian + "/apache2.conf", source, source + "/conf/httpd.conf"}
            << source;
        QTest::newRow("an empty source folder: Debian's")
            << QStringList() << QStringList{debian, debian + "/apache2.conf", source} << debian;
#endif
        // clang-format on
    }

    void choice()
    {
        QFETCH(QStringList, services);
        QFETCH(QStringList, existing);
        QFETCH(QString, folder);
        config::FolderLookup lookup;
        lookup.installedServices = [&] {
            std::vector<platform::InstalledService> installed;
            for (const QString& service : services)
                installed.push_back({service.section('=', 0, 0), service.section('=', 1)});
            return installed;
        };
        lookup.exists = [&](const QString& path) { return existing.contains(path); };
        lookup.subfolders = [&](const QString& parent) { // parent ends in its separator
            QStringList names;
            for (const QString& path : existing)
                if (path.startsWith(parent) &&
                    !path.mid(parent.size()).contains(QRegularExpression("[\\\\/]")))
                    names << path.mid(parent.size());
            return names;
        };
        QCOMPARE(config::DefaultApacheFolder(lookup), folder);
    }

    void registeredService()
    {
#ifndef Q_OS_WIN
        QSKIP("Registers a service with the Windows service manager");
#else
        // Apache as "httpd -k install" registers it, in a folder with a blank.
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.filePath("Apache 2.4"));
        QVERIFY(QDir().mkpath(folder + "\\bin") &&
                QFile::copy(BRELLIMAR_TEST_SERVICE, folder + "\\bin\\httpd.exe"));
        QVERIFY(config::DefaultApacheFolder() != folder);
        const QString sc = qEnvironmentVariable("SystemRoot") + "\\System32\\sc.exe";
        const QString name = "BrellimarDefaultFolder";
        const auto unregister = qScopeGuard([&] { RunProgram(sc, {"delete", name}); });
        const Run run =
            RunProgram(sc, {"create", name, "binPath=", '"' + folder + "\\bin\\httpd.exe\" -k runservice"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(config::DefaultApacheFolder(), folder);
#endif
    }
};

QTEST_GUILESS_MAIN(TestDefaultFolder)
#include "tst_defaultfolder.moc"
