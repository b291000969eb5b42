// SPDX-License-Identifier: MIT
// The tokenizer and the rewriter: tables of lines, faults made for real, real Apache reading.
#include "config/apacheconfig.h"
#include "config/errorlog.h"
#include "config/fileundo.h"
#include "config/installation.h"
#include "config/phphandler.h"
#include "config/rewritefile.h"
#include "config/rootaccess.h"
#include "config/tokenizer.h"
#include "testutil.h"

#include <QCoreApplication>
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

// Every entry under the folder with its type, mode and owner, sorted.
static QString Listing(const QString& folder)
{
#ifdef Q_OS_UNIX
    return RunProgram("sh", {"-c", "find \"$0\" -printf '%p %M %U:%G\\n' | sort", folder}).output;
#else
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System).join(' ');
#endif
}

// A small Apache tree that Apache itself checks: a wildcard, a missing optional file, a Define'd
// folder, a folder, nested includes, an ErrorLog in an included file; and loops of files and folders.
static bool MakeIncludeTree(const QDir& dir)
{
    std::vector<std::pair<const char*, const char*>> files{
        {"main.conf",
         "Listen 127.0.0.1:8\nPidFile %1/logs/pid\nErrorLog logs/main.log\nMutex file:%1/logs default\n"
         "DefaultRuntimeDir %1/logs\nLoadModule mpm_prefork_module "
         "/usr/lib/apache2/modules/mod_mpm_prefork.so\n"
         "Define PARTS conf.d\ninclude ${PARTS}/*.conf\nIncludeOptional missing.conf\n"
         "IncludeOptional conf.d/none*.conf\nInclude \"dir\"\n"},
        {"conf.d/a.conf",
         "<VirtualHost *:8>\n    ErrorLog logs/site.log\n</VirtualHost>\nErrorLog \\\n logs/included.log\n"},
        {"conf.d/n.conf", "Include conf.d/sub/n?.conf\n"},
        {"loop/one.conf", "Include loop/two.conf\n"},
        {"loop/two.conf", "Include loop/one.conf\nInclude loop/two.conf\nInclude loop/dir\n"}};
    for (const char* empty :
         {"conf.d/b.conf", "conf.d/B.conf", "conf.d/.hidden.conf", "conf.d/c.txt", "conf.d/sub/n1.conf",
          "conf.d/sub/n12.conf", "dir/z", "dir/.dot", "dir/deeper/x", "logs/error.log", "loop/dir/file"})
        files.push_back({empty, ""});
    for (const auto& [name, content] : files)
        if (!dir.mkpath(QFileInfo(name).path()) ||
            !WriteAll(dir.filePath(name), QString::fromUtf8(content).replace("%1", dir.path()).toUtf8()))
            return false;
#ifdef Q_OS_UNIX
    return QFile::link(".", dir.filePath("loop/dir/self")); // a folder inside itself
#else
    return true;
#endif
}

// What the pass adds after DocumentRoot, read from @p before and then @p site, the file rewritten.
static QStringList AccessLines(const QByteArray& before, const QByteArray& site, const QString& root)
{
    RootAccess access;
    for (const auto& [file, content] : {std::pair{"before", before}, {"site", site}}) {
        ApacheLineReader lines;
        const auto onLine = [&, file = file](const ApacheLine& line) {
            access.read({file, line.number, QString::fromUtf8(line.text)}, QString::fromUtf8(line.text));
        };
        lines.feed(content, onLine);
        lines.finish(onLine);
    }
    return access.linesFor(root, {"site"});
}

// join: continuation lines joined, as in a configuration; word: only lines whose first physical line holds it
// (empty: all); lines: line number of the first physical line, a blank, the text.
using LinesRow = std::tuple<QByteArray, bool, QByteArray, QStringList>;

// tree: copied into an empty default ServerRoot ("": MakeIncludeTree's); main: the main file in it; files:
// read in this order (none: in Apache's DUMP_INCLUDES order); errorLog: the main error log's files, as the
// lookup finds them.
using IncludesRow = std::tuple<QString, QString, QStringList, QStringList>;

// input; root: httpd.conf with this document root (empty: php.ini); expected (null: refused); notSet; before:
// read ahead of the file, for access (null: none added); reads: of the input from its start, 3 when a section
// came before its root.
using RewriteRow = std::tuple<QByteArray, QString, QByteArray, QStringList, QByteArray, int>;

// make: sh commands run in a scratch folder (apache/: the Apache folder); phpIni: %1 is the scratch folder,
// named unless it is the Apache folder's own.
using InstallationRow = std::tuple<QString, Layout, QString, QStringList>;

// before: written to httpd.conf first (null: nothing written); setup: shell commands run in the folder next,
// faults made for real; runner: what runs "this-test --rewrite httpd.conf" (in a new process); reason:
// expected in the failure reason (empty: success).
using FileRow = std::tuple<QByteArray, QString, QString, QString>;

class TestConfig : public QObject
{
    Q_OBJECT

  private slots:
    void getWord_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words"); // from the first; none before, none after
        // clang-format off
        QTest::newRow("marker joins the name, words inside quotes, the last ends the line") << "#DocumentRoot \"C:/x\"" << QStringList{"#DocumentRoot", "C", "x"};
        QTest::newRow("every word character in one run, every other ASCII one separates") << "AZaz09#;_ \t=\"@[`{/:-.\\$b" << QStringList{"AZaz09#;_", "b"};
        QTest::newRow("non-ASCII separates") << QStringLiteral("中文display_errors\u00e9s = On") << QStringList{"display_errors", "s", "On"};
        // clang-format on
    }

    void getWord()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        for (int n = -1; n <= words.size() + 1; ++n)
            QCOMPARE(GetWord(line, qint16(n)), words.value(n - 1));
        QCOMPARE(IsWordChar(line), line.startsWith(words.first()));
    }

    void apacheLines_data()
    {
        QTest::addColumn<LinesRow>("row");
        // clang-format off
        const QByteArray continued = "A x \\\r\n  y\\\\\r\nB \\\rC\\\n";
        QTest::newRow("CR LF, lone CR, lone LF, LF CR; the last line needs none") << LinesRow{QByteArray("a\rb\nc\n\rd\r\n\r\ne"), true, QByteArray(), QStringList{"1 a", "2 b", "3 c", "4 ", "5 d", "6 ", "7 e"}};
        QTest::newRow("configuration: a single backslash joins, the file's end ends") << LinesRow{continued, true, QByteArray(), QStringList{"1 A x   y\\\\", "3 B C"}};
        QTest::newRow("log: every line alone") << LinesRow{continued, false, QByteArray(), QStringList{"1 A x \\", "2   y\\\\", "3 B \\", "4 C\\"}};
        QTest::newRow("searched for a rewrite: the word anywhere, each line after a continued one, the last") << LinesRow{QByteArray("# a \\\r\nDocumentRoot /x\r\nother\r\ndocumentROOT \\\n /y\rnext\r\nlast"), false, QByteArray("DocumentRoot"), QStringList{"0 DocumentRoot /x", "0 documentROOT \\", "0  /y", "0 last"}};
        QTest::newRow("searched: the word in any case in a first line, never in a continued one") << LinesRow{QByteArray("# a \\\r\nDocumentRoot /x\r\ndocumentROOT \\\n /y\r\nx DocumentRoot\rDOCUMENTROOT\\\r\n\\\\"), true, QByteArray("DocumentRoot"), QStringList{"0 documentROOT  /y", "0 x DocumentRoot", "0 DOCUMENTROOT\\\\"}};
        // clang-format on
    }

    void apacheLines()
    {
        QFETCH(LinesRow, row);
        const auto& [input, join, word, lines] = row;
        // Whole, cut in two at every place, and a byte at a time: the same lines.
        std::vector<QByteArrayList> feeds{{input}};
        for (qsizetype cut = 1; cut < input.size(); ++cut)
            feeds.push_back({input.first(cut), input.sliced(cut)});
        feeds.emplace_back();
        for (const char c : input)
            feeds.back() << QByteArray(1, c);
        for (const QByteArrayList& pieces : feeds) {
            ApacheLineReader reader(join ? ApacheLineReader::Continuations::Join
                                         : ApacheLineReader::Continuations::Keep);
            if (!word.isEmpty())
                reader.onlyLinesWith({word});
            QStringList read;
            const auto onLine = [&](const ApacheLine& line) {
                read << QString::number(line.number) + ' ' + QString::fromLatin1(line.text);
            };
            for (const QByteArray& piece : pieces)
                reader.feed(piece, onLine);
            reader.finish(onLine);
            QCOMPARE(read, lines);
        }
    }

    void includes_data()
    {
        QTest::addColumn<IncludesRow>("row");
        // clang-format off
        QTest::newRow("Debian's own tree") << IncludesRow{"/etc/apache2", "apache2.conf", QStringList(), QStringList{"${APACHE_LOG_DIR}/error.log"}};
        QTest::newRow("wildcards, folders, missing files, Define'd names") << IncludesRow{"", "main.conf", QStringList(), QStringList{"logs/included.log"}};
        QTest::newRow("files including each other are read once") << IncludesRow{"", "loop/one.conf", QStringList{"loop/one.conf", "loop/two.conf", "loop/dir/file"}, QStringList{"logs/error.log", "logs/error_log"}};
        // clang-format on
    }

    void includes()
    {
        QFETCH(IncludesRow, row);
        auto [tree, main, files, errorLog] = row;
        QTemporaryDir dir;
        // Under Wine the Linux apache2 and /etc/apache2 show through drive Z: but cannot run.
        if (files.isEmpty() && (QSysInfo::kernelType() == "winnt" || !QFile::exists(kApache)))
            QSKIP("Apache httpd (Debian's apache2) is not installed");
        QVERIFY(tree.isEmpty() ? MakeIncludeTree(dir.path())
                               : RunProgram("cp", {"-a", tree + "/.", dir.path()}).exitCode == 0);
        if (files.isEmpty()) {
            const Run dump = RunIn(dir.path(), "[ ! -f envvars ] || . ./envvars; " + kApache +
                                                   " -d \"$0\" -f \"$0/" + main + "\" -t -D DUMP_INCLUDES");
            QVERIFY2(dump.exitCode == 0, qPrintable(dump.output));
            static const QRegularExpression listed(QStringLiteral("^ +\\((?:\\*|\\d+)\\) (.*)$"),
                                                   QRegularExpression::MultilineOption);
            for (const QRegularExpressionMatch& file : listed.globalMatch(dump.output))
                files << QDir(dir.path()).relativeFilePath(file.captured(1));
        }
        ApacheConfigReader reader(dir.path());
        reader.read(dir.filePath(main), [](const ApacheConfigLine&) {});
        const QString root = dir.path() + '/'; // the files compared relative to it
        QCOMPARE(reader.files().replaceInStrings(root, ""), files);
        QCOMPARE(ApacheErrorLogFiles(dir.path(), dir.filePath(main)).replaceInStrings(root, ""), errorLog);
    }

    void rewriteContent_data()
    {
        QTest::addColumn<RewriteRow>("row");
        // clang-format off
        const auto row = [](const char* name, const QByteArray& input, const QString& root, const QByteArray& expected, const QStringList& notSet = {}, const QByteArray& before = {}, int reads = 1) { QTest::newRow(name) << RewriteRow{input, root, expected, notSet, before, reads}; };
        const QString php, root = QStringLiteral("E:\\Myphp");
        const QByteArray index = "DirectoryIndex x\r\n", newIndex = "DirectoryIndex index.php index.html\r\n", newRoot = "DocumentRoot \"E:\\Myphp\"\r\n", newSection = "<Directory \"E:\\Myphp\">\r\n";
        const QByteArray gbk = "; \xd6\xd0\xce\xc4\xd7\xa2\xca\xcd\r\n"; // "; 中文注释" as a Chinese Windows writes it
        row("lone CR, lone LF, LF CR end lines; the last gains CR LF", "; comment line\r\na\rb\nc\n\rd\r\n\r\ne", php, "; comment line\r\na\r\nb\r\nc\r\n\r\nd\r\n\r\ne\r\n");
        row("php: live lines replaced, comments and other case kept, no continuation", "display_errors = Off\r\n;display_errors = Off\r\n; display_errors = Off\r\nDisplay_Errors = Off\r\nx = Off \\\r\n\t display_errors=Off ; note\r\ndisplay_errors", php, "display_errors = On\r\n;display_errors = Off\r\n; display_errors = Off\r\nDisplay_Errors = Off\r\nx = Off \\\r\ndisplay_errors = On\r\ndisplay_errors = On\r\n");
        row("GBK comments, one ending in a lone lead byte, right before the lines", gbk + "display_errors = Off\r\n; \xd6\r\ndisplay_errors=Off\r\n" + gbk, php, gbk + "display_errors = On\r\n; \xd6\r\ndisplay_errors = On\r\n" + gbk);
        if (QString::fromLocal8Bit("\x81\x64").size() == 1) // GBK's 乨, whose second byte reads as "d" byte by byte
            row("GBK character ending in \"d\" is not the name", "\x81\x64isplay_errors = Off\r\n", php, "\x81\x64isplay_errors = Off\r\n");
        row("httpd: every match replaced whole, in any case; comments kept", "#DocumentRoot \"/a\"\r\n# DocumentRoot /a\r\nDocumentRoot \"/a\" # old\r\ndocumentroot /a\r\ndocumentrootX /a\r\n    DIRECTORYindex index.html\r\nDocumentRoot /b\r\n", root, "#DocumentRoot \"/a\"\r\n# DocumentRoot /a\r\n" + newRoot + newRoot + "documentrootX /a\r\n" + newIndex + newRoot);
        row("bytes invalid in the code page survive, no index line", "# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\nDocumentRoot /\xff\r\n", root, "# caf\xe9 \xff\xfe\r\nServerName x\xc3\r\n" + newRoot, {"DirectoryIndex"});
        row("non-ASCII around the name does not hide it", "\xe4\xb8\xad DocumentRoot/x\r\nDirectoryIndex\xe4\xb8\xad x\r\nDocumentRootx /y\r\n\xe4\xb8\xad DocumentRooX DocumentRoot\r\n", root, newRoot + newIndex + "DocumentRootx /y\r\n\xe4\xb8\xad DocumentRooX DocumentRoot\r\n");
        row("UTF-16 is refused", QByteArray("\xff\xfe" "D\0o\0", 6), root, QByteArray());
        row("stock: section after DocumentRoot, root section kept", "<Directory />\r\nDocumentRoot \"${SRVROOT}/htdocs\"\r\n<Directory \"${SRVROOT}/htdocs\">\r\n" + index, root, "<Directory />\r\n" + newRoot + newSection + newIndex, {}, ""); // the old folder's access section moves along, as the stock file asks; nothing added
        row("section before, unquoted, trailing separator, indent and tail kept", "  <Directory /srv/old/>  # site\r\n<DirectoryMatch \"/srv/old\">\r\n#<Directory /srv/old>\r\n#Directory /srv/old> was <Directory /srv/old>\r\n<Directory /srv/other>\r\nDocumentRoot /srv/old\r\n" + index, root, "  <Directory \"E:\\Myphp\">  # site\r\n<DirectoryMatch \"/srv/old\">\r\n#<Directory /srv/old>\r\n#Directory /srv/old> was <Directory /srv/old>\r\n<Directory /srv/other>\r\n" + newRoot + newIndex, {}, {}, 3);
        row("virtual hosts: each one's section, names and quotes read as Apache does", "<Directory /srv/cgi>\r\nDocumentRoot \"/a\\\"b\"\r    documentROOT /c\nDocumentRoot \"/x\\\\\"\r\n<Directory '/a\"b'>\r\n<Directory \"/x\\\\\">\r\n<directory\t\"/c/\">\r\n<Directory /x\\>\r\n" + index, root, "<Directory /srv/cgi>\r\n" + newRoot + newRoot + newRoot + newSection + newSection + newSection + newSection + newIndex, {}, {}, 2);
        row("a section between two roots, of the later one", "DocumentRoot /a\r\n<Directory /b>\r\nDocumentRoot /b\r\n" + index, root, newRoot + newSection + newRoot + newIndex, {}, {}, 3);
        row("a file-system root DocumentRoot keeps its section", "DocumentRoot /\r\n<Directory />\r\nDocumentRoot \"C:/\"\r\n<Directory \"C:/\">\r\n" + index, root, newRoot + "<Directory />\r\n" + newRoot + "<Directory \"C:/\">\r\n" + newIndex);
        const bool windows = QSysInfo::kernelType() == QLatin1String("winnt"); // where case and separators do not count
        row("folders compared by the system's rules", "DocumentRoot \"C:\\Srv\\Old\"\r\n<Directory \"c:/srv/old/\">\r\n" + index, root, newRoot + (windows ? newSection : "<Directory \"c:/srv/old/\">\r\n") + newIndex);
        row("Chinese folder in UTF-8, the last line without its end", "<Directory /x>\r\n" + index + "DocumentRoot /x", QStringLiteral("D:\\网站"), "<Directory \"D:\\\xe7\xbd\x91\xe7\xab\x99\">\r\n" + newIndex + "DocumentRoot \"D:\\\xe7\xbd\x91\xe7\xab\x99\"\r\n", {}, {}, 3); // as Apache reads it on Windows, whatever the code page
        row("continuation lines go with the replaced line", "DocumentRoot \\\r\n  \"/srv/old\"\r\n<Directory /srv/old>\r\nDirectoryIndex a \\\r\n b \\\r\n c\r\nX y\\\\\r\nZ\r\n", root, newRoot + newSection + newIndex + "X y\\\\\r\nZ\r\n");
        const QByteArray hidden = "# a \\\r\nDocumentRoot /x\r\n# b \\\nDocumentRoot /y\r\n# c \\\rDocumentRoot /z\r\n<Directory /x>\r\n<Directory /y>\r\n<Directory /z>\r\n";
        row("a continued comment hides the next line", hidden + index, root, QByteArray(hidden).replace("\\\n", "\\\r\n").replace("\\\rD", "\\\r\nD") + newIndex, {"DocumentRoot"});
        const QByteArray debian = "<Directory />\r\n\tOptions FollowSymLinks\r\n\tRequire all denied\r\n</Directory>\r\n<Directory /var/>\r\n\tOptions None\r\n\tRequire all granted\r\n</Directory>\r\n<Directory /var/www/>\r\n\tOptions Indexes FollowSymLinks\r\n\t<Files x>\r\n\t\tOptions None\r\n\t</Files>\r\n\tAllowOverride None\r\n\t<IfModule authz_core_module>\r\n\t\tRequire all granted\r\n\t</IfModule>\r\n</Directory>\r\n";
        const QByteArray site = "<VirtualHost *:80>\r\n\tDocumentRoot /var/www/html\r\n</VirtualHost>\r\n" + index;
        row("no section of the old root: one added, indented, with the settings of the closest grant", site, "/srv/a \"b\"", "<VirtualHost *:80>\r\nDocumentRoot \"/srv/a \\\"b\\\"\"\r\n\t<Directory \"/srv/a \\\"b\\\"\">\r\n\t\tOptions Indexes FollowSymLinks\r\n\t\tAllowOverride None\r\n\t\tRequire all granted\r\n\t</Directory>\r\n</VirtualHost>\r\n" + newIndex, {}, debian);
        row("new root inside a granted folder: nothing added", site, "/var/www/new", "<VirtualHost *:80>\r\nDocumentRoot \"/var/www/new\"\r\n</VirtualHost>\r\n" + newIndex, {}, debian);
        row("nothing grants the old root: access alone, after the continued line", "  DocumentRoot \\\r\n /srv/old\r\n" + index, root, newRoot + "  " + newSection + "      Require all granted\r\n  </Directory>\r\n" + newIndex, {}, "");
        row("the old root's section in a file not rewritten: its settings carried", "DocumentRoot /srv/old\r\n" + index, root, newRoot + newSection + "    AllowOverride All\r\n    Require all granted\r\n</Directory>\r\n" + newIndex, {}, "<Directory \"/srv/old/\">\r\nAllowOverride All\r\nRequire all granted\r\n</Directory>\r\n");
        // clang-format on
    }

    void rewriteContent()
    {
        QFETCH(RewriteRow, row);
        const auto& [input, root, expected, notSet, before, reads] = row;
        // The plan is decided on the file as it stands.
        const auto plan = [root = root, before = before](const QByteArray& content) {
            return root.isEmpty()
                       ? PhpIniPlan(true)
                       : HttpdConfPlan(root, "index.php index.html",
                                       before.isNull() ? QStringList() : AccessLines(before, content, root));
        };
        QStringList unmatched;
        int started = 0;
        const std::optional<QByteArray> output = RewriteContent({input}, plan(input), &unmatched, &started);
        QCOMPARE(output.value_or(QByteArray()), expected);
        QCOMPARE(unmatched, output ? notSet : QStringList());
        QCOMPARE(started, output ? reads : 0);
        for (qsizetype cut = 1; cut < input.size(); ++cut) // read in two pieces, cut anywhere: the same
            QCOMPARE(RewriteContent({input.first(cut), input.sliced(cut)}, plan(input)), output);
        // A second pass, decided again on what the first one wrote: no change.
        QCOMPARE(RewriteContent({expected}, plan(expected)).value_or(QByteArray()), expected);
    }

    void rewriteFile_data()
    {
        QTest::addColumn<FileRow>("row");
        QByteArray chunks; // lines across the 1 MiB read chunks, and one longer than a chunk
        for (int i = 0; chunks.size() < (5 << 20); ++i)
            chunks += (i % 7 ? "# line \r\n" : "DocumentRoot /x \\\r\n\"/y\"\r") + QByteArray(i % 13, 'z');
        chunks += "\r\n# " + QByteArray(3 << 19, 'z') + "\r\nDirectoryIndex a";
        // clang-format off
        QTest::newRow("zero-byte file untouched") << FileRow{QByteArray(""), "", "", ""};
        QTest::newRow("missing file") << FileRow{QByteArray(), "", "", "No such file"};
        QTest::newRow("UTF-16 file untouched") << FileRow{QByteArray("\xff\xfe#\0", 4), "", "", "UTF-16"};
        QTest::newRow("many chunks, lines across them") << FileRow{chunks, "", "", ""};
        QTest::newRow("a section before its root: rewritten again, one file left") << FileRow{QByteArray("<Directory /srv/old>\r\nDocumentRoot /srv/old\r\nDirectoryIndex a"), "", "", ""};
#ifdef Q_OS_UNIX
        const QString notRegular = QStringLiteral("不是普通文件"), nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        const QString tmpfs = kTinyDisk + " && { cat /dev/zero >mnt/fill; ";
        QTest::newRow("a folder in its place") << FileRow{QByteArray(), "mkdir httpd.conf", "", notRegular};
        QTest::newRow("FIFO in its place: no wait") << FileRow{QByteArray(), "mkfifo httpd.conf", "", notRegular};
        QTest::newRow("link to /dev/zero") << FileRow{QByteArray(), "ln -s /dev/zero httpd.conf", "", notRegular};
        // A linked folder, a relative link with "..": read as the kernel does; real.conf ("..", by name) stays.
        QTest::newRow("links resolved as the system does") << FileRow{kConf, "mkdir -p store/apache/conf && cp httpd.conf real.conf && mv httpd.conf store/real.conf && ln -s store/apache apache && ln -s ../../real.conf store/apache/conf/httpd.conf && ln -s apache/conf/httpd.conf .", "", ""};
        QTest::newRow("unreadable file") << FileRow{kConf, "chmod 0 httpd.conf && chown 65534 .", nobody, "Permission denied"};
        QTest::newRow("read-only file of another user") << FileRow{kConf, "chown 65534 .", nobody, "not writable"};
        QTest::newRow("no temporary file in the folder: not written in place") << FileRow{kConf, "chown 65534 httpd.conf && chmod 555 .", nobody, "Permission denied"};
        QTest::newRow("full disk: nothing fits") << FileRow{kConf, tmpfs + "true; }", "", "No space left"};
        QTest::newRow("full disk: the write stops part-way") << FileRow{QByteArray(20000, '#') + "\r\n" + kConf, tmpfs + "truncate -s -8K mnt/fill; }", "", "No space left"};
        QTest::newRow("larger than the memory the process may use") << FileRow{QByteArray("# comment line\r\n").repeated(10 << 20) + kConf, "", "prlimit --as=134217728 --", ""};
        for (const int mode : {0444, 0400, 0000, 0460, 04755, 02644, 01644})
            QTest::addRow("owner and mode %04o kept", mode) << FileRow{kConf, QStringLiteral("chown 65534:65534 httpd.conf && chmod %1 httpd.conf").arg(mode, 0, 8), "", ""};
#endif
        // clang-format on
    }

    void rewriteFile()
    {
        QFETCH(FileRow, row);
        const auto& [before, setup, runner, reason] = row;
        QTemporaryDir dir;
        const QString file = dir.filePath("httpd.conf");
        const auto unmount = qScopeGuard([&] { RunProgram("umount", {"-l", dir.filePath("mnt")}); });
        QVERIFY(before.isNull() || WriteAll(file, before));
        const Run made = RunIn(dir.path(), setup);
        if (made.exitCode != 0 && QFileInfo(dir.path()).ownerId() != 0) // we made the folder: not root
            QSKIP("needs root: a mount, another owner");
        QVERIFY2(made.exitCode == 0, qPrintable(made.output));
        const QString listing = Listing(dir.path());
        QStringList command = runner.split(' ', Qt::SkipEmptyParts) << qApp->applicationFilePath();
        const Run run = RunProgram(command.takeFirst(), command << "--rewrite" << file);
        QVERIFY2(reason.isEmpty() ? run.exitCode == 0 : run.output.contains(reason), qPrintable(run.output));
        QCOMPARE(Listing(dir.path()), listing); // no file left behind; links, owners and modes kept
        const QByteArray rewritten =
            RewriteContent({before}, HttpdConfPlan("/srv/new", "index.php")).value_or("-");
        QVERIFY(before.isNull() || ReadAll(file) == (reason.isEmpty() ? rewritten : before));
        QVERIFY(!QFile::exists(dir.filePath("real.conf")) || ReadAll(dir.filePath("real.conf")) == before);
    }

    void undo_data()
    {
        QTest::addColumn<QString>("setup");   // shell commands in the folder before: httpd.conf is there
        QTest::addColumn<QString>("between"); // after the change, before it is put back
        QTest::addColumn<QString>("notBack"); // in the line for a file not put back; empty: all went back
        // clang-format off
        QTest::newRow("the file behind a link put back, owner and mode too") << "mkdir real && mv httpd.conf real && ln -s real/httpd.conf . && chown 65534:65534 real/httpd.conf && chmod 4750 real/httpd.conf" << "" << "";
        QTest::newRow("a disk full by then does not stop it") << kTinyDisk << "{ cat /dev/zero >mnt/fill; true; }" << "";
        QTest::newRow("a file that cannot go back is named, its old content kept") << kTinyDisk << "mount -o remount,ro mnt" << "Read-only file system";
        // clang-format on
    }

    void undo()
    {
        QFETCH(QString, setup);
        QFETCH(QString, between);
        QFETCH(QString, notBack);
        QTemporaryDir dir;
        const QString file = dir.filePath("httpd.conf");
        const auto unmount = qScopeGuard([&] { RunProgram("umount", {"-l", dir.filePath("mnt")}); });
        const auto sh = [&](const QString& commands) { return RunIn(dir.path(), commands).exitCode == 0; };
        QVERIFY(WriteAll(file, kConf));
        if (!sh(setup))
            QSKIP("needs root: a mount, another owner");
        const QString listing = Listing(dir.path());
        FileUndo undo;
        QString error;
        QVERIFY2(undo.keep(file, &error), qPrintable(error));
        QVERIFY(RewriteHttpdConf(file, "/new", "index.php").ok() && ReadAll(file) != kConf && sh(between));
        const QStringList failed = undo.restore();
        QCOMPARE(failed.size(), notBack.isEmpty() ? 0 : 1);
        if (notBack.isEmpty()) { // exactly as before: bytes, owner, mode, the link, no kept file left
            QCOMPARE(ReadAll(file), kConf);
            QVERIFY(sh("rm -f mnt/fill"));
            QCOMPARE(Listing(dir.path()), listing);
        } else { // the line names the file and the reason, and the kept file still holds the old bytes
            QVERIFY2(failed[0].startsWith(QDir::toNativeSeparators(QFileInfo(file).canonicalFilePath())) &&
                         failed[0].contains(notBack),
                     qPrintable(failed[0]));
            QCOMPARE(ReadAll(failed[0].section("原来的内容保存在 ", 1).chopped(1)), kConf);
        }
    }

    void installation_data()
    {
        QTest::addColumn<InstallationRow>("row");
        const QString conf = "mkdir -p apache/conf && printf 'ServerRoot \"%s/apache\"\\r\\n' $PWD "
                             ">apache/conf/httpd.conf && ";
        const QString phpIni = "%1/apache/php.ini", httpdConf = "%1/apache/conf/httpd.conf";
        const QString debian = QString(QDir::listSeparator()) == ";" ? "" : "cp -a /etc/apache2 apache";
        // clang-format off
        QTest::newRow("php.ini in the Apache folder") << InstallationRow{conf + "touch apache/php.ini", Layout::ApacheFolder, phpIni, QStringList{httpdConf}};
        QTest::newRow("PHPIniDir naming the Apache folder itself") << InstallationRow{conf + "echo 'PHPIniDir \"${SRVROOT}\"' >>apache/conf/httpd.conf && sed -i '1i Define SRVROOT \"'$PWD'/apache\"' apache/conf/httpd.conf", Layout::ApacheFolder, phpIni, QStringList{httpdConf}};
        QTest::newRow("PHPIniDir in an included file, the last one wins (XAMPP)") << InstallationRow{conf + "mkdir -p apache/conf/extra php && touch apache/php.ini php/php.ini && printf 'PHPIniDir \"/nowhere\"\\r\\nInclude conf/extra/httpd-xampp.conf\\r\\n' >>apache/conf/httpd.conf && echo \"<IfModule php_module>\n  PHPIniDir \\\"$PWD/php\\\"\n</IfModule>\" >apache/conf/extra/httpd-xampp.conf", Layout::ApacheFolder, "%1/php/php.ini", QStringList{httpdConf}};
        QTest::newRow("apache2.conf beside conf/httpd.conf: the Apache folder's layout") << InstallationRow{conf + "touch apache/apache2.conf apache/php.ini", Layout::ApacheFolder, phpIni, QStringList{httpdConf}};
        if (QFileInfo::exists("/etc/apache2/mods-enabled/php8.2.load"))
            QTest::newRow("Debian's tree as the package installs it") << InstallationRow{debian, Layout::Debian, "/etc/php/8.2/apache2/php.ini", QStringList{"%1/apache/mods-enabled/dir.conf", "%1/apache/sites-enabled/000-default.conf"}};
        // clang-format on
    }

    void installation()
    {
        QFETCH(InstallationRow, row);
        auto [make, layout, phpIni, siteFiles] = row;
        if (QSysInfo::kernelType() == "winnt") // Wine starts no Linux sh
            QSKIP("The rows make their folders with sh commands: POSIX only.");
        QTemporaryDir dir;
        const Run made = RunIn(dir.path(), make);
        QVERIFY2(made.exitCode == 0, qPrintable(made.output));
        Installation found = LocateInstallation(dir.filePath("apache"));
        QCOMPARE(found.layout, layout);
        QCOMPARE(QDir::fromNativeSeparators(found.phpIni), phpIni.replace("%1", dir.path()));
        QCOMPARE(found.phpIniNamed, phpIni != dir.filePath("apache/php.ini"));
        QCOMPARE(found.siteFiles.replaceInStrings(dir.path(), "%1"), siteFiles);
    }

    void apacheReadsWhatWasTyped_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("continued"); // the old lines go on in the next ones
        QTest::addColumn<bool>("lowerCase"); // a documentroot line follows: the one Apache uses
        for (const char* folder : {"my web site", "site/", "a\\\\b\\", "say \"hi\"", "x\\\"y", "网站"})
            QTest::newRow(folder) << QString::fromUtf8(folder) << false << false;
        QTest::newRow("continuation lines") << "site" << true << false;
        QTest::newRow("a second line in lower case") << "site" << false << true;
    }

    void apacheReadsWhatWasTyped()
    {
        if (!QFile::exists(kApache))
            QSKIP("Apache httpd (Debian's apache2) is not installed");
        QFETCH(QString, folder);
        QFETCH(bool, continued);
        QFETCH(bool, lowerCase);
        QTemporaryDir dir;
        const QString root = dir.filePath(folder), conf = dir.filePath("conf/httpd.conf");
        QVERIFY(MakeApacheFolder(dir.path()) && QDir().mkpath(root));
        if (lowerCase)
            QVERIFY(WriteAll(conf,
                             ReadAll(conf).replace(
                                 "\n<Directory \"${SRVROOT}/htdocs\">",
                                 "\ndocumentroot \"${SRVROOT}/logs\"\r\n<Directory \"${SRVROOT}/htdocs\">")));
        if (continued)
            QVERIFY(WriteAll(conf, ReadAll(conf)
                                       .replace("\nDocumentRoot \"", "\nDocumentRoot \\\r\n \"")
                                       .replace("index.html\r", "index.html \\\r\n index.htm\r")));
        QCOMPARE(RunProgram(kApache, {"-t", "-f", conf}).exitCode, 0); // valid before
        QVERIFY(RewriteHttpdConf(conf, root, "index.php index.html").ok());
        const Run dump = RunProgram(kApache, {"-S", "-f", conf});
        QVERIFY2(dump.exitCode == 0 && dump.output.contains("Main DocumentRoot: \"" + root + "\"\n"),
                 qPrintable(dump.output));
    }

    void phpHandler_data()
    {
        QTest::addColumn<QByteArray>("conf"); // Apache's main file
        QTest::addColumn<QString>(
            "fastCgi"); // where .php files go to PHP-FPM; empty: PHP's module serves them
        const QByteArray module = "LoadModule php_module /usr/lib/apache2/modules/libphp8.2.so\n";
        const QByteArray proxy = "LoadModule proxy_fcgi_module /usr/lib/apache2/modules/mod_proxy_fcgi.so\n";
        const auto files = [](const QByteArray& handler) {
            return "<FilesMatch \".+\\.ph(?:ar|p|tml)$\">\n    SetHandler " + handler + "\n</FilesMatch>\n";
        };
        const QByteArray php = "application/x-httpd-php";
        const QByteArray socket = "\"proxy:unix:/run/php/php8.2-fpm.sock|fcgi://localhost\"";
        // Debian's conf-available/php8.2-fpm.conf as php8.2-fpm installs it, without its comments.
        const QByteArray debianFpm = "<IfModule !mod_php8.c>\n<IfModule proxy_fcgi_module>\n" +
                                     files(socket) +
                                     "<FilesMatch \".+\\.phps$\">\n    Require all denied\n</FilesMatch>\n"
                                     "</IfModule>\n</IfModule>\n";
        const QByteArray passMatch =
            R"(ProxyPassMatch "^/(.*\.php(/.*)?)$" "fcgi://127.0.0.1:9000/var/www/$1")";
        const QString sock = "unix:/run/php/php8.2-fpm.sock", port = "127.0.0.1:9000";
        // clang-format off
        QTest::newRow("PHP's module") << module + files(php) << "";
        QTest::newRow("PHP-FPM's socket") << proxy + files(socket) << sock;
        QTest::newRow("PHP-FPM on a TCP port") << proxy + files("proxy:fcgi://127.0.0.1:9000") << port;
        QTest::newRow("ProxyPassMatch") << proxy + passMatch + "\n" << port;
        QTest::newRow("Debian's FPM conf, the module loaded: the module") << module + proxy + debianFpm << "";
        QTest::newRow("Debian's FPM conf, the module disabled") << proxy + debianFpm << sock;
        QTest::newRow("Debian's FPM conf, proxy_fcgi disabled") << debianFpm << "";
        QTest::newRow("the module's handler after PHP-FPM's") << proxy + files(socket) + files(php) << "";
        // clang-format on
    }

    void phpHandler()
    {
        QFETCH(QByteArray, conf);
        QFETCH(QString, fastCgi);
        QTemporaryDir dir;
        QVERIFY(WriteAll(dir.filePath("httpd.conf"), conf));
        ApacheConfigReader reader(dir.path());
        PhpHandlerReader handler;
        reader.read(dir.filePath("httpd.conf"),
                    [&](const ApacheConfigLine& line) { handler.read(line, reader.expand(line.text)); });
        QCOMPARE(handler.fastCgiAddress(), fastCgi);
    }

    void phpFpmPool_data()
    {
        QTest::addColumn<QString>("listen");  // the pool's listen value
        QTest::addColumn<QString>("address"); // where Apache hands .php files
        QTest::addColumn<bool>("found");
        const QString sock = "/run/php/php8.2-fpm.sock";
        // clang-format off
        QTest::newRow("the same socket") << sock << "unix:/run/php//php8.2-fpm.sock" << true;
        QTest::newRow("another socket") << "/run/php/php8.1-fpm.sock" << "unix:" + sock << false;
        QTest::newRow("$pool: the pool's name") << "/run/php-fpm/$pool.sock" << "unix:/run/php-fpm/www.sock" << true;
        QTest::newRow("a port alone: every address") << "9000" << "127.0.0.1:9000" << true;
        QTest::newRow("localhost is 127.0.0.1") << "127.0.0.1:9000" << "localhost:9000" << true;
        QTest::newRow("another port") << "127.0.0.1:9001" << "127.0.0.1:9000" << false;
        QTest::newRow("another address") << "[::1]:9000" << "127.0.0.1:9000" << false;
        // clang-format on
    }

    void phpFpmPool()
    {
        QFETCH(QString, listen);
        QFETCH(QString, address);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("php/8.2/fpm/pool.d") &&
                WriteAll(dir.filePath("php/8.2/fpm/pool.d/www.conf"),
                         "[www]\nuser = www-data\nlisten = " + listen.toUtf8()));
        const std::optional<PhpFpm> fpm = FindPhpFpm(address, {dir.filePath("php"), {}, "/usr/sbin"});
        QCOMPARE(fpm.has_value(), found);
        QCOMPARE(fpm ? fpm->program + ' ' + fpm->service : "",
                 found ? "/usr/sbin/php-fpm8.2 php8.2-fpm" : "");
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // "--rewrite PATH": each rewriteFile row's rewrite, in a process of its own (another user, less memory).
    if (args.size() == 3 && args[1] == "--rewrite") {
        const RewriteResult result = RewriteHttpdConf(args[2], "/srv/new", "index.php");
        qInfo("%s", qPrintable(result.reason));
        return !(result.ok() && result.notSet.isEmpty() && result.path == QDir::toNativeSeparators(args[2]));
    }
    TestConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_config.moc"
