#pragma once

#include "platform/platformcontext.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// Message boxes, shell calls and window calls of a test, recorded instead of
// shown or launched.
class RecordingMessageBox : public MessageBoxService
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
    };
    void show(QWidget *, const QString &text, const QString &title, Icon icon) override
    {
        shown.append(Shown{text, title, icon});
    }
    QList<Shown> shown;
};

class RecordingShell : public ShellService
{
public:
    bool openDocument(const QString &nativePath) override
    {
        opened.append(nativePath);
        return true;
    }
    bool startProgram(const QString &program, const QStringList &) override
    {
        started.append(program);
        return startSucceeds;
    }
    QString findSystemInfoTool() override { return systemInfoTool; }

    QStringList opened;
    QStringList started;
    QString systemInfoTool;
    bool startSucceeds = true;
};

class RecordingWindowServices : public WindowServices
{
public:
    struct Call
    {
        QString what;
        QWidget *window;
        int value;
        std::uint32_t flags;
    };
    void setTopMost(QWidget *window, bool topMost) override
    {
        calls.append(Call{QStringLiteral("topmost"), window, topMost ? -1 : -2, 3});
    }
    void animateWindow(QWidget *window, int milliseconds, std::uint32_t flags) override;
    void setCursorPos(int x, int y) override { cursor = QPoint(x, y); }

    QList<Call> calls;
    QPoint cursor{-1, -1};
    // Called at every animation, before the window shows or hides.
    std::function<void(QWidget *)> onAnimate;
};

// A fresh temporary directory holding the drives, the desktop, the documents
// folder, the settings file and the temporary folder of one test. Drive C:
// is <root>/c; the desktop is C:\Users\me\Desktop, the documents folder
// C:\Users\me\Documents, the temporary folder C:\tmp.
class Sandbox
{
public:
    Sandbox();
    // A sandbox on a folder that another process made; it is left in place.
    explicit Sandbox(const QString &sharedRoot);
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    QString root() const { return m_root; }
    // Native path of a path relative to the sandbox root.
    QString path(const QString &relative) const;
    // Native path of drive C:'s folder, relative to it ("Users/me").
    QString onC(const QString &relative) const { return path(QStringLiteral("c/") + relative); }

    bool makeFolder(const QString &relative) const;
    bool writeFile(const QString &relative, const QByteArray &bytes) const;
    // A file or folder whose name is given as the bytes it has on disk (any
    // bytes but NUL; a "/" goes into a sub-folder made before), in a folder
    // relative to the sandbox root.
    QByteArray nativePath(const QString &relativeFolder, const QByteArray &name) const;
    bool writeNativeFile(const QString &relativeFolder, const QByteArray &name, const QByteArray &bytes) const;
    bool makeNativeFolder(const QString &relativeFolder, const QByteArray &name) const;
    QByteArray readFile(const QString &relative) const;
    QString settingsPath() const { return context->profile.filePath(); }

    // Adds a drive whose root is <root>/<folder>.
    void addDrive(QChar letter, int type, const QString &folder, bool mediumPresent = true);
    // Replaces the drive table (C: included only when listed).
    void setDrives(const QList<DriveTable::Drive> &drives);
    void poseAs(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor);
    // The shared thumbnail cache in <root>/cache/thumbnails.
    void useCache() { context->thumbnailCache = path(QStringLiteral("cache/thumbnails")); }

    std::unique_ptr<PlatformContext> context;
    RecordingMessageBox *messages = nullptr;
    RecordingShell *shell = nullptr;
    RecordingWindowServices *windows = nullptr;
    QList<int> endCalls;

private:
    void SetUp();

    std::optional<QTemporaryDir> m_owned;
    QString m_root;
};

class MainWindow;
class QImage;

// Writes a small green bitmap at a path relative to the sandbox root.
void WritePicture(Sandbox &sandbox, const QString &relative);
// The paths of the favourites menu entries that are shown.
QStringList VisibleFavourites(const MainWindow &form);
// Frees the windows that were closed (they wait for the outermost event
// loop, which a test's own code is).
void FreeClosedWindows();
// True when every pixel has the colour of the first (or there are none).
bool IsBlank(const QImage &image);
