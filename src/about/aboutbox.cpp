#include "about/aboutbox.h"

#include "platform/accessibledialogs.h"
#include "platform/windowowner.h"
#include "platform/eventloops.h"
#include "widgets/programicon.h"
#include "core/programstate.h"
#include "core/winver.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr double BoxWidth = 5700;
constexpr double BoxHeight = 3300;

// A picture frame with a small landscape: what the program is for.
QPixmap Decoration()
{
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(170, 210, 255));
    p.drawRect(4, 8, 40, 32);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 150, 40));
    p.drawPolygon(QPolygon({QPoint(5, 39), QPoint(18, 20), QPoint(27, 32), QPoint(33, 25), QPoint(43, 39)}));
    p.setBrush(QColor(255, 200, 0));
    p.drawEllipse(QPoint(34, 16), 4, 4);
    return pixmap;
}

} // namespace

AboutBox::AboutBox(const AboutBoxParts &parts, QWidget *parent)
    : UnloadingWindow<QWidget>(parent, Qt::Window | Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_parts(parts), m_state(parts.state)
{
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    AccessibleDialogs::MarkAsDialog(this);
    setAutoFillBackground(true);
    iconPicture = new QLabel(this);
    iconPicture->setPixmap(QPixmap::fromImage(ProgramIcon::image(32)));
    Twips::place(iconPicture, 240, 240, 480, 480);
    decorationPicture = new QLabel(this);
    decorationPicture->setPixmap(Decoration());
    Twips::place(decorationPicture, 240, 1200, 720, 720);
    auto *title = new QLabel(QStringLiteral("KuRoE Zuziz"), this);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    title->setFont(heading);
    Twips::place(title, 1080, 240, 4400, 420);
    versionLabel = new QLabel(QStringLiteral("ﾊﾞｰｼﾞｮﾝ"), this);
    Twips::place(versionLabel, 1080, 700, 4400, 300);
    descriptionLabel = new QLabel(QStringLiteral("コメント"), this);
    descriptionLabel->setWordWrap(true);
    descriptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Twips::place(descriptionLabel, 1080, 1100, 4400, 900);
    auto *shadow = new QFrame(this);
    shadow->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Twips::place(shadow, 120, 2160, BoxWidth - 240, 30);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    Twips::place(okButton, BoxWidth - 1560, 2400, 1320, 390);
    okButton->setDefault(true);
    systemInfoButton = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)"), this);
    Twips::place(systemInfoButton, BoxWidth - 3060, 2400, 1320, 390);
    connect(okButton, &QPushButton::clicked, this, &AboutBox::OkClicked);
    connect(systemInfoButton, &QPushButton::clicked, this, &AboutBox::StartSysInfo);
    Twips::setFixedWindowSize(this, BoxWidth, BoxHeight);
    WindowOwner::SetOwner(this, m_parts.mainWindow);
}

double AboutBox::Width() const { return Twips::windowWidth(this); }
double AboutBox::Height() const { return Twips::windowHeight(this); }

QString AboutBox::VersionText(int major, int minor, int revision)
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3").arg(major).arg(minor).arg(revision);
}

bool AboutBox::OnWindows2000() const { return GetPlatformName(m_parts.context) == QLatin1String("Windows 2000"); }

void AboutBox::Show()
{
    // Measured from the corner of the screen the main window is on.
    const QPointF corner = Twips::screenCorner(m_parts.mainWindow);
    Twips::setWindowPosition(this, corner.x() + m_state.MainWindowWidth / 2.0 - Width() / 2 + 2800,
                             corner.y() + m_state.MainWindowHeight / 2.0 - Height() / 2 + 1800);
    Twips::keepInsideWorkArea(this, m_parts.mainWindow);
    // The texts are in place before the box fades in, so that the design
    // texts never show.
    versionLabel->setText(VersionText(KUROEVIEW_VERSION_MAJOR, KUROEVIEW_VERSION_MINOR, KUROEVIEW_VERSION_REVISION));
    descriptionLabel->setText(QStringLiteral("フォルダの画像を一覧で見るブラウザです。\r\n"));
    update();
    if (OnWindows2000()) {
        m_parts.context.windows->animateWindow(this, 300, WindowServices::AwActivate | WindowServices::AwBlend);
        update();
    }
    m_parts.mainWindow->setEnabled(false);
    show();
    update();
}

void AboutBox::OkClicked()
{
    // Escape or Enter pressed again while the main window comes back.
    const EventLoops::OneAtATime once(m_closing);
    if (!once.entered() || isUnloaded())
        return;
    if (OnWindows2000()) {
        PlatformContext::yield();
        m_parts.context.windows->animateWindow(m_parts.mainWindow, 100, WindowServices::AwActivate | WindowServices::AwCenter);
        m_parts.mainWindow->setEnabled(true);
        for (QWidget *part : m_parts.repaintedParts)
            part->repaint();
    }
    Unload();
}

void AboutBox::StartSysInfo()
{
    PlatformContext &context = m_parts.context;
    const QString tool = context.shell->findSystemInfoTool();
    if (tool.isEmpty() || !context.shell->startProgram(tool, {}))
        context.messageBox->show(this, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"), QStringLiteral("KuRoEView"),
                                 MessageBoxService::Icon::None);
}

void AboutBox::Unloading()
{
    m_parts.mainWindow->setEnabled(true);
    if (!m_parts.mainWindow->isVisible())
        m_parts.mainWindow->show();
    m_parts.mainWindow->activateWindow();
    hide();
}

void AboutBox::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        m_parts.context.windows->setTopMost(this, true);
}

void AboutBox::keyPressEvent(QKeyEvent *event)
{
    // Escape is "OK".
    if (event->key() == Qt::Key_Escape)
        okButton->click();
    else
        QWidget::keyPressEvent(event);
}
