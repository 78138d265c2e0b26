// Writes the program's icon for the desktop's hicolor theme:
// makeicons OUTPUT-FOLDER gives OUTPUT-FOLDER/hicolor/<n>x<n>/apps/kuroeview.png
// at the usual sizes and OUTPUT-FOLDER/hicolor/scalable/apps/kuroeview.svg.
#include "widgets/programicon.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: makeicons OUTPUT-FOLDER\n", stderr);
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!output.mkpath(folder) || !ProgramIcon::image(size).save(output.filePath(folder + "/kuroeview.png"), "PNG"))
            return 1;
    }
    if (!output.mkpath(QStringLiteral("hicolor/scalable/apps")))
        return 1;
    QFile svg(output.filePath(QStringLiteral("hicolor/scalable/apps/kuroeview.svg")));
    return svg.open(QIODevice::WriteOnly) && svg.write(ProgramIcon::svg()) > 0 ? 0 : 1;
}
