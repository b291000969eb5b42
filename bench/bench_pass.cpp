// SPDX-License-Identifier: MIT
// What a user waits for: one apply pass on a copy of Debian's /etc/apache2 tree with
// php.ini-production, Apache's program testing the configuration before and after and listing it,
// beside those three runs of Apache alone; and a 100 MiB httpd.conf rewritten, with the peak memory
// of a process doing only that. Services are not run. Run build/bench/bench_pass by hand (as root:
// apache2ctl makes its run folder).
#include "app/applypass.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QString kPhpIni = QStringLiteral("/usr/lib/php/8.2/php.ini-production");

struct NoServices : services::CommandRunner
{
    services::CommandRecord run(const services::ServiceCommand& command) override
    {
        return {command, command.netCommandLine(), {}};
    }
};

bool Sh(const QString& commands)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), commands}) == 0;
}

// A copy of Debian's tree in @p folder/apache2 whose PHP reads @p folder/php/php.ini (php.ini-production).
bool MakeDebianCopy(const QString& folder)
{
    return QFile::exists(QStringLiteral("/usr/sbin/apache2ctl")) && QFile::exists(kPhpIni) &&
           Sh(QStringLiteral("cd '%1' && cp -a /etc/apache2 apache2 && mkdir php && cp %2 php/php.ini && "
                             "printf 'PHPIniDir \"%1/php\"\\n' >apache2/conf-enabled/php-ini.conf")
                  .arg(folder, kPhpIni));
}

// Apache's program as the pass runs it, timed into @p spent (ns).
services::CommandOutcome RunApache(const config::ApacheInvocation& run, qint64& spent)
{
    QElapsedTimer timer;
    timer.start();
    const services::CommandOutcome outcome =
        services::RunProcess(run.program, run.arguments, std::chrono::seconds(10),
                             services::OutputEncoding::Utf8OrConsole, run.environment);
    spent += timer.nsecsElapsed();
    return outcome;
}

// The pass (counter apache_in_pass_ms: its three runs of Apache); with Apache, each pass followed,
// untimed, by the same three runs alone (apache_alone_ms), so that both see the same moment's machine.
void BM_ApplyPass(benchmark::State& state)
{
    QTemporaryDir dir;
    if (!MakeDebianCopy(dir.path())) {
        state.SkipWithError("needs Debian's apache2 and php8.2");
        return;
    }
    const QString folder = dir.filePath(QStringLiteral("apache2"));
    qint64 inPass = 0, alone = 0; // ns
    NoServices runner;
    app::ApplyPassSeams seams;
    seams.runner = &runner;
    seams.installedServices = [] { return std::vector<platform::InstalledService>(); };
    seams.runProgram = [&inPass, &state](const config::ApacheInvocation& run) {
        // Left out, the pass costs only itself.
        return state.range(0) ? RunApache(run, inPass) : services::CommandOutcome();
    };
    int i = 0;
    for (auto _ : state) {
        // A new folder each time, so each pass changes the files and makes the folder.
        const app::SettingsState settings{dir.filePath(QStringLiteral("site%1").arg(++i)),
                                          QStringLiteral("index.php index.html"),
                                          folder,
                                          true,
                                          services::ServiceAction::Stop,
                                          services::ServiceAction::Stop};
        if (app::ApplyPass(seams).run(settings).outcome != app::PassReport::Outcome::Applied)
            state.SkipWithError("the pass did not apply");
        if (state.range(0) == 0)
            continue;
        state.PauseTiming();
        const config::Installation installation = config::LocateInstallation(folder);
        for (const char* option : {"-t", "-t", "-S"})
            if (!RunApache(installation.apacheInvocation({QString::fromLatin1(option)}), alone).succeeded())
                state.SkipWithError("Apache refused the configuration");
        state.ResumeTiming();
    }
    state.counters["apache_in_pass_ms"] = double(inPass) / 1e6 / double(state.iterations());
    state.counters["apache_alone_ms"] = double(alone) / 1e6 / double(state.iterations());
}

// The tests' stock-shaped httpd.conf repeated to 100 MiB, rewritten by a process of its own that
// reports the most memory it held.
void BM_Rewrite100MiB(benchmark::State& state)
{
    QTemporaryDir dir;
    QFile source(QStringLiteral(BRELLIMAR_TEST_DATA "/httpd.conf"));
    QFile conf(dir.filePath(QStringLiteral("httpd.conf")));
    if (!source.open(QIODevice::ReadOnly) || !conf.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot make the file");
        return;
    }
    const QByteArray stock = source.readAll().replace("\n", "\r\n");
    while (conf.size() < (100 << 20))
        conf.write(stock);
    conf.close();
    double peak = 0;
    for (auto _ : state) {
        QProcess rewrite;
        rewrite.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--rewrite"), conf.fileName()});
        if (!rewrite.waitForFinished(-1) || rewrite.exitCode() != 0)
            state.SkipWithError("the rewrite failed");
        peak = rewrite.readAllStandardOutput().trimmed().toDouble();
    }
    state.counters["peak_MiB"] = peak;
    state.counters["file_MiB"] = double(QFileInfo(conf).size()) / (1 << 20);
}

} // namespace

BENCHMARK(BM_ApplyPass)
    ->Arg(1)
    ->Arg(0)
    ->ArgNames({"apache"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_Rewrite100MiB)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly()
    ->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    // "--rewrite PATH": one rewrite, then the peak memory (VmHWM) in MiB.
    if (args.size() == 3 && args[1] == QLatin1String("--rewrite")) {
        if (!config::RewriteFile(
                 args[2], config::HttpdConfPlan(QStringLiteral("/srv/new"), QStringLiteral("index.php")))
                 .ok())
            return 1;
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmHWM:");
        printf("%.1f\n", text.mid(at + 6, text.indexOf("kB", at) - at - 6).trimmed().toDouble() / 1024);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
