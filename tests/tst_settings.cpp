#include "core/programstate.h"
#include "core/settings.h"
#include "core/winver.h"
#include "platform/profilestore.h"
#include "sandbox.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void missingFileReadsDefaultsAndCreatesNothing();
    void theFirstWriteMakesAMissingSettingsFolder();
    void matchesSectionsAndKeysWithoutCase();
    void stripsTrailingBlanksOfTheDefaultOnly();
    void cutsLongValuesAt255BytesOnACharacterBoundary();
    void writeKeepsOtherLinesAndComments();
    void writeAddsKeysAndSectionsWhereMissing();
    void firstDuplicateWins();
    void writeToReadOnlyFileChangesNothing();
    void newSectionAfterABareCarriageReturnStartsItsOwnLine();
    void updateWritesAllOrNothing();
    void favouriteCount_data();
    void favouriteCount();
    void platformName_data();
    void platformName();
};

void SettingsTest::newSectionAfterABareCarriageReturnStartsItsOwnLine()
{
    // A file whose last line ends in a lone carriage return gets a line end before a new section.
    Sandbox sandbox;
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", "[PATT]\r\nTYPE=*GIF\r\n[SET]\r"));
    const ProfileStore &profile = sandbox.context->profile;
    QVERIFY(profile.write("FAV2", "CNT", "4"));
    QCOMPARE(profile.read("FAV2", "CNT", "?"), QStringLiteral("4"));
    QCOMPARE(profile.read("PATT", "TYPE", "?"), QStringLiteral("*GIF"));
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), QByteArray("[PATT]\r\nTYPE=*GIF\r\n[SET]\r\n[FAV2]\r\nCNT=4\r\n"));
}

void SettingsTest::updateWritesAllOrNothing()
{
    // An update sees its own writes, lands in one step, and an aborted one leaves the file as it was.
    Sandbox sandbox;
    const ProfileStore &profile = sandbox.context->profile;
    QVERIFY(profile.update([](ProfileStore::Transaction &file) {
        file.write("FAV", "FAV0", "C:\\a");
        file.write("FAV2", "CNT", "0");
        return file.read("FAV", "FAV0", "?") == QLatin1String("C:\\a");
    }));
    const QByteArray written = sandbox.readFile("config/VoDaRadezu.INI");
    QVERIFY(!profile.update([](ProfileStore::Transaction &file) {
        file.write("FAV", "FAV0", "C:\\b");
        return false;
    }));
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), written);
    QCOMPARE(profile.read("FAV", "FAV0", "?"), QStringLiteral("C:\\a"));
}

void SettingsTest::missingFileReadsDefaultsAndCreatesNothing()
{
    // Without a settings file every key reads its default and no file appears.
    Sandbox sandbox;
    const ProfileStore &profile = sandbox.context->profile;
    QCOMPARE(ReadSetting(profile, "PATT", "TYPE", "*wmf;*ICO;*.CUR;*.BMP;*.jpg;*.gif"),
             QStringLiteral("*wmf;*ICO;*.CUR;*.BMP;*.jpg;*.gif"));
    ProgramState state;
    ReadFavouriteSettings(profile, state);
    QCOMPARE(state.FavCount, 0);
    QCOMPARE(state.FavPath[0], QString());
    QVERIFY(!QFileInfo::exists(sandbox.settingsPath()));
}

void SettingsTest::matchesSectionsAndKeysWithoutCase()
{
    // Sections and keys match whatever their letter case; blanks around values go.
    Sandbox sandbox;
    QFile file(sandbox.settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[patt]\r\n type = *BMP;*JPG \r\n[Fav]\r\nfav0=C:\\写真\r\n");
    file.close();
    const ProfileStore &profile = sandbox.context->profile;
    QCOMPARE(ReadSetting(profile, "PATT", "TYPE", "x"), QStringLiteral("*BMP;*JPG"));
    QCOMPARE(ReadSetting(profile, "FAV", "FAV0", " "), QStringLiteral("C:\\写真"));
    QCOMPARE(ReadSetting(profile, "FAV", "FAV1", " "), QString());
}

void SettingsTest::stripsTrailingBlanksOfTheDefaultOnly()
{
    // A default of " " reads as empty; a stored value never ends in filler.
    Sandbox sandbox;
    const ProfileStore &profile = sandbox.context->profile;
    QCOMPARE(ReadSetting(profile, "FAV", "FAV3", " "), QString());
    QCOMPARE(ReadSetting(profile, "X", "Y", "a b  "), QStringLiteral("a b"));
    WriteSetting(profile, "FAV", "FAV0", "D:\\pics");
    const QString value = ReadSetting(profile, "FAV", "FAV0", " ");
    QCOMPARE(value, QStringLiteral("D:\\pics"));
    QVERIFY(!value.contains(QChar(0)));
}

void SettingsTest::cutsLongValuesAt255BytesOnACharacterBoundary()
{
    // A 300-byte value comes back as its first 255 bytes, never half a character.
    Sandbox sandbox;
    const ProfileStore &profile = sandbox.context->profile;
    WriteSetting(profile, "FAV", "FAV0", QString(300, QLatin1Char('a')));
    QCOMPARE(ReadSetting(profile, "FAV", "FAV0", " ").size(), 255);
    WriteSetting(profile, "FAV", "FAV1", QString(100, QChar(0x5199))); // 3 bytes each
    const QString japanese = ReadSetting(profile, "FAV", "FAV1", " ");
    QCOMPARE(japanese, QString(85, QChar(0x5199)));
    QCOMPARE(ProfileStore::cutUtf8("ab\xc3\xa9", 3), QByteArray("ab"));
}

void SettingsTest::writeKeepsOtherLinesAndComments()
{
    // A write replaces one value and leaves every other line as it was.
    Sandbox sandbox;
    QFile file(sandbox.settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("; my comment\r\n[SET]\r\nHD_DRV=D:\r\nOther=1\r\n\r\n[FAV2]\r\nCNT=4\r\n");
    file.close();
    WriteSetting(sandbox.context->profile, "set", "hd_drv", "C:");
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"),
             QByteArray("; my comment\r\n[SET]\r\nhd_drv=C:\r\nOther=1\r\n\r\n[FAV2]\r\nCNT=4\r\n"));
}

void SettingsTest::writeAddsKeysAndSectionsWhereMissing()
{
    // The first write creates the file; new keys go to the end of their section.
    Sandbox sandbox;
    const ProfileStore &profile = sandbox.context->profile;
    WriteSetting(profile, "FAV", "FAV0", "C:\\a");
    WriteSetting(profile, "FAV2", "CNT", "0");
    WriteSetting(profile, "FAV", "FAV1", "C:\\b");
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"),
             QByteArray("[FAV]\r\nFAV0=C:\\a\r\nFAV1=C:\\b\r\n[FAV2]\r\nCNT=0\r\n"));
    WriteSetting(profile, "FAV", "FAV2", "line\nbreak");
    QCOMPARE(ReadSetting(profile, "FAV", "FAV2", " "), QStringLiteral("line"));
    QCOMPARE(ReadSetting(profile, "FAV2", "CNT", "9"), QStringLiteral("0"));
}

void SettingsTest::firstDuplicateWins()
{
    // Of duplicated sections and keys the first one is read and written.
    Sandbox sandbox;
    QFile file(sandbox.settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[FAV]\nFAV0=first\nFAV0=second\n[FAV]\nFAV1=hidden\n");
    file.close();
    const ProfileStore &profile = sandbox.context->profile;
    QCOMPARE(ReadSetting(profile, "FAV", "FAV0", " "), QStringLiteral("first"));
    QCOMPARE(ReadSetting(profile, "FAV", "FAV1", " "), QString());
    WriteSetting(profile, "FAV", "FAV0", "new");
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), QByteArray("[FAV]\nFAV0=new\nFAV0=second\n[FAV]\nFAV1=hidden\n"));
}

void SettingsTest::writeToReadOnlyFileChangesNothing()
{
    // A read-only settings file is left exactly as it was.
    Sandbox sandbox;
    QFile file(sandbox.settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[FAV2]\nCNT=1\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QVERIFY(!sandbox.context->profile.write("FAV2", "CNT", "2"));
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), QByteArray("[FAV2]\nCNT=1\n"));
}

void SettingsTest::theFirstWriteMakesAMissingSettingsFolder()
{
    // A fresh account without the settings folder: the first write makes it, private to the user, and the file.
    Sandbox sandbox;
    ProfileStore fresh(sandbox.path("home/.config/VoDaRadezu.INI"));
    QVERIFY(fresh.write("FAV2", "CNT", "2"));
    QCOMPARE(fresh.read("FAV2", "CNT", "?"), QStringLiteral("2"));
    for (const char *folder : {"home", "home/.config"}) {
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(sandbox.path(folder)).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
    }
    // A folder that cannot be made (a file stands in its way) leaves the write undone.
    QVERIFY(sandbox.writeFile("blocked", "x"));
    QVERIFY(!ProfileStore(sandbox.path("blocked/config/VoDaRadezu.INI")).write("FAV2", "CNT", "2"));
}

void SettingsTest::favouriteCount_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("countText");
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("CNT 0 without FAV0") << QByteArray("[FAV2]\nCNT=0\n") << 0 << "0" << QStringList{""};
    QTest::newRow("CNT 0 with FAV0") << QByteArray("[FAV2]\nCNT=0\n[FAV]\nFAV0=C:\\a\n") << 0 << "0"
                                     << QStringList{"C:\\a"};
    QTest::newRow("CNT 2 with a leftover FAV3")
        << QByteArray("[FAV2]\nCNT=2\n[FAV]\nFAV0=C:\\a\nFAV1=C:\\b\nFAV2=C:\\c\nFAV3=C:\\d\n") << 2 << "2"
        << QStringList{"C:\\a", "C:\\b", "C:\\c", ""};
    QTest::newRow("CNT -4") << QByteArray("[FAV2]\nCNT=-4\n[FAV]\nFAV0=C:\\a\n") << 0 << "0"
                            << QStringList{"C:\\a", ""};
    QTest::newRow("CNT abc") << QByteArray("[FAV2]\nCNT=abc\n") << 0 << "0" << QStringList{"", ""};
    QTest::newRow("CNT 45 reads 31 slots") << QByteArray("[FAV2]\nCNT=45\n[FAV]\nFAV30=C:\\z\nFAV31=C:\\y\n") << 30
                                           << "45" << QStringList{};
    QTest::newRow("CNT too long for a number reads 31 slots")
        << QByteArray("[FAV2]\nCNT=123456789012345678901234567890\n[FAV]\nFAV30=C:\\z\n") << 30
        << "123456789012345678901234567890" << QStringList{};
    QTest::newRow("CNT negative and too long") << QByteArray("[FAV2]\nCNT=-123456789012345678901234567890\n") << 0
                                               << "0" << QStringList{""};
}

void SettingsTest::favouriteCount()
{
    // The stored count is corrected to "0" when negative or not a number.
    QFETCH(QByteArray, file);
    QFETCH(int, count);
    QFETCH(QString, countText);
    QFETCH(QStringList, paths);
    Sandbox sandbox;
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", file));
    ProgramState state;
    ReadFavouriteSettings(sandbox.context->profile, state);
    QCOMPARE(int(state.FavCount), count);
    QCOMPARE(state.FavCntText, countText);
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(state.FavPath[i], paths[i]);
    if (count == 30)
        QCOMPARE(state.FavPath[30], QStringLiteral("C:\\z"));
}

void SettingsTest::platformName_data()
{
    QTest::addColumn<uint>("platformId");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<QString>("name");
    QTest::newRow("3.1") << 0u << 3u << 10u << "Windows 3.1";
    QTest::newRow("95 line") << 1u << 4u << 90u << "Windows 95";
    QTest::newRow("NT 4.0") << 2u << 4u << 0u << "Windows NT 4.0";
    QTest::newRow("NT 3.51") << 2u << 3u << 51u << "Windows NT 3.51";
    QTest::newRow("5.0") << 2u << 5u << 0u << "Windows 2000";
    QTest::newRow("5.1") << 2u << 5u << 1u << "Windows 2000";
    QTest::newRow("6.0") << 2u << 6u << 0u << "Windows 2000";
    QTest::newRow("identifier 3") << 3u << 10u << 0u << "";
}

void SettingsTest::platformName()
{
    // The platform name follows the version record's table.
    QFETCH(uint, platformId);
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(QString, name);
    VersionRecord record;
    record.platformId = platformId;
    record.majorVersion = major;
    record.minorVersion = minor;
    QCOMPARE(GetPlatformName(record), name);
    QCOMPARE(GetPlatformName(PlatformContext().version), QStringLiteral("Windows 2000"));
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
