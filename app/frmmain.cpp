// SPDX-License-Identifier: MIT
#include "frmmain.h"

#include "notice.h"
#include "passmessage.h"
#include "platform/defaults.h"
#include "platform/folderpicker.h"
#include "services/serviceactions.h"
#include "services/servicemanager.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

namespace {

// Positions are kept in twips; at 96 dpi fifteen of them make one logical pixel.
QRect Twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

template <typename Widget>
Widget* Place(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* widget = new Widget(text, parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A text box that runs no code on focus: QLineEdit selects its whole text when Tab reaches it, and
// typing would then wipe it; the caret stays where it was instead.
class PlainTextBox : public QLineEdit
{
  public:
    using QLineEdit::QLineEdit;

  protected:
    void focusInEvent(QFocusEvent* event) override
    {
        const bool hadSelection = hasSelectedText();
        const int caret = cursorPosition();
        QLineEdit::focusInEvent(event);
        if (!hadSelection)
            setCursorPosition(caret);
    }
};

template <typename Box = QLineEdit>
QLineEdit* PlaceTextBox(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* box = new Box(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    return box;
}

// Tab and Shift+Tab enter an option group at its selected button. Qt arranges this only once the
// group has had the focus, so Shift+Tab would land on a group's last button before that.
void TabToSelectedOption(QRadioButton* selected)
{
    for (QRadioButton* option :
         selected->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
        option->setFocusPolicy(option == selected ? Qt::FocusPolicy(option->focusPolicy() | Qt::TabFocus)
                                                  : Qt::FocusPolicy(option->focusPolicy() & ~Qt::TabFocus));
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/brellimar-%1.png").arg(size), QSize(size, size));
    return icon;
}

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

} // namespace

frmMain::frmMain(frmMainSeams seams, QWidget* parent) : QDialog(parent), m_seams(std::move(seams))
{
    if (!m_seams.showMessage)
        m_seams.showMessage = app::ShowNotice;
    if (!m_seams.browseForFolder)
        m_seams.browseForFolder = mdlBrowseFounder::BrowseForFolder;
    if (!m_seams.pass.runner) {
        m_systemRunner = std::make_unique<services::SystemCommandRunner>();
        m_seams.pass.runner = m_systemRunner.get();
    }
    m_seams.pass.setStatus = [this](const QString& text) { SetStatus(text); };
    m_seams.pass.documentRootTrimmed = [this](const QString& documentRoot) { txt->setText(documentRoot); };

    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Brellimar"));
    // A fixed-size window: nothing re-lays the controls out, so there is nothing to maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(5745 / 15, 5535 / 15);
    Q_INIT_RESOURCE(brellimar); // the icons live in the static library
    setWindowIcon(ProgramIcon());
    // The twips assume a 9-point font; a desktop set to a larger one must not cut the captions.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    setFont(font);

    createControls();
    connectHandlers();
    Form_Load();
    aStart->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    server = Place<QGroupBox>(this, "server", QStringLiteral("服务管理"), Twips(120, 120, 5535, 1815));
    Frame2 = Place<QGroupBox>(server, "Frame2", QStringLiteral("Apache"), Twips(240, 240, 4695, 615));
    aStart = Place<QRadioButton>(Frame2, "aStart", QStringLiteral("启动"), Twips(480, 240, 735, 255));
    aStop = Place<QRadioButton>(Frame2, "aStop", QStringLiteral("停止"), Twips(1320, 240, 735, 255));
    aPause = Place<QRadioButton>(Frame2, "aPause", QStringLiteral("暂停"), Twips(2160, 240, 735, 255));
    aRestart = Place<QRadioButton>(Frame2, "aRestart", QStringLiteral("重启"), Twips(3000, 240, 735, 255));
    Frame3 = Place<QGroupBox>(server, "Frame3", QStringLiteral("Mysql"), Twips(240, 960, 4695, 615));
    mStart = Place<QRadioButton>(Frame3, "mStart", QStringLiteral("启动"), Twips(480, 240, 735, 255));
    mStop = Place<QRadioButton>(Frame3, "mStop", QStringLiteral("停止"), Twips(1320, 240, 735, 255));
    mPause = Place<QRadioButton>(Frame3, "mPause", QStringLiteral("暂停"), Twips(2160, 240, 735, 255));
    mRestart = Place<QRadioButton>(Frame3, "mRestart", QStringLiteral("重启"), Twips(3000, 240, 735, 255));
    aStart->setChecked(true);
    mStart->setChecked(true);
    // aStart has the focus when the window opens, which settles its group; MySQL's needs this.
    TabToSelectedOption(mStart);

    Frame1 = Place<QGroupBox>(this, "Frame1", QStringLiteral("文件修改"), Twips(120, 2040, 5535, 2895));
    // A child of the window, stacked above the group box it appears in.
    chkShowErr = Place<QCheckBox>(this, "chkShowErr", QStringLiteral("显示错误(置 display_errors 为 On )"),
                                  Twips(360, 2400, 3375, 255));
    chkShowErr->setChecked(true);
    chkShowErr->raise();

    Label1 = Place<QLabel>(Frame1, "Label1", QStringLiteral("设置主目录为:"), Twips(240, 720, 1215, 255));
    txt = PlaceTextBox(Frame1, "txt", Twips(240, 960, 3855, 270));
    Command1 =
        Place<QPushButton>(Frame1, "Command1", QStringLiteral("浏览(&B)..."), Twips(4200, 840, 1095, 375));
    Label2 = Place<QLabel>(Frame1, "Label2", QStringLiteral("服务器默认首页(多个名称请用空格隔开):"),
                           Twips(240, 1440, 3330, 180));
    Label2->adjustSize();
    txt2 = PlaceTextBox<PlainTextBox>(Frame1, "txt2", Twips(240, 1680, 3855, 270));
    Label4 =
        Place<QLabel>(Frame1, "Label4", QStringLiteral("Apache安装所在的目录:"), Twips(240, 2160, 1890, 180));
    Label4->adjustSize();
    txt3 = PlaceTextBox<PlainTextBox>(Frame1, "txt3", Twips(240, 2400, 3855, 270));
    txt3->setText(config::DefaultApacheFolder());
    Command2 =
        Place<QPushButton>(Frame1, "Command2", QStringLiteral("浏览(&B)..."), Twips(4200, 2280, 1095, 375));
    Label1->setBuddy(txt);
    Label2->setBuddy(txt2);
    Label4->setBuddy(txt3);

    cmdOk = Place<QPushButton>(this, "cmdOk", QStringLiteral("确定"), Twips(1920, 5040, 1095, 375));
    cmdOk->setDefault(true);
    cmdCancel = Place<QPushButton>(this, "cmdCancel", QStringLiteral("取消"), Twips(3120, 5040, 1095, 375));
    cmdAply = Place<QPushButton>(this, "cmdAply", QStringLiteral("应用"), Twips(4320, 5040, 1095, 375));
    lbl3 = Place<QLabel>(this, "lbl3", QString(), Twips(240, 5160, 90, 180));
    // The status line grows to the right; the buttons stay on top of it.
    lbl3->lower();

    QWidget* const order[] = {aStart, aStop,    aPause,     aRestart,  mStart,   mStop,
                              mPause, mRestart, chkShowErr, txt,       Command1, txt2,
                              txt3,   Command2, cmdOk,      cmdCancel, cmdAply};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void frmMain::connectHandlers()
{
    for (QRadioButton* option : {aStart, aStop, aPause, aRestart, mStart, mStop, mPause, mRestart})
        connect(option, &QRadioButton::toggled, this, [this, option](bool selected) {
            if (!selected)
                return;
            TabToSelectedOption(option);
            EnableApply();
        });
    connect(chkShowErr, &QCheckBox::toggled, this, &frmMain::EnableApply);
    for (QLineEdit* box : {txt, txt2, txt3})
        connect(box, &QLineEdit::textChanged, this, &frmMain::EnableApply);
    txt->installEventFilter(this);
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(cmdAply, &QPushButton::clicked, this, &frmMain::cmdAply_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmMain::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);
}

void frmMain::Form_Load()
{
    strMDir = platform::DefaultDocumentRoot();
    strDefIndex = QStringLiteral("index.php index.html");
    txt->setText(strMDir);
    txt2->setText(strDefIndex);
}

app::SettingsState frmMain::CurrentSettings() const
{
    using services::ActionFromButtons;
    // The restart buttons are never read: with none of the other three chosen, it is a restart.
    return {txt->text(),
            txt2->text(),
            txt3->text(),
            chkShowErr->isChecked(),
            ActionFromButtons(aStart->isChecked(), aStop->isChecked(), aPause->isChecked()),
            ActionFromButtons(mStart->isChecked(), mStop->isChecked(), mPause->isChecked())};
}

void frmMain::RunApplyPass()
{
    app::PassReport report;
    {
        // The wait for each service command keeps the window painting; its input is held off
        // meanwhile, and given back on every way out, so the window always comes back.
        m_passRunning = true;
        QCoreApplication::instance()->installEventFilter(this);
        const auto release = qScopeGuard([this] {
            QCoreApplication::instance()->removeEventFilter(this);
            m_passRunning = false;
        });
        app::ApplyPass pass(m_seams.pass);
        report = pass.run(CurrentSettings());
    }
    m_seams.showMessage(this, app::ComposeMessage(report));
    if (report.outcome == app::PassReport::Outcome::FilesMissing)
        txt3->setFocus();
    else if (report.refused)
        (report.refused->field == config::ValueProblem::Field::DocumentRoot ? txt : txt2)->setFocus();
}

void frmMain::cmdAply_Click()
{
    RunApplyPass();
    cmdAply->setEnabled(false);
}

void frmMain::cmdOk_Click()
{
    RunApplyPass();
    close();
}

void frmMain::cmdCancel_Click()
{
    close();
}

void frmMain::EnableApply()
{
    cmdAply->setEnabled(true);
}

void frmMain::txt_GotFocus()
{
    txt->setSelection(0, int(txt->text().size()));
}

void frmMain::Command1_Click()
{
    const QString folder = m_seams.browseForFolder(this, QStringLiteral("选择主目录"));
    if (!folder.isEmpty())
        txt->setText(folder);
}

void frmMain::Command2_Click()
{
    const QString folder = m_seams.browseForFolder(this, QStringLiteral("选择主目录"));
    if (!folder.isEmpty())
        txt3->setText(folder);
}

void frmMain::SetStatus(const QString& text)
{
    lbl3->setText(text);
    lbl3->adjustSize();
    // Shown at once: the pass does not return to the event loop before the next step.
    lbl3->repaint();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_passRunning) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmMain::keyPressEvent(QKeyEvent* event)
{
    // Esc does not close the window: only OK, Cancel and the title bar do.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txt && event->type() == QEvent::FocusIn)
        txt_GotFocus();
    if (m_passRunning && watched->isWidgetType() && IsUserInput(event->type()))
        return true;
    return QDialog::eventFilter(watched, event);
}
