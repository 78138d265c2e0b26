#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The desktop's applications for a file's type, from GIO's registry (the
// .desktop files and mimeapps.list that GNOME, KDE and the other desktops
// keep), and launching one of them on files.
namespace Applications {

struct Application
{
    // Its desktop file's id ("org.gnome.eog.desktop") and its name as shown.
    QByteArray id;
    QString name;
    // The desktop's default for the type.
    bool isDefault = false;
};

// The applications that open the file's type (guessed from its name), the
// default first, then in the registry's order of preference.
std::vector<Application> ForFile(const QByteArray &nativePath);

// Starts the application on the files; false, with the reason, when it
// could not be started.
bool Launch(const QByteArray &id, const QList<QByteArray> &nativePaths, QString *error = nullptr);

} // namespace Applications
