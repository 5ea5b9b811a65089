// NC text in the chosen code page: every byte survives a decode and an encode, Chinese text is
// written as the code page writes it, and what a code page cannot hold is named, not lost.
#include "automode/SendListEntry.h"
#include "settings/NcText.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using NcText::CodePage;
Q_DECLARE_METATYPE(NcText::CodePage)

namespace
{
QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator r(seed);
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(r.bounded(256));
    return b;
}

QByteArray allBytes()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b += char(i);
    return b;
}
} // namespace

class TestNcText : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { NcText::setCodePage(CodePage::Latin1); }

    // Bytes that are no text of the code page (random bytes, a double-byte character cut at
    // the end, a lead byte before a line break) come back exactly.
    void everyByteSurvives_data()
    {
        QTest::addColumn<CodePage>("page");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray big5Comment("(\xB2\xCA\xA5\x5B\xA4\x75)");
        for (CodePage p : NcText::choices()) {
            const QByteArray name = NcText::settingName(p).toLatin1();
            QTest::newRow((name + " random").constData()) << p << randomBytes(65536, 26);
            QTest::newRow((name + " all bytes").constData()) << p << allBytes() + allBytes();
            QTest::newRow((name + " cut at the end").constData()) << p << big5Comment + "\r\n\xB2";
            QTest::newRow((name + " lead before CR LF").constData())
                << p << QByteArray("O1(\xA4\r\n%\xFF\x80");
        }
    }
    void everyByteSurvives()
    {
        QFETCH(CodePage, page);
        QFETCH(QByteArray, bytes);
        const QString text = NcText::fromBytes(bytes, page);
        QCOMPARE(NcText::toBytes(text, page), bytes);
        // The kept bytes are no character the code page lacks.
        QVERIFY(NcText::unencodable(text, page).isEmpty());
    }

    // The shop's comment in each code page, and what ISO-8859-1 has to refuse.
    void chineseComment_data()
    {
        QTest::addColumn<CodePage>("page");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("unencodable");
        QTest::newRow("Big5") << CodePage::Big5 << QByteArray("(\xB2\xCA\xA5\x5B\xA4\x75)") << 0;
        QTest::newRow("GBK") << CodePage::Gbk << QByteArray("(\xB4\xD6\xBC\xD3\xB9\xA4)") << 0;
        QTest::newRow("UTF-8") << CodePage::Utf8 << QString("(粗加工)").toUtf8() << 0;
        QTest::newRow("ISO-8859-1") << CodePage::Latin1 << QByteArray("(\x3F\x3F\x3F)") << 3;
    }
    void chineseComment()
    {
        QFETCH(CodePage, page);
        QFETCH(QByteArray, bytes);
        QFETCH(int, unencodable);
        const QString comment = QStringLiteral("(粗加工)");
        QCOMPARE(NcText::toBytes(comment, page), bytes);
        QCOMPARE(int(NcText::unencodable(comment, page).size()), unencodable);
        if (unencodable == 0)
            QCOMPARE(NcText::fromBytes(bytes, page), comment);
        NcText::setCodePage(page);
        QCOMPARE(NcText::toBytes(comment), bytes);
    }

    // The editor's refusal says which characters and where (line:column), surrogate pairs
    // counted as one character.
    void unencodableNamed()
    {
        const QString text = QStringLiteral("%\nO1(這)\nG0 (这😀)");
        const QList<NcText::Unencodable> big5 = NcText::unencodable(text, CodePage::Big5);
        QCOMPARE(big5.size(), 2);
        QCOMPARE(big5.at(0).character, char32_t(0x8FD9));
        QCOMPARE(NcText::describeUnencodable(text, big5),
                 QStringLiteral("\"这\" U+8FD9 (3:5), \"😀\" U+1F600 (3:6)"));
        const QList<NcText::Unencodable> latin = NcText::unencodable(text, CodePage::Latin1);
        QCOMPARE(latin.size(), 3);
        QVERIFY(NcText::describeUnencodable(text, latin, 1).endsWith("(+2)"));
        QVERIFY(NcText::unencodable(text, CodePage::Utf8).isEmpty());
    }

    // Without a choice the code page follows the language pack; a stored choice wins; a name
    // that is none of them counts as no choice.
    void effectiveCodePage_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("language");
        QTest::addColumn<CodePage>("expected");
        QTest::newRow("繁體中文") << ""
                                  << "繁體中文" << CodePage::Big5;
        QTest::newRow("简体中文") << ""
                                  << "简体中文" << CodePage::Gbk;
        QTest::newRow("English") << ""
                                 << "English" << CodePage::Latin1;
        QTest::newRow("Deutsch") << ""
                                 << "Deutsch" << CodePage::Latin1;
        QTest::newRow("stored wins") << "utf-8"
                                     << "繁體中文" << CodePage::Utf8;
        QTest::newRow("CP936") << "CP936"
                               << "English" << CodePage::Gbk;
        QTest::newRow("unknown") << "KOI8-R"
                                 << "简体中文" << CodePage::Gbk;
    }
    void effectiveCodePage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, language);
        QFETCH(CodePage, expected);
        QCOMPARE(NcText::effective(stored, language), expected);
    }

    void storedInNcFerryIni()
    {
        QTemporaryDir dir;
        const QString base = dir.path() + "/";
        QCOMPARE(NcText::storedName(base), QString());
        QVERIFY(NcText::store(base, "CP950", nullptr));
        QCOMPARE(NcText::storedName(base), QStringLiteral("CP950"));
        QVERIFY(QFile::exists(base + "NCFerry.ini"));
        QVERIFY(!QFile::exists(base + "Option.ini"));

        // ncferry-cli beside the same files: the stored choice, else the file's language.
        QFile ini(base + "Option.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("\xEF\xBB\xBF[General]\r\nCheck=0\r\nLanguage=\xE7\xAE\x80\xE4\xBD\x93"
                  "\xE4\xB8\xAD\xE6\x96\x87\r\n");
        ini.close();
        QCOMPARE(NcText::forOptionsFile(base + "Option.ini"), CodePage::Big5);
        QVERIFY(NcText::store(base, "", nullptr));
        QCOMPARE(NcText::forOptionsFile(base + "Option.ini"), CodePage::Gbk);
        QCOMPARE(NcText::forOptionsFile(base + "missing/Option.ini"), CodePage::Latin1);
    }

    // Auto mode: a reply names a Chinese folder in the code page (it was "??"), and a program
    // sent from a file turns only real "O"s into ":" - never the second byte of a character.
    void autoModeText()
    {
        NcText::setCodePage(CodePage::Big5);
        const QString folder = QStringLiteral("/nc/粗加工");
        const QByteArray reply =
            AutoMode::ReplyProgram(AutoMode::SendListEntry::error("00", folder + "/O1234", "9997"));
        QVERIFY2(reply.contains("/NC/\xB2\xCA\xA5\x5B\xA4\x75/O1234"), reply.constData());

        const QByteArray file("%\r\nO1(\xA4\x4F)\r\nM30\r\n%\r\n");
        const AutoMode::ProgramFile sent = AutoMode::ProgramFileFromContent(file);
        QCOMPARE(sent.bytes, QByteArray("\x12%\r\n:1(\xA4\x4F)\r\nM30\r\n%\r\n\x14"));
        QCOMPARE(sent.text, QStringLiteral("%\r\nO1(力)\r\nM30\r\n%\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestNcText)
#include "tst_nctext.moc"
