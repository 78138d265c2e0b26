#pragma once

#include "platform/unloadingwindow.h"

#include <QList>
#include <QWidget>

class PlatformContext;
class QLabel;
class QPushButton;
struct ProgramState;

// What the About box works on.
struct AboutBoxParts
{
    // Disabled while the box is open, shown again when it closes.
    QWidget *mainWindow;
    // Repainted, in this order, when the main window grows back.
    QList<QWidget *> repaintedParts;
    PlatformContext &context;
    ProgramState &state;
};

// The About box "ﾊﾞｰｼﾞｮﾝ情報": the program's version, a notice and a button
// that starts the desktop's system-information tool. The main window is
// disabled while it is open.
class AboutBox : public UnloadingWindow<QWidget>
{
    Q_OBJECT

public:
    explicit AboutBox(const AboutBoxParts &parts, QWidget *parent = nullptr);

    // The showing steps: placement, fade-in, texts, main window disabled.
    void Show();
    void OkClicked();
    void StartSysInfo();

    double Width() const;
    double Height() const;

    // "ﾊﾞｰｼﾞｮﾝ " followed by major.minor.revision.
    static QString VersionText(int major, int minor, int revision);

    QLabel *versionLabel = nullptr;
    QLabel *descriptionLabel = nullptr;
    QLabel *decorationPicture = nullptr;
    QLabel *iconPicture = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *systemInfoButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // However the box goes, the main window comes back.
    void Unloading() override;
    void changeEvent(QEvent *event) override;

private:
    bool OnWindows2000() const;

    AboutBoxParts m_parts;
    ProgramState &m_state;
    bool m_closing = false;
};
