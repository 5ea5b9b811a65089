// The option store and its file Option.ini, and the default values the windows supply.
#include "settings/CommaText.h"
#include "settings/Defaults.h"
#include "settings/LanguagePack.h"
#include "settings/Option.h"
#include "settings/PortSetting.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace
{

const QRect workArea(0, 0, 1920, 1040);
const QByteArray bom("\xEF\xBB\xBF");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray iniBytes(const QStringList &lines)
{
    return bom + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

// Lines of the file a first run writes.
QStringList defaultFileLines()
{
    QStringList lines;
    lines << "[Main]"
          << "Path=" + Defaults::rootFolder() << "ExtList=*.nc,*.cnc,*.txt,*.dat,*.tap,*.*"
          << "Ext=*.nc"
          << "Font=12";
    lines << "[General]"
          << "Check=0"
          << "Language=English"
          << "Editor="
          << "Source=16"
          << "Viewer="
          << "FileSave=9997"
          << "ATRead=9999"
          << "ATPath=P"
          << "ATFolder=F"
          << "PathList=" + CommaText::write({Defaults::workFolder()}) << "FolderList=F01";
    lines << "[Transfer]" << PortSetting::defaultLine();
    lines << "[Editor]"
          << "Size=12"
          << "Style=7"
          << "Color=clBlack,clBlack,clMaroon,clMaroon,clGreen,clGreen,clOlive,clOlive,clNavy,"
             "clNavy,clPurple,clPurple,clTeal,clTeal,clGray,clGray,clSilver,clSilver,clRed,"
             "clRed,clLime,clLime,clYellow,clYellow,clBlue,clBlue";
    lines << "[WindowsSize]"
          << "1536,832,459,332,612,459,81,81,81,81,81"
          << "600,550"
          << "1152,520,81,81,81,81,81,81,81,81,81,81"
          << "768,624"
          << "960,624,312,480"
          << "[End]";
    return lines;
}

// A file as a user's program would leave it: three port settings, odd but valid values.
QStringList customFileLines()
{
    return {"[Main]",
            "Path=D:\\Parts=2024\\Lathe",
            "ExtList=*.nc,\"*.my ext\",*.*",
            "Ext=*.my ext",
            "Font=14",
            "[General]",
            "Check=245",
            "Language=简体中文",
            "Editor=C:\\Program Files\\Edit=Plus\\edit.exe",
            "Source=40",
            "Viewer=",
            "FileSave=8000",
            "ATRead=8001",
            "ATPath=Y",
            "ATFolder=G",
            "PathList=D:\\NC,\"E:\\NC Files\",\" \"",
            "FolderList=LATHE,MILL=2",
            "[Transfer]",
            "LATHE1,COM3,9600,Even,7,2,Xon/Xoff,D:\\NC,*.nc,None",
            "\"MILL 2\",COM4,19200,None,8,1,RTS/CTS,\"E:\\NC Files\",*.tap,None",
            "RADIO,COM5,115200,None,8,1,None,D:\\NC,*.nc,Wireless",
            "[Editor]",
            "Size=16",
            "Style=3",
            "Color=" + QStringList(26, QStringLiteral("$00FF00FF")).join(u','),
            "[WindowsSize]",
            "1000,700,300,280,400,300,90,120,80,200,30",
            "600,550",
            "900,500,81,81,81,81,81,81,81,81,81,81",
            "800,600",
            "1000,600,300,500",
            "[End]"};
}

const QStringList customGeneralValues = {
    "245", "简体中文", "C:\\Program Files\\Edit=Plus\\edit.exe", "40",          "", "8000", "8001",
    "Y",   "G",        "D:\\NC,\"E:\\NC Files\",\" \"",          "LATHE,MILL=2"};

} // namespace

class TestOption : public QObject
{
    Q_OBJECT
private slots:
    void defaultsFromWorkArea();
    void defaultsOffsetWorkArea();
    void languageNameForId_data();
    void languageNameForId();
    void firstRunWritesDefaultLines();
    void roundTripIsByteIdentical();
    void valuesWithEqualsAndCommas();
    void emptyTransferSection();
    void threePortSettings();
    void headersIgnoreLetterCase();
    void keysAreNotCompared();
    void damagedFileFallsBack_data();
    void damagedFileFallsBack();
    void sizeFromLargerScreenShrinks_data();
    void sizeFromLargerScreenShrinks();
    void missingEndMarkerIsNoDamage();
    void unreadableFileGivesDefaults();
    void failedWriteKeepsOldFile();
#ifdef Q_OS_UNIX
    void failedWriteMidFileKeepsOldFile();
#endif
    void windowSizeSlots();
    void languageFromGeneralList();
    void damageToldInThePacksWords();
    void damagedFileIsKept();
};

void TestOption::defaultsFromWorkArea()
{
    QCOMPARE(Defaults::mainWindowSize(workArea), "1536,832,459,332,612,459,81,81,81,81,81");
    QCOMPARE(Defaults::editorSize(workArea), "768,624");
    QCOMPARE(Defaults::autoModeSize(workArea), "960,624,312,480");
    QCOMPARE(Defaults::portSettingsSize(workArea), "1152,520,81,81,81,81,81,81,81,81,81,81");
    QCOMPARE(Defaults::generalSettingsSize(), "600,550");
    const QStringList main = Defaults::mainWindowList(workArea);
    QCOMPARE(main.size(), 5);
    QCOMPARE(main.last(), Defaults::mainWindowSize(workArea));
    QCOMPARE(Defaults::generalSettingsList("English").size(), 12);
    QCOMPARE(Defaults::editorList(workArea).size(), 4);
    QCOMPARE(CommaText::read(Defaults::editorColors()).size(), 26);
    const QStringList button = Defaults::generalSettingsButtonList("English");
    QCOMPARE(button.size(), 11);
    QCOMPARE(button.at(0), "240");
    QCOMPARE(button.at(7), "Y");
#ifndef Q_OS_WIN
    QCOMPARE(Defaults::rootFolder(), QDir::toNativeSeparators(QDir::homePath()));
    QCOMPARE(Defaults::workFolder(), QDir::toNativeSeparators(QDir::homePath() + "/NC"));
#else
    QCOMPARE(Defaults::rootFolder(), "C:\\");
    QCOMPARE(Defaults::workFolder(), "C:\\NC");
#endif
}

void TestOption::defaultsOffsetWorkArea()
{
    // A task bar on the left moves the work area's right edge, which the sizes are taken from.
    const QRect shifted(100, 0, 1820, 1040);
    QCOMPARE(Defaults::editorSize(shifted), "768,624");
    QCOMPARE(Defaults::editorSize(QRect(0, 0, 1919, 1039)), "764,618");
}

void TestOption::languageNameForId_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("Taiwan") << 0x0404 << QStringLiteral("繁體中文");
    QTest::newRow("PRC") << 0x0804 << QStringLiteral("简体中文");
    QTest::newRow("US English") << 0x0409 << QStringLiteral("English");
    QTest::newRow("Hong Kong") << 0x0C04 << QStringLiteral("English");
    QTest::newRow("German") << 0x0407 << QStringLiteral("English");
}

void TestOption::languageNameForId()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    QCOMPARE(Defaults::languageNameForId(id), name);
}

void TestOption::firstRunWritesDefaultLines()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.path() + "/";
    TOption option(base, workArea, "English");
    QVERIFY(!QFile::exists(base + "Option.ini"));
    QVERIFY(option.damageMessage().isEmpty());
    QVERIFY(option.SaveOption());
    QVERIFY(option.saveError().isEmpty());

    const QByteArray bytes = fileBytes(base + "Option.ini");
    QVERIFY(bytes.startsWith(bom));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), 30);
    QCOMPARE(bytes.count('\n'), 30);
    QCOMPARE(bytes.count('\r'), 30);
    QCOMPARE(bytes, iniBytes(defaultFileLines()));
}

void TestOption::roundTripIsByteIdentical()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    const QByteArray original = iniBytes(customFileLines());
    writeBytes(base + "Option.ini", original);

    TOption first(base, workArea, "English");
    QVERIFY2(first.damageMessage().isEmpty(), qPrintable(first.damageMessage()));
    QVERIFY(first.SaveOption());
    QCOMPARE(fileBytes(base + "Option.ini"), original);

    TOption second(base, workArea, "English");
    QVERIFY(second.SaveOption());
    QCOMPARE(fileBytes(base + "Option.ini"), original);
    for (int i = 0; i < TOption::ListCount; ++i)
        QCOMPARE(second.getOptionList(i), first.getOptionList(i));
}

void TestOption::valuesWithEqualsAndCommas()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    {
        TOption option(base, workArea, "English");
        QStringList main = option.getOptionList(TOption::MainList);
        main[0] = "D:\\A=B\\C";
        main[1] = CommaText::write({"*.nc", "*.a b", "*.x=y", "*.*"});
        option.setOptionList(TOption::MainList, main);
        QStringList general = option.getOptionList(TOption::GeneralList);
        general[9] = CommaText::write({"C:\\NC", "D:\\a=b c", ""});
        option.setOptionList(TOption::GeneralList, general);
        QVERIFY(option.SaveOption());
    }
    TOption reread(base, workArea, "English");
    QVERIFY(reread.damageMessage().isEmpty());
    const QStringList &main = reread.getOptionList(TOption::MainList);
    QCOMPARE(main.at(0), "D:\\A=B\\C");
    QCOMPARE(CommaText::read(main.at(1)), (QStringList{"*.nc", "*.a b", "*.x=y", "*.*"}));
    QCOMPARE(CommaText::read(reread.getOptionList(TOption::GeneralList).at(9)),
             (QStringList{"C:\\NC", "D:\\a=b c", ""}));
}

void TestOption::emptyTransferSection()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QStringList lines = customFileLines();
    const int at = int(lines.indexOf("[Transfer]"));
    lines.remove(at + 1, 3);
    QCOMPARE(lines.at(at + 1), "[Editor]");
    writeBytes(base + "Option.ini", iniBytes(lines));

    TOption option(base, workArea, "English");
    QVERIFY(option.getOptionList(TOption::TransferList).isEmpty());
    QVERIFY(option.getPortSetting(0).isEmpty());
    QVERIFY(option.damageMessage().isEmpty());
    QVERIFY(option.SaveOption());
    QCOMPARE(fileBytes(base + "Option.ini"), iniBytes(lines));
}

void TestOption::threePortSettings()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    writeBytes(base + "Option.ini", iniBytes(customFileLines()));
    TOption option(base, workArea, "English");
    const QStringList &ports = option.getOptionList(TOption::TransferList);
    QCOMPARE(ports.size(), 3);
    QVERIFY(ports.at(0).startsWith("LATHE1,"));
    QVERIFY(ports.at(2).startsWith("RADIO,"));
    QCOMPARE(option.getPortSetting(1), (QStringList{"MILL 2", "COM4", "19200", "None", "8", "1",
                                                    "RTS/CTS", "E:\\NC Files", "*.tap", "None"}));
    QVERIFY(option.getPortSetting(3).isEmpty());
    QVERIFY(option.getPortSetting(-1).isEmpty());
}

void TestOption::headersIgnoreLetterCase()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QStringList lines = customFileLines();
    lines.replace(lines.indexOf("[Main]"), "[main]");
    lines.replace(lines.indexOf("[General]"), "[GENERAL]");
    lines.replace(lines.indexOf("[Transfer]"), "[transFER]");
    lines.replace(lines.indexOf("[Editor]"), "[editor]");
    lines.replace(lines.indexOf("[WindowsSize]"), "[WINDOWSSIZE]");
    lines.replace(lines.indexOf("[End]"), "[end]");
    writeBytes(base + "Option.ini", iniBytes(lines));

    TOption option(base, workArea, "English");
    QVERIFY2(option.damageMessage().isEmpty(), qPrintable(option.damageMessage()));
    QCOMPARE(option.getOptionList(TOption::MainList).at(3), "14");
    QCOMPARE(option.getOptionList(TOption::GeneralList).at(1), "简体中文");
    QCOMPARE(option.getOptionList(TOption::TransferList).size(), 3);
    QCOMPARE(option.getOptionList(TOption::EditorList).at(0), "16");
    QCOMPARE(option.getWindowsSize(TOption::EditorSlot), "800,600");
    // Written back with the program's own spelling.
    QVERIFY(option.SaveOption());
    QCOMPARE(fileBytes(base + "Option.ini"), iniBytes(customFileLines()));
}

void TestOption::keysAreNotCompared()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QStringList lines = customFileLines();
    lines.replace(1, "Pxth=D:\\Misspelt"); // same length as "Path="
    lines.replace(lines.indexOf("Source=40"), "Sourse=32");
    lines.replace(lines.indexOf("Font=14"), "Fnt=148"); // one shorter: the value loses a digit
    writeBytes(base + "Option.ini", iniBytes(lines));

    TOption option(base, workArea, "English");
    QCOMPARE(option.getOptionList(TOption::MainList).at(0), "D:\\Misspelt");
    QCOMPARE(option.getOptionList(TOption::MainList).at(3), "48");
    QCOMPARE(option.getOptionList(TOption::GeneralList).at(3), "32");
    QVERIFY(option.damageMessage().isEmpty());
}

void TestOption::damagedFileFallsBack_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("list");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("named");

    const QStringList good = customFileLines();
    const QStringList mainDefaults = Defaults::mainWindowList(workArea).mid(0, 4);
    const QStringList generalDefaults = Defaults::generalSettingsList("English").mid(0, 11);
    const QStringList editorDefaults = Defaults::editorList(workArea).mid(0, 3);
    const QStringList sizeDefaults = {
        Defaults::mainWindowSize(workArea), Defaults::generalSettingsSize(),
        Defaults::portSettingsSize(workArea), Defaults::editorSize(workArea),
        Defaults::autoModeSize(workArea)};
    auto without = [&](const QString &line) {
        QStringList lines = good;
        lines.removeAll(line);
        return lines;
    };
    auto replaced = [&](const QString &line, const QString &by) {
        QStringList lines = good;
        lines.replace(lines.indexOf(line), by);
        return lines;
    };

    QTest::newRow("missing [General] header")
        << without("[General]") << int(TOption::GeneralList) << generalDefaults << "[General]";
    QTest::newRow("missing [Main] header")
        << without("[Main]") << int(TOption::MainList) << mainDefaults << "[Main]";
    QTest::newRow("missing [Editor] header")
        << without("[Editor]") << int(TOption::EditorList) << editorDefaults << "[Editor]";
    QTest::newRow("missing [Editor] header: port settings end at its keys")
        << without("[Editor]") << int(TOption::TransferList) << good.mid(18, 3) << "[Editor]";
    QTest::newRow("missing [Transfer] header")
        << without("[Transfer]") << int(TOption::TransferList)
        << customFileLines().mid(customFileLines().indexOf("[Transfer]") + 1, 3) << "[Transfer]";
    QTest::newRow("missing [WindowsSize] header")
        << without("[WindowsSize]") << int(TOption::WindowsSizeList) << sizeDefaults
        << "[WindowsSize]";
    QTest::newRow("missing ExtList line: the others keep their values")
        << without("ExtList=*.nc,\"*.my ext\",*.*") << int(TOption::MainList)
        << QStringList{"D:\\Parts=2024\\Lathe", mainDefaults.at(1), "*.my ext", "14"}
        << "[Main] ExtList";
    QTest::newRow("missing last general line")
        << without("FolderList=LATHE,MILL=2") << int(TOption::GeneralList)
        << (customGeneralValues.mid(0, 10) << generalDefaults.at(10)) << "[General] FolderList";
    QTest::newRow("font not a number")
        << replaced("Font=14", "Font=big") << int(TOption::MainList)
        << QStringList{"D:\\Parts=2024\\Lathe", "*.nc,\"*.my ext\",*.*", "*.my ext", "12"}
        << "[Main] Font";
    QTest::newRow("check flags not a number")
        << replaced("Check=245", "Check=x1") << int(TOption::GeneralList)
        << (QStringList{"0"} << customGeneralValues.mid(1)) << "[General] Check";
    QTest::newRow("empty language name")
        << replaced("Language=简体中文", "Language=") << int(TOption::GeneralList)
        << (QStringList{"245", "English"} << customGeneralValues.mid(2)) << "[General] Language";
    QTest::newRow("too few colours")
        << replaced("Color=" + QStringList(26, "$00FF00FF").join(u','), "Color=clRed,clBlue")
        << int(TOption::EditorList) << QStringList{"16", "3", editorDefaults.at(2)}
        << "[Editor] Color";
    QTest::newRow("main size with too few numbers")
        << replaced("1000,700,300,280,400,300,90,120,80,200,30", "1000,700")
        << int(TOption::WindowsSizeList)
        << QStringList{sizeDefaults.at(0), "600,550", "900,500,81,81,81,81,81,81,81,81,81,81",
                       "800,600", "1000,600,300,500"}
        << "window size 0";
    QTest::newRow("editor size not a number")
        << replaced("800,600", "800,abc") << int(TOption::WindowsSizeList)
        << QStringList{"1000,700,300,280,400,300,90,120,80,200,30", "600,550",
                       "900,500,81,81,81,81,81,81,81,81,81,81", sizeDefaults.at(3),
                       "1000,600,300,500"}
        << "window size 3";
    QTest::newRow("negative size")
        << replaced("1000,600,300,500", "1000,-600,300,500") << int(TOption::WindowsSizeList)
        << QStringList{"1000,700,300,280,400,300,90,120,80,200,30", "600,550",
                       "900,500,81,81,81,81,81,81,81,81,81,81", "800,600", sizeDefaults.at(4)}
        << "window size 4";
    QTest::newRow("file cut after two slots")
        << good.mid(0, good.indexOf("600,550") + 1) << int(TOption::WindowsSizeList)
        << QStringList{"1000,700,300,280,400,300,90,120,80,200,30", "600,550", sizeDefaults.at(2),
                       sizeDefaults.at(3), sizeDefaults.at(4)}
        << "window size 2";
    QTest::newRow("file cut inside [General]")
        << good.mid(0, good.indexOf("Source=40")) << int(TOption::GeneralList)
        << (customGeneralValues.mid(0, 3) << generalDefaults.mid(3)) << "[General] Source";
    QTest::newRow("empty file") << QStringList() << int(TOption::EditorList) << editorDefaults
                                << "[Editor]";

    // Sizes beyond any screen would cost gigabytes of window buffer.
    const QStringList goodSizes = good.mid(26, 5);
    auto sizesWith = [&](int slot, const QString &text) {
        return replaced(goodSizes.at(slot), text);
    };
    auto sizesExpected = [&](int slot) {
        QStringList sizes = goodSizes;
        sizes[slot] = sizeDefaults.at(slot);
        return sizes;
    };
    QTest::newRow("main size far beyond any screen")
        << sizesWith(0, "999999999,999999999,300,280,400,300,90,120,80,200,30")
        << int(TOption::WindowsSizeList) << sizesExpected(0) << "window size 0";
    QTest::newRow("editor 60000 x 60000")
        << sizesWith(3, "60000,60000") << int(TOption::WindowsSizeList) << sizesExpected(3)
        << "window size 3";
    QTest::newRow("column wider than any screen")
        << sizesWith(2, "900,500,81,81,81,81,81,81,81,81,81,99999") << int(TOption::WindowsSizeList)
        << sizesExpected(2) << "window size 2";

    // A stray [WindowsSize] line inside [Transfer] must not take the sections after it.
    QStringList stray = good;
    stray.insert(good.indexOf("[Transfer]") + 2, "[WindowsSize]");
    QTest::newRow("stray [WindowsSize] in [Transfer]: ports")
        << stray << int(TOption::TransferList) << good.mid(18, 3) << "stray line [WindowsSize]";
    QTest::newRow("stray [WindowsSize] in [Transfer]: sizes")
        << stray << int(TOption::WindowsSizeList) << goodSizes << "stray line [WindowsSize]";

    QStringList ports = good.mid(18, 3);
    ports[1] = PortSetting::join(QStringList{"NewName", "ttyS0", "9600"} +
                                 PortSetting::split(PortSetting::defaultLine()).mid(3, 4));
    QTest::newRow("short port line takes the default fields")
        << replaced(good.at(19), "NewName,ttyS0,9600") << int(TOption::TransferList) << ports
        << "port setting \"NewName,ttyS0,9600\" (too few fields)";
}

void TestOption::sizeFromLargerScreenShrinks_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("fitted");
    QTest::newRow("main window maximised on 2560 x 1440")
        << 0 << "2560,1400,300,280,400,300,90,120,80,200,30"
        << "1920,1040,300,280,400,300,90,120,80,200,30";
    QTest::newRow("height one past the work area") << 4 << "1000,1041,300,500"
                                                   << "1000,1040,300,500";
    QTest::newRow("column of a wide screen") << 2 << "900,500,81,81,81,81,81,81,81,81,81,2400"
                                             << "900,500,81,81,81,81,81,81,81,81,81,1920";
}

// Settings saved on a larger screen (a laptop off its dock, a remote session) are no damage:
// the sizes shrink to this work area without a message, and the column widths stay.
void TestOption::sizeFromLargerScreenShrinks()
{
    QFETCH(int, slot);
    QFETCH(QString, saved);
    QFETCH(QString, fitted);
    QStringList lines = customFileLines();
    const QStringList goodSizes = lines.mid(26, 5);
    lines[26 + slot] = saved;
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    writeBytes(base + "Option.ini", iniBytes(lines));
    TOption option(base, workArea, "English");
    QCOMPARE(option.damageMessage(), QString());
    QStringList expected = goodSizes;
    expected[slot] = fitted;
    QCOMPARE(option.getOptionList(TOption::WindowsSizeList), expected);
}

void TestOption::damagedFileFallsBack()
{
    QFETCH(QStringList, lines);
    QFETCH(int, list);
    QFETCH(QStringList, expected);
    QFETCH(QString, named);

    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    writeBytes(base + "Option.ini", iniBytes(lines));
    TOption option(base, workArea, "English");

    QCOMPARE(option.getOptionList(list), expected);
    const QString message = option.damageMessage();
    QVERIFY2(message.contains(QDir::toNativeSeparators(base + "Option.ini")), qPrintable(message));
    QVERIFY2(message.contains(named), qPrintable(message));

    // Whatever was damaged, every list has the entries its readers index.
    QCOMPARE(option.getOptionList(TOption::MainList).size(), 4);
    QCOMPARE(option.getOptionList(TOption::GeneralList).size(), 11);
    QCOMPARE(option.getOptionList(TOption::EditorList).size(), 3);
    const int fields[] = {11, 2, 12, 2, 4};
    for (int slot = 0; slot < TOption::SlotCount; ++slot) {
        const QStringList numbers = CommaText::read(option.getWindowsSize(slot));
        QVERIFY(numbers.size() >= fields[slot]);
        for (const QString &n : numbers) {
            bool ok = false;
            QVERIFY(n.toInt(&ok) >= 0 && ok);
        }
    }
    bool flagsOk = false;
    option.getOptionList(TOption::GeneralList).at(0).toInt(&flagsOk);
    QVERIFY(flagsOk);

    // The repaired settings are written whole and read back without complaint.
    QVERIFY(option.SaveOption());
    TOption again(base, workArea, "English");
    QVERIFY2(again.damageMessage().isEmpty(), qPrintable(again.damageMessage()));
    QCOMPARE(again.getOptionList(list), expected);
    // ... and the next save is a fixed point (a damaged file once grew at every save).
    const QByteArray repaired = fileBytes(base + "Option.ini");
    QVERIFY(again.SaveOption());
    QCOMPARE(fileBytes(base + "Option.ini"), repaired);
}

void TestOption::missingEndMarkerIsNoDamage()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QStringList lines = customFileLines();
    lines.removeLast();
    writeBytes(base + "Option.ini", iniBytes(lines));
    TOption option(base, workArea, "English");
    QVERIFY(option.damageMessage().isEmpty());
    QCOMPARE(option.getOptionList(TOption::WindowsSizeList), customFileLines().mid(26, 5));
}

// A one-letter typo in a header once erased a shop's port settings at the next close: the
// records stay, and the user's own file is kept beside the new one, named in the message.
void TestOption::damagedFileIsKept()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QStringList lines = customFileLines();
    const int header = int(lines.indexOf("[Transfer]"));
    lines[header] = "[Transfr]";
    const QStringList ports = lines.mid(header + 1, 3);
    const QByteArray original = iniBytes(lines);
    writeBytes(base + "Option.ini", original);
    TOption option(base, workArea, "English");
    QCOMPARE(option.getOptionList(TOption::TransferList), ports);
    QCOMPARE(option.getOptionList(TOption::GeneralList), customGeneralValues);

    const QStringList kept = QDir(base).entryList({"Option.ini.damaged-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY2(
        QRegularExpression("^Option\\.ini\\.damaged-\\d{8}-\\d{6}$").match(kept.first()).hasMatch(),
        qPrintable(kept.first()));
    QCOMPARE(fileBytes(base + kept.first()), original);
    QCOMPARE(option.keptFile(), base + kept.first());
    QVERIFY2(option.damageMessage().contains(QDir::toNativeSeparators(base + kept.first())),
             qPrintable(option.damageMessage()));

    QVERIFY(option.SaveOption());
    TOption again(base, workArea, "English");
    QCOMPARE(again.getOptionList(TOption::TransferList), ports);
    QVERIFY(again.keptFile().isEmpty());
    // A second damaged start in the same second keeps its own copy.
    writeBytes(base + "Option.ini", original);
    TOption third(base, workArea, "English");
    TOption fourth(base, workArea, "English");
    QCOMPARE(QDir(base).entryList({"Option.ini.damaged-*"}, QDir::Files).size(), 3);
}

void TestOption::unreadableFileGivesDefaults()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QVERIFY(QDir(base).mkdir("Option.ini"));
    TOption option(base, workArea, "English");
    QVERIFY(!option.damageMessage().isEmpty());
    QCOMPARE(option.getOptionList(TOption::MainList), Defaults::mainWindowList(workArea).mid(0, 4));
    QCOMPARE(option.getOptionList(TOption::TransferList), QStringList{PortSetting::defaultLine()});
}

void TestOption::failedWriteKeepsOldFile()
{
    // The target is a folder holding a file: the write must fail and leave both as they were.
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QVERIFY(QDir(base).mkpath("Option.ini"));
    writeBytes(base + "Option.ini/keep.txt", "keep");
    TOption option(base, workArea, "English");
    QVERIFY(!option.SaveOption());
    QVERIFY(option.saveError().contains("Option.ini"));
    QCOMPARE(fileBytes(base + "Option.ini/keep.txt"), QByteArray("keep"));
    QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"Option.ini"});
}

#ifdef Q_OS_UNIX
void TestOption::failedWriteMidFileKeepsOldFile()
{
    // A file-size limit makes the write itself fail, as a full disk would; root is not exempt.
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    const QByteArray old = iniBytes(customFileLines());
    writeBytes(base + "Option.ini", old);
    TOption option(base, workArea, "English");
    QStringList main = option.getOptionList(TOption::MainList);
    main[0] = QString(4000, u'x');
    option.setOptionList(TOption::MainList, main);

    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 512;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool savedOk = option.SaveOption();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QVERIFY(!savedOk);
    QVERIFY(!option.saveError().isEmpty());
    QCOMPARE(fileBytes(base + "Option.ini"), old);
    QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"Option.ini"});
    QVERIFY(option.SaveOption());
    QVERIFY(fileBytes(base + "Option.ini").contains(QByteArray(4000, 'x')));
}
#endif

void TestOption::windowSizeSlots()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    TOption option(base, workArea, "English");
    option.setWindowsSize(TOption::EditorSlot, "640,480");
    QCOMPARE(option.getWindowsSize(TOption::EditorSlot), "640,480");
    QCOMPARE(option.getOptionList(TOption::WindowsSizeList).at(3), "640,480");

    option.setOptionList(TOption::WindowsSizeList, {});
    QCOMPARE(option.getWindowsSize(TOption::AutoModeSlot), Defaults::autoModeSize(workArea));
    option.setWindowsSize(TOption::TransferSlot, "1,2,3,4,5,6,7,8,9,10,11,12");
    QCOMPARE(
        option.getOptionList(TOption::WindowsSizeList),
        (QStringList{Defaults::mainWindowSize(workArea), "600,550", "1,2,3,4,5,6,7,8,9,10,11,12"}));
}

void TestOption::languageFromGeneralList()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QVERIFY(QDir(base).mkdir("language"));
    writeBytes(base + "language/English.ini",
               "[Main]\nNCFerry\nTransfer\nSettings\nSend\n[General]\n[Transfer]\n[TransferFile]"
               "\n[ReceiveFile]\n[AutoMode]\n[Viewer]\n[Editor]\n[About]\n[End]\n");
    TOption option(base, workArea, "English");
    QCOMPARE(option.getLanguageList(LanguagePack::Main).at(3), "Send");
    // The short sections keep the built-in captions, and one message says so.
    QCOMPARE(option.getLanguageList(LanguagePack::Main).at(4), LanguagePack::builtIn(0).at(4));
    QCOMPARE(option.getLanguageList(LanguagePack::Viewer), LanguagePack::builtIn(6));
    QVERIFY(option.languageMessage().contains("[Viewer]"));

    QStringList general = option.getOptionList(TOption::GeneralList);
    general[TOption::LanguageEntry] = "Nowhere";
    option.setOptionList(TOption::GeneralList, general);
    option.LoadLanguage();
    QCOMPARE(option.getLanguageList(LanguagePack::Main), LanguagePack::builtIn(0));
    QVERIFY(option.languageMessage().contains("Nowhere.ini"));
}

void TestOption::damageToldInThePacksWords()
{
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    QVERIFY(QDir(base).mkdir("language"));
    QStringList main = LanguagePack::builtIn(LanguagePack::Main);
    main[32] = "坏了 %1：%2";
    main[33] = "读不了 %1（%2）";
    main[35] = "留在 %1。";
    writeBytes(base + "language/简体中文.ini",
               ("[Main]\n" + main.join('\n') +
                "\n[General]\n[Transfer]\n[TransferFile]\n"
                "[ReceiveFile]\n[AutoMode]\n[Viewer]\n[Editor]\n[About]\n[End]\n")
                   .toUtf8());
    const QString path = QDir::toNativeSeparators(base + "Option.ini");
    QStringList lines = customFileLines();
    lines.replace(lines.indexOf("800,600"), "800,abc");
    writeBytes(base + "Option.ini", iniBytes(lines));
    {
        TOption option(base, workArea, "English");
        QCOMPARE(option.damageMessage(), "坏了 " + path + "：window size 3 (editor) 留在 " +
                                             QDir::toNativeSeparators(option.keptFile()) + "。");
    }
    QVERIFY(QFile::remove(base + "Option.ini"));
    QVERIFY(QDir(base).mkdir("Option.ini"));
    TOption option(base, workArea, "简体中文");
    QVERIFY2(option.damageMessage().startsWith("读不了 " + path + "（"),
             qPrintable(option.damageMessage()));
    QVERIFY(!option.damageMessage().contains("cannot be read"));
}

QTEST_GUILESS_MAIN(TestOption)
#include "tst_option.moc"
