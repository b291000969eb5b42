// SPDX-License-Identifier: MIT
// The directive tokenizer and the configuration rewriter: tables of lines, faults made for real on
// files, and the real PHP and Apache reading what the rewriter wrote.
#include "config/rewritefile.h"
#include "config/tokenizer.h"
#include "testutil.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace config;
using testutil::ReadAll;
using testutil::RunProgram;
using testutil::WriteAll;

namespace {

const QString kApache = QStringLiteral("/usr/sbin/apache2");
const QByteArray kConf = "DocumentRoot /old\r\n# keep \xff\r\nDirectoryIndex a\r\n";
const QByteArray kRewritten = "DocumentRoot \"/srv/new\"\r\n# keep \xff\r\nDirectoryIndex index.php\r\n";

// A stock Apache 2.4 httpd.conf's sections: the file system denied, the shipped folder granted.
QByteArray StockSections(const QByteArray& folder)
{
    return "<Directory />\r\n    Require all denied\r\n</Directory>\r\nDocumentRoot \"" + folder +
           "\"\r\n<Directory \"" + folder + "\">\r\n    Require all granted\r\n</Directory>\r\n";
}

QByteArray ManyChunks()
{
    QByteArray big;
    for (int i = 0; big.size() < (5 << 20); ++i)
        big += (i % 7 ? "# line \r\n" : "DocumentRoot /x \\\r\n\"/y\"\r") + QByteArray(i % 13, 'z');
    // A line longer than a chunk, too.
    return big + "\r\n# " + QByteArray(3 << 19, 'z') + "\r\nDirectoryIndex a";
}

#ifdef Q_OS_UNIX
// Runs check in a child process as an unprivileged user (the tests run as root in CI).
bool AsNobody(const std::function<bool()>& check)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit((::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) && check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
#endif

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

  private slots:
    void getWord_data();
    void getWord();
    void rewriteContent_data();
    void rewriteContent();
    void checkValues_data();
    void checkValues();
    void rewriteFile_data();
    void rewriteFile();
    void phpReadsRewrittenIni();
    void apacheReadsWhatWasTyped_data();
    void apacheReadsWhatWasTyped();
};

void TestConfig::getWord_data()
{
    // clang-format off
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("word");
    const QString root = QStringLiteral("DocumentRoot \"C:/x\"");
    QTest::newRow("first word") << root << 1 << "DocumentRoot";
    QTest::newRow("word inside quotes") << root << 2 << "C";
    QTest::newRow("last word ends the line") << root << 3 << "x";
    QTest::newRow("fewer words than n") << root << 4 << "";
    QTest::newRow("n zero") << root << 0 << "";
    QTest::newRow("n negative") << root << -1 << "";
    QTest::newRow("marker joins the name") << "#" + root << 1 << "#DocumentRoot";
    QTest::newRow("marker then blank") << "# " + root << 1 << "#";
    QTest::newRow("semicolon, value after equals") << ";display_errors = Off" << 2 << "Off";
    QTest::newRow("blanks, tab, no spaces round =") << " \t display_errors=Off" << 1 << "display_errors";
    QTest::newRow("index list") << "DirectoryIndex index.php index.html" << 3 << "php";
    QTest::newRow("empty line") << "" << 1 << "";
    QTest::newRow("separators only") << " \t = \"@[`{/:-.\\$" << 1 << "";
    QTest::newRow("single word character") << "x" << 1 << "x";
    QTest::newRow("every word character in one run") << "AZaz09#;_ b" << 1 << "AZaz09#;_";
    QTest::newRow("Chinese before the name") << QStringLiteral("中文display_errors = On") << 1 << "display_errors";
    QTest::newRow("Latin-1 letter splits") << QStringLiteral("caf\u00e9s") << 2 << "s";
    QTest::newRow("case kept") << "documentroot /x" << 1 << "documentroot";
    QTest::newRow("n past a long line") << QString(300, QLatin1Char('a')) + " b" << 2 << "b";
    // clang-format on
}

void TestConfig::getWord()
{
    QFETCH(QString, line);
    QFETCH(int, n);
    QFETCH(QString, word);
    QCOMPARE(GetWord(line, qint16(n)), word);
    const QString first = GetWord(line, 1);
    QCOMPARE(IsWordChar(line), !first.isEmpty() && line.startsWith(first));
}

void TestConfig::rewriteContent_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("root"); // httpd.conf with this document root; empty: php.ini
    QTest::addColumn<QByteArray>("expected"); // null: refused
    QTest::addColumn<QStringList>("notSet");
    const QString php;
    const QString root = QStringLiteral("E:\\Myphp");
    const QStringList none;
    const QByteArray index = "DirectoryIndex x\r\n";
    const QByteArray newIndex = "DirectoryIndex index.php index.html\r\n";
    QTest::newRow("last line gains CR LF") << QByteArray("a\r\nb") << php << QByteArray("a\r\nb\r\n") << none;
    QTest::newRow("CR LF file without match is identical") << QByteArray("[PHP]\r\n\r\nx = 1\r\n") << php << QByteArray("[PHP]\r\n\r\nx = 1\r\n") << none;
    QTest::newRow("lone CR, lone LF, LF CR end lines") << QByteArray("a\rb\nc\n\rd\r\n\r\n") << php << QByteArray("a\r\nb\r\nc\r\n\r\nd\r\n\r\n") << none;
    QTest::newRow("php: live lines replaced, comments kept, no continuation")
        << QByteArray("display_errors = Off\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off \\\r\n\t  display_errors=Off ; note\r\ndisplay_errors") << php
        << QByteArray("display_errors = On\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off \\\r\ndisplay_errors = On\r\ndisplay_errors = On\r\n") << none;
    QTest::newRow("httpd: every match replaced whole, comments and case kept")
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"/a\" # old\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\n    DirectoryIndex index.html\r\n</IfModule>\r\nDocumentRoot /b\r\n") << root
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"E:\\Myphp\"\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\nDirectoryIndex index.php index.html\r\n</IfModule>\r\n"
                      "DocumentRoot \"E:\\Myphp\"\r\n") << none;
    QTest::newRow("bytes invalid in the code page survive, no index line")
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot /\xff\r\n") << root
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot \"E:\\Myphp\"\r\n") << QStringList{"DirectoryIndex"};
    QTest::newRow("non-ASCII around the name does not hide it")
        << QByteArray("\xe4\xb8\xad DocumentRoot/x\r\nDirectoryIndex\xe4\xb8\xad x\r\nDocumentRootx /y\r\n") << root
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n") + newIndex + "DocumentRootx /y\r\n" << none;
    QTest::newRow("nothing to set: commented and other case only")
        << QByteArray("#DocumentRoot /a\r\ndocumentroot /a\r\n# DirectoryIndex a") << root
        << QByteArray("#DocumentRoot /a\r\ndocumentroot /a\r\n# DirectoryIndex a\r\n") << QStringList{"DocumentRoot", "DirectoryIndex"};
    QTest::newRow("UTF-16 is refused") << QByteArray("\xff\xfe" "D\0o\0", 6) << root << QByteArray() << none;
    // The access section of the old folder moves with DocumentRoot, as the stock file asks.
    QTest::newRow("stock: section after DocumentRoot, root section kept")
        << StockSections("${SRVROOT}/htdocs") + index << root << StockSections("E:\\Myphp") + newIndex << none;
    QTest::newRow("section before, unquoted, trailing separator, indent and tail kept")
        << QByteArray("  <Directory /srv/old/>  # site\r\n</Directory>\r\n<DirectoryMatch \"/srv/old\">\r\n"
                      "#<Directory /srv/old>\r\n#Directory /srv/old>\r\n<Directory /srv/other>\r\nDocumentRoot /srv/old\r\n") + index << root
        << QByteArray("  <Directory \"E:\\Myphp\">  # site\r\n</Directory>\r\n<DirectoryMatch \"/srv/old\">\r\n"
                      "#<Directory /srv/old>\r\n#Directory /srv/old>\r\n<Directory /srv/other>\r\nDocumentRoot \"E:\\Myphp\"\r\n") + newIndex << none;
    QTest::newRow("virtual hosts: each one's section, quotes read as Apache does")
        << QByteArray("DocumentRoot \"/a\\\"b\"\r\n<Directory '/a\"b'>\r\nDocumentRoot /c\r\n<directory\t\"/c/\">\r\n") + index << root
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"E:\\Myphp\">\r\nDocumentRoot \"E:\\Myphp\"\r\n"
                      "<Directory \"E:\\Myphp\">\r\n") + newIndex << none;
    QTest::newRow("a file-system root DocumentRoot keeps its section")
        << QByteArray("DocumentRoot /\r\n<Directory />\r\n<Directory \"C:/\">\r\n") + index << root
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory />\r\n<Directory \"C:/\">\r\n") + newIndex << none;
    QTest::newRow("folders compared by the system's rules")
        << QByteArray("DocumentRoot \"C:\\Srv\\Old\"\r\n<Directory \"c:/srv/old/\">\r\n") + index << root
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
        << QByteArray("DocumentRoot \\\r\n  \"/srv/old\"\r\n<Directory /srv/old>\r\nDirectoryIndex a \\\r\n b \\\r\n c\r\nX y\\\\\r\nZ\r\n") << root
        << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n<Directory \"E:\\Myphp\">\r\n") + newIndex + "X y\\\\\r\nZ\r\n" << none;
    // ... also a comment: then its folder's section stays, whatever the line end.
    const QByteArray hidden = "# a \\\r\nDocumentRoot /x\r\n# b \\\nDocumentRoot /y\r\n# c \\\rDocumentRoot /z\r\n"
                              "<Directory /x>\r\n<Directory /y>\r\n<Directory /z>\r\n";
    QTest::newRow("a continued comment hides the next line")
        << hidden + index << root << QByteArray(hidden).replace("\\\n", "\\\r\n").replace("\\\rD", "\\\r\nD") + newIndex
        << QStringList{"DocumentRoot"};
    // clang-format on
}

void TestConfig::rewriteContent()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, root);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, notSet);
    const RewritePlan plan =
        root.isEmpty() ? PhpIniPlan(true) : HttpdConfPlan(root, QStringLiteral("index.php index.html"));
    QStringList unmatched;
    const std::optional<QByteArray> output = RewriteContent(input, plan, &unmatched);
    QCOMPARE(output.value_or(QByteArray()), expected);
    QCOMPARE(unmatched, output ? notSet : QStringList());
    // A second pass with the same values changes nothing.
    QCOMPARE(RewriteContent(expected, plan).value_or(QByteArray()), expected);
}

void TestConfig::checkValues_data()
{
    // clang-format off
    using F = ValueProblem::Field;
    using K = ValueProblem::Kind;
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("index");
    QTest::addColumn<int>("problem"); // field * 10 + kind; -1: accepted
    QTest::newRow("ordinary, Chinese") << QStringLiteral("/srv/网站") << "index.php" << -1;
    QTest::newRow("root ends in backslash: quoted") << "D:\\www\\" << "a\\\\" << -1;
    QTest::newRow("LF in root") << "/a\nServerName evil" << "i" << int(F::DocumentRoot) * 10 + int(K::LineBreak);
    QTest::newRow("CR in index") << "/a" << "i\rx" << int(F::DirectoryIndex) * 10 + int(K::LineBreak);
    QTest::newRow("NUL in root") << QString(QStringLiteral("/a") + QChar(u'\0')) << "i" << int(F::DocumentRoot) * 10 + int(K::LineBreak);
    QTest::newRow("empty root") << "" << "i" << int(F::DocumentRoot) * 10 + int(K::Empty);
    QTest::newRow("blank index") << "/a" << "   " << int(F::DirectoryIndex) * 10 + int(K::Empty);
    QTest::newRow("index ends in backslash") << "/a" << "index.php \\" << int(F::DirectoryIndex) * 10 + int(K::TrailingBackslash);
    QTest::newRow("lone surrogate") << "i" << QString(QStringLiteral("a") + QChar(0xdc00)) << int(F::DirectoryIndex) * 10 + int(K::NotEncodable);
    // clang-format on
}

void TestConfig::checkValues()
{
    QFETCH(QString, root);
    QFETCH(QString, index);
    QFETCH(int, problem);
    const std::optional<ValueProblem> found = CheckValues(root, index);
    QCOMPARE(found ? int(found->field) * 10 + int(found->kind) : -1, problem);
}

// Each row puts a file, or something else, where httpd.conf is expected, rewrites it and says what
// the file holds afterwards. Faults are made for real: a full tmpfs, a FIFO, links, modes.
enum class Setup {
    Plain,
    Empty,
    Missing,
    Utf16,
    Chunks,
    Folder,
    Fifo,
    DevZero,
    Links,
    ReadOnly,
    NoTempFile,
    FullDisk,
    PartFull,
    BigFile,
    Mode
};
Q_DECLARE_METATYPE(Setup)

void TestConfig::rewriteFile_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reason"); // expected in the failure reason; empty: success
    QTest::newRow("replaced, nothing else left") << Setup::Plain << 0 << "";
    QTest::newRow("zero-byte file untouched") << Setup::Empty << 0 << "";
    QTest::newRow("missing file") << Setup::Missing << 0 << "No such file";
    QTest::newRow("UTF-16 file untouched") << Setup::Utf16 << 0 << "UTF-16";
    QTest::newRow("many chunks, lines across them") << Setup::Chunks << 0 << "";
#ifdef Q_OS_UNIX
    QTest::newRow("a folder in its place") << Setup::Folder << 0 << "不是普通文件";
    QTest::newRow("FIFO in its place: no wait") << Setup::Fifo << 0 << "不是普通文件";
    QTest::newRow("link to /dev/zero") << Setup::DevZero << 0 << "不是普通文件";
    QTest::newRow("links resolved as the system does") << Setup::Links << 0 << "";
    QTest::newRow("read-only file of another user") << Setup::ReadOnly << 0 << "not writable";
    QTest::newRow("no temporary file in the folder: not written in place")
        << Setup::NoTempFile << 0 << "Permission denied";
    QTest::newRow("full disk: nothing fits") << Setup::FullDisk << 0 << "No space left";
    QTest::newRow("full disk: the write stops part-way") << Setup::PartFull << 0 << "No space left";
    QTest::newRow("larger than the memory the process may use") << Setup::BigFile << 0 << "";
    for (const int mode : {0444, 0400, 0000, 0460, 04755, 02644, 01644})
        QTest::newRow(qPrintable(QStringLiteral("owner and mode %1 kept").arg(mode, 4, 8, QLatin1Char('0'))))
            << Setup::Mode << mode << "";
#endif
}

void TestConfig::rewriteFile()
{
    QFETCH(Setup, setup);
    QFETCH(int, mode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("httpd.conf"));
    QString target = path;     // the file whose content is checked afterwards
    QByteArray before = kConf; // ... and what it held
    bool nobody = false;
#ifdef Q_OS_UNIX
    const QString mount = dir.filePath(QStringLiteral("mnt"));
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH); });
    const QByteArray file = QFile::encodeName(path);
    const bool root = ::geteuid() == 0;
    if ((setup == Setup::FullDisk || setup == Setup::PartFull || setup == Setup::Mode) && !root)
        QSKIP("needs root (a mount, another owner)");
#endif
    switch (setup) {
    case Setup::Empty:
        before.clear();
        break;
    case Setup::Missing:
        path = target = dir.filePath(QStringLiteral("gone/x.conf"));
        before.clear();
        break;
    case Setup::Utf16:
        before = QByteArray("\xff\xfe#\0", 4);
        break;
    case Setup::Chunks:
        before = ManyChunks();
        break;
#ifdef Q_OS_UNIX
    case Setup::Folder:
        path = target = dir.path();
        before.clear();
        break;
    case Setup::Fifo:
        QCOMPARE(::mkfifo(file.constData(), 0644), 0);
        before.clear();
        break;
    case Setup::DevZero:
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        before.clear();
        break;
    case Setup::Links:
        // The Apache folder reached through a linked folder, httpd.conf a relative link with "..":
        // the kernel's reading of it is the file Apache reads.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("store/apache/conf")));
        QVERIFY(WriteAll(dir.filePath(QStringLiteral("real.conf")), "unrelated\n"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("store/apache")),
                            dir.filePath(QStringLiteral("apache"))));
        QCOMPARE(::symlink("../../real.conf",
                           QFile::encodeName(dir.filePath(QStringLiteral("store/apache/conf/httpd.conf")))),
                 0);
        path = dir.filePath(QStringLiteral("apache/conf/httpd.conf"));
        target = dir.filePath(QStringLiteral("store/real.conf"));
        break;
    case Setup::ReadOnly:
        ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
        nobody = true;
        break;
    case Setup::NoTempFile:
        nobody = true;
        break;
    case Setup::FullDisk:
    case Setup::PartFull:
        QVERIFY(QDir().mkpath(mount));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=64k"), 0);
        path = target = mount + QStringLiteral("/httpd.conf");
        if (setup == Setup::PartFull)
            before = QByteArray(20000, '#') + "\r\n" + kConf; // 8 KiB will be free
        break;
    case Setup::BigFile:
        before = QByteArray("# comment line\r\n").repeated(10 << 20) + kConf;
        break;
#endif
    default:
        break;
    }
    if (!before.isEmpty() || setup == Setup::Empty)
        QVERIFY(WriteAll(target, before));
#ifdef Q_OS_UNIX
    if (setup == Setup::FullDisk || setup == Setup::PartFull) {
        QFile fill(mount + QStringLiteral("/fill"));
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (fill.write(QByteArray(4096, 'x')) == 4096) {
        }
        QVERIFY(fill.resize(fill.size() - (setup == Setup::PartFull ? 8192 : 0)));
    }
    if (setup == Setup::ReadOnly)
        QCOMPARE(::chmod(file.constData(), 0444), 0);
    if (setup == Setup::NoTempFile) {
        QCOMPARE(::chmod(file.constData(), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    }
    if (setup == Setup::Mode) {
        QCOMPARE(::chown(file.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(file.constData(), mode_t(mode)), 0);
    }
#endif

    const auto rewrite = [&] {
        const RewriteResult result =
            RewriteHttpdConf(path, QStringLiteral("/srv/new"), QStringLiteral("index.php"));
        return result.path == QDir::toNativeSeparators(path) &&
               (reason.isEmpty() ? result.ok() && result.notSet.isEmpty() : result.reason.contains(reason));
    };
#ifdef Q_OS_UNIX
    if (setup == Setup::BigFile) // in a new process with 128 MiB of address space
        QCOMPARE(
            RunProgram(QStringLiteral("prlimit"), {QStringLiteral("--as=134217728"), QStringLiteral("--"),
                                                   QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                                                   QStringLiteral("--rewrite"), path})
                .exitCode,
            0);
    else if (nobody)
        QVERIFY(AsNobody(rewrite));
    else
#endif
        QVERIFY(rewrite());
#ifdef Q_OS_UNIX
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
#else
    Q_UNUSED(mode);
    Q_UNUSED(nobody);
#endif

    // What became of the file: the old bytes after a failure, the new ones after success.
    if (setup == Setup::Chunks)
        QCOMPARE(ReadAll(target), RewriteContent(before, HttpdConfPlan(QStringLiteral("/srv/new"),
                                                                       QStringLiteral("index.php")))
                                      .value_or("-"));
    else if (setup == Setup::BigFile)
        QVERIFY(ReadAll(target).endsWith(kRewritten));
    else if (!before.isEmpty() || setup == Setup::Empty)
        QCOMPARE(ReadAll(target), reason.isEmpty() && !before.isEmpty() ? kRewritten : before);
    if (setup == Setup::Links) {
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(ReadAll(dir.filePath(QStringLiteral("real.conf"))), QByteArray("unrelated\n"));
    }
    if (setup == Setup::Plain || setup == Setup::Chunks || setup == Setup::ReadOnly ||
        setup == Setup::NoTempFile)
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"httpd.conf"});
#ifdef Q_OS_UNIX
    if (setup == Setup::FullDisk || setup == Setup::PartFull) // no temporary file left behind
        QCOMPARE(QDir(mount).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 (QStringList{"fill", "httpd.conf"}));
    if (setup == Setup::Mode) {
        struct stat st
        {
        };
        QCOMPARE(::stat(file.constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), mode);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_gid, gid_t(65534));
    }
#endif
}

void TestConfig::phpReadsRewrittenIni()
{
    const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
    const QStringList sources =
        QDir(QStringLiteral("/usr/lib/php")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    const QString source = sources.isEmpty()
                               ? QString()
                               : QStringLiteral("/usr/lib/php/%1/php.ini-development").arg(sources.last());
    if (php.isEmpty() || !QFile::exists(source))
        QSKIP("php-cli and its php.ini-development are not installed");
    // Debian's development file shows errors already: off first, so the change is visible.
    QByteArray original = ReadAll(source).replace("\ndisplay_errors = On\n", "\ndisplay_errors = Off\n");
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("php.ini"));
    QVERIFY(WriteAll(ini, original));
    const QStringList query{QStringLiteral("-n"), QStringLiteral("-c"), ini, QStringLiteral("-r"),
                            QStringLiteral("echo ini_get(\"display_errors\");")};
    QCOMPARE(RunProgram(php, query).output, QString());
    QVERIFY(RewritePhpIni(ini, true).ok());
    QCOMPARE(RunProgram(php, query).output, QStringLiteral("1"));
    // One line changed, every other kept: the file differs from CR LF'd original in that line only.
    original.replace("\n", "\r\n").replace("\ndisplay_errors = Off\r\n", "\ndisplay_errors = On\r\n");
    QCOMPARE(ReadAll(ini), original);
}

void TestConfig::apacheReadsWhatWasTyped_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("continued"); // the old lines go on in the next ones
    for (const char* folder : {"my web site", "site/", "a\\\\b\\", "say \"hi\"", "x\\\"y"})
        QTest::newRow(folder) << QString::fromLatin1(folder) << false;
    QTest::newRow("Chinese") << QStringLiteral("网站") << false;
    QTest::newRow("continuation lines") << "site" << true;
}

void TestConfig::apacheReadsWhatWasTyped()
{
    if (!QFile::exists(kApache))
        QSKIP("Apache httpd (Debian's apache2) is not installed");
    QFETCH(QString, folder);
    QFETCH(bool, continued);
    QTemporaryDir dir;
    const QString root = dir.filePath(folder);
    QVERIFY(QDir().mkpath(root));
    const QString conf = dir.filePath(QStringLiteral("httpd.conf"));
    QByteArray original = testutil::ApacheConf(dir.path(), 8, dir.path());
    if (continued) {
        original.replace("\r\nDocumentRoot \"", "\r\nDocumentRoot \\\r\n    \"");
        original.replace("DirectoryIndex index.php\r\n",
                         "DirectoryIndex index.php \\\r\n        index.html\r\n");
    }
    QVERIFY(WriteAll(conf, original));
    QCOMPARE(RunProgram(kApache, {QStringLiteral("-t"), QStringLiteral("-f"), conf}).exitCode,
             0); // valid before
    QVERIFY(RewriteHttpdConf(conf, root, QStringLiteral("index.php index.html")).ok());
    const testutil::Run dump = RunProgram(kApache, {QStringLiteral("-S"), QStringLiteral("-f"), conf});
    QCOMPARE(dump.exitCode, 0);
    const QRegularExpression main(QStringLiteral("^Main DocumentRoot: \"(.*)\"$"),
                                  QRegularExpression::MultilineOption);
    QCOMPARE(main.match(dump.output).captured(1), root);
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
    TestConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_config.moc"
