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

constexpr QByteArrayView kSectionOpening("<directory"); // in lower case, as the line reader's words

// Whole lines, each line end written as CR LF.
void PutWithCrLf(QByteArrayView lines, const LineRewriter::Sink& sink)
{
    const auto put = [&sink](const ApacheLine& line) {
        sink(line.text);
        sink(QByteArrayView("\r\n", 2));
    };
    ApacheLineReader reader(ApacheLineReader::Continuations::Keep);
    reader.feed(lines, put);
    reader.finish(put);
}

// A <Directory> opening line: blanks, "<Directory", a blank, the folder (quoted or not), ">";
// anything after the ">" stays.
struct Opening
{
    qsizetype indent = 0;
    qsizetype close = 0;       ///< where the ">" is
    QLatin1String plainFolder; ///< the folder's bytes, when plain text between quotes
    QString folder;            ///< otherwise the folder as Apache reads it

    bool oneOf(const QStringList& folders) const
    {
        return std::any_of(folders.cbegin(), folders.cend(), [this](const QString& folder) {
            return plainFolder.isEmpty() ? SameApacheFolder(folder, this->folder)
                                         : SameApacheFolder(folder, plainFolder);
        });
    }
    // Sections for the file-system root never move.
    bool fileSystemRoot() const
    {
        return IsFileSystemRoot(plainFolder.isEmpty() ? folder : QString(plainFolder));
    }
};

// Fills @p opening from @p line when it opens a section; false when it does not.
bool ReadOpening(QByteArrayView line, QStringConverter::Encoding encoding, Opening& opening)
{
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && IsBlankByte(line[i]))
        ++i;
    opening.indent = i;
    if (n - i <= kSectionOpening.size() || line[i] != '<' || !IsBlankByte(line[i + kSectionOpening.size()]))
        return false;
    for (qsizetype k = 1; k < kSectionOpening.size(); ++k)
        if ((line[i + k] | 0x20) != kSectionOpening[k]) // ASCII letters, any case, as Apache
            return false;
    i += kSectionOpening.size();
    while (i < n && IsBlankByte(line[i]))
        ++i;
    const qsizetype folderStart = i;
    bool plain = true; // quoted, nothing escaped, nothing beyond ASCII: the bytes are the folder
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
    }
    const qsizetype folderEnd = i;
    while (i < n && line[i] != '>')
        ++i;
    if (i == n)
        return false;
    opening.close = i;
    // Most folders are plain text between quotes, compared without making a string of them first;
    // an unquoted folder spans no quotes here and is read as Apache reads it.
    if (plain && folderEnd - folderStart > 2)
        opening.plainFolder = QLatin1String(line.data() + folderStart + 1, folderEnd - folderStart - 2);
    else
        opening.folder = ApacheArgument(Decode(line.sliced(folderStart, i - folderStart), encoding));
    return true;
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
        engine.m_rules.push_back({rule.directive, plan.apacheSyntax ? name.toLower() : name, std::move(*line),
                                  rule.mustMatch, rule.directive == QLatin1String(kDocumentRoot)});
        engine.m_anchors << name;
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
        engine.m_anchors << kSectionOpening.toByteArray();
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

bool LineRewriter::noteFolder(QByteArrayView logicalLine, QStringList& folders) const
{
    // The folder follows the directive, the line's first word.
    const QString text = Decode(logicalLine, m_encoding);
    qsizetype i = 0;
    while (i < text.size() && !IsWordChar(text.at(i)))
        ++i;
    while (i < text.size() && IsWordChar(text.at(i)))
        ++i;
    const QString folder = ApacheArgument(text.mid(i));
    if (folder.isEmpty() || folders.contains(folder))
        return false;
    folders << folder;
    return true;
}

bool LineRewriter::movedSection(QByteArrayView line)
{
    if (m_oldFolders.isEmpty() && m_sectionPassed)
        return false; // nothing to move yet, nothing more to learn
    Opening opening;
    if (!ReadOpening(line, m_encoding, opening))
        return false;
    const bool old = opening.oneOf(m_oldFolders);
    if ((!old && m_sectionPassed) || opening.fileSystemRoot())
        return false;
    if (!old) {
        m_sectionPassed = true;
        return false;
    }
    m_composed = line.first(opening.indent).toByteArray() + m_sectionOpening +
                 line.sliced(opening.close + 1).toByteArray();
    return true;
}

std::optional<QByteArrayView> LineRewriter::rewrite(QByteArrayView line)
{
    const bool continues = m_apacheSyntax && ContinuesOnNextLine(line);
    if (m_swallowing) {
        m_swallowing = continues;
        if (m_noting) {
            m_rootLine += continues ? line.chopped(1) : line;
            m_noting = continues;
            m_lateFolder |= !continues && noteFolder(m_rootLine, m_oldFolders) && m_sectionPassed;
        }
        return std::nullopt;
    }
    // A line that goes on from the one before is part of that line: never a directive of its own.
    if (std::exchange(m_continued, continues))
        return line;
    if (EncodedRule* rule = matchingRule(line)) {
        ++rule->replaced;
        m_swallowing = continues;
        m_continued = false;
        if (!rule->documentRoot)
            return QByteArrayView(rule->line);
        if (m_moveSections && continues)
            m_rootLine = line.chopped(1).toByteArray();
        m_noting = m_moveSections && continues;
        m_lateFolder |= m_moveSections && !continues && noteFolder(line, m_oldFolders) && m_sectionPassed;
        return m_afterRoot.isEmpty() ? QByteArrayView(rule->line) : withLinesAfter(rule->line, line);
    }
    if (m_moveSections && movedSection(line))
        return QByteArrayView(m_composed);
    return line;
}

// Checked after a pass that noted a folder once a section had gone by unmoved: whether a section
// of one of the folders comes before the first DocumentRoot line naming it. Reads only as far as
// it must, usually to the first DocumentRoot line.
bool LineRewriter::sectionBeforeItsRoot(const Source& source)
{
    ApacheLineReader lines;
    lines.onlyLinesWith({kDocumentRoot, kSectionOpening.toByteArray()});
    QStringList named;
    bool before = false;
    bool done = false;
    const auto onLine = [&](const ApacheLine& line) {
        const QByteArrayView first = line.text.first(line.firstLength);
        if (done)
            return;
        if (const EncodedRule* rule = matchingRule(first)) {
            done = rule->documentRoot && noteFolder(line.text, named) && named.size() == m_oldFolders.size();
        } else if (Opening opening; ReadOpening(first, m_encoding, opening)) {
            before = done = opening.oneOf(m_oldFolders) && !opening.oneOf(named) && !opening.fileSystemRoot();
        }
    };
    // A read that fails now has the second pass say so.
    if (!source([&](QByteArrayView piece) {
             lines.feed(piece, onLine);
             return !done;
         }).isEmpty())
        return true;
    lines.finish(onLine);
    return before;
}

LineRewriter::Pass LineRewriter::pass(const Source& source, const Sink& sink)
{
    m_continued = m_swallowing = m_noting = m_sectionPassed = m_lateFolder = false;
    // Lines that stay and end in CR LF go out as they stand, a run of them at a time; a run never
    // outlives the piece it lies in.
    QByteArrayView current; // the piece being read
    const char* runStart = nullptr;
    const char* runEnd = nullptr;
    const auto flush = [&] {
        if (runStart != runEnd)
            sink(QByteArrayView(runStart, runEnd));
        runStart = runEnd = nullptr;
    };
    const auto keep = [&](const char* from, const char* to) {
        if (from != runEnd) {
            flush();
            runStart = from;
        }
        runEnd = to;
    };
    const auto onLine = [&](const ApacheLine& line) {
        const std::optional<QByteArrayView> piece = rewrite(line.text);
        if (!piece)
            return;
        if (line.crLfFollows && piece->data() == line.text.data() && piece->size() == line.text.size())
            return keep(line.text.data(), line.text.data() + line.text.size() + 2);
        flush();
        sink(*piece);
        sink(QByteArrayView("\r\n", 2));
    };
    const auto onPassed = [&](QByteArrayView lines, bool lastContinues) {
        m_continued = m_apacheSyntax && lastContinues;
        if (!OnlyCrLfLineEnds(lines)) {
            flush();
            return PutWithCrLf(lines, sink);
        }
        keep(lines.data(), lines.data() + lines.size());
        // A line the reader held across pieces lives no longer than this call.
        const std::less<const char*> before;
        const bool inPiece =
            !before(lines.data(), current.data()) && before(lines.data(), current.data() + current.size());
        if (!inPiece || lines.back() == '\r') // a last CR's LF, if any, starts the next piece
            flush();
        if (lines.back() == '\r')
            sink(QByteArrayView("\n", 1));
    };
    ApacheLineReader lines(ApacheLineReader::Continuations::Keep);
    lines.onlyLinesWith(m_anchors);
    const QString error = source([&](QByteArrayView piece) {
        current = piece;
        lines.feed(piece, onLine, onPassed);
        flush();
        return true;
    });
    if (!error.isEmpty())
        return {error};
    lines.finish(onLine);
    m_lateFolder |= m_noting && noteFolder(m_rootLine, m_oldFolders) && m_sectionPassed;
    return {QString(), m_lateFolder && sectionBeforeItsRoot(source)};
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

std::optional<QByteArray> RewriteContent(const QByteArrayList& pieces, const RewritePlan& plan,
                                         QStringList* unmatched, int* reads)
{
    std::optional<LineRewriter> engine = LineRewriter::Create(plan);
    if (!engine || StartsAsUtf16(pieces.join()))
        return std::nullopt;
    int started = 0;
    const auto source = [&](const std::function<bool(QByteArrayView)>& onPiece) {
        ++started;
        for (const QByteArray& piece : pieces)
            if (!onPiece(piece))
                break;
        return QString();
    };
    QByteArray out;
    while (engine->pass(source, [&out](QByteArrayView bytes) { out.append(bytes); }).again)
        out.clear();
    if (unmatched)
        *unmatched = engine->unmatched();
    if (reads)
        *reads = started;
    return out;
}

} // namespace config
