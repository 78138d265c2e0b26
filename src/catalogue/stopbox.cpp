#include "catalogue/stopbox.h"

#include "catalogue/catalogueparts.h"
#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/eventloops.h"
#include "platform/windowowner.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

namespace {
const QColor BoxGrey(128, 128, 128);
}

StopBox::StopBox(const CatalogueParts &parts)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_parts(parts), m_state(parts.state)
{
    setWindowTitle(QString());
    setAttribute(Qt::WA_DeleteOnClose, false);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, BoxGrey);
    setPalette(colours);
    setAutoFillBackground(true);
    resize(Twips::toPixelsX(3375), Twips::toPixelsY(1200));
    setFixedSize(size());

    workingLabel = new QLabel(QStringLiteral("処理中です・・・"), this);
    QPalette red = workingLabel->palette();
    red.setColor(QPalette::WindowText, QColor(255, 128, 128));
    red.setColor(QPalette::Window, BoxGrey);
    workingLabel->setPalette(red);
    Twips::place(workingLabel, 240, 120, 1575, 210);

    fileLabel = new QLabel(this);
    fileLabel->setWordWrap(true);
    fileLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fileLabel->setTextFormat(Qt::PlainText);
    Twips::place(fileLabel, 240, 360, 1965, 525);

    stopButton = new QPushButton(QStringLiteral("中止"), this);
    Twips::place(stopButton, 2280, 120, 975, 375);
    connect(stopButton, &QPushButton::clicked, this, &StopBox::StopPressed);

    progressBar = new QProgressBar(this);
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 0);
    Twips::place(progressBar, 135, 825, 3135, 270);
    WindowOwner::SetOwner(this, m_parts.mainWindow);
}

StopBox::~StopBox() { Unload(); }

void StopBox::Load()
{
    m_loaded = true;
    m_listing = false;
    Place();
    PlatformContext::yield();
    m_parts.mainWindow->setEnabled(false);
    m_parts.context.windows->setTopMost(this, true);
}

void StopBox::ShowWhileListing()
{
    if (m_loaded)
        return;
    m_listing = true;
    Place();
    show();
    m_parts.context.windows->setTopMost(this, true);
}

void StopBox::Place()
{
    // Centred by its outer size, which it has before the window manager
    // ever framed it, on a rectangle of the main window's size at the corner
    // of the main window's screen.
    const QMargins frame = Twips::expectedFrame(this, m_parts.mainWindow);
    const double height = Twips::fromPixelsY(geometry().height() + frame.top() + frame.bottom());
    const double width = Twips::fromPixelsX(geometry().width() + frame.left() + frame.right());
    const QPointF corner = Twips::screenCorner(m_parts.mainWindow);
    Twips::setWindowPosition(this, corner.x() + Twips::windowWidth(m_parts.mainWindow) / 2 - width / 2,
                             corner.y() + Twips::windowHeight(m_parts.mainWindow) / 2 - height / 2);
    Twips::keepInsideWorkArea(this, m_parts.mainWindow);
}

void StopBox::Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    hide();
    m_parts.mainWindow->setEnabled(true);
    // The keyboard goes back to the main window, not to nowhere.
    const QWidget *active = QApplication::activeWindow();
    if ((!active || active == this) && m_parts.mainWindow->isVisible())
        m_parts.mainWindow->activateWindow();
    if (m_parts.closeSettingsDialog)
        m_parts.closeSettingsDialog();
}

void StopBox::StopPressed()
{
    // A second press (or close) while the first yields grows nothing twice.
    const EventLoops::OneAtATime once(m_stopping);
    if (!once.entered())
        return;
    if (m_listing && !m_loaded) {
        // No thumbnail yet: the listing is left to itself, the load ends.
        m_listing = false;
        m_state.StopRequest = true;
        hide();
        return;
    }
    if (!m_loaded)
        return;
    const double cellWidth = m_parts.thumbnailArea->cellAt(0).rect.width();
    const auto columns = Twips::roundHalfEven(Twips::width(m_parts.thumbnailArea) / (cellWidth + 100));
    m_state.StopRequest = true;
    // With no whole column the last row cannot be told; nothing grows then.
    if (columns > 0 && m_state.ThumbCount % columns != 0) {
        PlatformContext::yield();
        m_parts.scrollBar->setMaximum(m_parts.scrollBar->maximum() + 1);
        Twips::setHeight(m_parts.thumbnailArea, m_parts.thumbnailArea->cellAt(0).rect.height() + Twips::height(m_parts.thumbnailArea) + 90);
    }
    Unload();
}

void StopBox::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager: the same as "中止".
    event->accept();
    if (m_loaded || m_listing)
        StopPressed();
}

void StopBox::SetProgress(int value)
{
    progressBar->setUpdatesEnabled(false);
    progressBar->setValue(value);
    progressBar->setUpdatesEnabled(true);
}
