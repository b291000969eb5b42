// SPDX-License-Identifier: MIT
#include "rewriter.h"

#include "platform/fileowner.h"
#include "tokenizer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <memory>

namespace config {

namespace {

struct EncodedRule
{
    QString directive;
    QByteArray directiveBytes;
    QByteArray line;
};

// Encodes into the system code page, or nothing when the text does not come back unchanged: a
// character the code page lacks, or a lone surrogate that the encoder would silently drop.
std::optional<QByteArray> encodeExactly(const QString& text)
{
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::System);
    if (decoder.decode(bytes) != text || decoder.hasError())
        return std::nullopt;
    return bytes;
}

std::optional<std::vector<EncodedRule>> encodeRules(const std::vector<Rule>& rules)
{
    std::vector<EncodedRule> encoded;
    encoded.reserve(rules.size());
    for (const Rule& rule : rules) {
        std::optional<QByteArray> line = encodeExactly(rule.line);
        if (!line)
            return std::nullopt;
        encoded.push_back({rule.directive, rule.directive.toLatin1(), std::move(*line)});
    }
    return encoded;
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

inline bool isWordByte(char c)
{
    return kWordBytes.word[uchar(c)];
}

// Every code page the system may use keeps ASCII bytes as ASCII characters, and a byte at or above
// 0x80 starts a non-ASCII character, which is a separator. So as long as a word starts before the
// first such byte, that word is exactly the run of ASCII word bytes there: no decoding needed.
bool asciiFirstWord(QByteArrayView line, QByteArrayView* word)
{
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = line[i];
        if (uchar(c) >= 0x80)
            return false;
        if (isWordByte(c)) {
            qsizetype j = i + 1;
            while (j < n && isWordByte(line[j]))
                ++j;
            *word = line.sliced(i, j - i);
            return true;
        }
    }
    *word = {};
    return true;
}

const EncodedRule* matchingRule(QByteArrayView line, const std::vector<EncodedRule>& rules)
{
    QByteArrayView word;
    if (asciiFirstWord(line, &word)) {
        for (const EncodedRule& rule : rules)
            if (word == QByteArrayView(rule.directiveBytes))
                return &rule;
        return nullptr;
    }
    const QString decodedWord = FirstWordOfLine(line);
    for (const EncodedRule& rule : rules)
        if (decodedWord == rule.directive)
            return &rule;
    return nullptr;
}

// Splits at CR LF, a lone CR or a lone LF and hands each output piece to sink, which returns false
// to stop. Unmatched lines are passed through as views into content: their bytes never change.
template <typename Sink>
bool rewriteLines(QByteArrayView content, const std::vector<EncodedRule>& rules, Sink&& sink)
{
    const char* p = content.data();
    const char* const end = p + content.size();
    auto find = [end](const char* from, char c) {
        const void* hit = std::memchr(from, c, size_t(end - from));
        return hit ? static_cast<const char*>(hit) : end;
    };
    // One memchr per kind of line end, redone only once the scan has passed its last hit.
    const char* nextCr = find(p, '\r');
    const char* nextLf = find(p, '\n');
    while (p < end) {
        if (nextCr < p)
            nextCr = find(p, '\r');
        if (nextLf < p)
            nextLf = find(p, '\n');
        const char* eol = std::min(nextCr, nextLf);
        const QByteArrayView line(p, eol - p);
        const EncodedRule* rule = matchingRule(line, rules);
        if (!sink(rule ? QByteArrayView(rule->line) : line) || !sink(QByteArrayView("\r\n", 2)))
            return false;
        if (eol == end)
            break;
        p = (*eol == '\r' && eol + 1 < end && eol[1] == '\n') ? eol + 2 : eol + 1;
    }
    return true;
}

RewriteResult failure(const QString& path, const QString& reason)
{
    return {QDir::toNativeSeparators(path), reason};
}

} // namespace

QString ValueProblem::describe() const
{
    const QString what =
        field == Field::DocumentRoot ? QStringLiteral("document root") : QStringLiteral("directory index");
    switch (kind) {
    case Kind::LineBreak:
        return what + QStringLiteral(" contains a line break or NUL character");
    case Kind::Empty:
        return what + QStringLiteral(" is empty");
    case Kind::NotEncodable:
        return what + QStringLiteral(" contains a character the configuration file's code page cannot hold");
    }
    return what;
}

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
        if (!encodeExactly(*value))
            return ValueProblem{field, K::NotEncodable};
    }
    return std::nullopt;
}

QString QuoteForApache(const QString& folder)
{
    QString quoted;
    quoted.reserve(folder.size() + 2);
    const qsizetype n = folder.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = folder.at(i);
        if (c == QLatin1Char('"')) {
            quoted += QLatin1String("\\\"");
        } else if (c == QLatin1Char('\\')) {
            // Apache unescapes \\ and \" inside quotes; the closing quote follows the last character.
            const bool escapes =
                i + 1 == n || folder.at(i + 1) == QLatin1Char('\\') || folder.at(i + 1) == QLatin1Char('"');
            quoted += escapes ? QLatin1String("\\\\") : QLatin1String("\\");
        } else {
            quoted += c;
        }
    }
    return quoted;
}

std::vector<Rule> PhpIniRules(bool showErrors)
{
    if (!showErrors)
        return {};
    return {{QLatin1String(kDisplayErrors), QStringLiteral("display_errors = On")}};
}

std::vector<Rule> HttpdConfRules(const QString& documentRoot, const QString& directoryIndex)
{
    return {
        {QLatin1String(kDocumentRoot),
         QStringLiteral("DocumentRoot \"") + QuoteForApache(documentRoot) + QLatin1Char('"')},
        {QLatin1String(kDirectoryIndex), QStringLiteral("DirectoryIndex ") + directoryIndex},
    };
}

QString FirstWordOfLine(QByteArrayView rawLine)
{
    QByteArrayView word;
    if (asciiFirstWord(rawLine, &word))
        return QString::fromLatin1(word);
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    return GetWord(decoder.decode(rawLine), 1);
}

std::optional<QByteArray> RewriteContent(QByteArrayView content, const std::vector<Rule>& rules)
{
    const auto encoded = encodeRules(rules);
    if (!encoded)
        return std::nullopt;
    QByteArray out;
    rewriteLines(content, *encoded, [&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

RewriteResult RewriteFile(const QString& path, const std::vector<Rule>& rules)
{
    if (rules.empty())
        return {QDir::toNativeSeparators(path), {}};
    const auto encoded = encodeRules(rules);
    if (!encoded)
        return failure(path, QStringLiteral("A value cannot be written in the file's code page"));

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return failure(path, in.errorString());
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return failure(path, in.errorString());
    in.close();
    if (content.isEmpty())
        return {QDir::toNativeSeparators(path), {}};
    const QFileInfo info(path);

    QSaveFile out(path);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        return failure(path, out.errorString());
    // The temporary file belongs to whoever runs the program; give it the original's owner first.
    platform::MatchOwner(out.handle(), info.ownerId(), info.groupId());

    // Output goes through a fixed buffer: appending two small pieces per line to a QByteArray
    // costs more than the rest of the rewrite.
    constexpr qsizetype kChunk = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    qsizetype used = 0;
    auto flush = [&] {
        const bool written = out.write(buffer.get(), used) == used;
        used = 0;
        return written;
    };
    const bool written = rewriteLines(content, *encoded, [&](QByteArrayView piece) {
        if (used + piece.size() > kChunk && !flush())
            return false;
        if (piece.size() > kChunk)
            return out.write(piece.data(), piece.size()) == piece.size();
        std::memcpy(buffer.get() + used, piece.data(), size_t(piece.size()));
        used += piece.size();
        return true;
    });
    if (!written || !flush()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return failure(path, reason);
    }
    if (!out.commit())
        return failure(path, out.errorString());
    return {QDir::toNativeSeparators(path), {}};
}

RewriteResult RewritePhpIni(const QString& path, bool showErrors)
{
    return RewriteFile(path, PhpIniRules(showErrors));
}

RewriteResult RewriteHttpdConf(const QString& path, const QString& documentRoot,
                               const QString& directoryIndex)
{
    return RewriteFile(path, HttpdConfRules(documentRoot, directoryIndex));
}

} // namespace config
