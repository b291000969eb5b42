// SPDX-License-Identifier: MIT
// The window driven as a user drives it, on a desktop whose font is 11 points.
#include "app/frmmain.h"
#include "config/installation.h"
#include "platform/defaults.h"
#include "testutil.h"

#include <QTest>
#include <QtWidgets>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shlobj.h>
#endif

using namespace services;
using namespace testutil;

namespace {

// The folders the window starts with, as the program works them out for this machine.
const QStringList kDefaults{platform::DefaultDocumentRoot(), config::DefaultApacheFolder()};

// Types over the whole text; keyClicks cannot type CJK.
void Type(QLineEdit* box, const QString& text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Answers commands as a FakeRunner does, logging each with the status line then and trying to close,
// click and type while it runs; logs too the status lines painted, and (init) the notices.
struct Recorder : QObject, FakeRunner
{
    QWidget* window = nullptr;

    QString shown() const { return window->findChild<QLabel*>("lbl3")->text(); }
    CommandRecord run(const ServiceCommand& command) override
    {
        status = shown();
        window->close();
        QTest::mouseClick(window->findChild<QWidget*>("mRestart"), Qt::LeftButton, {}, QPoint(6, 8));
        QTest::keyClick(window->findChild<QWidget*>("txt2"), 'x');
        QCoreApplication::processEvents();
        return FakeRunner::run(command);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !shown().isEmpty() && !log.contains(shown()))
            log << shown();
        return false;
    }
};

// A pass through the window, as a user makes it.
struct PassRow
{
    QString root = "  %1/新站点  ";          // typed into txt (%1: a scratch folder)
    QString index = "index.php default.htm"; // typed into txt2
    bool apacheInstalled = true;    // txt3 names an Apache folder as installed, else a folder without Apache
    QStringList press{"cmdAply"};   // controls clicked in turn ("Enter": the key)
    std::optional<QString> focus{}; // where the focus is afterwards, where the row says
    QStringList log{};              // status lines painted, commands, notices
    QStringList changed{};          // files changed, the site folder made
    QString then{};                 // a control changed afterwards, which enables Apply again
};

} // namespace

Q_DECLARE_METATYPE(PassRow)

class TestFrmMain : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_apache; // an Apache folder as installed
    std::shared_ptr<Recorder> m_runner;
    std::unique_ptr<frmMain> m_window;

    template <typename T = QWidget> T* child(const QString& name) { return m_window->findChild<T*>(name); }
    void click(const QString& name) { QTest::mouseClick(child(name), Qt::LeftButton, {}, QPoint(6, 8)); }

  private slots:
    void init()
    {
        QApplication::setFont(QFont(QApplication::font().family(), 11)); // GNOME's; the window assumes 9
        m_dir = std::make_unique<QTemporaryDir>();
        m_apache = m_dir->filePath("apache");
        QVERIFY(MakeApacheFolder(m_apache));
        m_runner = std::make_shared<Recorder>();
        m_runner->answers["net stop apache2"].status = CommandOutcome::Status::TimedOut; // it hangs
        frmMainSeams seams;
        seams.showMessage = [this](QWidget*, const QString& text) { m_runner->log << text; };
        seams.pass.runner = m_runner.get();
        seams.pass.requestPage = [](const QUrl&) { return PageAnswer{200, {}}; }; // the new root is served
        m_window = std::make_unique<frmMain>(seams);
        m_runner->window = m_window.get();
        child("lbl3")->installEventFilter(m_runner.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void shownAndKeys()
    {
        QCOMPARE(m_window->windowTitle(), "Brellimar");
        QCOMPARE(m_window->windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
        QVERIFY(m_window->size() == QSize(383, 369) && m_window->minimumSize() == m_window->maximumSize() &&
                !(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QStringList shown; // in stacking order, the lowest first; no size where it is the text's
        for (QWidget* w : m_window->findChildren<QWidget*>()) {
            auto* label = qobject_cast<QLabel*>(w);
            // The captions fit although the desktop font is larger than the one the positions assume.
            // (A push button's hint is wider than its caption; the status line sizes itself.)
            const bool fits =
                qobject_cast<QPushButton*>(w) || w == child("lbl3") || w->sizeHint().width() <= w->width();
            QDebug(&shown.emplace_back()).noquote()
                << w->objectName() << w->parentWidget()->objectName()
                << (w->size() == w->sizeHint() ? QRect(w->pos(), QSize()) : w->geometry())
                << w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString()
                << (w->property("checked").toBool() ? "checked" : "") << (w->hasFocus() ? "focus" : "")
                << (w->property("default").toBool() ? "default" : "")
                << (label && label->buddy() ? "for " + label->buddy()->objectName() : "")
                << (w->isEnabled() && w->isVisible() ? "" : "hidden or disabled") << (fits ? "" : "cut");
            shown.last() = shown.last().simplified();
        }
        // One line per control, as data/frmmain-controls.txt has them (%1, %2: the default folders).
        const QString controls = QString::fromUtf8(ReadAll(BRELLIMAR_TEST_DATA "/frmmain-controls.txt"));
        QCOMPARE(shown, controls.arg(kDefaults[0], kDefaults[1]).split('\n', Qt::SkipEmptyParts));

        // The keys: `key` pressed once per stop expected; (on): selected, (all): its text selected. Shift+Tab
        // first: MySQL's group has not had the focus yet.
        const auto walk = [](Qt::Key key, const QString& stops) {
            QStringList went;
            while (went.size() <= stops.count(' ')) {
                QTest::keyClick(QApplication::focusWidget(), key);
                QWidget* at = QApplication::focusWidget();
                went << at->objectName() + (at->property("checked").toBool() ? "(on)" : "") +
                            (at->property("hasSelectedText").toBool() ? "(all)" : "");
            }
            QCOMPARE(went.join(' '), stops);
        };
        walk(Qt::Key_Backtab, "cmdAply cmdCancel cmdOk Command2 txt3 txt2 Command1 txt(all) chkShowErr(on) "
                              "mStart(on) aStart(on)");
        walk(Qt::Key_Right, "aStop(on) aPause(on) aRestart(on)");
        // Selected as an accessibility tool does, the focus staying on aRestart: Tab still enters each
        // group at its selected button.
        child<QRadioButton>("aStop")->click();
        child<QRadioButton>("mPause")->click();
        walk(Qt::Key_Tab,
             "mPause(on) chkShowErr(on) txt(all) Command1 txt2 txt3 Command2 cmdOk cmdCancel cmdAply "
             "aStop(on)");
    }

    void pass_data()
    {
        QTest::addColumn<PassRow>("row");
        // clang-format off
        const QString plain = "%1/新站点"; // for rows that never reach the files: no blanks to trim
        const QStringList all{"php.ini", "httpd.conf", "site"}, files{"正在设置文件:php.ini", "正在设置文件:httpd.conf"};
        const QStringList mysql{"正在启动服务:Mysql", "net start mysql | 正在启动服务:Mysql"};
        QTest::newRow("applied") << PassRow{.log = files + QStringList{"正在启动服务:Apache2",
                                                  "net start apache2 | 正在启动服务:Apache2"} + mysql << "设置已完成！",
                                            .changed = all, .then = "aRestart"};
        QTest::newRow("errors not shown: php.ini untouched; pause, stop")
            << PassRow{.press = {"chkShowErr", "aPause", "mStop", "cmdAply"},
                       .log = files + QStringList{"正在暂停服务:Apache2", "net pause apache2 | 正在暂停服务:Apache2",
                                                  "正在停止服务:Mysql", "net stop mysql | 正在停止服务:Mysql", "设置已完成！"},
                       .changed = {"httpd.conf", "site"}, .then = "chkShowErr"};
        QTest::newRow("restart by Enter, Apache's stop hangs")
            << PassRow{.press = {"aRestart", "Enter"},
                       .log = files + QStringList{"正在重启服务:Apache2", "net stop apache2 | 正在重启服务:Apache2",
                                                  "net start apache2 | 正在重启服务:Apache2"} + mysql
                              << "设置已应用，但以下服务命令没有成功：\nnet stop apache2：超时未结束，已被终止",
                       .changed = all, .then = "mPause"};
        QTest::newRow("files missing")
            << PassRow{.root = plain, .apacheInstalled = false, .focus = "txt3",
                       .log = {"需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。"}, .then = "txt3"};
        QTest::newRow("empty index")
            << PassRow{.index = "", .focus = "txt2", .log = {"服务器默认首页不能为空，请重新输入。"}, .then = "txt2"};
        QTest::newRow("blank root") << PassRow{.root = "   ", .focus = "txt", .log = {"主目录不能为空，请重新输入。"},
                                               .then = "txt"};
        QTest::newRow("cancelled") << PassRow{.root = plain, .press = {"cmdCancel"}, .then = "txt2"};
        // clang-format on
    }
    void pass()
    {
        QFETCH(PassRow, row);
        const QString root = QString(row.root).replace("%1", m_dir->path());
        const QString ini = m_apache + "/php.ini", conf = m_apache + "/conf/httpd.conf",
                      site = root.trimmed();
        const QByteArray iniBefore = ReadAll(ini), confBefore = ReadAll(conf);
        Type(child<QLineEdit>("txt3"), row.apacheInstalled ? m_apache : m_dir->filePath("no-apache"));
        Type(child<QLineEdit>("txt"), root);
        Type(child<QLineEdit>("txt2"), row.index);
        for (const QString& name : row.press)
            name == "Enter" ? QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return) : click(name);
        QVERIFY(!row.focus || QApplication::focusWidget() == child(*row.focus));
        QCOMPARE(m_runner->log, row.log);
        QStringList madeOrChanged{ReadAll(ini) != iniBefore ? "php.ini" : "",
                                  ReadAll(conf) != confBefore ? "httpd.conf" : "",
                                  QFileInfo(site).isDir() ? "site" : ""};
        madeOrChanged.removeAll("");
        QCOMPARE(madeOrChanged, row.changed);
        // What was typed is what the files got: the root trimmed of its blanks, the index as typed.
        if (row.changed.contains("httpd.conf"))
            QCOMPARE(ReadAll(conf),
                     QByteArray(confBefore)
                         .replace("\"${SRVROOT}/htdocs\"", '"' + site.toUtf8() + '"')
                         .replace("    DirectoryIndex index.html", "DirectoryIndex " + row.index.toUtf8()));
        QCOMPARE(child<QLineEdit>("txt")->text(), site); // the blanks of rows that get past the files gone
        QVERIFY(child<QLineEdit>("txt2")->text() == row.index &&
                !child<QAbstractButton>("mRestart")->isChecked());
        QVERIFY(child<QLabel>("lbl3")->text().isEmpty() &&
                (row.press.last() != "cmdAply" || !child("cmdAply")->isEnabled()));
        QCOMPARE(m_window->isVisible(), row.press.last() == "cmdAply");
        child<QLineEdit>(row.then) ? Type(child<QLineEdit>(row.then), "x") : click(row.then);
        QVERIFY(child("cmdAply")->isEnabled());
    }

    void browse()
    {
        // Each browse button opens the system's folder picker: cancelled, nothing changes; a folder chosen
        // goes into its box and enables Apply, disabled first by a pass on a folder without Apache.
        const QString folder = QDir::toNativeSeparators(m_dir->filePath("网站"));
        QVERIFY(QDir().mkpath(folder));
#ifdef Q_OS_WIN
        ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, folder.utf16(), nullptr); // or its tree may miss it
#endif
        Type(child<QLineEdit>("txt3"), m_dir->filePath("no-apache"));
        QTest::mouseClick(child("cmdAply"), Qt::LeftButton);
        for (const auto& [button, box, confirm] :
             {std::tuple{"Command1", "txt", false}, {"Command2", "txt3", true}, {"Command1", "txt", true}}) {
            QString title;
            // The user answers the picker once it shows: Qt's timers fire within its modal loop.
            QTimer user;
            connect(&user, &QTimer::timeout, this, [&] {
#ifdef Q_OS_WIN
                // The shell's own dialog: its texts read, the folder chosen and OK, or Cancel.
                HWND dialog = nullptr;
                while ((dialog = ::FindWindowExW(nullptr, dialog, L"#32770", nullptr)) &&
                       ::GetWindow(dialog, GW_OWNER) != reinterpret_cast<HWND>(m_window->winId())) {
                }
                wchar_t text[256];
                for (HWND item = nullptr; dialog && (item = ::FindWindowExW(dialog, item, nullptr, nullptr));)
                    title += QString::fromWCharArray(text, ::GetWindowTextW(item, text, 256)) + '\n';
                if (dialog && confirm)
                    ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                                   reinterpret_cast<LPARAM>(folder.utf16()));
                if (dialog && ::PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0))
                    user.stop();
#else
                if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    user.stop();
                    title = dialog->fileMode() == QFileDialog::Directory ? dialog->windowTitle() : "a file dialog";
                    dialog->setDirectory(folder);
                    confirm ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
                }
#endif
            });
            user.start(100);
            QTest::mouseClick(child(button), Qt::LeftButton);
            QVERIFY2(title.contains("选择主目录"), qPrintable(title));
            QCOMPARE(child<QLineEdit>(box)->text(), confirm ? folder : kDefaults[0]);
            QCOMPARE(child("cmdAply")->isEnabled(), confirm);
        }
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
