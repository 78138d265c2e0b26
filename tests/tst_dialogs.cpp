#include "about/aboutbox.h"
#include "app/mainwindow.h"
#include "catalogue/catalogue.h"
#include "catalogue/stopbox.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "favourites/commands.h"
#include "files/filelist.h"
#include "platform/twips.h"
#include "loadedwindow.h"
#include "widgets/commandtoolbar.h"
#include "sandbox.h"
#include "settings/settingsdialog.h"
#include "tree/keyedtree.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QAccessible>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    SettingsDialog *openSettings()
    {
        form.settingsAction->trigger();
        return form.commands()->settingsDialog();
    }
    QStringList menu() const { return VisibleFavourites(form); }
};

QString stored(Sandbox &sandbox, const QString &section, const QString &key)
{
    return ReadSetting(sandbox.context->profile, section, key, QStringLiteral("<none>"));
}

QStringList lines(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

void storeFavourites(Sandbox &sandbox, const QStringList &paths)
{
    QByteArray text = "[FAV]\n";
    for (int i = 0; i < paths.size(); ++i)
        text += QStringLiteral("FAV%1=%2\n").arg(i).arg(paths[i]).toUtf8();
    text += QStringLiteral("[FAV2]\nCNT=%1\n").arg(paths.size() - 1).toUtf8();
    sandbox.writeFile("config/VoDaRadezu.INI", text);
}

const QStringList Five{"C:\\a", "C:\\b", "C:\\c", "C:\\d", "C:\\e"};

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void patterns_data();
    void patterns();
    void noSettingsFileTicksEveryBox();
    void applyWritesTypesAndEmptiesTheList();
    void cancelKeepsWhatApplyWrote();
    void placedByTheMainWindowSizeOnly();
    void favouritesPageOpensOnTheList();
    void emptyFavouritesPage();
    void deletingTwoOfFiveThenOk();
    void twoSingleDeletionsThenOk();
    void deleteAllThenOk();
    void deleteThenCancelChangesNothing();
    void openingAFavouriteHidesTheDialog();
    void favouriteAddedWhileHiddenSurvivesADeletion();
    void favouriteAddedWhileShownAgainSurvivesADeletion();
    void aboutBoxPlacementAndTexts();
    void aboutBoxOfAHugeMainWindowStaysOnScreen();
    void escapeAndFixedSizes();
    void aboutBoxOkBringsTheMainWindowBack();
    void systemInformationTool();
    void screenReadersHearNamesAndDialogs();
};

void DialogsTest::patterns_data()
{
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("the first six") << "1111110000000" << "*ICO;*BMP;*JPG;*.JPEG;*.JPE;*.JFIF;*GIF;*WMF;*CUR";
    QTest::newRow("all") << "1111111111111"
                         << "*ICO;*BMP;*JPG;*.JPEG;*.JPE;*.JFIF;*GIF;*WMF;*CUR;*.PNG;*.WEBP;*.TIF;*.TIFF;*.HEIC;*.HEIF;*.AVIF;"
                            "*.JXL;*.SVG";
    QTest::newRow("none") << "0000000000000" << "*.*KUROE";
    QTest::newRow("bitmap only") << "0100000000000" << "*BMP";
    QTest::newRow("bitmap cursor png") << "0100011000000" << "*BMP;*CUR;*.PNG";
    QTest::newRow("heif only") << "0000000001000" << "*.HEIC;*.HEIF";
    QTest::newRow("gif svg") << "0001000000001" << "*GIF;*.SVG";
}

void DialogsTest::patterns()
{
    // The ticked boxes give their pieces in box order; none gives a pattern nothing matches.
    QFETCH(QString, ticked);
    QFETCH(QString, pattern);
    std::array<bool, PictureTypes::Count> boxes{};
    for (int i = 0; i < PictureTypes::Count; ++i)
        boxes[i] = ticked[i] == QLatin1Char('1');
    QCOMPARE(SettingsDialog::PatternFor(boxes), pattern);
}

void DialogsTest::noSettingsFileTicksEveryBox()
{
    // Without a settings file every box is ticked, with its caption; the new types stand in a second frame.
    Sandbox sandbox;
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    for (QCheckBox *box : dialog->typeBoxes)
        QVERIFY(box->isChecked());
    QCOMPARE(dialog->typeBoxes[4]->text(), QStringLiteral("　メタファイル"));
    QCOMPARE(dialog->typeLabels[4]->text(), QStringLiteral("(　*.wmf　)"));
    QCOMPARE(dialog->typeBoxes[6]->text(), QStringLiteral("　PNGファイル"));
    QCOMPARE(dialog->typeLabels[6]->text(), QStringLiteral("(　*.PNG　)"));
    QCOMPARE(dialog->typeBoxes[6]->parentWidget(), dialog->otherTypesFrame);
    QCOMPARE(dialog->typeBoxes[5]->parentWidget(), dialog->typesFrame);
    QCOMPARE(dialog->typesFrame->title(), QStringLiteral("　表示するｲﾒｰｼﾞﾀｲﾌﾟ　"));
    QVERIFY(!QFile::exists(sandbox.settingsPath()));
}

void DialogsTest::applyWritesTypesAndEmptiesTheList()
{
    // Clearing every box and applying stores *.*KUROE, "0" boxes and HD_DRV "C:"; the next load is empty.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    QImage(4, 4, QImage::Format_RGB32).save(sandbox.onC("pics/a.bmp"), "BMP");
    sandbox.writeFile("config/VoDaRadezu.INI", "[SET]\nHD_DRV=D:\n");
    Browser browser(sandbox);
    browser.form.fileList->setPath("C:\\pics");
    QCOMPARE(browser.state.ThumbCount, 1);
    SettingsDialog *dialog = browser.openSettings();
    for (QCheckBox *box : dialog->typeBoxes)
        box->setChecked(false);
    dialog->dialogButtons[2]->click();
    QVERIFY(dialog->isVisible());
    QVERIFY(!browser.form.isEnabled());
    QCOMPARE(stored(sandbox, "PATT", "TYPE"), QStringLiteral("*.*KUROE"));
    for (int i = 0; i < PictureTypes::Count; ++i)
        QCOMPARE(stored(sandbox, "CHKBOX", QStringLiteral("TYPE%1").arg(i)), QStringLiteral("0"));
    QCOMPARE(stored(sandbox, "SET", "HD_DRV"), QStringLiteral("C:"));
    dialog->dialogButtons[0]->click();
    QVERIFY(browser.form.isEnabled());
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.state.ThumbCount, 0);

    // The boxes are read back at the next opening.
    dialog = browser.openSettings();
    dialog->typeBoxes[1]->setChecked(true);
    dialog->dialogButtons[0]->click();
    QCOMPARE(stored(sandbox, "PATT", "TYPE"), QStringLiteral("*BMP"));
    QCOMPARE(browser.form.fileList->pattern(), QStringLiteral("*BMP"));
    dialog = browser.openSettings();
    QVERIFY(dialog->typeBoxes[1]->isChecked());
    QVERIFY(!dialog->typeBoxes[0]->isChecked());
}

void DialogsTest::cancelKeepsWhatApplyWrote()
{
    // Cancel without Apply writes nothing; Cancel after Apply keeps what Apply wrote.
    Sandbox sandbox;
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    dialog->typeBoxes[0]->setChecked(false);
    dialog->dialogButtons[1]->click();
    QVERIFY(!QFile::exists(sandbox.settingsPath()));
    dialog = browser.openSettings();
    dialog->typeBoxes[0]->setChecked(false);
    dialog->dialogButtons[2]->click();
    dialog->typeBoxes[1]->setChecked(false);
    dialog->dialogButtons[1]->click();
    QCOMPARE(stored(sandbox, "PATT", "TYPE"), QStringLiteral("*BMP;*JPG;*.JPEG;*.JPE;*.JFIF;*GIF;*WMF;*CUR;*.PNG;*.WEBP;*.TIF;"
                                                             "*.TIFF;*.HEIC;*.HEIF;*.AVIF;*.JXL;*.SVG;*.DNG;*.CR2;*.CR3;*.CRW;"
                                                             "*.NEF;*.NRW;*.ARW;*.SRF;*.SR2;*.RAF;*.ORF;*.RW2;*.PEF;*.SRW;*.MRW;"
                                                             "*.3FR;*.ERF;*.KDC;*.DCR;*.MOS;*.IIQ;*.RWL;*.X3F"));
    QCOMPARE(stored(sandbox, "CHKBOX", "TYPE1"), QStringLiteral("1"));
}

void DialogsTest::placedByTheMainWindowSizeOnly()
{
    // The dialog opens at the same screen place for a given main-window size, wherever the main window is.
    Sandbox sandbox;
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    const double left = (browser.form.WindowWidth() - dialog->Width()) / 2;
    const double top = (browser.form.WindowHeight() - dialog->Height()) / 2;
    QCOMPARE(Twips::windowLeft(dialog), left);
    QCOMPARE(Twips::windowTop(dialog), top);
    dialog->dialogButtons[1]->click();
    browser.form.move(browser.form.pos() + QPoint(120, 90));
    dialog = browser.openSettings();
    QCOMPARE(Twips::windowLeft(dialog), left);
    QCOMPARE(Twips::windowTop(dialog), top);
}

void DialogsTest::favouritesPageOpensOnTheList()
{
    // Three favourites: three lines, the first selected, "登録数 3 個", "削除数 0 個", focus on Cancel.
    Sandbox sandbox;
    storeFavourites(sandbox, {"C:\\a", "C:\\b", "C:\\c"});
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    QCOMPARE(lines(dialog->favouritesList), (QStringList{"C:\\a", "C:\\b", "C:\\c"}));
    QCOMPARE(dialog->favouritesList->currentRow(), 0);
    QCOMPARE(dialog->countLabel->text(), QStringLiteral("登録数 3 個"));
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 0 個"));
    QCOMPARE(dialog->focusWidget(), dialog->dialogButtons[1]);
    QCOMPARE(browser.state.FavCount, std::int16_t(3));
    QVERIFY(dialog->favouritesList->isEnabled());
}

void DialogsTest::emptyFavouritesPage()
{
    // No favourites: one empty disabled line, "登録数 0 個", the three buttons disabled.
    Sandbox sandbox;
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    QCOMPARE(lines(dialog->favouritesList), QStringList{QString()});
    QVERIFY(!dialog->favouritesList->isEnabled());
    QCOMPARE(dialog->countLabel->text(), QStringLiteral("登録数 0 個"));
    for (QPushButton *button : dialog->favouriteButtons)
        QVERIFY(!button->isEnabled());
    QCOMPARE(browser.state.FavCount, std::int16_t(0));
}

void DialogsTest::deletingTwoOfFiveThenOk()
{
    // Deleting the 2nd and 3rd of five leaves three lines in order; OK renumbers the file and the menu.
    Sandbox sandbox;
    storeFavourites(sandbox, Five);
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouritesList->setCurrentRow(0);
    dialog->favouritesList->clearSelection();
    dialog->favouritesList->item(1)->setSelected(true);
    dialog->favouritesList->item(2)->setSelected(true);
    dialog->favouriteButtons[0]->click();
    QCOMPARE(lines(dialog->favouritesList), (QStringList{"C:\\a", "C:\\d", "C:\\e"}));
    QCOMPARE(lines(dialog->deletedList), (QStringList{"C:\\b", "C:\\c"}));
    QCOMPARE(dialog->countLabel->text(), QStringLiteral("登録数 3 個"));
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 2 個"));
    QCOMPARE(dialog->deletedLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(dialog->countLabel->palette().color(QPalette::WindowText), QColor(0, 192, 0));
    QCOMPARE(dialog->DeletedBase, std::int16_t(5));
    QCOMPARE(browser.menu().size(), 5);
    dialog->dialogButtons[0]->click();
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QStringLiteral("C:\\a"));
    QCOMPARE(stored(sandbox, "FAV", "FAV1"), QStringLiteral("C:\\d"));
    QCOMPARE(stored(sandbox, "FAV", "FAV2"), QStringLiteral("C:\\e"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("2"));
    QCOMPARE(browser.menu(), (QStringList{"C:\\a", "C:\\d", "C:\\e"}));
    QCOMPARE(browser.state.FavCount, std::int16_t(3));
    QCOMPARE(browser.form.favouriteEntries.size(), 3);
}

void DialogsTest::twoSingleDeletionsThenOk()
{
    // Two deletions of one line each, then OK: the menu holds exactly the remaining entries.
    Sandbox sandbox;
    storeFavourites(sandbox, Five);
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouriteButtons[0]->click();
    dialog->favouritesList->clearSelection();
    dialog->favouritesList->item(2)->setSelected(true);
    dialog->favouriteButtons[0]->click();
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 2 個"));
    dialog->dialogButtons[0]->click();
    QCOMPARE(browser.menu(), (QStringList{"C:\\b", "C:\\c", "C:\\e"}));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("2"));
}

void DialogsTest::deleteAllThenOk()
{
    // Delete all, then OK: CNT 0, FAV0 empty, no menu entry, FavCount 0.
    Sandbox sandbox;
    storeFavourites(sandbox, Five);
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouriteButtons[1]->click();
    QCOMPARE(dialog->favouritesList->count(), 0);
    QVERIFY(!dialog->favouritesList->isEnabled());
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 5 個"));
    dialog->dialogButtons[0]->click();
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("0"));
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QString());
    QCOMPARE(browser.menu(), QStringList());
    QCOMPARE(browser.state.FavCount, std::int16_t(0));

    // The next visit starts with nothing deleted, and an add after it starts the list again.
    dialog = browser.openSettings();
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 0 個"));
    QCOMPARE(dialog->deletedList->count(), 0);
}

void DialogsTest::deleteThenCancelChangesNothing()
{
    // Deletions wait for OK: Cancel leaves the file and the menu as they were.
    Sandbox sandbox;
    storeFavourites(sandbox, Five);
    const QByteArray before = sandbox.readFile("config/VoDaRadezu.INI");
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouriteButtons[1]->click();
    dialog->dialogButtons[1]->click();
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), before);
    QCOMPARE(browser.menu(), Five);
}

void DialogsTest::openingAFavouriteHidesTheDialog()
{
    // Double-clicking a line opens that favourite with the main window usable; the load that follows
    // closes the dialog with its stop box. Opening the folder on show only hides it, and the next
    // settings command shows it as it was.
    Sandbox sandbox;
    sandbox.makeFolder("c/a");
    sandbox.makeFolder("c/b");
    storeFavourites(sandbox, {"C:\\a", "C:\\b"});
    Browser browser(sandbox);
    browser.form.fileList->setPath("C:\\a");
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouriteButtons[0]->click();
    QCOMPARE(lines(dialog->favouritesList), QStringList{"C:\\b"});
    QListWidgetItem *line = dialog->favouritesList->item(0);
    const QPoint at = dialog->favouritesList->visualItemRect(line).center();
    QTest::mouseClick(dialog->favouritesList->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dialog->favouritesList->toolTip(), QStringLiteral("C:\\b"));
    QTest::mouseDClick(dialog->favouritesList->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(!dialog->isVisible());
    QVERIFY(browser.form.isEnabled());
    // Position 0 of the list is menu entry 0 while the deletion is pending: the folder on show.
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\a"));
    browser.form.organiseFavouritesAction->trigger();
    QCOMPARE(browser.form.commands()->settingsDialog(), dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->deletedLabel->text(), QStringLiteral("削除数 1 個"));

    dialog->favouriteButtons[1]->click();
    dialog->dialogButtons[1]->click();
    dialog = browser.openSettings();
    dialog->favouritesList->setCurrentRow(1);
    dialog->favouriteButtons[2]->click();
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\b"));
    QVERIFY(browser.form.isEnabled());
    QVERIFY(!browser.form.commands()->settingsDialog());
}

void DialogsTest::favouriteAddedWhileHiddenSurvivesADeletion()
{
    // A favourite added while the dialog is hidden joins its list, so applying a deletion keeps it.
    Sandbox sandbox;
    sandbox.makeFolder("c/a");
    sandbox.makeFolder("c/b");
    sandbox.makeFolder("c/new");
    storeFavourites(sandbox, {"C:\\a", "C:\\b"});
    Browser browser(sandbox);
    browser.form.fileList->setPath("C:\\b");
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouritesList->setCurrentRow(1);
    dialog->OpenSelectedFavourite();
    QVERIFY(browser.form.commands()->settingsDialog());
    browser.form.treeView->selectNode("C:\\new");
    browser.form.addFavouriteAction->trigger();
    QCOMPARE(browser.menu(), (QStringList{"C:\\a", "C:\\b", "C:\\new"}));
    browser.form.settingsAction->trigger();
    QCOMPARE(lines(dialog->favouritesList), (QStringList{"C:\\a", "C:\\b", "C:\\new"}));
    QCOMPARE(dialog->countLabel->text(), QStringLiteral("登録数 3 個"));
    dialog->favouritesList->clearSelection();
    dialog->favouritesList->item(0)->setSelected(true);
    dialog->favouriteButtons[0]->click();
    dialog->dialogButtons[0]->click();
    QCOMPARE(browser.menu(), (QStringList{"C:\\b", "C:\\new"}));
    QCOMPARE(stored(sandbox, "FAV", "FAV1"), QStringLiteral("C:\\new"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("1"));
}

void DialogsTest::favouriteAddedWhileShownAgainSurvivesADeletion()
{
    // The dialog shown again leaves the main window enabled; a favourite added then joins its list at once.
    Sandbox sandbox;
    for (const char *folder : {"c/a", "c/b", "c/new"})
        sandbox.makeFolder(folder);
    storeFavourites(sandbox, {"C:\\a", "C:\\b"});
    Browser browser(sandbox);
    browser.form.fileList->setPath("C:\\b");
    SettingsDialog *dialog = browser.openSettings();
    dialog->favouritesList->setCurrentRow(1);
    dialog->OpenSelectedFavourite();
    browser.form.settingsAction->trigger();
    QVERIFY(dialog->isVisible());
    QVERIFY(browser.form.isEnabled());
    browser.form.treeView->selectNode("C:\\new");
    browser.form.addFavouriteAction->trigger();
    QCOMPARE(lines(dialog->favouritesList), (QStringList{"C:\\a", "C:\\b", "C:\\new"}));
    dialog->favouritesList->clearSelection();
    dialog->favouritesList->item(0)->setSelected(true);
    dialog->favouriteButtons[0]->click();
    dialog->dialogButtons[0]->click();
    QCOMPARE(browser.menu(), (QStringList{"C:\\b", "C:\\new"}));
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QStringLiteral("C:\\b"));
    QCOMPARE(stored(sandbox, "FAV", "FAV1"), QStringLiteral("C:\\new"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("1"));
}

void DialogsTest::aboutBoxPlacementAndTexts()
{
    // A 5000 x 3000 box for a 9000 x 6000 main window stands at top 3300, left 4800; the version is the build's.
    Sandbox sandbox;
    Browser browser(sandbox);
    AboutBox box(browser.form.commands()->parts().aboutBox);
    Twips::setWindowSize(&box, 5000, 3000);
    browser.state.MainWindowHeight = 6000;
    browser.state.MainWindowWidth = 9000;
    sandbox.windows->calls.clear();
    QStringList textsWhileFading;
    sandbox.windows->onAnimate = [&](QWidget *window) {
        if (window == &box)
            textsWhileFading = {box.versionLabel->text(), box.descriptionLabel->text()};
    };
    box.Show();
    QVERIFY(textsWhileFading.value(0).startsWith(QStringLiteral("ﾊﾞｰｼﾞｮﾝ ")));
    QVERIFY(textsWhileFading.value(1) != QStringLiteral("コメント"));
    QCOMPARE(Twips::windowTop(&box), 3300.0);
    QCOMPARE(Twips::windowLeft(&box), 4800.0);
    QCOMPARE(box.windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(box.versionLabel->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3")
                                         .arg(KUROEVIEW_VERSION_MAJOR)
                                         .arg(KUROEVIEW_VERSION_MINOR)
                                         .arg(KUROEVIEW_VERSION_REVISION));
    QCOMPARE(AboutBox::VersionText(1, 4, 2), QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.4.2"));
    QVERIFY(box.descriptionLabel->text().endsWith(QStringLiteral("\r\n")));
    QCOMPARE(sandbox.windows->calls.first().what, QStringLiteral("animate"));
    QCOMPARE(sandbox.windows->calls.first().value, 300);
    QCOMPARE(sandbox.windows->calls.first().flags, 0xA0000u);
    QVERIFY(!browser.form.isEnabled());
}

void DialogsTest::aboutBoxOfAHugeMainWindowStaysOnScreen()
{
    // A main window wider and taller than 32767 twips: its size is not stored (the previous one stays, as the
    // 16-bit store that failed kept it), and the box stands on the screen.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.aboutAction->trigger();
    AboutBox *box = browser.form.commands()->aboutBox();
    QVERIFY(box);
    const std::int16_t width = browser.state.MainWindowWidth;
    const std::int16_t height = browser.state.MainWindowHeight;
    QVERIFY(width > 0 && height > 0);
    box->okButton->click();
    browser.form.resize(Twips::toPixelsX(39000), Twips::toPixelsY(36000));
    browser.form.aboutAction->trigger();
    box = browser.form.commands()->aboutBox();
    QCOMPARE(browser.state.MainWindowWidth, width);
    QCOMPARE(browser.state.MainWindowHeight, height);
    QVERIFY(browser.form.screen()->availableGeometry().contains(box->frameGeometry()));

    // However large the stored size, the box is moved onto the screen.
    box->okButton->click();
    browser.state.MainWindowWidth = 32000;
    browser.state.MainWindowHeight = 32000;
    AboutBox far(browser.form.commands()->parts().aboutBox);
    far.Show();
    QVERIFY(browser.form.screen()->availableGeometry().contains(far.frameGeometry()));
}

void DialogsTest::escapeAndFixedSizes()
{
    // Escape is "キャンセル" in the settings dialog and "OK" in the About box; neither can be resized or
    // maximised, and the stop box has no close button either.
    Sandbox sandbox;
    Browser browser(sandbox);
    SettingsDialog *dialog = browser.openSettings();
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    dialog->typeBoxes[0]->setChecked(false);
    QTest::keyClick(dialog->favouritesList, Qt::Key_Escape);
    QVERIFY(!browser.form.commands()->settingsDialog());
    QVERIFY(browser.form.isEnabled());
    QCOMPARE(ReadSetting(sandbox.context->profile, "CHKBOX", "TYPE0", "unwritten"), QStringLiteral("unwritten"));

    browser.form.aboutAction->trigger();
    AboutBox *box = browser.form.commands()->aboutBox();
    QVERIFY(box);
    QCOMPARE(box->minimumSize(), box->maximumSize());
    QVERIFY(!(box->windowFlags() & Qt::WindowMaximizeButtonHint));
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!browser.form.commands()->aboutBox());
    QVERIFY(browser.form.isEnabled() && browser.form.isVisible());

    StopBox stop(browser.form.catalogue()->parts());
    QCOMPARE(stop.minimumSize(), stop.maximumSize());
    QVERIFY(!(stop.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)));
}

void DialogsTest::aboutBoxOkBringsTheMainWindowBack()
{
    // OK on "Windows 2000" grows the main window back from its centre in 100 ms and enables it.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.aboutAction->trigger();
    QVERIFY(!browser.form.isVisible());
    AboutBox *box = browser.form.commands()->aboutBox();
    sandbox.windows->calls.clear();
    box->okButton->click();
    QCOMPARE(sandbox.windows->calls.first().window, &browser.form);
    QCOMPARE(sandbox.windows->calls.first().value, 100);
    QCOMPARE(sandbox.windows->calls.first().flags, 0x20010u);
    QVERIFY(browser.form.isVisible());
    QVERIFY(browser.form.isEnabled());
    QVERIFY(!browser.form.commands()->aboutBox());
}

void DialogsTest::systemInformationTool()
{
    // The system-information button starts the desktop's tool each time, or says it cannot.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.aboutAction->trigger();
    AboutBox *box = browser.form.commands()->aboutBox();
    QCOMPARE(box->systemInfoButton->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)"));
    box->systemInfoButton->click();
    QCOMPARE(sandbox.messages->shown.size(), 1);
    QCOMPARE(sandbox.messages->shown[0].text, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
    QCOMPARE(sandbox.messages->shown[0].title, QStringLiteral("KuRoEView"));
    sandbox.shell->systemInfoTool = QStringLiteral("/usr/bin/hardinfo");
    box->systemInfoButton->click();
    box->systemInfoButton->click();
    QCOMPARE(sandbox.shell->started, (QStringList{"/usr/bin/hardinfo", "/usr/bin/hardinfo"}));
    sandbox.shell->startSucceeds = false;
    box->systemInfoButton->click();
    QCOMPARE(sandbox.messages->shown.size(), 2);
    QVERIFY(!box->isUnloaded());
}

void DialogsTest::screenReadersHearNamesAndDialogs()
{
    // Every toolbar button, the preview and the type boxes have names a screen reader reads (the boxes
    // without the caption's leading full-width space); the settings dialog and the About box are dialogs.
    Sandbox sandbox;
    Browser browser(sandbox);
    const auto nameOf = [](QObject *object) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(object);
        return accessible ? accessible->text(QAccessible::Name) : QString();
    };
    CommandToolbar &toolbar = *browser.form.toolbar;
    for (int position = 1; position <= toolbar.positionCount(); ++position)
        if (!toolbar.isSeparator(position))
            QVERIFY2(!nameOf(toolbar.buttonWidget(position)).isEmpty(), qPrintable(QString::number(position)));
    QCOMPARE(nameOf(toolbar.buttonWidget(4)), QStringLiteral("選択された画像を開く"));
    QVERIFY(!nameOf(browser.form.previewPane).isEmpty());

    SettingsDialog *dialog = browser.openSettings();
    QVERIFY(dialog);
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog)->role(), QAccessible::Dialog);
    for (QCheckBox *box : dialog->typeBoxes) {
        QVERIFY(box->text().startsWith(QChar(0x3000)));
        QCOMPARE(nameOf(box), box->text().trimmed());
    }
    dialog->Unload();
    browser.form.aboutAction->trigger();
    QTRY_VERIFY(browser.form.commands()->aboutBox());
    QCOMPARE(QAccessible::queryAccessibleInterface(browser.form.commands()->aboutBox())->role(), QAccessible::Dialog);
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
