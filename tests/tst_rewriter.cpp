// SPDX-License-Identifier: MIT
#include "config/rewritefile.h"
#include "config/tokenizer.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

using namespace config;
using testutil::ReadAll;
using testutil::WriteAll;

namespace {

// A section of a stock Apache 2.4 httpd.conf: the file system denied, the shipped folder granted.
QByteArray StockSections(const QByteArray& folder)
{
    return "<Directory />\r\n    AllowOverride none\r\n    Require all denied\r\n</Directory>\r\n"
           "DocumentRoot \"" +
           folder + "\"\r\n<Directory \"" + folder +
           "\">\r\n    Require all granted\r\n"
           "</Directory>\r\n";
}

#ifdef Q_OS_UNIX
// Runs check in a child process as an unprivileged user when the tests run as root.
bool AsUnprivileged(const std::function<bool()>& check)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit((::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) && check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Rewrites @p path in a new process of this program whose address space is limited to @p limit
// bytes (a fork of a threaded process could not fail cleanly).
bool WithLittleMemory(const QString& path, qint64 limit)
{
    return testutil::RunProgram(QStringLiteral("prlimit"),
                                {QStringLiteral("--as=%1").arg(limit), QStringLiteral("--"),
                                 QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                                 QStringLiteral("--rewrite"), path})
               .exitCode == 0;
}

struct stat StatOf(const QString& path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}
#endif

} // namespace

class TestRewriter : public QObject
{
    Q_OBJECT

  private slots:
    void rewriteContent_data();
    void rewriteContent();
    void firstWordMatchesDecodedLine_data();
    void firstWordMatchesDecodedLine();
    void checkValues_data();
    void checkValues();
    void rewriteFile_data();
    void rewriteFile();
};

void TestRewriter::rewriteContent_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("root"); // httpd.conf with this document root; empty: php.ini
    QTest::addColumn<QByteArray>("expected"); // null: refused
    QTest::addColumn<QStringList>("notSet");

    const QStringList none;
    const QStringList both{"DocumentRoot", "DirectoryIndex"};
    const QStringList noIndex{"DirectoryIndex"};
    const QByteArray index = "DirectoryIndex x\r\n";
    const QByteArray newIndex = "DirectoryIndex index.php index.html\r\n";
    const QString kRoot = QStringLiteral("E:\\Myphp");
    // row: input, document root (none: php.ini's rules), expected output, settings not made
    QTest::newRow("last line gains CR LF") << QByteArray("a\r\nb") << QString() << QByteArray("a\r\nb\r\n") << none;
    QTest::newRow("CR LF file without match is identical")
        << QByteArray("[PHP]\r\n\r\nx = 1\r\n") << QString() << QByteArray("[PHP]\r\n\r\nx = 1\r\n") << none;
    QTest::newRow("lone CR and lone LF end lines") << QByteArray("a\rb\nc\r\n") << QString() << QByteArray("a\r\nb\r\nc\r\n") << none;
    QTest::newRow("trailing empty lines kept") << QByteArray("a\r\n\r\n") << QString() << QByteArray("a\r\n\r\n") << none;
    QTest::newRow("LF CR is two line ends") << QByteArray("a\n\rb") << QString() << QByteArray("a\r\n\r\nb\r\n") << none;
    QTest::newRow("php: live lines replaced, comments kept, no continuation")
        << QByteArray("display_errors = Off\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off \\\r\n\t  display_errors=Off ; note\r\ndisplay_errors=Off") << QString()
        << QByteArray("display_errors = On\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off \\\r\ndisplay_errors = On\r\ndisplay_errors = On\r\n") << none;
    QTest::newRow("httpd: every match replaced whole, comments and case kept")
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"/a\" # old\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\n    DirectoryIndex index.html\r\n</IfModule>\r\nDocumentRoot /b\r\n") << kRoot
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"E:\\Myphp\"\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\nDirectoryIndex index.php index.html\r\n</IfModule>\r\n"
                      "DocumentRoot \"E:\\Myphp\"\r\n") << none;
    QTest::newRow("bytes invalid in the code page survive")
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot /\xff\r\n") << kRoot
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot \"E:\\Myphp\"\r\n") << noIndex;
    QTest::newRow("non-ASCII before the directive does not hide it")
        << QByteArray("\xe4\xb8\xad DocumentRoot /x\r\n") + index << kRoot << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n") + newIndex << none;
    QTest::newRow("no line end at all, no DocumentRoot")
        << QByteArray("DirectoryIndex a") << kRoot << QByteArray("DirectoryIndex index.php index.html\r\n") << QStringList{"DocumentRoot"};
    QTest::newRow("nothing to set: commented and other case only")
        << QByteArray("#DocumentRoot /a\r\ndocumentroot /a\r\n# DirectoryIndex a\r\n") << kRoot
        << QByteArray("#DocumentRoot /a\r\ndocumentroot /a\r\n# DirectoryIndex a\r\n") << both;
    QTest::newRow("UTF-16 is refused") << QByteArray("\xff\xfe" "D\0o\0", 6) << kRoot << QByteArray() << none;

    // The access section of the old folder moves with DocumentRoot, as the stock file asks.
    QTest::newRow("stock: section after DocumentRoot, root section kept")
        << StockSections("${SRVROOT}/htdocs") + index << kRoot << StockSections("E:\\Myphp") + newIndex << none;
    QTest::newRow("section before, unquoted, trailing separator, indent and tail kept")
        << QByteArray("  <Directory /srv/old/>  # site\r\n</Directory>\r\n<DirectoryMatch \"/srv/old\">\r\n"
                      "#<Directory /srv/old>\r\n<Directory /srv/other>\r\nDocumentRoot /srv/old\r\n") + index << kRoot
        << QByteArray("  <Directory \"E:\\Myphp\">  # site\r\n</Directory>\r\n<DirectoryMatch \"/srv/old\">\r\n"
                      "#<Directory /srv/old>\r\n<Directory /srv/other>\r\nDocumentRoot \"E:\\Myphp\"\r\n") + newIndex << none;
    QTest::newRow("virtual hosts: each one's section, quotes read as Apache does")
        << QByteArray("DocumentRoot \"/a\\\"b\"\r\n<Directory '/a\"b'>\r\nDocumentRoot /c\r\n<directory\t\"/c/\">\r\n") + index << kRoot
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"E:\\Myphp\">\r\nDocumentRoot \"E:\\Myphp\"\r\n"
                      "<Directory \"E:\\Myphp\">\r\n") + newIndex << none;
    QTest::newRow("a file-system root DocumentRoot keeps its section")
        << QByteArray("DocumentRoot /\r\n<Directory />\r\n<Directory \"C:/\">\r\n") + index << kRoot
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory />\r\n<Directory \"C:/\">\r\n") + newIndex << none;
    QTest::newRow("folders compared by the system's rules")
        << QByteArray("DocumentRoot \"C:\\Srv\\Old\"\r\n<Directory \"c:/srv/old/\">\r\n") + index << kRoot
#ifdef Q_OS_WIN
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"E:\\Myphp\">\r\n") + newIndex << none;
#else
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"c:/srv/old/\">\r\n") + newIndex << none;
#endif

    // Apache reads folder names in UTF-8 on Windows, whatever the system code page.
    QTest::newRow("Chinese folder in UTF-8")
        << QByteArray("DocumentRoot /x\r\n<Directory /x>\r\n") + index << QStringLiteral("D:\\网站")
        << QByteArray("DocumentRoot \"D:\\\xe7\xbd\x91\xe7\xab\x99\"\r\n<Directory \"D:\\\xe7\xbd\x91\xe7\xab\x99\">\r\n") + newIndex << none;

    // Apache joins a line ending in a backslash with the next one.
    QTest::newRow("continuation lines go with the replaced line")
        << QByteArray("DocumentRoot \\\r\n  \"/srv/old\"\r\n<Directory /srv/old>\r\nDirectoryIndex a \\\r\n b \\\r\n c\r\nX y\\\\\r\nZ\r\n") << kRoot
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"E:\\Myphp\">\r\n") + newIndex + "X y\\\\\r\nZ\r\n" << none;
    QTest::newRow("a continued comment hides the next line")
        << QByteArray("# old root \\\r\nDocumentRoot /x\r\n") + index << kRoot
        << QByteArray("# old root \\\r\nDocumentRoot /x\r\n") + newIndex << QStringList{"DocumentRoot"};
    // clang-format on
}

void TestRewriter::rewriteContent()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, root);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, notSet);
    QStringList unmatched;
    const RewritePlan plan =
        root.isEmpty() ? PhpIniPlan(true) : HttpdConfPlan(root, QStringLiteral("index.php index.html"));
    const std::optional<QByteArray> output = RewriteContent(input, plan, &unmatched);
    QCOMPARE(output.has_value(), !expected.isNull());
    if (!output)
        return;
    QCOMPARE(*output, expected);
    QCOMPARE(unmatched, notSet);
    // A second pass with the same values changes nothing.
    QCOMPARE(RewriteContent(*output, plan).value_or("<refused>"), expected);
}

void TestRewriter::firstWordMatchesDecodedLine_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("ascii") << QByteArray("  DocumentRoot \"/x\"");
    QTest::newRow("no word") << QByteArray(" \t=\"");
    QTest::newRow("word runs into non-ASCII") << QByteArray("abc\xe4\xb8\xad" "def");
    QTest::newRow("non-ASCII first") << QByteArray("\xe4\xb8\xad" "display_errors");
    QTest::newRow("invalid byte first") << QByteArray("\xff" "x y");
    QTest::newRow("UTF-8 letter inside") << QByteArray("caf\xc3\xa9" "s");
    QTest::newRow("empty") << QByteArray();
    // clang-format on
}

void TestRewriter::firstWordMatchesDecodedLine()
{
    QFETCH(QByteArray, line);
    QCOMPARE(FirstWordOfLine(line), GetWord(QString::fromLocal8Bit(line), 1));
}

void TestRewriter::checkValues_data()
{
    // clang-format off
    using F = ValueProblem::Field;
    using K = ValueProblem::Kind;
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("index");
    QTest::addColumn<int>("field"); // -1: accepted
    QTest::addColumn<int>("kind");
    QTest::newRow("ordinary") << "/var/www/x" << "index.php" << -1 << -1;
    QTest::newRow("Chinese folder") << QStringLiteral("/srv/网站") << "index.php" << -1 << -1;
    QTest::newRow("root ends in backslash: quoted") << "D:\\www\\" << "a\\\\" << -1 << -1;
    QTest::newRow("LF in root") << "/a\nServerName evil" << "i" << int(F::DocumentRoot) << int(K::LineBreak);
    QTest::newRow("CR in index") << "/a" << "i\rx" << int(F::DirectoryIndex) << int(K::LineBreak);
    QTest::newRow("NUL in root")
        << QString(QStringLiteral("/a") + QChar(u'\0')) << "i" << int(F::DocumentRoot) << int(K::LineBreak);
    QTest::newRow("empty root") << "" << "i" << int(F::DocumentRoot) << int(K::Empty);
    QTest::newRow("blank index") << "/a" << "   " << int(F::DirectoryIndex) << int(K::Empty);
    QTest::newRow("index ends in backslash") << "/a" << "index.php \\" << int(F::DirectoryIndex) << int(K::TrailingBackslash);
    QTest::newRow("lone surrogate at the end")
        << QString(QStringLiteral("/a") + QChar(0xd800)) << "i" << int(F::DocumentRoot) << int(K::NotEncodable);
    QTest::newRow("lone surrogate inside")
        << "i" << QString(QStringLiteral("a") + QChar(0xdc00) + QStringLiteral("b")) << int(F::DirectoryIndex) << int(K::NotEncodable);
    // clang-format on
}

void TestRewriter::checkValues()
{
    QFETCH(QString, root);
    QFETCH(QString, index);
    QFETCH(int, field);
    QFETCH(int, kind);
    const std::optional<ValueProblem> problem = CheckValues(root, index);
    QCOMPARE(problem.has_value(), field >= 0);
    if (problem) {
        QCOMPARE(int(problem->field), field);
        QCOMPARE(int(problem->kind), kind);
    }
}

// Each row makes a file (or something in its place) in a folder, rewrites it as httpd.conf and
// says what must hold afterwards. Faults are made for real: a full tmpfs, a FIFO, links, modes.
struct FileCase
{
    std::function<QString(const QString& dir)> arrange; ///< returns the path to rewrite
    QString reason;                                     ///< expected in the failure reason; empty: success
    std::function<void(const QString& dir, const QString& path)> verify;
    bool asRoot = false;       ///< needs root (mounts, other owners)
    bool unprivileged = false; ///< rewrites as another user
    qint64 memoryLimit = 0;    ///< rewrites in a process with this much address space
};
Q_DECLARE_METATYPE(FileCase)

namespace {

const QByteArray kConf = "DocumentRoot /old\r\n# keep \xff\r\nDirectoryIndex a\r\n";
const QByteArray kRewritten = "DocumentRoot \"/srv/new\"\r\n# keep \xff\r\nDirectoryIndex index.php\r\n";

QString Make(const QString& path, const QByteArray& content = kConf)
{
    [&] { QVERIFY(WriteAll(path, content)); }();
    return path;
}

void Keeps(const QString& path, const QByteArray& content = kConf)
{
    QCOMPARE(ReadAll(path), content);
}

void Leaves(const QString& dir, const QStringList& entries)
{
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System, QDir::Name),
             entries);
}

#ifdef Q_OS_UNIX
// A 64 KiB tmpfs filled up to @p room bytes of free space, unmounted when the test ends.
QString FullDisk(const QString& dir, qint64 room, const QByteArray& content)
{
    const QString mount = dir + QStringLiteral("/mnt");
    QDir().mkpath(mount);
    if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=64k") != 0)
        return {};
    const QString path = Make(mount + QStringLiteral("/httpd.conf"), content);
    QFile fill(mount + QStringLiteral("/fill"));
    fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QByteArray block(4096, 'x');
    while (fill.write(block) == block.size()) {
    }
    fill.close();
    fill.resize(fill.size() - room);
    return path;
}

void Unmount(const QString& dir)
{
    ::umount2(QFile::encodeName(dir + QStringLiteral("/mnt")).constData(), MNT_DETACH);
}

FileCase ModeKept(mode_t mode)
{
    return {[mode](const QString& dir) {
                const QString path = Make(dir + QStringLiteral("/httpd.conf"));
                ::chown(QFile::encodeName(path).constData(), 65534, 65534);
                ::chmod(QFile::encodeName(path).constData(), mode);
                return path;
            },
            {},
            [mode](const QString&, const QString& path) {
                Keeps(path, kRewritten);
                const struct stat st = StatOf(path);
                QCOMPARE(st.st_mode & 07777, mode);
                QCOMPARE(st.st_uid, uid_t(65534));
                QCOMPARE(st.st_gid, gid_t(65534));
            },
            true};
}
#endif

} // namespace

void TestRewriter::rewriteFile_data()
{
    QTest::addColumn<FileCase>("fileCase");
    const auto plain = [](const QString& dir) { return Make(dir + QStringLiteral("/httpd.conf")); };
    QTest::newRow("replaced, nothing else left behind")
        << FileCase{plain, {}, [](const QString& dir, const QString& path) {
                        Keeps(path, kRewritten);
                        Leaves(dir, {"httpd.conf"});
                    }};
    QTest::newRow("zero-byte file untouched")
        << FileCase{[](const QString& dir) { return Make(dir + QStringLiteral("/httpd.conf"), {}); },
                    {},
                    [](const QString&, const QString& path) { Keeps(path, {}); }};
    QTest::newRow("missing file") << FileCase{
        [](const QString& dir) { return dir + QStringLiteral("/gone/x.conf"); },
        QStringLiteral("No such file"),
        {}};
    QTest::newRow("UTF-16 file untouched") << FileCase{
        [](const QString& dir) { return Make(dir + QStringLiteral("/httpd.conf"), "\xff\xfe#\0"); },
        QStringLiteral("UTF-16"), [](const QString&, const QString& path) { Keeps(path, "\xff\xfe#\0"); }};
    // Lines straddle the 1 MiB chunks the file is read in, CR LF split between two of them too.
    QTest::newRow("a file of many chunks equals the rewrite in memory") << FileCase{
        [](const QString& dir) {
            QByteArray big;
            for (int i = 0; big.size() < (5 << 20); ++i)
                big += (i % 7 ? "# line \r\n" : "DocumentRoot /x \\\r\n\"/y\"\r") + QByteArray(i % 13, 'z');
            return Make(dir + QStringLiteral("/httpd.conf"), big + "DirectoryIndex a");
        },
        {},
        [](const QString& dir, const QString& path) {
            const QByteArray written = ReadAll(path);
            QVERIFY(written.size() > (5 << 20));
            QByteArray big;
            for (int i = 0; big.size() < (5 << 20); ++i)
                big += (i % 7 ? "# line \r\n" : "DocumentRoot /x \\\r\n\"/y\"\r") + QByteArray(i % 13, 'z');
            const RewritePlan plan = HttpdConfPlan(QStringLiteral("/srv/new"), QStringLiteral("index.php"));
            QCOMPARE(written, RewriteContent(big + "DirectoryIndex a", plan).value_or("<refused>"));
            Leaves(dir, {"httpd.conf"});
        }};
#ifdef Q_OS_UNIX
    QTest::newRow("a folder in its place")
        << FileCase{[](const QString& dir) { return dir; }, QStringLiteral("不是普通文件"), {}};
    QTest::newRow("FIFO in its place: no wait")
        << FileCase{[](const QString& dir) {
                        const QString path = dir + QStringLiteral("/httpd.conf");
                        ::mkfifo(QFile::encodeName(path).constData(), 0644);
                        return path;
                    },
                    QStringLiteral("不是普通文件"),
                    {}};
    QTest::newRow("link to /dev/zero")
        << FileCase{[](const QString& dir) {
                        const QString path = dir + QStringLiteral("/httpd.conf");
                        QFile::link(QStringLiteral("/dev/zero"), path);
                        return path;
                    },
                    QStringLiteral("不是普通文件"),
                    {}};
    // The Apache folder reached through a linked folder, httpd.conf a relative link with "..":
    // the kernel's reading of it is the file Apache reads.
    QTest::newRow("links resolved as the system does")
        << FileCase{[](const QString& dir) {
                        QDir(dir).mkpath(QStringLiteral("store/apache/conf"));
                        Make(dir + QStringLiteral("/store/real.conf"));
                        Make(dir + QStringLiteral("/real.conf"), "unrelated\n");
                        QFile::link(dir + QStringLiteral("/store/apache"), dir + QStringLiteral("/apache"));
                        ::symlink("../../real.conf",
                                  QFile::encodeName(dir + QStringLiteral("/store/apache/conf/httpd.conf")));
                        return dir + QStringLiteral("/apache/conf/httpd.conf");
                    },
                    {},
                    [](const QString& dir, const QString& path) {
                        Keeps(dir + QStringLiteral("/store/real.conf"), kRewritten);
                        Keeps(dir + QStringLiteral("/real.conf"), "unrelated\n");
                        QVERIFY(QFileInfo(path).isSymLink());
                    }};
    QTest::newRow("read-only file not replaced behind its owner's back")
        << FileCase{[](const QString& dir) {
                        const QString path = Make(dir + QStringLiteral("/httpd.conf"));
                        ::chmod(QFile::encodeName(dir).constData(), 0777);
                        ::chmod(QFile::encodeName(path).constData(), 0444);
                        return path;
                    },
                    QStringLiteral("not writable"),
                    [](const QString& dir, const QString& path) {
                        Keeps(path);
                        Leaves(dir, {"httpd.conf"});
                    },
                    false, true};
    QTest::newRow("folder takes no temporary file: reported, not written in place")
        << FileCase{[](const QString& dir) {
                        const QString path = Make(dir + QStringLiteral("/httpd.conf"));
                        ::chmod(QFile::encodeName(path).constData(), 0666);
                        ::chmod(QFile::encodeName(dir).constData(), 0555);
                        return path;
                    },
                    QStringLiteral("Permission denied"),
                    [](const QString& dir, const QString& path) {
                        ::chmod(QFile::encodeName(dir).constData(), 0700);
                        Keeps(path);
                    },
                    false, true};
    QTest::newRow("full disk: nothing fits") << FileCase{
        [](const QString& dir) { return FullDisk(dir, 0, kConf); }, QStringLiteral("No space left"),
        [](const QString&, const QString& path) { Keeps(path); }, true};
    QTest::newRow("full disk: the write stops part-way") << FileCase{
        [](const QString& dir) { return FullDisk(dir, 8192, QByteArray(20000, '#') + "\r\n" + kConf); },
        QStringLiteral("No space left"),
        [](const QString&, const QString& path) { Keeps(path, QByteArray(20000, '#') + "\r\n" + kConf); },
        true};
    QTest::newRow("a file larger than the memory the process may use")
        << FileCase{[](const QString& dir) {
                        QFile file(dir + QStringLiteral("/httpd.conf"));
                        file.open(QIODevice::WriteOnly);
                        const QByteArray block = QByteArray("# comment line\r\n").repeated(1 << 16);
                        for (int i = 0; i < 160; ++i)
                            file.write(block);
                        file.write(kConf);
                        return file.fileName();
                    },
                    {},
                    [](const QString&, const QString& path) {
                        QFile file(path);
                        QVERIFY(file.open(QIODevice::ReadOnly));
                        QVERIFY(file.seek(file.size() - kRewritten.size()));
                        QCOMPARE(file.readAll(), kRewritten);
                    },
                    false,
                    false,
                    qint64(128) << 20};
    for (const mode_t mode : {0444, 0400, 0000, 0460, 04755, 02644, 01644})
        QTest::newRow(
            qPrintable(QStringLiteral("owner and mode %1 kept exactly").arg(mode, 4, 8, QLatin1Char('0'))))
            << ModeKept(mode);
#endif
}

void TestRewriter::rewriteFile()
{
    QFETCH(FileCase, fileCase);
    QTemporaryDir dir;
#ifdef Q_OS_UNIX
    if (fileCase.asRoot && ::geteuid() != 0)
        QSKIP("needs root (a mount, another owner)");
#endif
    const QString path = fileCase.arrange(dir.path());
    QVERIFY(!path.isEmpty());
    if (QTest::currentTestFailed())
        return;
    RewriteResult result;
    const auto run = [&] {
        result = RewriteHttpdConf(path, QStringLiteral("/srv/new"), QStringLiteral("index.php"));
        return result.path == QDir::toNativeSeparators(path) &&
               (result.ok() ? fileCase.reason.isEmpty() : result.reason.contains(fileCase.reason));
    };
#ifdef Q_OS_UNIX
    const auto unmount = qScopeGuard([&dir] { Unmount(dir.path()); });
    if (fileCase.unprivileged)
        QVERIFY(AsUnprivileged(run));
    else if (fileCase.memoryLimit)
        QVERIFY(WithLittleMemory(path, fileCase.memoryLimit));
    else
#endif
        QVERIFY2(run(), qPrintable(result.reason));
    if (fileCase.verify)
        fileCase.verify(dir.path(), path);
}

int main(int argc, char* argv[])
{
    // A rewrite on its own, for the test that limits the memory of a process.
    if (argc == 3 && qstrcmp(argv[1], "--rewrite") == 0)
        return RewriteHttpdConf(QFile::decodeName(argv[2]), QStringLiteral("/srv/new"),
                                QStringLiteral("index.php"))
                       .ok()
                   ? 0
                   : 1;
    TestRewriter test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_rewriter.moc"
