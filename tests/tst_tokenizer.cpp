// SPDX-License-Identifier: MIT
#include "config/tokenizer.h"

#include <QTest>

using config::GetWord;
using config::IsWordChar;

class TestTokenizer : public QObject
{
    Q_OBJECT

  private slots:
    void getWord_data();
    void getWord();
    void isWordChar_data();
    void isWordChar();
};

void TestTokenizer::getWord_data()
{
    // clang-format off
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("word");

    const QString docRoot = QStringLiteral("DocumentRoot \"C:/x\"");
    QTest::newRow("first word") << docRoot << 1 << "DocumentRoot";
    QTest::newRow("word inside quotes") << docRoot << 2 << "C";
    QTest::newRow("last word ends the line") << docRoot << 3 << "x";
    QTest::newRow("fewer words than n") << docRoot << 4 << "";
    QTest::newRow("marker joins the name") << "#" + docRoot << 1 << "#DocumentRoot";
    QTest::newRow("marker then blank") << "# " + docRoot << 1 << "#";
    QTest::newRow("semicolon comment") << ";display_errors = Off" << 1 << ";display_errors";
    QTest::newRow("value after equals") << ";display_errors = Off" << 2 << "Off";
    QTest::newRow("leading blanks, no spaces round =") << "  display_errors=Off" << 1 << "display_errors";
    QTest::newRow("leading tab") << "\t" + docRoot << 1 << "DocumentRoot";
    QTest::newRow("index list 1") << "DirectoryIndex index.php index.html" << 1 << "DirectoryIndex";
    QTest::newRow("index list 2") << "DirectoryIndex index.php index.html" << 2 << "index";
    QTest::newRow("index list 3") << "DirectoryIndex index.php index.html" << 3 << "php";
    QTest::newRow("empty line") << "" << 1 << "";
    QTest::newRow("empty line, n 3") << "" << 3 << "";
    QTest::newRow("n zero") << docRoot << 0 << "";
    QTest::newRow("n negative") << docRoot << -1 << "";
    QTest::newRow("separators only") << " \t = \"" << 1 << "";
    QTest::newRow("single word character") << "x" << 1 << "x";
    QTest::newRow("markers inside a run") << "a#b;c_d e" << 1 << "a#b;c_d";
    QTest::newRow("Chinese before the name") << QStringLiteral("中文display_errors = On") << 1 << "display_errors";
    QTest::newRow("Latin-1 letter splits") << QStringLiteral("caf\u00e9s") << 2 << "s";
    QTest::newRow("case kept") << "documentroot /x" << 1 << "documentroot";
    QTest::newRow("n past a long line") << QString(300, QLatin1Char('a')) + " b" << 2 << "b";
    // clang-format on
}

void TestTokenizer::getWord()
{
    QFETCH(QString, line);
    QFETCH(int, n);
    QFETCH(QString, word);
    QCOMPARE(GetWord(line, qint16(n)), word);
}

void TestTokenizer::isWordChar_data()
{
    // clang-format off
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("only the first character decides") << "a " << true;
    QTest::newRow("blank first") << " a" << false;
    for (const char* c : {"A", "Z", "a", "z", "0", "9", "#", ";", "_"})
        QTest::newRow(c) << QString::fromLatin1(c) << true;
    for (const char* c : {"@", "[", "`", "{", "/", ":", "=", "\"", "-", ".", "\\", "$"})
        QTest::newRow(c) << QString::fromLatin1(c) << false;
    QTest::newRow("non-ASCII letter") << QStringLiteral("\u00c4") << false;
    QTest::newRow("Chinese") << QStringLiteral("中") << false;
    // clang-format on
}

void TestTokenizer::isWordChar()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(IsWordChar(text), expected);
}

QTEST_APPLESS_MAIN(TestTokenizer)
#include "tst_tokenizer.moc"
