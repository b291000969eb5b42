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

QString Decode(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    // ASCII reads the same in every code page the system may use, and needs no decoder.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

bool IsBlankByte(char c)
{
    return c == ' ' || c == '\t';
}

// True when @p line, after its blanks, starts with @p word in any ASCII case.
bool StartsWithAnyCase(QByteArrayView line, QByteArrayView word)
{
    qsizetype i = 0;
    while (i < line.size() && IsBlankByte(line[i]))
        ++i;
    return line.size() - i >= word.size() &&
           line.sliced(i, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

struct EncodedRule
{
    QString directive;
    QByteArray line;
    bool mustMatch = false;
    bool documentRoot = false;
    int replaced = 0;
};

// One line that changes, or may: a <Directory> opening moves only when its folder turns out to be
// that of a replaced DocumentRoot line, wherever that line stands.
struct Change
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray replacement;        ///< null: the line stays
    std::optional<QString> folder; ///< an opening's folder
};

class Rewrite
{
  public:
    bool prepare(const RewritePlan& plan);
    std::optional<QByteArray> run(QByteArrayView content);
    QStringList unmatched() const;

  private:
    EncodedRule* matchingRule(QByteArrayView line);
    void read(const ApacheLine& line);
    QByteArray withLinesAfter(const QByteArray& replacement, QByteArrayView line) const;

    std::vector<EncodedRule> m_rules;
    QStringConverter::Encoding m_encoding = QStringConverter::System;
    bool m_apacheSyntax = false;
    bool m_moveSections = false;
    QByteArray m_sectionOpening; ///< <Directory "NEW">
    QByteArrayList m_afterRoot;
    std::vector<Change> m_changes;
    QStringList m_oldFolders; ///< of the DocumentRoot lines replaced
    int m_host = 0;           ///< the virtual host the lines stand in; 0: the main server
    int m_hosts = 0;
    QList<int> m_granted; ///< the hosts whose DocumentRoot has the lines after it already
};

bool Rewrite::prepare(const RewritePlan& plan)
{
    m_encoding = plan.encoding;
    m_apacheSyntax = plan.apacheSyntax;
    for (const Rule& rule : plan.rules) {
        std::optional<QByteArray> line = EncodeExactly(rule.line, plan.encoding);
        if (!line)
            return false;
        m_rules.push_back({rule.directive, std::move(*line), rule.mustMatch,
                           rule.directive == QLatin1String(kDocumentRoot)});
    }
    for (const QString& text : plan.afterDocumentRoot) {
        std::optional<QByteArray> line = EncodeExactly(text, plan.encoding);
        if (!line)
            return false;
        m_afterRoot << *line;
    }
    if (plan.documentRoot && plan.apacheSyntax) {
        const std::optional<QByteArray> folder =
            EncodeExactly(QuoteForApache(*plan.documentRoot), plan.encoding);
        if (!folder)
            return false;
        m_sectionOpening = "<Directory \"" + *folder + "\">";
        m_moveSections = true;
    }
    return true;
}

EncodedRule* Rewrite::matchingRule(QByteArrayView line)
{
    // The first word as the system's code page reads it; words are ASCII, and Apache reads directive
    // names in any case, PHP its keys only as written.
    const QString word = GetWord(Decode(line, QStringConverter::System), 1);
    for (EncodedRule& rule : m_rules)
        if (word.compare(rule.directive, m_apacheSyntax ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0)
            return &rule;
    return nullptr;
}

void Rewrite::read(const ApacheLine& line)
{
    if (EncodedRule* rule = matchingRule(line.text)) {
        ++rule->replaced;
        Change change{line.begin, line.end, rule->line, {}};
        if (rule->documentRoot && m_moveSections) {
            // The folder follows the directive, the line's first word.
            const QString text = Decode(line.text, m_encoding), word = GetWord(text, 1);
            const QString folder = ApacheArgument(text.mid(text.indexOf(word) + word.size()));
            if (!folder.isEmpty() && !m_oldFolders.contains(folder))
                m_oldFolders << folder;
        }
        if (rule->documentRoot && !m_afterRoot.isEmpty() && !m_granted.contains(m_host)) {
            m_granted << m_host;
            change.replacement = withLinesAfter(rule->line, line.text);
        }
        m_changes.push_back(change);
        return;
    }
    if (!m_moveSections)
        return;
    // Sections are read only where a line starts with "<": most lines are not decoded at all.
    if (StartsWithAnyCase(line.text, "<virtualhost")) {
        m_host = ++m_hosts;
    } else if (StartsWithAnyCase(line.text, "</virtualhost")) {
        m_host = 0;
    } else if (StartsWithAnyCase(line.text, "<directory")) {
        const QString text = Decode(line.text, m_encoding);
        const std::optional<DirectoryOpening> opening = ReadDirectoryOpening(text);
        // Sections for the file-system root never move.
        if (!opening || IsFileSystemRoot(opening->folder))
            return;
        // The bytes after its ">": each ">" byte is a ">" in every code page the system may use.
        qsizetype close = -1;
        for (qsizetype k = text.left(opening->close + 1).count(QLatin1Char('>')); k > 0; --k)
            close = line.text.indexOf('>', close + 1);
        m_changes.push_back({line.begin, line.end,
                             line.text.first(opening->indent).toByteArray() + m_sectionOpening +
                                 line.text.sliced(close + 1).toByteArray(),
                             opening->folder});
    }
}

std::optional<QByteArray> Rewrite::run(QByteArrayView content)
{
    if (StartsAsUtf16(content))
        return std::nullopt;
    ForEachApacheLine(content, m_apacheSyntax ? Continuations::Join : Continuations::Keep,
                      [this](const ApacheLine& line) { read(line); });
    QByteArray out;
    out.reserve(content.size() + content.size() / 64 + 1024);
    // Kept lines as they stand, each with CR LF after it.
    const auto keep = [&out, content](qsizetype from, qsizetype to) {
        ForEachApacheLine(content.sliced(from, to - from), Continuations::Keep,
                          [&out](const ApacheLine& line) {
                              out += line.text;
                              out += "\r\n";
                          });
    };
    qsizetype done = 0;
    for (const Change& change : m_changes) {
        const bool moves =
            change.folder && std::any_of(m_oldFolders.cbegin(), m_oldFolders.cend(), [&](const QString& old) {
                return SameApacheFolder(old, *change.folder);
            });
        if (change.folder && !moves)
            continue;
        keep(done, change.begin);
        out += change.replacement;
        out += "\r\n";
        done = change.end;
    }
    keep(done, content.size());
    return out;
}

// The replacement, then the added lines, all but the last with their line ends.
QByteArray Rewrite::withLinesAfter(const QByteArray& replacement, QByteArrayView line) const
{
    qsizetype blanks = 0;
    while (blanks < line.size() && IsBlankByte(line[blanks]))
        ++blanks;
    const QByteArray indent = line.first(blanks).toByteArray();
    const QByteArray deeper = indent + (indent.endsWith('\t') ? "\t" : "    ");
    QByteArray composed = replacement;
    for (const QByteArray& added : m_afterRoot)
        composed += "\r\n" + (added.startsWith('\t') ? deeper + added.mid(1) : indent + added);
    return composed;
}

QStringList Rewrite::unmatched() const
{
    QStringList names;
    for (const EncodedRule& rule : m_rules)
        if (rule.mustMatch && rule.replaced == 0)
            names << rule.directive;
    return names;
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
    // list is written bare.
    if (JoinsNextLine(directoryIndex.toUtf8()))
        return ValueProblem{F::DirectoryIndex, K::TrailingBackslash};
    return std::nullopt;
}

RewritePlan PhpIniPlan(bool showErrors)
{
    RewritePlan plan;
    // Without the line PHP's own default already shows errors: nothing to report then.
    if (showErrors)
        plan.rules.push_back({QLatin1String(kDisplayErrors), QStringLiteral("display_errors = On"), false});
    return plan;
}

RewritePlan HttpdConfPlan(const QString& documentRoot, const QString& directoryIndex,
                          const QStringList& afterDocumentRoot)
{
    RewritePlan plan;
    plan.rules = {
        {QLatin1String(kDocumentRoot),
         QStringLiteral("DocumentRoot \"") + QuoteForApache(documentRoot) + QLatin1Char('"'), true},
        {QLatin1String(kDirectoryIndex), QStringLiteral("DirectoryIndex ") + directoryIndex, true},
    };
    plan.encoding = platform::ApacheFolderEncoding();
    plan.apacheSyntax = true;
    plan.documentRoot = documentRoot;
    plan.afterDocumentRoot = afterDocumentRoot;
    return plan;
}

bool StartsAsUtf16(QByteArrayView start)
{
    return start.startsWith("\xff\xfe") || start.startsWith("\xfe\xff");
}

std::optional<QByteArray> RewriteContent(QByteArrayView content, const RewritePlan& plan,
                                         QStringList* unmatched)
{
    Rewrite rewrite;
    if (!rewrite.prepare(plan))
        return std::nullopt;
    std::optional<QByteArray> out = rewrite.run(content);
    if (unmatched)
        *unmatched = rewrite.unmatched();
    return out;
}

} // namespace config
