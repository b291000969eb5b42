// SPDX-License-Identifier: MIT
#pragma once

#include "applypass.h"
#include "services/commandrunner.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

/** The outside effects of the window, replaceable so tests can answer them. */
struct frmMainSeams
{
    /** Shows a notice and returns when the user has dismissed it. */
    std::function<void(QWidget* parent, const QString& text)> showMessage;
    /** The folder picker: a folder, or an empty string on cancel. */
    std::function<QString(QWidget* owner, const QString& title)> browseForFolder;
    /**
     * What the apply pass reaches outside the program: service commands (when null, the system's
     * service manager), Apache's program, page requests. The window shows the status itself.
     */
    app::ApplyPassSeams pass;
};

/** The program's one window: it collects the settings and service choices, runs the apply pass and shows its
 * outcome. */
class frmMain : public QDialog
{
    Q_OBJECT

  public:
    explicit frmMain(frmMainSeams seams = {}, QWidget* parent = nullptr);
    ~frmMain() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void connectHandlers();

    void Form_Load();
    app::SettingsState CurrentSettings() const;
    void RunApplyPass();
    void cmdAply_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

    // Window event handlers
    void EnableApply();
    void txt_GotFocus();
    void Command1_Click();
    void Command2_Click();

    void SetStatus(const QString& text);

    frmMainSeams m_seams;
    std::unique_ptr<services::CommandRunner> m_systemRunner;
    bool m_passRunning = false;

    QString strMDir;
    QString strDefIndex;

    QGroupBox* server = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* aStart = nullptr;
    QRadioButton* aStop = nullptr;
    QRadioButton* aPause = nullptr;
    QRadioButton* aRestart = nullptr;
    QRadioButton* mStart = nullptr;
    QRadioButton* mStop = nullptr;
    QRadioButton* mPause = nullptr;
    QRadioButton* mRestart = nullptr;
    QCheckBox* chkShowErr = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lbl3 = nullptr;
    QLineEdit* txt = nullptr;
    QLineEdit* txt2 = nullptr;
    QLineEdit* txt3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdAply = nullptr;
};
