// SPDX-License-Identifier: MIT
// Rewriting a ~100 MB httpd.conf-shaped file, beside a plain read-and-write copy of the same file.
#include "config/rewritefile.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr qint64 kTargetSize = 100 * 1024 * 1024;

const QTemporaryDir& Folder()
{
    static QTemporaryDir dir;
    return dir;
}

// A configuration made of the usual mix: comments, directives, blocks, blank lines.
const QString& ConfigFile()
{
    static const QString path = [] {
        const QString file = Folder().filePath(QStringLiteral("httpd.conf"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            std::abort();
        QByteArray block;
        for (int i = 0; block.size() < (1 << 20); ++i) {
            block += "# Comment line number " + QByteArray::number(i) + " explaining the next directive\r\n";
            block += "<Directory \"/srv/www/site" + QByteArray::number(i) + "\">\r\n";
            block +=
                "    Options Indexes FollowSymLinks\r\n    AllowOverride None\r\n    Require all granted\r\n";
            block += "</Directory>\r\n\r\n";
            if (i % 50 == 0)
                block += "DocumentRoot \"/srv/www/old\"\r\n    DirectoryIndex index.html\r\n";
        }
        for (qint64 written = 0; written < kTargetSize; written += block.size())
            out.write(block);
        return file;
    }();
    return path;
}

long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// Lets the peak resident size start again from the current one (Linux 4.0 and later).
void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void ReportMemory(benchmark::State& state, long baseline)
{
    const double fileMiB = double(QFile(ConfigFile()).size()) / (1024 * 1024);
    state.counters["file_MiB"] = fileMiB;
    state.counters["peak_extra_MiB"] = double(PeakRssKiB() - baseline) / 1024;
    state.SetBytesProcessed(int64_t(state.iterations()) * QFile(ConfigFile()).size());
}

void BM_RewriteHttpdConf(benchmark::State& state)
{
    const QString path = ConfigFile();
    ResetPeakRss();
    const long baseline = PeakRssKiB();
    for (auto _ : state) {
        const config::RewriteResult result = config::RewriteHttpdConf(path, QStringLiteral("/srv/www/new"),
                                                                      QStringLiteral("index.php index.html"));
        if (!result.ok())
            state.SkipWithError(qPrintable(result.reason));
    }
    ReportMemory(state, baseline);
}

void BM_PlainCopy(benchmark::State& state)
{
    const QString path = ConfigFile();
    const QString copy = Folder().filePath(QStringLiteral("copy.conf"));
    ResetPeakRss();
    const long baseline = PeakRssKiB();
    for (auto _ : state) {
        QFile in(path);
        QFile out(copy);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            state.SkipWithError("cannot open the files");
        const QByteArray content = in.readAll();
        out.write(content);
    }
    ReportMemory(state, baseline);
}

} // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RewriteHttpdConf)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
