// SPDX-License-Identifier: MIT
// Rewriting a ~100 MB httpd.conf-shaped file, beside copies of the same file: a plain
// read-and-write one; one that replaces a file as safely as the rewrite does (temporary file
// beside it, fdatasync, rename), the floor for any writer that cannot leave half a file behind;
// and that safe copy finding, as the rewrite does, the lines that hold a name it may change.
#include "config/apachelines.h"
#include "config/rewritefile.h"
#include "platform/safefile.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

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

// Read in 1 MiB pieces into a new file beside the target, fdatasync it, rename it over the target;
// each piece handed to @p look first. With @p early the disk is asked to start on every 8 MiB
// written, as the rewrite does.
template <typename Look>
bool SafeCopy(const QByteArray& from, const QByteArray& to, Look&& look, bool early = false)
{
    const QByteArray temporary = to + ".new";
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::unique_ptr<char[]> buffer(new char[1 << 20]);
    bool ok = in >= 0 && out >= 0;
    qint64 written = 0;
    for (ssize_t got = 1; ok && got > 0;) {
        got = ::read(in, buffer.get(), 1 << 20);
        if (got > 0)
            look(QByteArrayView(buffer.get(), got));
        ok = got >= 0 && ::write(out, buffer.get(), size_t(got)) == got;
        if (early && ok && (written += got) % (8 << 20) == 0)
            platform::StartWriteback(out, written - (8 << 20), 8 << 20);
    }
    ok = ok && ::fdatasync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ok = ::close(out) == 0 && ok;
    return ok && ::rename(temporary.constData(), to.constData()) == 0;
}

// The safe copy alone; with @p early, the disk asked to start early as the rewrite does: what the
// rewrite gains by that.
void SafeCopyOnly(benchmark::State& state, bool early)
{
    const QByteArray path = QFile::encodeName(ConfigFile());
    const QByteArray copy = QFile::encodeName(Folder().filePath(QStringLiteral("safe.conf")));
    ResetPeakRss();
    const long baseline = PeakRssKiB();
    for (auto _ : state)
        if (!SafeCopy(
                path, copy, [](QByteArrayView) {}, early))
            state.SkipWithError("cannot copy the file");
    ReportMemory(state, baseline);
}

void BM_SafeCopy(benchmark::State& state)
{
    SafeCopyOnly(state, false);
}

void BM_SafeCopyEarlyWriteback(benchmark::State& state)
{
    SafeCopyOnly(state, true);
}

// The safe copy that also finds the lines a rewrite must look at, as the rewrite's line reader
// does, and decides nothing: what is left of the rewrite's time beyond it is its decisions.
void BM_SafeCopySearched(benchmark::State& state)
{
    const QByteArray path = QFile::encodeName(ConfigFile());
    const QByteArray copy = QFile::encodeName(Folder().filePath(QStringLiteral("searched.conf")));
    qint64 lines = 0;
    ResetPeakRss();
    const long baseline = PeakRssKiB();
    for (auto _ : state) {
        config::ApacheLineReader reader(config::ApacheLineReader::Continuations::Keep);
        reader.onlyLinesWith({"DocumentRoot", "DirectoryIndex", "<Directory"});
        const auto onLine = [&lines](const config::ApacheLine&) { ++lines; };
        const auto onPassed = [](QByteArrayView passed, bool) {
            benchmark::DoNotOptimize(config::OnlyCrLfLineEnds(passed));
        };
        if (!SafeCopy(path, copy, [&](QByteArrayView piece) { reader.feed(piece, onLine, onPassed); }))
            state.SkipWithError("cannot copy the file");
        reader.finish(onLine);
    }
    ReportMemory(state, baseline);
    state.counters["lines_looked_at"] = double(lines) / double(state.iterations());
}

// The console table, then how the rewrite's wall time compares with each copy's.
class RatioReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_realTime[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        const double rewrite = m_realTime["BM_RewriteHttpdConf"];
        for (const char* copy :
             {"BM_PlainCopy", "BM_SafeCopy", "BM_SafeCopyEarlyWriteback", "BM_SafeCopySearched"})
            if (rewrite > 0 && m_realTime[copy] > 0)
                std::printf("rewrite / %s: %.2fx\n", copy + 3, rewrite / m_realTime[copy]);
        ConsoleReporter::Finalize();
    }

  private:
    std::map<std::string, double> m_realTime;
};

} // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_SafeCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_SafeCopyEarlyWriteback)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_SafeCopySearched)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_RewriteHttpdConf)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
