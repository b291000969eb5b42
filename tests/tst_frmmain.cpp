// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "app/notice.h"
#include "guiutil.h"
#include "platform/folderpicker.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace services;
using guiutil::Replace;
using guiutil::TypeText;
using testutil::ReadAll;
using testutil::WriteAll;

namespace {

// The folders the window starts with, as this system lays them out.
#ifdef Q_OS_WIN
const QString kDefaultRoot = QStringLiteral("E:\\Myphp");
const QString kDefaultApache = QStringLiteral("C:\\Program Files\\Apache Group\\Apache2");
#else
const QString kDefaultRoot = QStringLiteral("/var/www/Myphp");
const QString kDefaultApache = QStringLiteral("/usr/local/apache2");
#endif

const QString kMissingFiles =
    QStringLiteral("需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。");

struct Recorder : CommandRunner
{
    QWidget* window = nullptr;
    QStringList ran; // command line | status line while it ran
    std::function<void()> during;
    QHash<QString, CommandRecord> answers; // by table line; others succeed

    CommandRecord run(const QString& line) override
    {
        ran << line + QStringLiteral(" | ") + window->findChild<QLabel*>(QStringLiteral("lbl3"))->text();
        if (during)
            during();
        return answers.value(line, CommandRecord{line, {}});
    }
};

// Records each text the status line was painted with.
struct PaintWatcher : QObject
{
    QStringList painted;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString text = static_cast<QLabel*>(watched)->text();
            if (!text.isEmpty() && (painted.isEmpty() || painted.last() != text))
                painted << text;
        }
        return false;
    }
};

// The first and last rows a caption's glyphs cover when drawn as the styles draw captions: in
// `room`, with `flags`, in the widget's font and resolution, and not clipped to `room`.
std::pair<int, int> InkRows(const QWidget* widget, const QString& text, const QRect& room, int flags)
{
    const int margin = room.height();
    QImage image(room.width() + widget->fontMetrics().horizontalAdvance(text), room.height() + 2 * margin,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(qRound(widget->logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(widget->logicalDpiY() / 0.0254));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(widget->font());
    painter.drawText(QRect(0, margin, room.width(), room.height()), flags | Qt::TextDontClip, text);
    painter.end();
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
    return {room.y() + first - margin, room.y() + last - margin};
}

} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void firstShown_data();
    void firstShown();
    void keyboard();
    void focusArrival_data();
    void focusArrival();
    void captionsFitLargeDesktopFont();
    void applyTracking_data();
    void applyTracking();
    void fullApplyPass();
    void missingFiles();
    void refusedValue();
    void unwritableFile();
    void settingWithoutLine();
    void browse();
    void systemFolderPicker();
    void noticeIsChinese();

  private:
    template <typename T> T* child(const char* name) const
    {
        T* widget = m_window->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no control named %s", name);
        return widget;
    }
    void makeApacheFolder();

    std::unique_ptr<frmMain> m_window;
    std::shared_ptr<Recorder> m_runner;
    QStringList m_messages;
    QStringList m_browseTitles;
    QString m_browseAnswer;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFrmMain::init()
{
    m_messages.clear();
    m_browseTitles.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    m_runner = std::make_shared<Recorder>();
    frmMainSeams seams;
    seams.showMessage = [this](QWidget*, const QString& text) { m_messages << text; };
    seams.browseForFolder = [this](QWidget*, const QString& title) {
        m_browseTitles << title;
        return m_browseAnswer;
    };
    seams.runner = m_runner;
    m_window = std::make_unique<frmMain>(seams);
    m_runner->window = m_window.get();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestFrmMain::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void TestFrmMain::makeApacheFolder()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("apache/conf")));
    QVERIFY(WriteAll(m_dir->filePath(QStringLiteral("apache/php.ini")), "[PHP]\ndisplay_errors = Off\n"));
    QVERIFY(WriteAll(m_dir->filePath(QStringLiteral("apache/conf/httpd.conf")),
                     "DocumentRoot \"/old\"\r\n<IfModule dir_module>\r\n    DirectoryIndex "
                     "index.html\r\n</IfModule>\r\n"));
    child<QLineEdit>("txt3")->setText(m_dir->filePath(QStringLiteral("apache")));
}

void TestFrmMain::firstShown_data()
{
    // clang-format off
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("server") << "server" << "frmMain" << "服务管理" << QRect(8, 8, 369, 121);
    QTest::newRow("Frame2") << "Frame2" << "server" << "Apache" << QRect(16, 16, 313, 41);
    QTest::newRow("aStart") << "aStart" << "Frame2" << "启动" << QRect(32, 16, 49, 17);
    QTest::newRow("aRestart") << "aRestart" << "Frame2" << "重启" << QRect(200, 16, 49, 17);
    QTest::newRow("Frame3") << "Frame3" << "server" << "Mysql" << QRect(16, 64, 313, 41);
    QTest::newRow("mPause") << "mPause" << "Frame3" << "暂停" << QRect(144, 16, 49, 17);
    QTest::newRow("chkShowErr") << "chkShowErr" << "frmMain" << "显示错误(置 display_errors 为 On )" << QRect(24, 160, 225, 17);
    QTest::newRow("Frame1") << "Frame1" << "frmMain" << "文件修改" << QRect(8, 136, 369, 193);
    QTest::newRow("Label1") << "Label1" << "Frame1" << "设置主目录为:" << QRect(16, 48, 81, 17);
    QTest::newRow("txt") << "txt" << "Frame1" << kDefaultRoot << QRect(16, 64, 257, 18);
    QTest::newRow("Command1") << "Command1" << "Frame1" << "浏览(&B)..." << QRect(280, 56, 73, 25);
    QTest::newRow("txt2") << "txt2" << "Frame1" << "index.php index.html" << QRect(16, 112, 257, 18);
    QTest::newRow("txt3") << "txt3" << "Frame1" << kDefaultApache << QRect(16, 160, 257, 18);
    QTest::newRow("Command2") << "Command2" << "Frame1" << "浏览(&B)..." << QRect(280, 152, 73, 25);
    QTest::newRow("cmdOk") << "cmdOk" << "frmMain" << "确定" << QRect(128, 336, 73, 25);
    QTest::newRow("cmdCancel") << "cmdCancel" << "frmMain" << "取消" << QRect(208, 336, 73, 25);
    QTest::newRow("cmdAply") << "cmdAply" << "frmMain" << "应用" << QRect(288, 336, 73, 25);
    // clang-format on
}

void TestFrmMain::firstShown()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QWidget* widget = child<QWidget>(name.toLatin1().constData());
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isEnabled() && widget->isVisible());
    QString shown;
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        shown = box->title();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        shown = button->text();
    else if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        shown = edit->text();
    QCOMPARE(shown, text);

    // What holds for the window as a whole, checked once.
    if (name == QLatin1String("server")) {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Brellimar"));
        QCOMPARE(m_window->windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
        QCOMPARE(m_window->size(), QSize(383, 369));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(QApplication::focusWidget(), child<QWidget>("aStart"));
        QVERIFY(child<QRadioButton>("aStart")->isChecked() && child<QRadioButton>("mStart")->isChecked());
        QVERIFY(!child<QRadioButton>("aStop")->isChecked() && !child<QRadioButton>("mRestart")->isChecked());
        QVERIFY(child<QCheckBox>("chkShowErr")->isChecked());
        QVERIFY(child<QPushButton>("cmdOk")->isDefault());
        QVERIFY(child<QLabel>("lbl3")->text().isEmpty());
        QCOMPARE(child<QLabel>("Label2")->buddy(), child<QWidget>("txt2"));
        QCOMPARE(child<QLabel>("Label4")->buddy(), child<QWidget>("txt3"));
        // The check box lies above the group box it shows in.
        const QObjectList order = m_window->children();
        QVERIFY(order.indexOf(child<QWidget>("chkShowErr")) > order.indexOf(child<QWidget>("Frame1")));
        QCOMPARE(child<QWidget>("chkShowErr")->childAt(5, 5), nullptr);
    }
}

void TestFrmMain::keyboard()
{
    // Tab stops at the selected button of each option group; txt3 follows txt2 directly.
    QStringList order;
    for (int i = 0; i < 12; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, (QStringList{"aStart", "mStart", "chkShowErr", "txt", "Command1", "txt2", "txt3",
                                 "Command2", "cmdOk", "cmdCancel", "cmdAply", "aStart"}));
    // The arrow keys move the selection within a group.
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("mStart"));
    QTest::keyClick(child<QRadioButton>("mStart"), Qt::Key_Right);
    QVERIFY(child<QRadioButton>("mStop")->isChecked() && child<QRadioButton>("mStop")->hasFocus());
    QVERIFY(child<QRadioButton>("aStart")->isChecked());

    // Moving into txt selects all of it, so typing replaces it.
    auto* txt = child<QLineEdit>("txt");
    child<QCheckBox>("chkShowErr")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(txt->selectedText(), kDefaultRoot);
    TypeText(txt, QStringLiteral("/srv/站点"));
    QCOMPARE(txt->text(), QStringLiteral("/srv/站点"));

    // Enter presses OK (here with missing files: the notice, then the window closes).
    child<QLineEdit>("txt3")->setFocus();
    QTest::keyClick(child<QLineEdit>("txt3"), Qt::Key_Return);
    QCOMPARE(m_messages, QStringList{kMissingFiles});
    QVERIFY(!m_window->isVisible());
}

void TestFrmMain::focusArrival_data()
{
    // clang-format off
    QTest::addColumn<QString>("clicked"); // an option button selected first without taking the focus
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("selectsAll");

    QTest::newRow("Tab into txt") << "" << "chkShowErr" << int(Qt::Key_Tab) << 1 << "txt" << true;
    QTest::newRow("Shift+Tab into txt") << "" << "txt2" << int(Qt::Key_Backtab) << 2 << "txt" << true;
    QTest::newRow("Tab into txt2") << "" << "Command1" << int(Qt::Key_Tab) << 1 << "txt2" << false;
    QTest::newRow("Shift+Tab into txt2") << "" << "txt3" << int(Qt::Key_Backtab) << 1 << "txt2" << false;
    QTest::newRow("Tab into txt3") << "" << "txt2" << int(Qt::Key_Tab) << 1 << "txt3" << false;
    QTest::newRow("Shift+Tab into txt3") << "" << "Command2" << int(Qt::Key_Backtab) << 1 << "txt3" << false;
    QTest::newRow("Shift+Tab into Mysql") << "" << "txt" << int(Qt::Key_Backtab) << 2 << "mStart" << false;
    QTest::newRow("Shift+Tab into Mysql, mPause") << "mPause" << "txt" << int(Qt::Key_Backtab) << 2 << "mPause" << false;
    QTest::newRow("Tab into Apache, aRestart") << "aRestart" << "cmdAply" << int(Qt::Key_Tab) << 1 << "aRestart" << false;
    // clang-format on
}

void TestFrmMain::focusArrival()
{
    QFETCH(QString, clicked);
    QFETCH(QString, from);
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(QString, to);
    QFETCH(bool, selectsAll);
    // As an accessibility tool presses a button: selected, but the focus stays where it was.
    if (!clicked.isEmpty())
        child<QRadioButton>(clicked.toLatin1().constData())->click();
    child<QWidget>(from.toLatin1().constData())->setFocus();
    for (int i = 0; i < presses; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(QApplication::focusWidget()->objectName(), to);
    if (auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        QCOMPARE(box->selectedText(), selectsAll ? box->text() : QString());
}

void TestFrmMain::captionsFitLargeDesktopFont()
{
    // A desktop whose default font is 11 points (GNOME's) while the positions assume 9 points.
    const QFont desktop = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
    QFont large = desktop;
    large.setPointSize(11);
    QApplication::setFont(large);
    frmMain window;
    window.show();

    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->buddy())
            continue; // the status line sizes itself and has the strip left of the buttons
        const QByteArray name = label->objectName().toLatin1();
        QVERIFY2(label->sizeHint().width() <= label->width(), name);
        QVERIFY2(label->geometry().right() < label->parentWidget()->width(), name);
        // Not hidden behind the text box it names. Here and below, a descender's tip may meet the
        // top edge of the control underneath; the glyphs must not reach further.
        const auto ink = InkRows(label, label->text(), label->contentsRect(), int(label->alignment()));
        QVERIFY2(label->y() + ink.second <= label->buddy()->y(), name);
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        const QByteArray name = button->objectName().toLatin1();
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        // Where the style draws the caption; a check box or option button needs the width of its
        // size hint (indicator, spacing and caption).
        QRect room = button->style()->subElementRect(
            qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents,
            &option, button);
        int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
        bool wideEnough = button->sizeHint().width() <= button->width();
        if (auto* push = qobject_cast<QPushButton*>(button)) {
            if (push->autoDefault())
                option.features |= QStyleOptionButton::AutoDefaultButton;
            room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
            flags = Qt::AlignCenter | Qt::TextShowMnemonic;
            // A push button's size hint has a minimum width of its own; the caption is what counts.
            wideEnough = push->fontMetrics().size(Qt::TextShowMnemonic, push->text()).width() <= room.width();
        }
        QVERIFY2(wideEnough, name);
        const auto ink = InkRows(button, button->text(), room, flags);
        QVERIFY2(ink.first >= 0 && ink.second < button->height(), name);
    }
    for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
        const QByteArray name = box->objectName().toLatin1();
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.textAlignment = box->alignment();
        const QRect title =
            box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        QVERIFY2(title.right() < box->width(), name);
        // The title stays above the first row of controls in the box (the check box too).
        const QRect area(box->mapTo(&window, QPoint(0, 0)), box->size());
        int firstRow = box->height();
        for (QWidget* widget : window.findChildren<QWidget*>())
            if (!qobject_cast<QGroupBox*>(widget) && widget->isVisible() && widget->parentWidget() &&
                area.contains(QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size())))
                firstRow = std::min(firstRow, widget->mapTo(&window, QPoint(0, 0)).y() - area.y());
        const auto ink =
            InkRows(box, box->title(), title, Qt::TextShowMnemonic | Qt::AlignLeft | int(box->alignment()));
        QVERIFY2(ink.second <= firstRow, name);
    }
}

void TestFrmMain::applyTracking_data()
{
    // clang-format off
    QTest::addColumn<QString>("control");
    for (const char* name : {"aRestart", "mStop", "chkShowErr", "txt", "txt2", "txt3"})
        QTest::newRow(name) << name;
    // clang-format on
}

void TestFrmMain::applyTracking()
{
    QFETCH(QString, control);
    auto* apply = child<QPushButton>("cmdAply");
    QTest::mouseClick(apply, Qt::LeftButton);
    QVERIFY(!apply->isEnabled());

    QWidget* widget = child<QWidget>(control.toLatin1().constData());
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setFocus();
        QTest::keyClick(edit, 'x');
    } else {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
    }
    QVERIFY(apply->isEnabled());
    if (control == QLatin1String("aRestart")) {
        QVERIFY(!child<QRadioButton>("aStart")->isChecked());
        QVERIFY(child<QRadioButton>("mStart")->isChecked());
    }
}

void TestFrmMain::fullApplyPass()
{
    makeApacheFolder();
    const QString site = m_dir->filePath(QStringLiteral("新站点"));
    Replace(child<QLineEdit>("txt"), QStringLiteral("  ") + site + QStringLiteral("  "));
    Replace(child<QLineEdit>("txt2"), QStringLiteral("index.php default.htm"));
    PaintWatcher watcher;
    child<QLabel>("lbl3")->installEventFilter(&watcher);
    // While a command runs, the window neither closes nor takes clicks or keys.
    m_runner->during = [this] {
        m_window->close();
        QTest::mouseClick(child<QRadioButton>("mStop"), Qt::LeftButton, {}, QPoint(6, 8));
        QTest::keyClick(child<QLineEdit>("txt2"), 'x');
        QCoreApplication::processEvents();
    };

    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);

    QVERIFY(m_window->isVisible());
    QCOMPARE(m_runner->ran, (QStringList{"net start apache2 | 正在启动服务:Apache2",
                                         "net start mysql | 正在启动服务:Mysql"}));
    QCOMPARE(watcher.painted, (QStringList{"正在设置文件:php.ini", "正在设置文件:httpd.conf",
                                           "正在启动服务:Apache2", "正在启动服务:Mysql"}));
    QCOMPARE(m_messages, QStringList{"设置已完成！"});
    QVERIFY(child<QLabel>("lbl3")->text().isEmpty());
    QVERIFY(!child<QPushButton>("cmdAply")->isEnabled());
    QCOMPARE(child<QLineEdit>("txt")->text(), site);
    QCOMPARE(child<QLineEdit>("txt2")->text(), QStringLiteral("index.php default.htm"));
    QVERIFY(child<QRadioButton>("mStart")->isChecked());
    QVERIFY(QFileInfo(site).isDir());
    QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("apache/php.ini"))),
             QByteArray("[PHP]\r\ndisplay_errors = On\r\n"));
    QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("apache/conf/httpd.conf"))),
             "DocumentRoot \"" + site.toUtf8() +
                 "\"\r\n<IfModule dir_module>\r\nDirectoryIndex index.php default.htm\r\n"
                 "</IfModule>\r\n");

    // Second pass by OK, restarting Apache; a failed command is reported as it was run.
    m_runner->during = nullptr;
    m_messages.clear();
    m_runner->ran.clear();
    CommandOutcome failed;
    failed.status = CommandOutcome::Status::Failed;
    failed.exitCode = 1;
    failed.output = QStringLiteral("\nmysql: unrecognized service\n");
    m_runner->answers[QStringLiteral("net start mysql")] = {QStringLiteral("service mysql start"), failed};
    CommandOutcome hung;
    hung.status = CommandOutcome::Status::TimedOut;
    m_runner->answers[QStringLiteral("net stop apache2")] = {QStringLiteral("service apache2 stop"), hung};
    QTest::mouseClick(child<QRadioButton>("aRestart"), Qt::LeftButton, {}, QPoint(6, 8));
    QTest::mouseClick(child<QPushButton>("cmdOk"), Qt::LeftButton);
    QCOMPARE(m_runner->ran, (QStringList{"net stop apache2 | 正在重启服务:Apache2",
                                         "net start apache2 | 正在重启服务:Apache2",
                                         "net start mysql | 正在启动服务:Mysql"}));
    QCOMPARE(m_messages, QStringList{"设置已应用，但以下服务命令没有成功：\n"
                                     "service apache2 stop：超时未结束，已被终止\n"
                                     "service mysql start：退出码 1（mysql: unrecognized service）"});
    QVERIFY(!m_window->isVisible());
}

void TestFrmMain::missingFiles()
{
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("apache/conf")));
    QVERIFY(WriteAll(m_dir->filePath(QStringLiteral("apache/php.ini")), "display_errors = Off\n"));
    // httpd.conf is a folder here: not a file, so not found.
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("apache/conf/httpd.conf")));
    child<QLineEdit>("txt3")->setText(m_dir->filePath(QStringLiteral("apache")));
    child<QLineEdit>("txt")->setText(m_dir->filePath(QStringLiteral("site")));

    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{kMissingFiles});
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("txt3"));
    QVERIFY(!child<QPushButton>("cmdAply")->isEnabled());
    QVERIFY(m_runner->ran.isEmpty());
    QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("apache/php.ini"))),
             QByteArray("display_errors = Off\n"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("site"))));

    QTest::mouseClick(child<QPushButton>("cmdOk"), Qt::LeftButton);
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(!m_window->isVisible());
}

void TestFrmMain::refusedValue()
{
    makeApacheFolder();
    const QByteArray conf = ReadAll(m_dir->filePath(QStringLiteral("apache/conf/httpd.conf")));
    child<QLineEdit>("txt")->setText(m_dir->filePath(QStringLiteral("site")));
    child<QLineEdit>("txt2")->clear();
    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{"服务器默认首页不能为空，请重新输入。"});
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("txt2"));

    m_messages.clear();
    child<QLineEdit>("txt2")->setText(QStringLiteral("index.php"));
    child<QLineEdit>("txt")->setText(QStringLiteral("   "));
    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{"主目录不能为空，请重新输入。"});
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("txt"));

    QVERIFY(m_runner->ran.isEmpty());
    QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("apache/php.ini"))),
             QByteArray("[PHP]\ndisplay_errors = Off\n"));
    QCOMPARE(ReadAll(m_dir->filePath(QStringLiteral("apache/conf/httpd.conf"))), conf);
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("site"))));
    QVERIFY(m_window->isVisible());
}

// httpd.conf without a live DocumentRoot line: the pass completes, but does not call it done.
void TestFrmMain::settingWithoutLine()
{
    makeApacheFolder();
    QVERIFY(WriteAll(m_dir->filePath(QStringLiteral("apache/conf/httpd.conf")),
                     "#DocumentRoot /old\r\nDirectoryIndex a\r\n"));
    child<QLineEdit>("txt")->setText(m_dir->filePath(QStringLiteral("site")));
    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{"文件已修改，但以下设置没有生效：\nhttpd.conf 中没有有效的 DocumentRoot "
                                     "行（被注释或大小写不同的行 Apache 不读），主目录没有设置。"});
    QCOMPARE(m_runner->ran.size(), 2);
}

void TestFrmMain::unwritableFile()
{
#ifndef Q_OS_UNIX
    QSKIP("made with POSIX permission bits and seteuid");
#else
    makeApacheFolder();
    const QString conf = m_dir->filePath(QStringLiteral("apache/conf/httpd.conf"));
    const QString ini = m_dir->filePath(QStringLiteral("apache/php.ini"));
    const QByteArray confBefore = ReadAll(conf);
    child<QLineEdit>("txt")->setText(m_dir->filePath(QStringLiteral("site")));
    const bool root = ::geteuid() == 0;
    // As root, act as an unprivileged user for the pass, so that permissions hold.
    for (const QString& folder : {m_dir->path(), m_dir->filePath(QStringLiteral("apache")),
                                  m_dir->filePath(QStringLiteral("apache/conf"))})
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
    QVERIFY(QFile::setPermissions(conf, QFile::ReadOwner | QFile::ReadOther));
    if (root) {
        // php.ini and its folder are the user's; httpd.conf and conf/ are not.
        QCOMPARE(::chown(ini.toLocal8Bit().constData(), 65534, 65534), 0);
        QCOMPARE(
            ::chown(QFile::encodeName(m_dir->filePath(QStringLiteral("apache"))).constData(), 65534, 65534),
            0);
        QCOMPARE(::setegid(65534), 0);
        QCOMPARE(::seteuid(65534), 0);
    }
    QTest::mouseClick(child<QPushButton>("cmdAply"), Qt::LeftButton);
    if (root) {
        QCOMPARE(::seteuid(0), 0);
        QCOMPARE(::setegid(0), 0);
    }

    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].startsWith(
                 QStringLiteral("无法修改配置文件\"%1\"：").arg(QDir::toNativeSeparators(conf))),
             qPrintable(m_messages[0]));
    QVERIFY(m_runner->ran.isEmpty());
    QCOMPARE(ReadAll(ini), QByteArray("[PHP]\r\ndisplay_errors = On\r\n"));
    QCOMPARE(ReadAll(conf), confBefore);
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("site"))));
    QVERIFY(child<QLabel>("lbl3")->text().isEmpty());
    QVERIFY(m_window->isVisible());
#endif
}

void TestFrmMain::browse()
{
    auto* apply = child<QPushButton>("cmdAply");
    QTest::mouseClick(apply, Qt::LeftButton); // missing files: disables Apply
    m_messages.clear();
    QVERIFY(!apply->isEnabled());

    m_browseAnswer.clear();
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>("txt")->text(), kDefaultRoot);
    QVERIFY(!apply->isEnabled());

    m_browseAnswer = QStringLiteral("/srv/www/");
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>("txt3")->text(), QStringLiteral("/srv/www/"));
    QCOMPARE(child<QLineEdit>("txt")->text(), kDefaultRoot);
    QVERIFY(apply->isEnabled());
    QCOMPARE(m_browseTitles, (QStringList{"选择主目录", "选择主目录"}));
}

void TestFrmMain::systemFolderPicker()
{
#ifdef Q_OS_WIN
    QSKIP("Windows shows the shell's own dialog, not a QFileDialog: tst_platform_win closes it from outside");
#endif
    const QString folder = m_dir->filePath(QStringLiteral("网站"));
    QVERIFY(QDir().mkpath(folder));
    for (const bool confirm : {false, true}) {
        QString title;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
            dialog->setDirectory(folder);
            confirm ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
        });
        const QString chosen =
            mdlBrowseFounder::BrowseForFolder(m_window.get(), QStringLiteral("选择主目录"));
        QCOMPARE(title, QStringLiteral("选择主目录"));
        QCOMPARE(chosen, confirm ? folder : QString());
    }
}

void TestFrmMain::noticeIsChinese()
{
    if (!app::InstallQtChineseTranslation())
        QSKIP("Qt's Chinese translations (qt6-translations-l10n) are not installed");
    QString title;
    QString text;
    QString button;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        QCOMPARE(box->buttons().size(), 1);
        button = box->buttons().first()->text();
        box->buttons().first()->click();
    });
    app::ShowNotice(m_window.get(), QStringLiteral("设置已完成！"));
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(text, QStringLiteral("设置已完成！"));
    QCOMPARE(icon, QMessageBox::Information);
    QCOMPARE(button, QStringLiteral("确定"));
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
