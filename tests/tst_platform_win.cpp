// SPDX-License-Identifier: MIT
// What only Windows has: file attributes, the OEM code page of console programs, configuration
// files in the ANSI code page GBK (936), as a Chinese Windows writes them, and the shell's own
// folder dialog.
#include "config/rewritefile.h"
#include "platform/files.h"
#include "platform/folderpicker.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shlobj.h>

namespace {

// The shell's folder dialog, found from another thread while the GUI thread is inside it.
struct ShellDialog
{
    HWND owner = nullptr;
    HWND dialog = nullptr;
    QString text; // every static text in it, the caller's title among them

    static BOOL CALLBACK FindOwned(HWND window, LPARAM self)
    {
        auto* found = reinterpret_cast<ShellDialog*>(self);
        wchar_t className[16] = {};
        ::GetClassNameW(window, className, 16);
        if (::GetWindow(window, GW_OWNER) != found->owner || std::wstring(className) != L"#32770")
            return TRUE;
        found->dialog = window;
        return FALSE;
    }
    static BOOL CALLBACK ReadText(HWND child, LPARAM self)
    {
        wchar_t text[256] = {};
        ::GetWindowTextW(child, text, 256);
        reinterpret_cast<ShellDialog*>(self)->text += QString::fromWCharArray(text) + QLatin1Char('\n');
        return TRUE;
    }
    /** Waits up to 30 seconds for the dialog owned by @p ownerWindow. */
    bool find(HWND ownerWindow)
    {
        owner = ownerWindow;
        for (int i = 0; i < 300 && !dialog; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::EnumWindows(&ShellDialog::FindOwned, reinterpret_cast<LPARAM>(this));
        }
        if (dialog)
            ::EnumChildWindows(dialog, &ShellDialog::ReadText, reinterpret_cast<LPARAM>(this));
        return dialog != nullptr;
    }
};

} // namespace

class TestPlatformWin : public QObject
{
    Q_OBJECT

  private slots:
    void isOrdinaryFile_data();
    void isOrdinaryFile();
    void decodeConsoleOutput_data();
    void decodeConsoleOutput();
    void phpIniInGbk_data();
    void phpIniInGbk();
    void shellFolderDialog_data();
    void shellFolderDialog();
};

void TestPlatformWin::isOrdinaryFile_data()
{
    // clang-format off
    QTest::addColumn<bool>("folder");
    QTest::addColumn<quint32>("attributes");
    QTest::addColumn<bool>("counts");
    QTest::newRow("plain file") << false << quint32(FILE_ATTRIBUTE_NORMAL) << true;
    QTest::newRow("read-only file") << false << quint32(FILE_ATTRIBUTE_READONLY) << true;
    QTest::newRow("archive file") << false << quint32(FILE_ATTRIBUTE_ARCHIVE) << true;
    QTest::newRow("hidden file") << false << quint32(FILE_ATTRIBUTE_HIDDEN) << false;
    QTest::newRow("system file") << false << quint32(FILE_ATTRIBUTE_SYSTEM) << false;
    QTest::newRow("folder") << true << quint32(FILE_ATTRIBUTE_NORMAL) << false;
    // clang-format on
}

void TestPlatformWin::isOrdinaryFile()
{
    QFETCH(bool, folder);
    QFETCH(quint32, attributes);
    QFETCH(bool, counts);
    QTemporaryDir dir;
    const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("php.ini")));
    QVERIFY(folder ? QDir(dir.path()).mkdir(QStringLiteral("php.ini")) : testutil::WriteAll(path, "x\r\n"));
    if (!folder)
        QVERIFY(::SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), attributes));
    QCOMPARE(platform::IsOrdinaryFile(path), counts);
    // QTemporaryDir cannot remove a read-only file.
    ::SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_ATTRIBUTE_NORMAL);
}

void TestPlatformWin::decodeConsoleOutput_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("The command completed successfully.\r\n")
                           << "The command completed successfully.\r\n";
    // What Wine's net prints for a service that does not exist.
    QTest::newRow("GBK") << QByteArray("\xce\xde\xb7\xa8\xbb\xf1\xc8\xa1\xb7\xfe\xce\xf1\xb5\xc4\xbe\xe4\xb1\xfa\xa1\xa3\r\n")
                         << QStringLiteral("无法获取服务的句柄。\r\n");
    QTest::newRow("GBK after ASCII") << QByteArray("NET HELPMSG 2182: \xc3\xfc\xc1\xee\xb3\xc9\xb9\xa6\xcd\xea\xb3\xc9\xa1\xa3")
                                     << QStringLiteral("NET HELPMSG 2182: 命令成功完成。");
    // clang-format on
}

void TestPlatformWin::decodeConsoleOutput()
{
    if (::GetOEMCP() != 936)
        QSKIP("the rows are in GBK: needs the Chinese OEM code page 936 (under Wine: LANG=zh_CN.UTF-8)");
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(platform::DecodeConsoleOutput(bytes), text);
}

void TestPlatformWin::phpIniInGbk_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray setting = "; PHP \xc9\xe8\xd6\xc3\xce\xc4\xbc\xfe\r\n"; // ; PHP 设置文件
    const QByteArray comment = "; \xd6\xd0\xce\xc4\xd7\xa2\xca\xcd\r\n";     // ; 中文注释
    QTest::newRow("Chinese comments keep every byte")
        << setting + "display_errors = Off\r\n" + comment
        << setting + "display_errors = On\r\n" + comment;
    QTest::newRow("GBK line directly before display_errors")
        << QByteArray("; \xcf\xd4\xca\xbe\xb4\xed\xce\xf3\r\ndisplay_errors=Off\r\n") // ; 显示错误
        << QByteArray("; \xcf\xd4\xca\xbe\xb4\xed\xce\xf3\r\ndisplay_errors = On\r\n");
    QTest::newRow("line ending in a lone lead byte before display_errors")
        << "; \xd6\r\ndisplay_errors = Off\r\n" + comment
        << "; \xd6\r\ndisplay_errors = On\r\n" + comment;
    // 乨 is 0x81 0x64: its second byte reads as "d" to anything that does not decode GBK.
    QTest::newRow("GBK character ending in \"d\" is not the name")
        << QByteArray("\x81\x64isplay_errors = Off\r\n")
        << QByteArray("\x81\x64isplay_errors = Off\r\n");
    // clang-format on
}

void TestPlatformWin::phpIniInGbk()
{
    if (::GetACP() != 936)
        QSKIP("the rows are in GBK: needs the Chinese ANSI code page 936 (under Wine: LANG=zh_CN.UTF-8)");
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("php.ini")));
    QVERIFY(testutil::WriteAll(path, before));
    const config::RewriteResult result = config::RewritePhpIni(path, true);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(testutil::ReadAll(path), after);
}

void TestPlatformWin::shellFolderDialog_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("cancelled") << false;
    QTest::newRow("confirmed") << true;
}

void TestPlatformWin::shellFolderDialog()
{
    QFETCH(bool, confirm);
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.filePath(QStringLiteral("网站")));
    QVERIFY(QDir().mkpath(folder));
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    // The dialog runs its own message loop on this thread: answer it from another one, as a user
    // would, choosing the folder and pressing OK, or pressing Cancel.
    ShellDialog shell;
    std::atomic<bool> found{false};
    const std::wstring path = folder.toStdWString();
    std::thread user([&, handle = reinterpret_cast<HWND>(owner.winId())] {
        found = shell.find(handle);
        if (!found)
            return;
        if (confirm)
            ::SendMessageW(shell.dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
        ::PostMessageW(shell.dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
    const QString chosen = mdlBrowseFounder::BrowseForFolder(&owner, QStringLiteral("选择主目录"));
    user.join();

    QVERIFY(found);
    QVERIFY2(shell.text.contains(QStringLiteral("选择主目录")), qPrintable(shell.text));
    QCOMPARE(chosen, confirm ? folder : QString());
}

QTEST_MAIN(TestPlatformWin)
#include "tst_platform_win.moc"
