#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// A small CID and a program folder to build packages from, inside a scratch folder: the
// CID holds the marker and the folders of a default package; the program folder holds
// a link to the real archiver and stand-ins for the two files an administrator
// supplies (the installer module and the configuration tool).
struct PackageFixture {
    QString cid;
    QString programFolder;

    static bool WriteFile(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    // Returns false when something could not be made.
    bool Create(const QString& scratch)
    {
        cid = scratch + QStringLiteral("/CID");
        programFolder = scratch + QStringLiteral("/program");
        bool made = WriteFile(cid + QStringLiteral("/cidsync.upd"), "marker")
                    && WriteFile(cid + QStringLiteral("/version.txt"), "1.0");
        for (const char* folder : {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64"})
            made = made && WriteFile(cid + QLatin1Char('/') + QLatin1String(folder) + QStringLiteral("/setup.dat"), folder);
        return made && QDir().mkpath(programFolder + QStringLiteral("/7za"))
               && QFile::link(QStringLiteral("/usr/bin/7za"), programFolder + QStringLiteral("/7za/7za"))
               && WriteFile(programFolder + QStringLiteral("/7za/7zSD.sfx"), "STAND-IN INSTALLER MODULE\n")
               && WriteFile(programFolder + QStringLiteral("/ConfigUpdate.exe"), "STAND-IN CONFIGURATION TOOL\n");
    }
};
