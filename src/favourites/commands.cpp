#include "favourites/commands.h"

#include "about/aboutbox.h"
#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "core/winver.h"
#include "core/loadgate.h"
#include "favourites/favourites.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "settings/settingsdialog.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

#include <limits>

Commands::Commands(const CommandsParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state)
{
    connect(m_parts.settingsAction, &QAction::triggered, this, &Commands::ShowSettingsDialog);
    connect(m_parts.organiseFavouritesAction, &QAction::triggered, this, &Commands::ShowSettingsDialog);
    connect(m_parts.closeAction, &QAction::triggered, this, &Commands::CloseProgram);
    connect(m_parts.helpAction, &QAction::triggered, this, &Commands::OpenHelpFile);
    connect(m_parts.aboutAction, &QAction::triggered, this, [this] { ShowAboutBox(300); });
    connect(m_parts.toolbar, &CommandToolbar::menuEntryClicked, this, &Commands::ToolbarMenuClicked);
    connect(&m_parts.favourites, &Favourites::added, this, [this] {
        if (SettingsDialog *dialog = settingsDialog())
            dialog->TakeInAddedFavourites();
    });
}

Commands::~Commands()
{
    delete m_settings.data();
    delete m_about.data();
}

void Commands::CloseSettingsDialog()
{
    if (SettingsDialog *dialog = settingsDialog())
        dialog->Unload();
}

SettingsDialog *Commands::settingsDialog() const
{
    return m_settings && !m_settings->isUnloaded() ? m_settings.data() : nullptr;
}

AboutBox *Commands::aboutBox() const { return m_about && !m_about->isUnloaded() ? m_about.data() : nullptr; }

void Commands::ToolbarMenuClicked(int, int entry)
{
    // The help button's drop-down: the help, or the About box (a longer hide than the menu's).
    if (entry == 1)
        OpenHelpFile();
    else if (entry == 2)
        ShowAboutBox(500);
}

void Commands::ShowSettingsDialog()
{
    // Its choices change fileList, so it waits for a load that is ending.
    m_parts.gate.whenIdle(LoadGate::Kind::Dialog, [this] { ShowSettingsDialogNow(); });
}

void Commands::ShowSettingsDialogNow()
{
    // Asked for before the About box opened, which now holds the main
    // window it was asked from: left out.
    if (aboutBox())
        return;
    if (SettingsDialog *dialog = settingsDialog()) {
        // Hidden by opening a favourite: shown again as it was left.
        dialog->ShowAgain();
        return;
    }
    m_settings = new SettingsDialog(m_parts.settingsDialog);
    m_settings->show();
}

void Commands::OpenHelpFile()
{
    // The compiled help file; where it was not made (no compiler on the
    // building machine) the same guide as a web page.
    PlatformContext &context = m_parts.context;
    const QDir folder(context.programFolder);
    const QString compiled = folder.filePath(QStringLiteral("KuRoEZuziz.chm"));
    const QString page = folder.filePath(QStringLiteral("help/index.html"));
    context.shell->openDocument(!QFileInfo::exists(compiled) && QFileInfo::exists(page) ? page : compiled);
}

void Commands::ShowAboutBox(int milliseconds)
{
    // It hides and disables the main window, so it waits for a load that is ending.
    m_parts.gate.whenIdle(LoadGate::Kind::Dialog, [this, milliseconds] { ShowAboutBoxNow(milliseconds); });
}

void Commands::ShowAboutBoxNow(int milliseconds)
{
    // Asked for before the settings dialog opened, which now holds the main
    // window: left out (a dialog hidden while a favourite opens holds nothing).
    if (SettingsDialog *dialog = settingsDialog(); dialog && dialog->isVisible())
        return;
    PlatformContext &context = m_parts.context;
    // A size beyond the 16-bit store is not stored: the previous value stays,
    // as the store that overflowed kept it.
    const auto store = [](std::int16_t &slot, double twips) {
        const std::int64_t value = Twips::roundHalfEven(twips);
        if (value >= std::numeric_limits<std::int16_t>::min() && value <= std::numeric_limits<std::int16_t>::max())
            slot = static_cast<std::int16_t>(value);
    };
    store(m_state.MainWindowHeight, Twips::windowHeight(m_parts.mainWindow));
    store(m_state.MainWindowWidth, Twips::windowWidth(m_parts.mainWindow));
    if (GetPlatformName(context) == QLatin1String("Windows 2000"))
        context.windows->animateWindow(m_parts.mainWindow, milliseconds,
                                       WindowServices::AwCenter | WindowServices::AwHide | WindowServices::AwActivate);
    if (!aboutBox())
        m_about = new AboutBox(m_parts.aboutBox);
    m_about->Show();
}

void Commands::CloseProgram()
{
    // The main window's unload cleans up and ends the program; the other
    // windows go with it.
    m_parts.mainWindow->close();
}
