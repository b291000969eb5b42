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

// Lines of httpd.conf that the pass had to set but did not find: only commented-out ones, or ones
// in other case, which Apache does not read either.
QString DescribeNotSet(const QStringList& directives)
{
    QStringList lines;
    for (const QString& directive : directives) {
        const QString setting = directive == QLatin1String(config::kDocumentRoot)
                                    ? QStringLiteral("主目录")
                                    : QStringLiteral("服务器默认首页");
        lines << QStringLiteral(
                     "httpd.conf 中没有有效的 %1 行（被注释或大小写不同的行 Apache 不读），%2没有设置。")
                     .arg(directive, setting);
    }
    return lines.join(QLatin1Char('\n'));
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
        const QString detail = outcome.reason.isEmpty() ? outcome.firstOutputLine() : outcome.reason;
        QString line = QStringLiteral("%1：退出码 %2").arg(record.commandLine).arg(outcome.exitCode);
        return detail.isEmpty() ? line : line + QStringLiteral("（%1）").arg(detail);
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

// Apache's own reason for a failed start, from its error log, one line each below the command.
QString LogLines(const services::CommandRecord& record)
{
    QString text;
    for (const QString& line : record.outcome.logLines)
        text += QStringLiteral("\n    ") + line;
    return text;
}

QString DescribeApplied(const PassReport& report)
{
    QStringList failures;
    for (const services::CommandRecord& record : report.commands)
        if (!record.outcome.succeeded())
            failures << DescribeFailure(record) + LogLines(record);
    const QString notSet = DescribeNotSet(report.notSet);
    if (failures.isEmpty() && notSet.isEmpty())
        return QStringLiteral("设置已完成！");
    if (failures.isEmpty())
        return QStringLiteral("文件已修改，但以下设置没有生效：\n") + notSet;
    return (notSet.isEmpty()
                ? QStringLiteral("设置已应用")
                : QStringLiteral("以下设置没有生效：\n") + notSet + QStringLiteral("\n其余设置已应用")) +
           QStringLiteral("，但以下服务命令没有成功：\n") + failures.join(QLatin1Char('\n'));
}

} // namespace

QString ComposeMessage(const PassReport& report)
{
    switch (report.outcome) {
    case PassReport::Outcome::FilesMissing:
        return QStringLiteral("需要修改的配置文件没有找到，请检查\"Apache安装所在的目录\"是否指定正确。");
    case PassReport::Outcome::ValueRefused:
        return DescribeProblem(*report.refused);
    case PassReport::Outcome::FileNotChanged: {
        const config::RewriteResult& failed = report.files.back();
        return QStringLiteral("无法修改配置文件\"%1\"：%2\n设置没有全部完成，服务没有启动或停止。")
            .arg(failed.path, failed.reason);
    }
    case PassReport::Outcome::Applied:
        return DescribeApplied(report);
    }
    return {};
}

} // namespace app
