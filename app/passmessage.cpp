// SPDX-License-Identifier: MIT
#include "passmessage.h"

#include "config/rewriter.h"

namespace app {

namespace {

QString DescribeProblem(const config::ValueProblem& problem)
{
    using Field = config::ValueProblem::Field;
    using Kind = config::ValueProblem::Kind;
    const QString what =
        problem.field == Field::DocumentRoot ? QStringLiteral("主目录") : QStringLiteral("服务器默认首页");
    switch (problem.kind) {
    case Kind::LineBreak:
        return what + QStringLiteral("不能包含换行符或空字符，请重新输入。");
    case Kind::Empty:
        return what + QStringLiteral("不能为空，请重新输入。");
    case Kind::NotEncodable:
        return what + QStringLiteral("包含配置文件的编码无法表示的字符，请重新输入。");
    case Kind::TrailingBackslash:
        return what + QStringLiteral("不能以反斜杠“\\”结尾（Apache 会把下一行接到它后面），请重新输入。");
    }
    return what;
}

// Settings of httpd.conf that found no live line: there were commented-out ones at most.
QString DescribeNotSet(const QStringList& directives)
{
    QStringList lines;
    for (const QString& directive : directives) {
        const QString setting = directive == QLatin1String(config::kDocumentRoot)
                                    ? QStringLiteral("主目录")
                                    : QStringLiteral("服务器默认首页");
        lines << QStringLiteral(
                     "httpd.conf 中没有有效的 %1 行（只有被注释掉的行，Apache 不读），%2没有设置。")
                     .arg(directive, setting);
    }
    return lines.join(QLatin1Char('\n'));
}

// Apache's own lines, one each below the line they explain.
QString Indented(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += QStringLiteral("\n    ") + line;
    return text;
}

// Who holds the ports @p service needed, each on a line: "端口 80 已被 httpd.exe (PID 1234) 占用".
QStringList DescribePortsTaken(const PassReport& report, services::Service service)
{
    QStringList lines;
    for (const PassReport::PortTaken& taken : report.portsTaken) {
        if (taken.service != service)
            continue;
        const platform::PortHolder& holder = taken.holder;
        const QString port = QString::number(taken.port);
        if (holder.pid == 0)
            lines << QStringLiteral("端口 %1 已被另一个程序占用").arg(port);
        else if (holder.program.isEmpty())
            lines << QStringLiteral("端口 %1 已被 PID %2 占用").arg(port).arg(holder.pid);
        else
            lines
                << QStringLiteral("端口 %1 已被 %2 (PID %3) 占用").arg(port, holder.program).arg(holder.pid);
        if (holder.windowsHttpSys)
            lines.last() +=
                QStringLiteral("：这是 Windows 自己的 HTTP 服务（http.sys），IIS 等程序通过它使用端口");
    }
    return lines;
}

QString DescribeFailure(const services::CommandRecord& record)
{
    using Status = services::CommandOutcome::Status;
    const services::CommandOutcome& outcome = record.outcome;
    switch (outcome.status) {
    case Status::Succeeded:
        return {};
    case Status::FailedToStart:
        return QStringLiteral("%1：无法启动（%2）").arg(record.commandLine, outcome.reason);
    case Status::Failed: {
        // Apache gives its reason over several lines ("Syntax error on line N of FILE:", then the
        // cause): the first goes with the command, each line that a colon announces below it. What
        // else a script prints (a process listing, say) stays out.
        const QStringList output = outcome.outputLines();
        const QString detail = outcome.reason.isEmpty() ? output.value(0) : outcome.reason;
        QString line = QStringLiteral("%1：退出码 %2").arg(record.commandLine).arg(outcome.exitCode);
        if (!detail.isEmpty())
            line += QStringLiteral("（%1）").arg(detail);
        qsizetype announced = 1;
        while (outcome.reason.isEmpty() && announced < output.size() &&
               output[announced - 1].endsWith(QLatin1Char(':')))
            ++announced;
        return line + Indented(outcome.reason.isEmpty() ? output.mid(1, announced - 1) : QStringList());
    }
    case Status::Crashed:
        return QStringLiteral("%1：异常终止").arg(record.commandLine);
    case Status::TimedOut:
        return outcome.stillRunning ? QStringLiteral("%1：超时未结束，也无法终止").arg(record.commandLine)
                                    : QStringLiteral("%1：超时未结束，已被终止").arg(record.commandLine);
    case Status::NotSupported:
        return QStringLiteral("%1：此系统不支持该操作").arg(record.commandLine);
    }
    return {};
}

// What else the user must know once the commands have run, each on lines of its own.
QString DescribeAfterCommands(const PassReport& report)
{
    QString text;
    if (report.testBefore && !report.testBefore->passed)
        text += QStringLiteral("\n修改之前 Apache 的配置就有错误：") + Indented(report.testBefore->lines);
    if (report.apacheWasRunning)
        text += QStringLiteral("\nApache 已经在运行，它要重启后才会读取新的设置：请选择“重启”再应用一次。");
    if (!report.otherVirtualHost.isEmpty())
        text += QStringLiteral("\n在这个地址上回答的是 %1 的虚拟主机，不是刚设置的主目录。")
                    .arg(report.otherVirtualHost);
    if (report.site) {
        const PassReport::SiteCheck& site = *report.site;
        const QString answer = site.answer.status
                                   ? QStringLiteral("%1 %2").arg(site.answer.status).arg(site.answer.error)
                                   : QStringLiteral("没有回应（%1）").arg(site.answer.error);
        text += QStringLiteral("\n新主目录没有正常打开：%1 的回答是 %2")
                    .arg(site.url.toString(), answer.trimmed()) +
                Indented(site.logLines);
        if (!site.closedFolder.isEmpty())
            text += QStringLiteral("\nApache 的运行用户无法进入文件夹“%1”。").arg(site.closedFolder);
    }
    return text;
}

QString DescribeApplied(const PassReport& report)
{
    QStringList failures;
    for (const services::CommandRecord& record : report.commands) {
        if (record.outcome.succeeded())
            continue;
        const QStringList ports = record.command.verb == services::Verb::Start
                                      ? DescribePortsTaken(report, record.command.service)
                                      : QStringList();
        failures << DescribeFailure(record) + Indented(ports + record.outcome.logLines);
    }
    const QString notSet = DescribeNotSet(report.notSet);
    const QString after = DescribeAfterCommands(report);
    if (failures.isEmpty() && notSet.isEmpty())
        return after.isEmpty() ? QStringLiteral("设置已完成！")
                               : QStringLiteral("文件已修改，服务命令已执行，但：") + after;
    if (failures.isEmpty())
        return QStringLiteral("文件已修改，但以下设置没有生效：\n") + notSet + after;
    return (notSet.isEmpty()
                ? QStringLiteral("设置已应用")
                : QStringLiteral("以下设置没有生效：\n") + notSet + QStringLiteral("\n其余设置已应用")) +
           QStringLiteral("，但以下服务命令没有成功：\n") + failures.join(QLatin1Char('\n')) + after;
}

} // namespace

static QString ComposeOutcome(const PassReport& report);

QString ComposeMessage(const PassReport& report)
{
    // Which php.ini and which of several services were used go with whatever else is said.
    QString message = ComposeOutcome(report);
    if (report.outcome == PassReport::Outcome::Applied && !report.phpIniElsewhere.isEmpty())
        message += QStringLiteral("\n修改的是 PHP 读取的 php.ini：%1").arg(report.phpIniElsewhere);
    if (report.outcome == PassReport::Outcome::Applied && report.phpFpmLater)
        message += QStringLiteral("\nPHP-FPM 下次启动时才会读取修改后的 php.ini。");
    if (report.outcome == PassReport::Outcome::Applied && !report.noIndexPage.isEmpty())
        message += QStringLiteral("\n新主目录里还没有首页文件（%1）").arg(report.noIndexPage);
    return report.serviceNote.isEmpty() ? message : message + QLatin1Char('\n') + report.serviceNote;
}

static QString ComposeOutcome(const PassReport& report)
{
    switch (report.outcome) {
    case PassReport::Outcome::FilesMissing:
        // Apache's configuration is there, but the PHP-FPM it hands PHP to could not be found or asked.
        if (!report.installation.phpFastCgi.isEmpty() && report.installation.phpIni.isEmpty())
            return QStringLiteral("需要修改的 php.ini 没有找到：Apache 把 .php 文件交给 PHP-FPM（%1），"
                                  "但没有找到在那里监听的 PHP-FPM，或它没有说出它读取的 php.ini。")
                .arg(report.installation.phpFastCgi);
        return QStringLiteral("需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。");
    case PassReport::Outcome::ValueRefused:
        return DescribeProblem(*report.refused);
    case PassReport::Outcome::FileNotChanged: {
        const config::RewriteResult& failed = report.files.back();
        return QStringLiteral("无法修改配置文件\"%1\"：%2\n设置没有全部完成，服务没有启动或停止。")
            .arg(failed.path, failed.reason);
    }
    case PassReport::Outcome::Rejected: {
        QString message =
            QStringLiteral("设置没有应用：Apache "
                           "不接受修改后的配置，文件已恢复原样，服务没有启动或停止。Apache 的说明：") +
            Indented(report.testAfter ? report.testAfter->lines : QStringList());
        if (!report.notRestored.isEmpty())
            message += QStringLiteral("\n以下文件没能恢复：") + Indented(report.notRestored);
        return message;
    }
    case PassReport::Outcome::Applied:
        return DescribeApplied(report);
    }
    return {};
}

} // namespace app
