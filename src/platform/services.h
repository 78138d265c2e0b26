#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class QWidget;

// Message boxes of the program: text, an OK button, an optional icon, a title.
class MessageBoxService
{
public:
    enum class Icon { None, Information };
    virtual ~MessageBoxService() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &title, Icon icon) = 0;
};

// Opening documents and starting programs through the desktop.
class ShellService
{
public:
    virtual ~ShellService() = default;
    // ShellExecuteA "open": the desktop's default handler for a native path.
    virtual bool openDocument(const QString &nativePath) = 0;
    // Starts a program as a separate process and returns at once.
    virtual bool startProgram(const QString &program, const QStringList &arguments) = 0;
    // Full path of the desktop's system-information tool, empty when none.
    virtual QString findSystemInfoTool() = 0;
};

// Window-manager calls: top-most, animations, the pointer position.
class WindowServices
{
public:
    // AnimateWindow flag bits.
    static constexpr std::uint32_t AwCenter = 0x10;
    static constexpr std::uint32_t AwHide = 0x10000;
    static constexpr std::uint32_t AwActivate = 0x20000;
    static constexpr std::uint32_t AwBlend = 0x80000;

    virtual ~WindowServices() = default;
    // SetWindowPos with HWND_TOPMOST (true) or HWND_NOTOPMOST (false),
    // no move, no size; also brings the window to the front.
    virtual void setTopMost(QWidget *window, bool topMost) = 0;
    // AnimateWindow: shows or hides the window over the given time.
    virtual void animateWindow(QWidget *window, int milliseconds, std::uint32_t flags) = 0;
    // SetCursorPos, in screen pixels.
    virtual void setCursorPos(int x, int y) = 0;
};

// The real services of a desktop session.
class DesktopMessageBox : public MessageBoxService
{
public:
    void show(QWidget *parent, const QString &text, const QString &title, Icon icon) override;
};

class DesktopShell : public ShellService
{
public:
    bool openDocument(const QString &nativePath) override;
    bool startProgram(const QString &program, const QStringList &arguments) override;
    QString findSystemInfoTool() override;
};

class DesktopWindowServices : public WindowServices
{
public:
    void setTopMost(QWidget *window, bool topMost) override;
    void animateWindow(QWidget *window, int milliseconds, std::uint32_t flags) override;
    void setCursorPos(int x, int y) override;
};
