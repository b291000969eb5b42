// SPDX-License-Identifier: MIT
#include "config/rewriter.h"
#include "config/tokenizer.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

using namespace config;
using testutil::ReadAll;
using testutil::WriteAll;

namespace {

// Runs check as an unprivileged user, so that permissions hold also when the tests run as root.
bool AsUnprivileged(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool GiveAway(const QString& path)
{
    return ::geteuid() != 0 || ::chown(path.toLocal8Bit().constData(), 65534, 65534) == 0;
}

const std::vector<Rule> kPhpRules = PhpIniRules(true);
const std::vector<Rule> kHttpdRules =
    HttpdConfRules(QStringLiteral("E:\\Myphp"), QStringLiteral("index.php index.html"));

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

    void fileIsReplacedKeepingModeOwnerAndLink();
    void fileInUnwritableFolderIsWrittenInPlace();
    void failuresNameTheFileAndLeaveItIntact();
    void zeroByteFileAndNoRulesLeaveFileUntouched();
    void secondPassGivesTheSameBytes();
};

void TestRewriter::rewriteContent_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("httpd");
    QTest::addColumn<QByteArray>("expected");

    // row: input, whether the httpd.conf rules apply (else php.ini's), expected output
    QTest::newRow("last line gains CR LF") << QByteArray("a\r\nb") << false << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR LF file without match is identical")
        << QByteArray("[PHP]\r\n\r\nx = 1\r\n") << false << QByteArray("[PHP]\r\n\r\nx = 1\r\n");
    QTest::newRow("lone CR and lone LF end lines") << QByteArray("a\rb\nc\r\n") << false << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("trailing empty lines kept") << QByteArray("a\r\n\r\n") << false << QByteArray("a\r\n\r\n");
    QTest::newRow("LF CR is two line ends") << QByteArray("a\n\rb") << false << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("php: live lines replaced, comments kept")
        << QByteArray("display_errors = Off\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off\r\n\t  display_errors=Off ; note\r\ndisplay_errors=Off") << false
        << QByteArray("display_errors = On\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                      "display_startup_errors = Off\r\ndisplay_errors = On\r\ndisplay_errors = On\r\n");
    QTest::newRow("httpd: every match replaced whole, comments and case kept")
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"/a\" # old\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\n    DirectoryIndex index.html\r\n</IfModule>\r\nDocumentRoot /b\r\n") << true
        << QByteArray("#DocumentRoot \"/a\"\r\n# DocumentRoot \"/a\"\r\nDocumentRoot \"E:\\Myphp\"\r\ndocumentroot /a\r\n"
                      "<IfModule dir_module>\r\nDirectoryIndex index.php index.html\r\n</IfModule>\r\n"
                      "DocumentRoot \"E:\\Myphp\"\r\n");
    QTest::newRow("bytes invalid in the code page survive")
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot /\xff\r\n") << true
        << QByteArray("# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot \"E:\\Myphp\"\r\n");
    QTest::newRow("non-ASCII before the directive does not hide it")
        << QByteArray("\xe4\xb8\xad DocumentRoot /x\r\n") << true << QByteArray("DocumentRoot \"E:\\Myphp\"\r\n");
    QTest::newRow("no line end at all")
        << QByteArray("DirectoryIndex a") << true << QByteArray("DirectoryIndex index.php index.html\r\n");
    // clang-format on
}

void TestRewriter::rewriteContent()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, httpd);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> output = RewriteContent(input, httpd ? kHttpdRules : kPhpRules);
    QVERIFY(output);
    QCOMPARE(*output, expected);
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
    QCOMPARE(FirstWordOfLine(line), GetWord(QString::fromUtf8(line), 1));
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
    QTest::newRow("LF in root") << "/a\nServerName evil" << "i" << int(F::DocumentRoot) << int(K::LineBreak);
    QTest::newRow("CR in index") << "/a" << "i\rx" << int(F::DirectoryIndex) << int(K::LineBreak);
    QTest::newRow("NUL in root")
        << QString(QStringLiteral("/a") + QChar(u'\0')) << "i" << int(F::DocumentRoot) << int(K::LineBreak);
    QTest::newRow("empty root") << "" << "i" << int(F::DocumentRoot) << int(K::Empty);
    QTest::newRow("blank index") << "/a" << "   " << int(F::DirectoryIndex) << int(K::Empty);
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

void TestRewriter::fileIsReplacedKeepingModeOwnerAndLink()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("httpd.conf"));
    const QString link = dir.filePath(QStringLiteral("link.conf"));
    QVERIFY(WriteAll(target, "DocumentRoot /old\n# keep \xff\n"));
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(target, link));
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(target.toLocal8Bit().constData(), 65534, 65534), 0);
    struct stat before
    {
    };
    QCOMPARE(::stat(target.toLocal8Bit().constData(), &before), 0);

    const RewriteResult result =
        RewriteHttpdConf(link, QStringLiteral("/srv/new"), QStringLiteral("index.php"));
    QVERIFY2(result.ok(), qPrintable(result.reason));

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(target), QByteArray("DocumentRoot \"/srv/new\"\r\n# keep \xff\r\n"));
    struct stat after
    {
    };
    QCOMPARE(::stat(target.toLocal8Bit().constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    if (!root)
        QSKIP("owner restoration needs root; mode and link were checked");
}

void TestRewriter::fileInUnwritableFolderIsWrittenInPlace()
{
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
    const QString path = dir.filePath(QStringLiteral("php.ini"));
    QVERIFY(WriteAll(path, "display_errors = Off\n"));
    QVERIFY(GiveAway(path));
    // The folder takes no temporary file for the unprivileged user, but the file is theirs.
    struct stat before
    {
    };
    QCOMPARE(::stat(path.toLocal8Bit().constData(), &before), 0);
    QVERIFY(AsUnprivileged([&] {
        const bool ownsFolder = QFileInfo(dir.path()).ownerId() == ::getuid();
        if (ownsFolder)
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const bool ok = RewritePhpIni(path, true).ok();
        if (ownsFolder)
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return ok;
    }));
    QCOMPARE(ReadAll(path), QByteArray("display_errors = On\r\n"));
    struct stat after
    {
    };
    QCOMPARE(::stat(path.toLocal8Bit().constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
}

void TestRewriter::failuresNameTheFileAndLeaveItIntact()
{
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
    const QString missing = dir.filePath(QStringLiteral("gone/php.ini"));
    RewriteResult result = RewritePhpIni(missing, true);
    QVERIFY(!result.ok());
    QCOMPARE(result.path, QDir::toNativeSeparators(missing));

    // A folder in place of the file: reading fails.
    QVERIFY(!RewritePhpIni(dir.path(), true).ok());

    // A read-only file in a folder that would take a temporary file is not replaced behind its back.
    const QString readOnly = dir.filePath(QStringLiteral("ro.ini"));
    QVERIFY(WriteAll(readOnly, "display_errors = Off\n"));
    QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadOther));
    QVERIFY(AsUnprivileged([&] {
        const RewriteResult r = RewritePhpIni(readOnly, true);
        return !r.ok() && !r.reason.isEmpty() && r.path == QDir::toNativeSeparators(readOnly);
    }));
    QCOMPARE(ReadAll(readOnly), QByteArray("display_errors = Off\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"ro.ini"});
}

void TestRewriter::zeroByteFileAndNoRulesLeaveFileUntouched()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.conf"));
    QVERIFY(WriteAll(empty, QByteArray()));
    const QString php = dir.filePath(QStringLiteral("php.ini"));
    QVERIFY(WriteAll(php, "display_errors = Off\n"));
    const auto inode = [](const QString& path) {
        struct stat st
        {
        };
        return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
    };
    const auto emptyInode = inode(empty);
    const auto phpInode = inode(php);

    QVERIFY(RewriteHttpdConf(empty, QStringLiteral("/x"), QStringLiteral("i")).ok());
    QVERIFY(RewritePhpIni(php, false).ok());
    QCOMPARE(ReadAll(empty), QByteArray());
    QCOMPARE(ReadAll(php), QByteArray("display_errors = Off\n"));
    QCOMPARE(inode(empty), emptyInode);
    QCOMPARE(inode(php), phpInode);
}

void TestRewriter::secondPassGivesTheSameBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("httpd.conf"));
    QByteArray big;
    for (int i = 0; i < 200000; ++i)
        big += "# line " + QByteArray::number(i) + (i % 3 ? "\n" : "\r");
    big += "DocumentRoot /x\nDirectoryIndex a";
    QVERIFY(WriteAll(path, big));
    QVERIFY(RewriteHttpdConf(path, QStringLiteral("D:\\www\\"), QStringLiteral("index.php")).ok());
    const QByteArray first = ReadAll(path);
    QVERIFY(first.endsWith("DocumentRoot \"D:\\www\\\\\"\r\nDirectoryIndex index.php\r\n"));
    QCOMPARE(first.count('\n'), 200002);
    QVERIFY(RewriteHttpdConf(path, QStringLiteral("D:\\www\\"), QStringLiteral("index.php")).ok());
    QCOMPARE(ReadAll(path), first);
}

QTEST_APPLESS_MAIN(TestRewriter)
#include "tst_rewriter.moc"
