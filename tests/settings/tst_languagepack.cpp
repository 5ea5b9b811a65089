// Language packs: section reading, completion from the built-in captions, the shipped packs.
#include "settings/LanguagePack.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace
{

// A complete pack whose lines name their section and position ("Viewer 3").
QStringList packLines()
{
    const char *const names[] = {"Main",     "General", "Transfer", "TransferFile", "ReceiveFile",
                                 "AutoMode", "Viewer",  "Editor",   "About"};
    QStringList lines;
    for (int k = 0; k < LanguagePack::SectionCount; ++k) {
        lines << LanguagePack::headers().at(k);
        for (int i = 0; i < LanguagePack::lineCount(k); ++i)
            lines << QStringLiteral("%1 %2").arg(QString::fromLatin1(names[k])).arg(i);
    }
    lines << "[End]";
    return lines;
}

QStringList numbered(const QString &name, int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("%1 %2").arg(name).arg(i);
    return lines;
}

QString writePack(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.path() + "/pack.ini";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

QByteArray utf8Bom(const QStringList &lines)
{
    return "\xEF\xBB\xBF" + lines.join("\r\n").toUtf8() + "\r\n";
}

} // namespace

class TestLanguagePack : public QObject
{
    Q_OBJECT
private slots:
    void builtInLineCounts();
    void readSections_data();
    void readSections();
    void completePackHasNoMessage();
    void shortSectionKeepsBuiltIn();
    void olderPackLoads_data();
    void olderPackLoads();
    void missingEndKeepsBuiltInAbout();
    void trailingSpaceHeaderIsNotFound();
    void missingPackGivesBuiltIn();
    void encodings_data();
    void encodings();
    void shippedPacks_data();
    void shippedPacks();
    void availableLanguages();
    void captionAndLabel_data();
    void captionAndLabel();
};

void TestLanguagePack::builtInLineCounts()
{
    // The first packs' sections, then the lines appended since.
    const int expected[] = {29, 42, 16, 10, 7, 7, 5, 14, 4};
    const int appended[] = {52, 2, 9, 17, 15, 8, 0, 2, 0};
    for (int k = 0; k < LanguagePack::SectionCount; ++k) {
        QCOMPARE(LanguagePack::lineCount(k), expected[k] + appended[k]);
        QCOMPARE(LanguagePack::requiredLineCount(k), k == LanguagePack::About ? 2 : expected[k]);
        for (const QString &line : LanguagePack::builtIn(k))
            QVERIFY(!line.trimmed().isEmpty());
    }
    QCOMPARE(LanguagePack::builtIn(LanguagePack::Main).at(3), "傳送檔案");
    QCOMPARE(LanguagePack::builtIn(LanguagePack::Main).at(28), "離開");
    QCOMPARE(LanguagePack::builtIn(LanguagePack::General).at(41), "檔名：");
    QCOMPARE(LanguagePack::builtIn(LanguagePack::Editor).at(13), "離開");
}

void TestLanguagePack::readSections_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("section");
    QTest::addColumn<QStringList>("expected");

    const QStringList good = packLines();
    const int viewer = int(good.indexOf("[Viewer]"));

    QTest::newRow("viewer as written")
        << good << int(LanguagePack::Viewer) << numbered("Viewer", 5);
    QStringList shifted = good;
    shifted.insert(viewer + 1, QString());
    QTest::newRow("empty line shifts the viewer")
        << shifted << int(LanguagePack::Viewer) << (QStringList{""} << numbered("Viewer", 5));

    QStringList noEnd = good;
    noEnd.removeAll("[End]");
    QTest::newRow("no [End]: about empty") << noEnd << int(LanguagePack::About) << QStringList();
    QTest::newRow("no [End]: editor intact")
        << noEnd << int(LanguagePack::Editor)
        << numbered("Editor", LanguagePack::lineCount(LanguagePack::Editor));

    QStringList lower = good;
    lower.replace(viewer, "[viewer]");
    lower.replace(lower.indexOf("[Editor]"), "[EDITOR]");
    QTest::newRow("header in other case")
        << lower << int(LanguagePack::Viewer) << numbered("Viewer", 5);

    QStringList trailing = good;
    trailing.replace(viewer, "[Viewer] ");
    QTest::newRow("trailing space: viewer not found")
        << trailing << int(LanguagePack::Viewer) << QStringList();
    QTest::newRow("trailing space: auto mode has no end")
        << trailing << int(LanguagePack::AutoMode) << QStringList();

    QStringList sendLine = good;
    sendLine.replace(good.indexOf("Main 3"), "Send");
    QTest::newRow("main line 3") << sendLine << int(LanguagePack::Main)
                                 << (numbered("Main", LanguagePack::lineCount(0)).mid(0, 3)
                                     << "Send"
                                     << numbered("Main", LanguagePack::lineCount(0)).mid(4));

    QStringList about = good.mid(0, good.indexOf("[About]") + 1);
    about << "About"
          << "Title"
          << "Line A"
          << "Line B"
          << "[End]";
    QTest::newRow("about of four lines")
        << about << int(LanguagePack::About) << QStringList{"About", "Title", "Line A", "Line B"};

    QStringList blanks = good;
    blanks.replace(good.indexOf("Viewer 1"), "  Fit  ");
    QTest::newRow("blanks kept") << blanks << int(LanguagePack::Viewer)
                                 << QStringList{"Viewer 0", "  Fit  ", "Viewer 2", "Viewer 3",
                                                "Viewer 4"};

    QStringList swapped = good;
    swapped.swapItemsAt(viewer, good.indexOf("[Editor]"));
    QTest::newRow("next header before own")
        << swapped << int(LanguagePack::Viewer) << QStringList();
}

void TestLanguagePack::readSections()
{
    QFETCH(QStringList, lines);
    QFETCH(int, section);
    QFETCH(QStringList, expected);
    const QList<QStringList> sections = LanguagePack::readSections(lines);
    QCOMPARE(sections.size(), int(LanguagePack::SectionCount));
    QCOMPARE(sections.at(section), expected);
}

void TestLanguagePack::completePackHasNoMessage()
{
    QTemporaryDir dir;
    const QString path = writePack(dir, utf8Bom(packLines()));
    QVERIFY(!path.isEmpty());
    LanguagePack pack;
    QVERIFY(pack.load(path));
    QVERIFY(pack.message().isEmpty());
    QCOMPARE(pack.section(LanguagePack::General).at(21), "General 21");
    QCOMPARE(pack.section(LanguagePack::About), numbered("About", 4));
}

void TestLanguagePack::shortSectionKeepsBuiltIn()
{
    QStringList lines = packLines();
    const int at = int(lines.indexOf("Viewer 3"));
    lines.remove(at, 2);
    QTemporaryDir dir;
    LanguagePack pack;
    QVERIFY(!pack.load(writePack(dir, utf8Bom(lines))));
    const QStringList &builtIn = LanguagePack::builtIn(LanguagePack::Viewer);
    QCOMPARE(pack.section(LanguagePack::Viewer),
             (QStringList{"Viewer 0", "Viewer 1", "Viewer 2", builtIn.at(3), builtIn.at(4)}));
    QVERIFY2(pack.message().contains("[Viewer] has 3 of 5 lines"), qPrintable(pack.message()));
    // The other sections are untouched and not mentioned.
    QCOMPARE(pack.section(LanguagePack::Editor),
             numbered("Editor", LanguagePack::lineCount(LanguagePack::Editor)));
    QVERIFY(!pack.message().contains("[Editor]"));
}

// A pack written before lines were appended to a section loads without a message; a pack
// short of the first lines still gets one.
void TestLanguagePack::olderPackLoads_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("complete");
    QTest::newRow("send window, none appended") << int(LanguagePack::TransferFile) << 10 << true;
    QTest::newRow("send window, some appended") << int(LanguagePack::TransferFile) << 13 << true;
    QTest::newRow("main window, none appended") << int(LanguagePack::Main) << 29 << true;
    QTest::newRow("receive window, none appended") << int(LanguagePack::ReceiveFile) << 7 << true;
    QTest::newRow("send window, short") << int(LanguagePack::TransferFile) << 9 << false;
}

void TestLanguagePack::olderPackLoads()
{
    QFETCH(int, section);
    QFETCH(int, kept);
    QFETCH(bool, complete);
    const char *const names[] = {"Main", "General", "Transfer", "TransferFile", "ReceiveFile"};
    const QString name = QString::fromLatin1(names[section]);
    QStringList lines = packLines();
    const int first = int(lines.indexOf(QStringLiteral("%1 %2").arg(name).arg(kept)));
    QVERIFY(first > 0);
    lines.remove(first, LanguagePack::lineCount(section) - kept);
    QTemporaryDir dir;
    LanguagePack pack;
    QCOMPARE(pack.load(writePack(dir, utf8Bom(lines))), complete);
    QCOMPARE(pack.message().isEmpty(), complete);
    const QStringList &builtIn = LanguagePack::builtIn(section);
    QCOMPARE(pack.section(section), numbered(name, kept) + builtIn.mid(kept));
    if (!complete)
        QVERIFY2(pack.message().contains(QStringLiteral("has %1 of %2 lines")
                                             .arg(kept)
                                             .arg(LanguagePack::requiredLineCount(section))),
                 qPrintable(pack.message()));
}

void TestLanguagePack::missingEndKeepsBuiltInAbout()
{
    QStringList lines = packLines();
    lines.removeAll("[End]");
    QTemporaryDir dir;
    LanguagePack pack;
    QVERIFY(!pack.load(writePack(dir, utf8Bom(lines))));
    // The about box reads two lines; those come from the built-in captions.
    QCOMPARE(pack.section(LanguagePack::About),
             LanguagePack::builtIn(LanguagePack::About).mid(0, 2));
    QVERIFY2(pack.message().contains("[End]"), qPrintable(pack.message()));
}

void TestLanguagePack::trailingSpaceHeaderIsNotFound()
{
    QStringList lines = packLines();
    lines.replace(lines.indexOf("[Viewer]"), "[Viewer] ");
    QTemporaryDir dir;
    LanguagePack pack;
    QVERIFY(!pack.load(writePack(dir, utf8Bom(lines))));
    QCOMPARE(pack.section(LanguagePack::Viewer), LanguagePack::builtIn(LanguagePack::Viewer));
    QCOMPARE(pack.section(LanguagePack::AutoMode), LanguagePack::builtIn(LanguagePack::AutoMode));
    QCOMPARE(pack.section(LanguagePack::Editor),
             numbered("Editor", LanguagePack::lineCount(LanguagePack::Editor)));
    QVERIFY(pack.message().contains("[Viewer] not found"));
}

void TestLanguagePack::missingPackGivesBuiltIn()
{
    QTemporaryDir dir;
    LanguagePack pack;
    QVERIFY(!pack.load(dir.path() + "/language/Klingon.ini"));
    for (int k = 0; k < LanguagePack::SectionCount; ++k)
        QCOMPARE(pack.section(k), LanguagePack::builtIn(k));
    QVERIFY(pack.message().contains("Klingon.ini"));
    QCOMPARE(LanguagePack::packPath("/opt/ncferry/", "English"),
             "/opt/ncferry/language/English.ini");
}

void TestLanguagePack::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QStringList lines = packLines();
    lines.replace(lines.indexOf("Main 3"), "傳送 Ä");
    const QString text = lines.join("\n") + "\n";
    QStringEncoder le(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    QStringEncoder be(QStringConverter::Utf16BE, QStringEncoder::Flag::WriteBom);
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF" + text.toUtf8());
    QTest::newRow("UTF-8 without BOM, LF") << text.toUtf8();
    QTest::newRow("UTF-16 LE") << QByteArray(le.encode(text));
    QTest::newRow("UTF-16 BE") << QByteArray(be.encode(text));
    QTest::newRow("CR only") << QString(text).replace('\n', '\r').toUtf8();
}

void TestLanguagePack::encodings()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    LanguagePack pack;
    QVERIFY2(pack.load(writePack(dir, bytes)), qPrintable(pack.message()));
    QCOMPARE(pack.section(LanguagePack::Main).at(3), "傳送 Ä");
    QCOMPARE(pack.section(LanguagePack::About).size(), 4);
}

void TestLanguagePack::shippedPacks_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("English") << QStringLiteral("English");
    QTest::newRow("Traditional Chinese") << QStringLiteral("繁體中文");
    QTest::newRow("Simplified Chinese") << QStringLiteral("简体中文");
}

void TestLanguagePack::shippedPacks()
{
    QFETCH(QString, name);
    const QString path = QStringLiteral(NCFERRY_LANGUAGE_DIR "/") + name + ".ini";
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    QVERIFY(bytes.endsWith("[End]\r\n"));

    LanguagePack pack;
    QVERIFY2(pack.load(path), qPrintable(pack.message()));
    QVERIFY(pack.message().isEmpty());
    for (int k = 0; k < LanguagePack::SectionCount; ++k) {
        QCOMPARE(pack.section(k).size(), LanguagePack::lineCount(k));
        for (const QString &line : pack.section(k))
            QVERIFY2(!line.trimmed().isEmpty(), qPrintable(LanguagePack::headers().at(k)));
    }
    QCOMPARE(pack.section(LanguagePack::Main).at(0), "NCFerry");
    QCOMPARE(pack.section(LanguagePack::About).at(1), "NCFerry");
    // The send button's three states are told apart by their captions.
    const QStringList &send = pack.section(LanguagePack::TransferFile);
    QVERIFY(send.at(3) != send.at(4) && send.at(4) != send.at(5) && send.at(3) != send.at(5));
    // The unsaved-changes question follows the file name directly.
    QVERIFY(pack.section(LanguagePack::Editor).at(8).startsWith(u' '));
    const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    const QRegularExpression halfWidthAfterHan(QStringLiteral("\\p{Han}:"));
    for (int k = 0; k < LanguagePack::SectionCount; ++k) {
        for (int i = 0; i < pack.section(k).size(); ++i) {
            const QString &line = pack.section(k).at(i);
            const QString where = LanguagePack::headers().at(k) + QString::number(i);
            // A message filled in by the program takes the same values in every pack.
            auto marks = [&](const QString &text) {
                QStringList found;
                for (auto m = placeholder.globalMatch(text); m.hasNext();)
                    found << m.next().captured();
                found.sort();
                return found;
            };
            QVERIFY2(marks(line) == marks(LanguagePack::builtIn(k).value(i)), qPrintable(where));
            // Colons in the Chinese packs are full-width, as the windows add them.
            QVERIFY2(!line.contains(halfWidthAfterHan), qPrintable(where + u' ' + line));
        }
    }
}

void TestLanguagePack::availableLanguages()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QVERIFY(QDir(base).mkpath("language/Sub.ini"));
    for (const QString &name : {QString("English.ini"), QString("Deutsch.v2.ini"),
                                QString("readme.txt"), QString(".Hidden.ini")}) {
        QFile file(base + "language/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QStringList names = LanguagePack::availableLanguages(base);
    names.sort();
    QCOMPARE(names, (QStringList{"Deutsch", "English"}));
}

void TestLanguagePack::captionAndLabel_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    const QStringList given = {"Receive", "Settings", "", "Save to"};
    QTest::newRow("given line") << given << 3 << "Save to"
                                << "Save to:";
    QTest::newRow("empty line is kept") << given << 2 << ""
                                        << ":";
    QTest::newRow("missing line: built-in") << given << 4 << "接收字元數"
                                            << "接收字元數：";
    QTest::newRow("no lines") << QStringList() << 1 << "傳輸設定"
                              << "傳輸設定：";
    QTest::newRow("colon already there") << QStringList{"Lines shown:"} << 0 << "Lines shown:"
                                         << "Lines shown:";
    QTest::newRow("full-width already there") << QStringList{"檔名："} << 0 << "檔名："
                                              << "檔名：";
    QTest::newRow("beyond the section") << given << 99 << ""
                                        << ":";
}

void TestLanguagePack::captionAndLabel()
{
    QFETCH(QStringList, lines);
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    QCOMPARE(LanguagePack::caption(lines, LanguagePack::ReceiveFile, index), caption);
    QCOMPARE(LanguagePack::label(caption), label);
}

QTEST_APPLESS_MAIN(TestLanguagePack)
#include "tst_languagepack.moc"
