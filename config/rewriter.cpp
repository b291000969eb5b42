// SPDX-License-Identifier: MIT
#include "rewriter.h"

#include "apachelines.h"
#include "apachesyntax.h"
#include "platform/apachehost.h"
#include "tokenizer.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace config {

namespace {

// Encodes, or nothing when the text does not come back unchanged: a character the code page
// lacks, or a lone surrogate that the encoder would silently drop.
std::optional<QByteArray> EncodeExactly(const QString& text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    QStringDecoder decoder(encoding);
    if (decoder.decode(bytes) != text || decoder.hasError())
        return std::nullopt;
    return bytes;
}

struct EncodedRule
{
    const Rule& rule;
    QByteArray line;
    int replaced = 0;
};

// One line that changes, or may: a <Directory> opening moves only when its folder turns out to be
// that of a replaced DocumentRoot line, wherever that line stands.
struct Change
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray replacement;
    std::optional<QString> folder; ///< an opening's folder
};

// The replacement, then the added lines behind the replaced line's indentation, all but the last
// with their line ends.
QByteArray WithLinesAfter(const QByteArray& replacement, QByteArrayView line, const QByteArrayList& added)
{
    qsizetype blanks = 0;
    while (blanks < line.size() && (line[blanks] == ' ' || line[blanks] == '\t'))
        ++blanks;
    const QByteArray indent = line.first(blanks).toByteArray();
    const QByteArray deeper = indent + (indent.endsWith('\t') ? "\t" : "    ");
    QByteArray composed = replacement;
    for (const QByteArray& text : added)
        composed += "\r\n" + (text.startsWith('\t') ? deeper + text.mid(1) : indent + text);
    return composed;
}

} // namespace

std::optional<ValueProblem> CheckValues(const QString& documentRoot, const QString& directoryIndex)
{
    using F = ValueProblem::Field;
    using K = ValueProblem::Kind;
    const std::pair<F, const QString*> values[] = {{F::DocumentRoot, &documentRoot},
                                                   {F::DirectoryIndex, &directoryIndex}};
    for (const auto& [field, value] : values) {
        if (value->contains(QLatin1Char('\r')) || value->contains(QLatin1Char('\n')) ||
            value->contains(QChar(u'\0')))
            return ValueProblem{field, K::LineBreak};
        if (value->trimmed().isEmpty())
            return ValueProblem{field, K::Empty};
        if (!EncodeExactly(*value, platform::ApacheFolderEncoding()))
            return ValueProblem{field, K::NotEncodable};
    }
    // The document root is written between quotes, where a last backslash is escaped; the index
    // list is written bare, and must not join the next line to it.
    int lines = 0;
    ForEachApacheLine(directoryIndex.toUtf8() + "\nx", Continuations::Join,
                      [&lines](const ApacheLine&) { ++lines; });
    if (lines == 1)
        return ValueProblem{F::DirectoryIndex, K::TrailingBackslash};
    return std::nullopt;
}

RewritePlan PhpIniPlan(bool showErrors)
{
    RewritePlan plan;
    // Without the line PHP's own default already shows errors: nothing to report then.
    if (showErrors)
        plan.rules.push_back(
            {QStringLiteral("display_errors"), QStringLiteral("display_errors = On"), false});
    return plan;
}

RewritePlan HttpdConfPlan(const QString& documentRoot, const QString& directoryIndex,
                          const QStringList& afterDocumentRoot)
{
    return {{{QLatin1String(kDocumentRoot),
              QStringLiteral("DocumentRoot \"") + QuoteForApache(documentRoot) + QLatin1Char('"'), true},
             {QLatin1String(kDirectoryIndex), QStringLiteral("DirectoryIndex ") + directoryIndex, true}},
            platform::ApacheFolderEncoding(),
            true,
            documentRoot,
            afterDocumentRoot};
}

std::optional<QByteArray> RewriteContent(QByteArrayView content, const RewritePlan& plan,
                                         QStringList* unmatched)
{
    std::vector<EncodedRule> rules;
    QByteArrayList afterRoot;
    for (const Rule& rule : plan.rules)
        if (const std::optional<QByteArray> line = EncodeExactly(rule.line, plan.encoding))
            rules.push_back({rule, *line});
    for (const QString& text : plan.afterDocumentRoot)
        if (const std::optional<QByteArray> line = EncodeExactly(text, plan.encoding))
            afterRoot << *line;
    const bool moveSections = plan.documentRoot && plan.apacheSyntax;
    const std::optional<QByteArray> newFolder =
        EncodeExactly(QuoteForApache(plan.documentRoot.value_or(QString())), plan.encoding);
    if (rules.size() < plan.rules.size() || afterRoot.size() < plan.afterDocumentRoot.size() || !newFolder)
        return std::nullopt;

    std::vector<Change> changes;
    QStringList oldFolders;  // of the DocumentRoot lines replaced
    int host = 0, hosts = 0; // the virtual host the lines stand in; 0: the main server
    QList<int> granted;      // the hosts whose DocumentRoot has the lines after it already
    const auto read = [&](const ApacheLine& line) {
        // Blank or a comment ('#' or ';' first): names no rule, opens no section; kept without decoding.
        if (const QByteArrayView start = line.text.trimmed();
            start.isEmpty() || start.front() == '#' || start.front() == ';')
            return;
        QStringDecoder decoder(plan.encoding, QStringConverter::Flag::Stateless);
        const QString text = decoder.decode(line.text);
        // Apache reads directive names in any case, PHP its keys only as written.
        const QString word = GetWord(text, 1);
        const auto rule = std::find_if(rules.begin(), rules.end(), [&](const EncodedRule& rule) {
            return word.compare(rule.rule.directive,
                                plan.apacheSyntax ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
        });
        if (rule != rules.end()) {
            ++rule->replaced;
            const bool documentRoot = rule->rule.directive == QLatin1String(kDocumentRoot);
            // The folder follows the directive, the line's first word.
            const QString folder = ApacheArgument(text.mid(text.indexOf(word) + word.size()));
            if (documentRoot && moveSections && !folder.isEmpty() && !oldFolders.contains(folder))
                oldFolders << folder;
            const bool grant = documentRoot && !afterRoot.isEmpty() && !granted.contains(host);
            if (grant)
                granted << host;
            const QByteArray replacement =
                grant ? WithLinesAfter(rule->line, line.text, afterRoot) : rule->line;
            changes.push_back({line.begin, line.end, replacement, {}});
            return;
        }
        if (!moveSections)
            return;
        const QString name = SplitDirective(text).first;
        if (IsDirectiveName(name, "<VirtualHost"))
            host = ++hosts;
        else if (name.startsWith(QLatin1String("</VirtualHost"), Qt::CaseInsensitive))
            host = 0;
        const std::optional<DirectoryOpening> opening = ReadDirectoryOpening(text);
        // Sections for the file-system root never move.
        if (!opening || IsFileSystemRoot(opening->folder))
            return;
        // The bytes after its ">": each ">" byte is a ">" in every code page the system may use.
        qsizetype close = -1;
        for (qsizetype k = text.left(opening->close + 1).count(QLatin1Char('>')); k > 0; --k)
            close = line.text.indexOf('>', close + 1);
        changes.push_back({line.begin, line.end,
                           line.text.first(opening->indent).toByteArray() + "<Directory \"" + *newFolder +
                               "\">" + line.text.sliced(close + 1).toByteArray(),
                           opening->folder});
    };
    ForEachApacheLine(content, plan.apacheSyntax ? Continuations::Join : Continuations::Keep, read);

    QByteArray out;
    const auto keep = [&out, content](qsizetype from, qsizetype to) {
        ForEachApacheLine(content.sliced(from, to - from), Continuations::Keep,
                          [&out](const ApacheLine& line) {
                              out += line.text;
                              out += "\r\n";
                          });
    };
    qsizetype done = 0;
    for (const Change& change : changes) {
        const auto moves = [&](const QString& old) { return SameApacheFolder(old, *change.folder); };
        if (change.folder && std::none_of(oldFolders.cbegin(), oldFolders.cend(), moves))
            continue;
        keep(done, change.begin);
        out += change.replacement + "\r\n";
        done = change.end;
    }
    keep(done, content.size());
    if (unmatched) {
        unmatched->clear();
        for (const EncodedRule& rule : rules)
            if (rule.rule.mustMatch && rule.replaced == 0)
                *unmatched << rule.rule.directive;
    }
    return out;
}

} // namespace config
