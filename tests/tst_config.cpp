// SPDX-License-Identifier: MIT
// The tokenizer and the rewriter: tables of lines, faults made for real, real Apache reading.
#include "config/apacheconfig.h"
#include "config/apachelines.h"
#include "config/installation.h"
#include "config/phphandler.h"
#include "config/rewritefile.h"
#include "config/rootaccess.h"
#include "config/tokenizer.h"
#include "platform/fileundo.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace config;
using namespace testutil;

const QByteArray kConf = "DocumentRoot /old\r\n# keep \xff\r\nDirectoryIndex a\r\n";
const QString kApache = QStringLiteral("/usr/sbin/apache2"); // Debian's Apache httpd
// httpd.conf moved onto a 64 KiB disk of its own at mnt, a link left in its place.
const QString kTinyDisk =
    "mkdir mnt && mount -t tmpfs -o size=64k tmpfs mnt && mv httpd.conf mnt && ln -s mnt/httpd.conf .";
// What the rewrites below write for the new root and index.
const QByteArray kRoot = "DocumentRoot \"E:\\Myphp\"\r\n", kSection = "<Directory \"E:\\Myphp\">\r\n";
const QByteArray kIndex = "DirectoryIndex x\r\n", kNewIndex = "DirectoryIndex index.php index.html\r\n";

// Every entry under the folder, with its type, mode and owner on Unix, and the bytes of each regular file,
// sorted; nothing else is opened (no FIFO).
static QStringList Snapshot(const QString& folder)
{
    QStringList entries;
#ifdef Q_OS_UNIX
    entries = RunProgram("find", {folder, "-printf", "%p %M %U:%G\n"}).output.split('\n', Qt::SkipEmptyParts);
#endif
    for (QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo info = it.nextFileInfo();
        entries << info.filePath() + ' ' +
                       (info.isFile() && !info.isSymLink() ? ReadAll(info.filePath()).toHex() : "");
    }
    entries.sort();
    return entries;
}

// The files the configuration reader reads from main in the tree, in its order.
static QStringList FilesRead(const QString& tree, const QString& main)
{
    QStringList read;
    ApacheConfigReader reader(tree);
    reader.read(tree + '/' + main, [&](const ApacheConfigLine& line) {
        if (line.number == 1)
            read << line.file;
    });
    return read;
}

// A file rewritten: php.ini to show errors, or httpd.conf for the new root and index "index.php index.html";
// before: lines of other files of the configuration, read ahead and not rewritten (they decide whether the
// rewrite grants access).
struct RewriteRow
{
    bool phpIni = false;
    QByteArray before = {}, given = {};
    QString root = "E:\\Myphp";
    QByteArray expected = {};
    QStringList notSet = {};
};

// make: sh commands run in a scratch folder (apache/: the Apache folder); %1 elsewhere: the scratch folder.
struct InstallationRow
{
    QString make = {};
    Layout layout = {};
    QString phpIni = {}; ///< named unless it is the Apache folder's own
    QStringList siteFiles = {}, errorLogs = {};
};

// A rewrite through "this-test --rewrite httpd.conf" in a new process: before is written to httpd.conf, then
// setup runs in the folder (faults made for real), then runner runs the process. With undoneAfter instead: in
// this process, the file kept and rewritten, these commands run, and the file put back.
struct FileRow
{
    QByteArray before = kConf;
    bool rewritten = false;                       ///< or refused or put back, leaving every file as it was
    QString setup = {}, runner = {}, reason = {}; ///< reason: in the process's output, or why not put back
    QString file = "httpd.conf";                  ///< the file rewritten
    std::optional<QString> undoneAfter = {};
};

class TestConfig : public QObject
{
    Q_OBJECT

  private slots:
    void getWord_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words"); // from the first; none before, none after
        // clang-format off
        QTest::newRow("every word character in one run, every other ASCII one separates")
            << "AZaz09#;_ \t=\"@[`{/:-.\\$b" << QStringList{"AZaz09#;_", "b"};
        QTest::newRow("non-ASCII separates")
            << QStringLiteral("中文display_errors\u00e9s = On") << QStringList{"display_errors", "s", "On"};
        // clang-format on
    }

    void getWord()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        for (int n = -1; n <= words.size() + 1; ++n)
            QCOMPARE(GetWord(line, qint16(n)), words.value(n - 1));
        QCOMPARE(IsWordChar(line.front()), line.startsWith(words.first()));
    }

    void apacheLines_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<Continuations>("continuations");
        QTest::addColumn<QStringList>("expected"); // "number text" of each line
        // clang-format off
        QTest::newRow("CR LF, lone CR, lone LF, LF CR; the last line needs none") << QByteArray("a\rb\nc\n\rd\r\n\r\ne")
            << Continuations::Keep << QStringList{"1 a", "2 b", "3 c", "4 ", "5 d", "6 ", "7 e"};
        QTest::newRow("configuration: a single backslash joins, the file's end ends")
            << QByteArray("A x \\\r\n  y\\\\\r\nB \\\rC\\\n") << Continuations::Join
            << QStringList{"1 A x   y\\\\", "3 B C"};
        // clang-format on
    }

    void apacheLines()
    {
        QFETCH(QByteArray, given);
        QFETCH(Continuations, continuations);
        QStringList read;
        qsizetype end = 0; // the lines' spans cover the bytes, in order, each once
        ForEachApacheLine(given, continuations, [&](const ApacheLine& line) {
            read << QString::number(line.number) + ' ' + QString::fromLatin1(line.text);
            QCOMPARE(line.begin, std::exchange(end, line.end));
        });
        QTEST(read, "expected");
        QCOMPARE(end, given.size());
    }

    void includes_data()
    {
        QTest::addColumn<QString>("tree"); // read where it stands, its main file at its top
        QTest::addColumn<QString>("main");
        // clang-format off
        QTest::newRow("Debian's own tree") << "/etc/apache2" << "apache2.conf";
        QTest::newRow("wildcards, folders, missing, Define, nesting") << BRELLIMAR_TEST_DATA "/includes" << "main.conf";
        // clang-format on
    }

    void includes()
    {
        QFETCH(QString, tree);
        QFETCH(QString, main);
        // Under Wine the Linux apache2 and /etc/apache2 show through drive Z: but cannot run.
        if (QSysInfo::kernelType() == "winnt" || !QFile::exists(kApache))
            QSKIP("Apache httpd (Debian's apache2) is not installed");
        // Apache's own list of the files it reads, in its order.
        const Run dump = RunIn(tree, "[ ! -f envvars ] || . ./envvars; " + kApache + " -d \"$0\" -f \"$0/" +
                                         main + "\" -t -D DUMP_INCLUDES");
        static const QRegularExpression listed(QStringLiteral("^ +\\((?:\\*|\\d+)\\) (.*)$"),
                                               QRegularExpression::MultilineOption);
        QStringList files;
        for (const QRegularExpressionMatch& file : listed.globalMatch(dump.output))
            files << file.captured(1);
        QVERIFY2(!files.isEmpty(), qPrintable(dump.output));
        QCOMPARE(FilesRead(tree, main), files);
    }

    void includesLoop()
    {
        if (QSysInfo::kernelType() == "winnt") // the tree's folder inside itself is a Linux link
            QSKIP("POSIX only");
        // Apache itself stops at such a loop: each file is read once at a time, a folder too.
        const QString tree = BRELLIMAR_TEST_DATA "/includes";
        QCOMPARE(FilesRead(tree, "loop/one.conf").replaceInStrings(tree + '/', ""),
                 (QStringList{"loop/one.conf", "loop/two.conf", "loop/dir/file"}));
    }

    void rewrite_data()
    {
        QTest::addColumn<RewriteRow>("row");
        const bool windows = QSysInfo::kernelType() == "winnt"; // where case and separators do not count
        // clang-format off
        const QByteArray gbk = "; \xd6\xd0\xce\xc4\xd7\xa2\xca\xcd\r\n"; // "; 中文注释" as a Chinese Windows writes it
        QTest::newRow("php.ini: lone CR, lone LF, LF CR end lines; the last gains CR LF") << RewriteRow{.phpIni = true,
            .given = "; comment line\r\na\rb\nc\n\rd\r\n\r\ne",
            .expected = "; comment line\r\na\r\nb\r\nc\r\n\r\nd\r\n\r\ne\r\n"};
        QTest::newRow("php.ini: live lines replaced, comments and other case kept, no continuation") << RewriteRow{
            .phpIni = true, .given = "display_errors = Off\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                "Display_Errors = Off\r\nx = Off \\\r\n\t display_errors=Off ; note\r\ndisplay_errors",
            .expected = "display_errors = On\r\n;display_errors = Off\r\n; display_errors = Off\r\n"
                "Display_Errors = Off\r\nx = Off \\\r\ndisplay_errors = On\r\ndisplay_errors = On\r\n"};
        QTest::newRow("php.ini: GBK comments, one ending in a lone lead byte, right before the lines") << RewriteRow{
            .phpIni = true, .given = gbk + "display_errors = Off\r\n; \xd6\r\ndisplay_errors=Off\r\n" + gbk,
            .expected = gbk + "display_errors = On\r\n; \xd6\r\ndisplay_errors = On\r\n" + gbk};
        if (QString::fromLocal8Bit("\x81\x64").size() == 1) // GBK's 乨, whose second byte reads as "d" byte by byte
            QTest::newRow("php.ini: GBK character ending in \"d\" is not the name") << RewriteRow{.phpIni = true,
                .given = "\x81\x64isplay_errors = Off\r\n", .expected = "\x81\x64isplay_errors = Off\r\n"};
        const QStringList noIndex = {"DirectoryIndex"};
        const QByteArray hidden = "# a \\\r\nDocumentRoot /x\r\n# b \\\nDocumentRoot /y\r\n# c \\\rDocumentRoot /z\r\n"
                                  "<Directory /x>\r\n<Directory /y>\r\n<Directory /z>\r\n";
        QTest::newRow("every match replaced whole, in any case; comments kept") << RewriteRow{
            .given = "#DocumentRoot \"/a\"\r\n# DocumentRoot /a\r\nDocumentRoot \"/a\" # old\r\ndocumentroot /a\r\n"
                     "documentrootX /a\r\n    DIRECTORYindex index.html\r\nDocumentRoot /b\r\n",
            .expected = "#DocumentRoot \"/a\"\r\n# DocumentRoot /a\r\n" + kRoot + kRoot + "documentrootX /a\r\n" +
                        kNewIndex + kRoot};
        QTest::newRow("bytes invalid in the code page survive, no index line") << RewriteRow{
            .given = "# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot /\xff\r\n",
            .expected = "# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\n" + kRoot, .notSet = noIndex};
        QTest::newRow("non-ASCII around the name does not hide it") << RewriteRow{.given = "\xe4\xb8\xad DocumentRoot/x"
            "\r\nDirectoryIndex\xe4\xb8\xad x\r\nDocumentRootx /y\r\n\xe4\xb8\xad DocumentRooX DocumentRoot\r\n",
            .expected = kRoot + kNewIndex + "DocumentRootx /y\r\n\xe4\xb8\xad DocumentRooX DocumentRoot\r\n"};
        QTest::newRow("section before its root: unquoted, trailing separator, indent and tail kept") << RewriteRow{
            .given = "  <Directory /srv/old/>  # site\r\n<DirectoryMatch \"/srv/old\">\r\n#<Directory /srv/old>\r\n"
                     "<Directory /srv/other>\r\nDocumentRoot /srv/old\r\n" + kIndex,
            .expected = "  <Directory \"E:\\Myphp\">  # site\r\n<DirectoryMatch \"/srv/old\">\r\n"
                        "#<Directory /srv/old>\r\n<Directory /srv/other>\r\n" + kRoot + kNewIndex};
        QTest::newRow("virtual hosts: each one's section, names and quotes read as Apache does") << RewriteRow{
            .given = "<Directory /srv/cgi>\r\nDocumentRoot \"/a\\\"b\"\r    documentROOT /c\nDocumentRoot \"/x\\\\\""
                "\r\n<Directory '/a\"b'>\r\n<Directory \"/x\\\\\">\r\n<directory\t\"/c/\">\r\n<Directory /x\\>\r\n"
                + kIndex,
            .expected = "<Directory /srv/cgi>\r\n" + kRoot.repeated(3) + kSection.repeated(4) + kNewIndex};
        QTest::newRow("a file-system root DocumentRoot keeps its section") << RewriteRow{
            .given = "DocumentRoot /\r\n<Directory />\r\nDocumentRoot \"C:/\"\r\n<Directory \"C:/\">\r\n" + kIndex,
            .expected = kRoot + "<Directory />\r\n" + kRoot + "<Directory \"C:/\">\r\n" + kNewIndex};
        QTest::newRow("folders compared by the system's rules") << RewriteRow{
            .given = "DocumentRoot \"C:\\Srv\\Old\"\r\n<Directory \"c:/srv/old/\">\r\n" + kIndex,
            .expected = kRoot + (windows ? kSection : "<Directory \"c:/srv/old/\">\r\n") + kNewIndex};
        QTest::newRow("continuation lines go with the replaced line") << RewriteRow{.given = "DocumentRoot \\\r\n  "
            "\"/srv/old\"\r\n<Directory /srv/old>\r\nDirectoryIndex a \\\r\n b \\\r\n c\r\nX y\\\\\r\nZ\r\n",
            .expected = kRoot + kSection + kNewIndex + "X y\\\\\r\nZ\r\n"};
        QTest::newRow("a continued comment hides the next line") << RewriteRow{.given = hidden + kIndex,
            .expected = QByteArray(hidden).replace("\\\n", "\\\r\n").replace("\\\rD", "\\\r\nD") + kNewIndex,
            .notSet = {"DocumentRoot"}};
        const QByteArray debian = "<Directory />\r\n\tOptions FollowSymLinks\r\n\tRequire all denied\r\n</Directory>"
            "\r\n<Directory /var/>\r\n\tOptions None\r\n\tRequire all granted\r\n</Directory>\r\n"
            "<Directory /var/www/>\r\n\tOptions Indexes FollowSymLinks\r\n\t<Files x>\r\n\t\tOptions None\r\n"
            "\t</Files>\r\n\tAllowOverride None\r\n\t<IfModule authz_core_module>\r\n\t\tRequire all granted\r\n"
            "\t</IfModule>\r\n</Directory>\r\n";
        const QByteArray site = "<VirtualHost *:80>\r\n\tDocumentRoot /var/www/html\r\n</VirtualHost>\r\n" + kIndex;
        const QByteArray hosts = "DocumentRoot /a\r\n<VirtualHost *:80>\r\nDocumentRoot /b\r\nDocumentRoot /c\r\n"
                                 "</VirtualHost>\r\nDocumentRoot /d\r\n";
        const QByteArray denied = "<Directory />\r\nRequire all denied\r\n</Directory>\r\n";
        const QByteArray srvNew = "DocumentRoot \"/srv/new\"\r\n";
        const QByteArray newHosts = srvNew + "<Directory \"/srv/new\">\r\n    Require all granted\r\n</Directory>\r\n";
        QTest::newRow("denied: one grant added, indented, with the settings of the closest grant") << RewriteRow{
            .before = debian, .given = site, .root = "/srv/a \"b\"", .expected = "<VirtualHost *:80>\r\nDocumentRoot "
            "\"/srv/a \\\"b\\\"\"\r\n\t<Directory \"/srv/a \\\"b\\\"\">\r\n\t\tOptions Indexes FollowSymLinks\r\n"
            "\t\tAllowOverride None\r\n\t\tRequire all granted\r\n\t</Directory>\r\n</VirtualHost>\r\n" + kNewIndex};
        QTest::newRow("new root inside a granted folder: nothing added") << RewriteRow{.before = debian, .given = site,
            .root = "/var/www/new",
            .expected = "<VirtualHost *:80>\r\nDocumentRoot \"/var/www/new\"\r\n</VirtualHost>\r\n" + kNewIndex};
        QTest::newRow("denied: one grant for the main server, one per virtual host") << RewriteRow{.before = denied,
            .given = hosts, .root = "/srv/new",
            .expected = newHosts + "<VirtualHost *:80>\r\n" + newHosts + srvNew + "</VirtualHost>\r\n" + srvNew,
            .notSet = noIndex};
        QTest::newRow("denied the 2.2 way, after a continued line: granted the same way") << RewriteRow{
            .before = "<Directory />\r\nOrder deny,allow\r\nDeny from all\r\n</Directory>\r\n",
            .given = "  DocumentRoot \\\r\n /srv/old\r\n", .root = "/srv/new", .expected = srvNew +
            "  <Directory \"/srv/new\">\r\n      Order allow,deny\r\n      Allow from all\r\n  </Directory>\r\n",
            .notSet = noIndex};
        QTest::newRow("the old root's moving section grants: nothing added") << RewriteRow{.before = denied,
            .given = "DocumentRoot /srv/old\r\n<Directory /srv/old>\r\nRequire all granted\r\n</Directory>\r\n",
            .root = "/srv/new", .expected = srvNew + "<Directory \"/srv/new\">\r\nRequire all granted\r\n</Directory>"
            "\r\n", .notSet = noIndex};
        const auto section = [](const QByteArray& folder, const QByteArray& require) {
            return "<Directory " + folder + ">\r\nRequire all " + require + "\r\n</Directory>\r\n";
        };
        const QByteArray grantsNew = srvNew + "<Directory \"/srv/new\">\r\nRequire all granted\r\n</Directory>\r\n";
        QTest::newRow("of two sections for one folder, the later decides") << RewriteRow{.before = section("/srv",
            "granted") + section("/srv", "denied"), .given = "DocumentRoot /a\r\n", .root = "/srv/new",
            .expected = newHosts, .notSet = noIndex};
        QTest::newRow("the old root's section, moved, is closer than its parent's") << RewriteRow{
            .before = section("/srv", "denied"), .given = "DocumentRoot /a\r\n" + section("/a", "granted"),
            .root = "/srv/new", .expected = grantsNew, .notSet = noIndex};
        QTest::newRow("the file-system root's section stays and decides as itself") << RewriteRow{
            .before = section("/srv", "denied"), .given = "DocumentRoot /\r\n" + section("/", "granted"),
            .root = "/srv/new", .expected = newHosts + section("/", "granted"), .notSet = noIndex};
        QTest::newRow("a root of a file not rewritten moves no section") << RewriteRow{
            .before = denied + "DocumentRoot /b\r\n", .given = "DocumentRoot /a\r\n" + section("/b", "granted"),
            .root = "/srv/new", .expected = newHosts + section("/b", "granted"), .notSet = noIndex};
        // clang-format on
    }

    void rewrite()
    {
        QFETCH(RewriteRow, row);
        // Decided on the configuration as it stands: the lines read ahead, then the file rewritten.
        const auto plan = [&row](const QByteArray& site) {
            if (row.phpIni)
                return PhpIniPlan(true);
            RootAccess access;
            for (const auto& [file, content] : {std::pair{"before", row.before}, {"site", site}})
                ForEachApacheLine(content, Continuations::Join, [&, file = file](const ApacheLine& line) {
                    const QString text = QString::fromUtf8(line.text);
                    access.read({file, line.number, text, text});
                });
            return HttpdConfPlan(row.root, "index.php index.html", access.linesFor(row.root, {"site"}));
        };
        QStringList unmatched;
        QCOMPARE(RewriteContent(row.given, plan(row.given), &unmatched).value(), row.expected);
        QCOMPARE(unmatched, row.notSet);
        QCOMPARE(RewriteContent(row.expected, plan(row.expected)).value(),
                 row.expected); // a second pass: no change
    }

    void rewriteFile_data()
    {
        QTest::addColumn<FileRow>("row");
        // clang-format off
        QTest::newRow("zero-byte file untouched") << FileRow{.before = "", .rewritten = true};
        QTest::newRow("lines rewritten") << FileRow{.rewritten = true};
        QTest::newRow("missing file") << FileRow{.reason = "No such file", .file = "missing.conf"};
        QTest::newRow("UTF-16 file untouched") << FileRow{.before = QByteArray("\xff\xfe#\0", 4), .reason = "UTF-16"};
#ifdef Q_OS_UNIX
        // A linked folder, a relative link with "..": read as the kernel does; real.conf ("..", by name) stays.
        QTest::newRow("links resolved as the system does") << FileRow{.rewritten = true,
            .setup = "mkdir -p store/apache/conf && cp httpd.conf real.conf && mv httpd.conf store/real.conf"
                     " && ln -s store/apache apache && ln -s ../../real.conf store/apache/conf/httpd.conf"
                     " && ln -s apache/conf/httpd.conf ."};
        for (const int mode : {0444, 0400, 0000, 0460, 04755, 02644, 01644})
            QTest::addRow("owner and mode %04o kept", mode) << FileRow{.rewritten = true,
                .setup = QStringLiteral("chown 65534:65534 httpd.conf && chmod %1 httpd.conf").arg(mode, 0, 8)};
        const QString nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        for (const QString other : {"mkfifo httpd.conf", "ln -s /dev/zero httpd.conf"}) // a FIFO: no wait
            QTest::newRow(qPrintable(other)) << FileRow{.setup = "rm httpd.conf && " + other, .reason = "不是普通文件"};
        QTest::newRow("unreadable file") << FileRow{.setup = "chmod 0 httpd.conf && chown 65534 .", .runner = nobody,
            .reason = "Permission denied"};
        QTest::newRow("read-only file of another user") << FileRow{.setup = "chown 65534 .", .runner = nobody,
            .reason = "not writable"};
        QTest::newRow("no temporary file in the folder: not written in place") << FileRow{
            .setup = "chown 65534 httpd.conf && chmod 555 .", .runner = nobody, .reason = "Permission denied"};
        QTest::newRow("already as asked: left alone, so no temporary file is needed") << FileRow{.before =
            RewriteContent(kConf, HttpdConfPlan("/srv/new", "index.php")).value(), .rewritten = true,
            .setup = "chown 65534 httpd.conf && chmod 555 .", .runner = nobody};
        QTest::newRow("full disk: written part-way") << FileRow{.before = QByteArray(20000, '#') + "\r\n" + kConf,
            .setup = kTinyDisk + " && { cat /dev/zero >mnt/fill; truncate -s -8K mnt/fill; }", .reason = "No space"};
        QTest::newRow("larger than the memory the process may use") << FileRow{
            .before = QByteArray("# comment line\r\n").repeated(5 << 20) + kConf, .runner = "prlimit --as=134217728 --",
            .reason = QStringLiteral("内存不足，无法处理")};
        QTest::newRow("over 256 MiB: refused, named with its size") << FileRow{.setup = "truncate -s 300M httpd.conf",
            .reason = "httpd.conf 有 300.0 MiB"};
        QTest::newRow("put back: the file behind a link, owner and mode too") << FileRow{
            .setup = "mkdir real && mv httpd.conf real && ln -s real/httpd.conf . && chown 65534:65534 real/httpd.conf"
                     " && chmod 4750 real/httpd.conf", .undoneAfter = ""};
        QTest::newRow("put back on a disk full by then") << FileRow{.setup = kTinyDisk,
            .undoneAfter = "{ cat /dev/zero >mnt/fill; true; }"};
        QTest::newRow("not put back on a read-only disk: named with the reason, the old bytes kept") << FileRow{
            .setup = kTinyDisk, .reason = "Read-only file system", .undoneAfter = "mount -o remount,ro mnt"};
#endif
        // clang-format on
    }

    void rewriteFile()
    {
        QFETCH(FileRow, row);
        QTemporaryDir temporary;
        const QDir dir(QFileInfo(temporary.path()).canonicalFilePath()); // named as the file behind a link is
        const QString file = dir.filePath("httpd.conf");
        const auto unmount = qScopeGuard([&] { RunProgram("umount", {"-l", dir.filePath("mnt")}); });
        QVERIFY(WriteAll(file, row.before));
        const Run made = RunIn(dir.path(), row.setup);
        if (made.exitCode != 0 && QFileInfo(dir.path()).ownerId() != 0) // we made the folder: not root
            QSKIP("needs root: a mount, another owner");
        QVERIFY2(made.exitCode == 0, qPrintable(made.output));
        const QString target = QFileInfo(file).canonicalFilePath();
        const QByteArray after =
            row.rewritten ? RewriteContent(row.before, HttpdConfPlan("/srv/new", "index.php")).value()
                          : row.before;
        // Only the file behind the name changes, and only to the rewrite (real.conf, by name, stays); no file
        // left behind; links, owners and modes kept.
        const QStringList expected =
            Snapshot(dir.path())
                .replaceInStrings(target + ' ' + row.before.toHex(), target + ' ' + after.toHex());
        if (row.undoneAfter) {
            platform::FileUndo undo;
            QString error;
            QVERIFY2(undo.keep(file, &error), qPrintable(error));
            QVERIFY(RewriteFile(file, HttpdConfPlan("/new", "index.php")).ok() &&
                    ReadAll(file) != row.before && RunIn(dir.path(), *row.undoneAfter).exitCode == 0);
            // Not put back: named with the reason, the old bytes left in the kept file (put back by hand
            // here).
            const QStringList failed = undo.restore();
            const QString kept = failed.value(0).section("原来的内容保存在 ", 1).chopped(1);
            const QString named = target + "：" + row.reason + "（原来的内容保存在 " + kept + "）";
            QCOMPARE(failed, row.reason.isEmpty() ? QStringList() : QStringList{named});
            QVERIFY(RunIn(dir.path(), "mount -o remount,rw mnt 2>/dev/null; rm -f mnt/fill").exitCode == 0 &&
                    (kept.isEmpty() || (QFile::remove(target) && QFile::rename(kept, target))));
        } else {
            QStringList command = row.runner.split(' ', Qt::SkipEmptyParts) << qApp->applicationFilePath();
            const Run run = RunProgram(command.takeFirst(), command << "--rewrite" << dir.filePath(row.file));
            QVERIFY2((run.exitCode == 0) == row.rewritten && run.output.contains(row.reason),
                     qPrintable(run.output));
        }
        QCOMPARE(Snapshot(dir.path()), expected);
    }

    void installation_data()
    {
        QTest::addColumn<InstallationRow>("row");
        // clang-format off
        const QString conf = "mkdir -p apache/conf && printf 'Define SRVROOT \"%s/apache\"\\r\\nServerRoot "
                             "\"${SRVROOT}\"\\r\\n' $PWD >apache/conf/httpd.conf && ";
        const QString phpIni = "%1/apache/php.ini", httpdConf = "%1/apache/conf/httpd.conf";
        const QStringList logs{"%1/apache/logs/error.log", "%1/apache/logs/error_log"};
        QTest::newRow("php.ini in the Apache folder") << InstallationRow{.make = conf + "touch apache/php.ini",
            .layout = Layout::ApacheFolder, .phpIni = phpIni, .siteFiles = {httpdConf}, .errorLogs = logs};
        QTest::newRow("PHPIniDir naming the Apache folder itself; the error log a program") << InstallationRow{
            .make = conf + "echo 'PHPIniDir \"${SRVROOT}\"\nErrorLog \"|bin/rotatelogs logs/e 86400\"' "
                           ">>apache/conf/httpd.conf",
            .layout = Layout::ApacheFolder, .phpIni = phpIni, .siteFiles = {httpdConf}};
        QTest::newRow("included: PHPIniDir, the last wins (XAMPP); ErrorLog, outside virtual hosts") << InstallationRow{
            .make = conf + "mkdir -p apache/conf/extra php && touch apache/php.ini php/php.ini && printf 'PHPIniDir "
                           "\"/nowhere\"\\r\\nInclude conf/extra/httpd-xampp.conf\\r\\n' >>apache/conf/httpd.conf && "
                           "echo \"<IfModule php_module>\n  PHPIniDir \\\"$PWD/php\\\"\n</IfModule>\nErrorLog \\\\\n"
                           " logs/x.log\n<VirtualHost *:80>\nErrorLog logs/site.log\n</VirtualHost>\" "
                           ">apache/conf/extra/httpd-xampp.conf",
            .layout = Layout::ApacheFolder, .phpIni = "%1/php/php.ini", .siteFiles = {httpdConf},
            .errorLogs = {"%1/apache/logs/x.log"}};
        QTest::newRow("apache2.conf beside conf/httpd.conf: the Apache folder's layout") << InstallationRow{
            .make = conf + "touch apache/apache2.conf apache/php.ini", .layout = Layout::ApacheFolder, .phpIni = phpIni,
            .siteFiles = {httpdConf}, .errorLogs = logs};
        if (QFileInfo::exists("/etc/apache2/mods-enabled/php8.2.load"))
            QTest::newRow("Debian's tree as the package installs it") << InstallationRow{
                .make = "cp -a /etc/apache2 apache", .layout = Layout::Debian, .phpIni = "/etc/php/8.2/apache2/php.ini",
                .siteFiles = {"%1/apache/mods-enabled/dir.conf", "%1/apache/sites-enabled/000-default.conf"},
                .errorLogs = {"%1/apache/${APACHE_LOG_DIR}/error.log"}};
        // clang-format on
    }

    void installation()
    {
        QFETCH(InstallationRow, row);
        if (QSysInfo::kernelType() == "winnt") // Wine starts no Linux sh
            QSKIP("The rows make their folders with sh commands: POSIX only.");
        QTemporaryDir dir;
        const Run made = RunIn(dir.path(), row.make);
        QVERIFY2(made.exitCode == 0, qPrintable(made.output));
        Installation found = LocateInstallation(dir.filePath("apache"));
        QCOMPARE(found.layout, row.layout);
        QCOMPARE(QDir::fromNativeSeparators(found.phpIni), row.phpIni.replace("%1", dir.path()));
        QCOMPARE(found.phpIniNamed, row.phpIni != dir.filePath("apache/php.ini"));
        QCOMPARE(found.siteFiles.replaceInStrings(dir.path(), "%1"), row.siteFiles);
        QCOMPARE(found.errorLogs.replaceInStrings(dir.path(), "%1"), row.errorLogs);
    }

    void apacheReadsWhatWasTyped_data()
    {
        QTest::addColumn<QString>("folder");
        for (const char* folder : {"my web site", "site/", "a\\\\b\\", "say \"hi\"", "x\\\"y", "网站"})
            QTest::newRow(folder) << QString::fromUtf8(folder);
    }

    void apacheReadsWhatWasTyped()
    {
        if (!QFile::exists(kApache))
            QSKIP("Apache httpd (Debian's apache2) is not installed");
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString root = dir.filePath(folder), conf = dir.filePath("conf/httpd.conf");
        QVERIFY(MakeApacheFolder(dir.path()) && QDir().mkpath(root));
        const qsizetype sections = ReadAll(conf).count("<Directory");
        const Installation found = LocateInstallation(dir.path());
        const QStringList access = found.access.linesFor(root, found.siteFiles);
        QVERIFY(RewriteFile(conf, HttpdConfPlan(root, "index.php index.html", access)).ok());
        const Run dump = RunProgram(kApache, {"-S", "-f", conf});
        QVERIFY2(dump.exitCode == 0 && dump.output.contains("Main DocumentRoot: \"" + root + "\"\n"),
                 qPrintable(dump.output));
        // The stock root's section moved along: none added.
        QCOMPARE(ReadAll(conf).count("<Directory"), sections);
    }

    void phpFpm_data()
    {
        QTest::addColumn<QByteArray>("conf"); // Apache's main file
        QTest::addColumn<QString>("listen");  // the listen value of the www pool of Debian's php8.2-fpm
        QTest::addColumn<QString>(
            "found"); // where .php files go (none: PHP's module), the program listening there
        // clang-format off
        const QByteArray module = "LoadModule php_module /usr/lib/apache2/modules/libphp8.2.so\n";
        const QByteArray proxy = "LoadModule proxy_fcgi_module /usr/lib/apache2/modules/mod_proxy_fcgi.so\n";
        const auto files = [](const QByteArray& handler) {
            return "<FilesMatch \".+\\.ph(?:ar|p|tml)$\">\n    SetHandler " + handler + "\n</FilesMatch>\n";
        };
        const QByteArray php = "application/x-httpd-php";
        const QByteArray socket = "\"proxy:unix:/run/php/php8.2-fpm.sock|fcgi://localhost\"";
        // Debian's conf-available/php8.2-fpm.conf as php8.2-fpm installs it, without its comments.
        const QByteArray debianFpm = "<IfModule !mod_php8.c>\n<IfModule proxy_fcgi_module>\n" + files(socket) +
            "<FilesMatch \".+\\.phps$\">\n    Require all denied\n</FilesMatch>\n</IfModule>\n</IfModule>\n";
        const QByteArray passMatch = R"(ProxyPassMatch "^/(.*\.php(/.*)?)$" "fcgi://127.0.0.1:9000/var/www/$1")";
        const QByteArray tcp = proxy + files("proxy:fcgi://127.0.0.1:9000");
        const QString sock = "/run/php/php8.2-fpm.sock", port = "127.0.0.1:9000";
        const QString fpm = " /usr/sbin/php-fpm8.2 php8.2-fpm";
        QTest::newRow("PHP's module") << module + files(php) << sock << "";
        QTest::newRow("another socket") << proxy + files(socket) << "/run/php/php8.1-fpm.sock" << "unix:" + sock;
        QTest::newRow("Debian's FPM conf, the module disabled; the same socket written otherwise")
            << proxy + debianFpm << "/run/php//php8.2-fpm.sock" << "unix:" + sock + fpm;
        QTest::newRow("Debian's FPM conf, the module loaded: the module") << module + proxy + debianFpm << sock << "";
        QTest::newRow("Debian's FPM conf, proxy_fcgi disabled") << debianFpm << sock << "";
        QTest::newRow("the module's handler after PHP-FPM's") << proxy + files(socket) + files(php) << sock << "";
        QTest::newRow("$pool: the pool's name") << proxy + files("proxy:unix:/run/php-fpm/www.sock|fcgi://localhost")
            << "/run/php-fpm/$pool.sock" << "unix:/run/php-fpm/www.sock" + fpm;
        QTest::newRow("a TCP port; a pool on the port alone: every address") << tcp << "9000" << port + fpm;
        QTest::newRow("a pool on another address") << tcp << "[::1]:9000" << port;
        QTest::newRow("ProxyPassMatch; a pool on another port") << proxy + passMatch + "\n" << "127.0.0.1:9001" << port;
        QTest::newRow("localhost") << proxy + files("proxy:fcgi://localhost:9000") << port << "localhost:9000" + fpm;
        // clang-format on
    }

    void phpFpm()
    {
        QFETCH(QByteArray, conf);
        QFETCH(QString, listen);
        QTemporaryDir dir;
        QVERIFY(WriteAll(dir.filePath("httpd.conf"), conf) && QDir(dir.path()).mkpath("php/8.2/fpm/pool.d") &&
                WriteAll(dir.filePath("php/8.2/fpm/pool.d/www.conf"),
                         "[www]\nuser = www-data\nlisten = " + listen.toUtf8()));
        ApacheConfigReader reader(dir.path());
        PhpHandlerReader handler;
        reader.read(dir.filePath("httpd.conf"), [&](const ApacheConfigLine& line) { handler.read(line); });
        const std::optional<PhpFpm> fpm =
            FindPhpFpm(handler.fastCgiAddress(), {dir.filePath("php"), {}, "/usr/sbin"});
        QTEST(handler.fastCgiAddress() + (fpm ? ' ' + fpm->program + ' ' + fpm->service : ""), "found");
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // "--rewrite PATH": each rewriteFile row's rewrite, in a process of its own (another user, less memory).
    if (args.size() == 3 && args[1] == "--rewrite") {
        const RewriteResult result = RewriteFile(args[2], HttpdConfPlan("/srv/new", "index.php"));
        qInfo("%s", qPrintable(result.reason));
        return !(result.ok() && result.notSet.isEmpty() && result.path == QDir::toNativeSeparators(args[2]));
    }
    TestConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_config.moc"
