// SPDX-License-Identifier: MIT
// The rewriter against the real programs that read its output: PHP and Apache httpd.
#include "config/rewritefile.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using testutil::RunProgram;

namespace {

const QString kApache = QStringLiteral("/usr/sbin/apache2");
const QString kModules = QStringLiteral("/usr/lib/apache2/modules");

QList<QByteArray> Lines(QByteArray content)
{
    content.replace("\r\n", "\n");
    content.replace('\r', '\n');
    if (content.endsWith('\n'))
        content.chop(1);
    return content.split('\n');
}

} // namespace

class TestRealPeers : public QObject
{
    Q_OBJECT

  private slots:
    void phpReadsRewrittenIni();
    void apacheReadsDocumentRootAsTyped_data();
    void apacheReadsDocumentRootAsTyped();
};

void TestRealPeers::phpReadsRewrittenIni()
{
    const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
    const QStringList inis =
        QDir(QStringLiteral("/usr/lib/php")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    QString source;
    for (const QString& version : inis)
        if (QFile::exists(QStringLiteral("/usr/lib/php/%1/php.ini-development").arg(version)))
            source = QStringLiteral("/usr/lib/php/%1/php.ini-development").arg(version);
    if (php.isEmpty() || source.isEmpty())
        QSKIP("php-cli and its php.ini-development are not installed");

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("php.ini"));
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray original = in.readAll();
    // The development file shows errors already: switch it off first so the change is visible.
    QVERIFY(original.contains("\ndisplay_errors = On\n"));
    original.replace("\ndisplay_errors = On\n", "\ndisplay_errors = Off\n");
    QVERIFY(testutil::WriteAll(ini, original));
    const QStringList query{QStringLiteral("-n"), QStringLiteral("-c"), ini, QStringLiteral("-r"),
                            QStringLiteral("echo ini_get(\"display_errors\");")};
    QCOMPARE(RunProgram(php, query).output, QString());

    const config::RewriteResult result = config::RewritePhpIni(ini, true);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    const testutil::Run run = RunProgram(php, query);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.output, QStringLiteral("1"));

    const QList<QByteArray> before = Lines(original);
    const QList<QByteArray> after = Lines(testutil::ReadAll(ini));
    QCOMPARE(after.size(), before.size());
    int replaced = 0;
    for (int i = 0; i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        QVERIFY2(before[i].startsWith("display_errors") && after[i] == "display_errors = On",
                 before[i].constData());
        ++replaced;
    }
    QCOMPARE(replaced, 1);
}

void TestRealPeers::apacheReadsDocumentRootAsTyped_data()
{
    // clang-format off
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("continued"); // the old lines go on in the next ones
    QTest::newRow("plain") << "site" << false;
    QTest::newRow("spaces") << "my web site" << false;
    QTest::newRow("trailing separator") << "site/" << false;
    QTest::newRow("backslash run") << "a\\\\b\\" << false;
    QTest::newRow("double quote") << "say \"hi\"" << false;
    QTest::newRow("backslash before quote") << "x\\\"y" << false;
    QTest::newRow("Chinese") << QStringLiteral("网站") << false;
    QTest::newRow("continuation lines") << "site" << true;
    // clang-format on
}

void TestRealPeers::apacheReadsDocumentRootAsTyped()
{
    if (!QFile::exists(kApache) || !QFile::exists(kModules + QStringLiteral("/mod_dir.so")))
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
    QVERIFY(testutil::WriteAll(conf, original));
    // Apache reads the file as it was before too.
    QCOMPARE(RunProgram(kApache, {QStringLiteral("-t"), QStringLiteral("-f"), conf}).exitCode, 0);

    const config::RewriteResult result =
        config::RewriteHttpdConf(conf, root, QStringLiteral("index.php index.html"));
    QVERIFY2(result.ok(), qPrintable(result.reason));

    const testutil::Run check = RunProgram(kApache, {QStringLiteral("-t"), QStringLiteral("-f"), conf});
    QVERIFY2(check.output.contains(QLatin1String("Syntax OK")), qPrintable(check.output));
    QCOMPARE(check.exitCode, 0);
    const testutil::Run dump = RunProgram(kApache, {QStringLiteral("-S"), QStringLiteral("-f"), conf});
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^Main DocumentRoot: \"(.*)\"$"),
                                                             QRegularExpression::MultilineOption)
                                              .match(dump.output);
    QVERIFY2(match.hasMatch(), qPrintable(dump.output));
    QCOMPARE(match.captured(1), root);
}

QTEST_GUILESS_MAIN(TestRealPeers)
#include "tst_realpeers.moc"
