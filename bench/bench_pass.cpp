// SPDX-License-Identifier: MIT
// One apply pass on an Apache 2.4-shaped installation, with Apache's configuration test before and
// after the change (Apache's program in bin/) and without it. Services are not run.
#include "app/applypass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct NoServices : services::CommandRunner
{
    services::CommandRecord run(const services::ServiceCommand& command) override
    {
        return {command, command.netCommandLine(), {}};
    }
};

// The tests' stock-shaped httpd.conf, filled in for this folder.
bool MakeInstallation(const QString& folder, bool withProgram)
{
    QFile source(QStringLiteral(BRELLIMAR_TEST_DATA "/httpd.conf"));
    QFile conf(folder + QStringLiteral("/conf/httpd.conf"));
    QFile ini(folder + QStringLiteral("/php.ini"));
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("conf")) || !dir.mkpath(QStringLiteral("htdocs")) ||
        !dir.mkpath(QStringLiteral("logs")) || !source.open(QIODevice::ReadOnly) ||
        !conf.open(QIODevice::WriteOnly) || !ini.open(QIODevice::WriteOnly))
        return false;
    conf.write(QString::fromUtf8(source.readAll())
                   .replace(QStringLiteral("@SRVROOT@"), folder)
                   .replace(QStringLiteral("@PORT@"), QStringLiteral("8080"))
                   .replace(QStringLiteral("@EXTRA@"), QString())
                   .toUtf8());
    ini.write("display_errors = Off\r\n");
    return !withProgram ||
           (dir.mkpath(QStringLiteral("bin")) &&
            QFile::link(QStringLiteral("/usr/sbin/apache2"), folder + QStringLiteral("/bin/httpd")));
}

void BM_ApplyPass(benchmark::State& state)
{
    const bool withProgram = state.range(0) != 0;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("apache"));
    if (!MakeInstallation(folder, withProgram) ||
        (withProgram && !QFile::exists(QStringLiteral("/usr/sbin/apache2")))) {
        state.SkipWithError("cannot make the installation (is apache2 installed?)");
        return;
    }
    NoServices runner;
    app::ApplyPassSeams seams;
    seams.runner = &runner;
    seams.requestPage = [](const QUrl&) { return services::PageAnswer{200, {}}; };
    int i = 0;
    for (auto _ : state) {
        // A new folder each time, so each pass changes the files and makes the folder.
        const app::SettingsState settings{dir.filePath(QStringLiteral("site%1").arg(++i)),
                                          QStringLiteral("index.php index.html"),
                                          folder,
                                          true,
                                          services::ServiceAction::Stop,
                                          services::ServiceAction::Stop};
        const app::PassReport report = app::ApplyPass(seams).run(settings);
        if (report.outcome != app::PassReport::Outcome::Applied)
            state.SkipWithError("the pass did not apply");
    }
}

} // namespace

BENCHMARK(BM_ApplyPass)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"apache_test"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5);

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
