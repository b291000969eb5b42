// SPDX-License-Identifier: MIT
#pragma once

#include "services/commandrunner.h"
#include "services/serviceactions.h"

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
    /** Runs the service commands; when null the system's service manager is used. */
    std::shared_ptr<services::CommandRunner> runner;
};

/** The program's one window: the settings, the service choices and the apply pass behind them. */
class frmMain : public QDialog, private services::ServiceControls
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

    // Apply workflow
    void Form_Load();
    bool CheckConfigFiles();
    void ApplyFileSettings();
    bool UpdatePhpIni();
    bool UpdateHttpdConf();
    void RunServiceActions();
    void cmdAply_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

    // Window event handlers
    void EnableApply();
    void txt_GotFocus();
    void Command1_Click();
    void Command2_Click();

    void SetStatus(const QString& text);
    bool RefuseUnsafeValues();
    bool ReportFileError(const QString& path, const QString& reason);

    // services::ServiceControls
    bool isChosen(services::Service service, services::ServiceAction action) const override;
    void setStatusText(const QString& text) override;

    frmMainSeams m_seams;
    bool m_passRunning = false;

    // State of the apply workflow
    QStringList m_notSet; ///< httpd.conf settings the last pass found no line for
    bool isFileOk = false;
    QString strMDir;
    QString strDefIndex;
    QString fileN1;
    QString fileN2;
    QString file1;
    QString file2;

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
