// SPDX-License-Identifier: MIT
#include "rewriter.h"

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

// Byte-level form of IsWordChar for ASCII, as a table: it runs for every leading byte of a line.
struct WordByteTable
{
    bool word[256] = {};
    constexpr WordByteTable()
    {
        for (int c = 0; c < 0x80; ++c)
            word[c] = IsWordCode(char16_t(c));
    }
};
constexpr WordByteTable kWordBytes;

inline bool IsWordByte(char c)
{
    return kWordBytes.word[uchar(c)];
}

inline bool IsBlankByte(char c)
{
    return c == ' ' || c == '\t';
}

inline char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c;
}

// The same word without regard to ASCII case (as Apache's strcasecmp), every other character exactly.
bool SameWordAnyCase(QStringView a, QStringView b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](QChar x, QChar y) {
               return x == y || (x.unicode() < 0x80 && y.unicode() < 0x80 &&
                                 AsciiLower(char(x.unicode())) == AsciiLower(char(y.unicode())));
           });
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
    if (ContinuesOnNextLine(QByteArray("x") + directoryIndex.toUtf8()))
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

std::optional<LineRewriter> LineRewriter::Create(const RewritePlan& plan)
{
    LineRewriter engine;
    engine.m_encoding = plan.encoding;
    engine.m_apacheSyntax = plan.apacheSyntax;
    for (const Rule& rule : plan.rules) {
        std::optional<QByteArray> line = EncodeExactly(rule.line, plan.encoding);
        if (!line)
            return std::nullopt;
        // Apache reads directive names in any case, PHP its keys only as written.
        const QByteArray name = rule.directive.toLatin1();
        engine.m_rules.push_back(
            {rule.directive, plan.apacheSyntax ? name.toLower() : name, std::move(*line), rule.mustMatch});
    }
    for (const QString& text : plan.afterDocumentRoot) {
        std::optional<QByteArray> line = EncodeExactly(text, plan.encoding);
        if (!line)
            return std::nullopt;
        engine.m_afterRoot << *line;
    }
    if (plan.documentRoot && plan.apacheSyntax) {
        const std::optional<QByteArray> folder =
            EncodeExactly(QuoteForApache(*plan.documentRoot), plan.encoding);
        if (!folder)
            return std::nullopt;
        engine.m_sectionOpening = "<Directory \"" + *folder + "\">";
        engine.m_moveSections = true;
        // Only lines that hold the directive's name need a look: found with one search, not line by line.
        engine.m_scanReader.onlyLinesWith(kDocumentRoot);
    }
    return engine;
}

LineRewriter::EncodedRule* LineRewriter::matchingRule(QByteArrayView line)
{
    // The common case, a line whose first word starts before any non-ASCII byte, is decided on the
    // bytes: the word there is a directive when its bytes are the name and a separator follows.
    // Exact in every code page the system may use: they keep ASCII bytes as ASCII characters, and
    // a byte at or above 0x80 starts a non-ASCII character, which is a separator.
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && !IsWordByte(line[i]) && uchar(line[i]) < 0x80)
        ++i;
    if (i == n)
        return nullptr;
    if (IsWordByte(line[i])) {
        const char* word = line.data() + i;
        for (EncodedRule& rule : m_rules) {
            const QByteArray& name = rule.directiveBytes;
            const qsizetype length = name.size();
            if (n - i < length || (i + length < n && IsWordByte(word[length])))
                continue;
            const bool same = m_apacheSyntax
                                  ? std::equal(word, word + length, name.constData(),
                                               [](char c, char lower) { return AsciiLower(c) == lower; })
                                  : std::memcmp(word, name.constData(), size_t(length)) == 0;
            if (same)
                return &rule;
        }
        return nullptr;
    }
    // A non-ASCII character comes first: GetWord decides, on the line as the system code page reads it.
    const QString decodedWord = GetWord(Decode(line, QStringConverter::System), 1);
    for (EncodedRule& rule : m_rules)
        if (m_apacheSyntax ? SameWordAnyCase(decodedWord, rule.directive) : decodedWord == rule.directive)
            return &rule;
    return nullptr;
}

void LineRewriter::scan(QByteArrayView piece)
{
    m_scanReader.feed(piece, [this](const ApacheLine& line) { scanLine(line); });
}

void LineRewriter::endScan()
{
    m_scanReader.finish([this](const ApacheLine& line) { scanLine(line); });
}

void LineRewriter::scanLine(const ApacheLine& line)
{
    // The rewrite decides on a line's first physical line; so does the scan.
    const EncodedRule* rule = matchingRule(line.text.first(line.firstLength));
    if (rule && rule->directive == QLatin1String(kDocumentRoot))
        noteOldFolder(line.text);
}

void LineRewriter::noteOldFolder(QByteArrayView logicalLine)
{
    // The folder follows the directive, the line's first word.
    const QString text = Decode(logicalLine, m_encoding);
    qsizetype i = 0;
    while (i < text.size() && !IsWordChar(text.at(i)))
        ++i;
    while (i < text.size() && IsWordChar(text.at(i)))
        ++i;
    const QString folder = ApacheArgument(text.mid(i));
    if (!folder.isEmpty() && !m_oldFolders.contains(folder))
        m_oldFolders << folder;
}

// An opening line: blanks, "<Directory", a blank, the folder (quoted or not), ">"; anything after
// the ">" stays. Sections for the file-system root never move.
bool LineRewriter::movedSection(QByteArrayView line)
{
    static constexpr QByteArrayView kOpening("<Directory");
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && IsBlankByte(line[i]))
        ++i;
    const qsizetype indent = i;
    if (n - i <= kOpening.size() || line[i] != '<' || !IsBlankByte(line[i + kOpening.size()]))
        return false;
    for (qsizetype k = 1; k < kOpening.size(); ++k)
        if ((line[i + k] | 0x20) != (kOpening[k] | 0x20)) // ASCII letters, any case, as Apache
            return false;
    i += kOpening.size();
    while (i < n && IsBlankByte(line[i]))
        ++i;
    const qsizetype folderStart = i;
    bool plain = true; // nothing escaped, nothing beyond ASCII: the bytes are the folder
    if (i < n && (line[i] == '"' || line[i] == '\'')) {
        const char quote = line[i];
        for (++i; i < n && line[i] != quote; ++i) {
            plain = plain && line[i] != '\\' && uchar(line[i]) < 0x80;
            if (line[i] == '\\' && i + 1 < n && (line[i + 1] == quote || line[i + 1] == '\\'))
                ++i;
        }
        if (i == n)
            return false;
        ++i;
    } else {
        plain = false;
    }
    const qsizetype folderEnd = i;
    while (i < n && line[i] != '>')
        ++i;
    if (i == n)
        return false;
    // Most folders are plain text between quotes, compared without making a string of them first.
    const QLatin1String plainFolder(line.data() + folderStart + 1, plain ? folderEnd - folderStart - 2 : 0);
    const QString folder =
        plain ? QString() : ApacheArgument(Decode(line.sliced(folderStart, i - folderStart), m_encoding));
    const bool old = std::any_of(m_oldFolders.cbegin(), m_oldFolders.cend(), [&](const QString& oldFolder) {
        return plain ? SameApacheFolder(oldFolder, plainFolder) : SameApacheFolder(oldFolder, folder);
    });
    if (!old || IsFileSystemRoot(plain ? QString(plainFolder) : folder))
        return false;
    m_composed = line.first(indent).toByteArray() + m_sectionOpening + line.sliced(i + 1).toByteArray();
    return true;
}

std::optional<QByteArrayView> LineRewriter::rewrite(QByteArrayView line)
{
    const bool continues = m_apacheSyntax && ContinuesOnNextLine(line);
    if (m_swallowing) {
        m_swallowing = continues;
        return std::nullopt;
    }
    // A line that goes on from the one before is part of that line: never a directive of its own.
    const bool continued = m_continued;
    m_continued = continues;
    if (continued)
        return line;
    if (EncodedRule* rule = matchingRule(line)) {
        ++rule->replaced;
        m_swallowing = continues;
        m_continued = false;
        if (m_afterRoot.isEmpty() || rule->directive != QLatin1String(kDocumentRoot))
            return QByteArrayView(rule->line);
        return withLinesAfter(rule->line, line);
    }
    if (m_moveSections && !m_oldFolders.isEmpty() && movedSection(line))
        return QByteArrayView(m_composed);
    return line;
}

// The replacement, then the added lines, all but the last with their line ends.
QByteArrayView LineRewriter::withLinesAfter(const QByteArray& replacement, QByteArrayView line)
{
    qsizetype blanks = 0;
    while (blanks < line.size() && IsBlankByte(line[blanks]))
        ++blanks;
    const QByteArray indent = line.first(blanks).toByteArray();
    const QByteArray deeper = indent + (indent.endsWith('\t') ? "\t" : "    ");
    m_composed = replacement;
    for (const QByteArray& added : std::as_const(m_afterRoot))
        m_composed += "\r\n" + (added.startsWith('\t') ? deeper + added.mid(1) : indent + added);
    return QByteArrayView(m_composed);
}

QStringList LineRewriter::unmatched() const
{
    QStringList names;
    for (const EncodedRule& rule : m_rules)
        if (rule.mustMatch && rule.replaced == 0)
            names << rule.directive;
    return names;
}

std::optional<QByteArray> RewriteContent(QByteArrayView content, const RewritePlan& plan,
                                         QStringList* unmatched)
{
    std::optional<LineRewriter> engine = LineRewriter::Create(plan);
    if (!engine || StartsAsUtf16(content))
        return std::nullopt;
    if (engine->needsScan()) {
        engine->scan(content);
        engine->endScan();
    }
    QByteArray out;
    const auto onLine = [&](const ApacheLine& line) {
        if (const std::optional<QByteArrayView> piece = engine->rewrite(line.text)) {
            out.append(*piece);
            out.append("\r\n", 2);
        }
    };
    ApacheLineReader lines(ApacheLineReader::Continuations::Keep);
    lines.feed(content, onLine);
    lines.finish(onLine);
    if (unmatched)
        *unmatched = engine->unmatched();
    return out;
}

} // namespace config
