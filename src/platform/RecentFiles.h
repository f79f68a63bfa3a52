#pragma once

#include "XdgAssociationStore.h"

#include <QDateTime>
#include <QString>

namespace tarvolo::platform {

// The desktop's list of recently used files, $XDG_DATA_HOME/recently-used.xbel: the desktop
// bookmark file (XBEL) that the file choosers and "Recent" views of GNOME, KDE and others read
// and write. The list is read whole and written whole beside the old one, which it replaces only
// once every byte is on the disk; the other programs' bookmarks keep all their elements and
// attributes.
class RecentFiles {
public:
    // In $XDG_DATA_HOME, or in ~/.local/share when it is unset or not absolute.
    RecentFiles();
    // output: the writes of the list's bytes; a test puts in failing ones.
    explicit RecentFiles(QString dataHome, FileOutput output = {});

    QString ListFile() const;

    // Records that the program opened fileName (as FileNameFromNative gives it; a relative name
    // is taken from the current folder) at `when`. A file not in the list gets a bookmark of the
    // type application/x-qrp; one in it gets new modified and visited times. Either way the
    // program is among the applications that used it, with the time and a count one higher.
    // Throws std::runtime_error, and the list stays as it was, when the list cannot be read, is
    // not a bookmark list, or cannot be written.
    void Add(const QString& fileName, const QDateTime& when = QDateTime::currentDateTimeUtc()) const;

    // The list the viewer records the reports it opens in. There is none until the program sets
    // one, so that tests and tools leave the user's list alone; list must outlive its use.
    static void SetApplicationList(const RecentFiles* list);
    // Adds fileName to the application's list, if there is one. A failure is only a warning: the
    // desktop's list must not keep a report from opening.
    static void NoteOpened(const QString& fileName);

private:
    QString dataHome_;
    FileOutput output_;
};

} // namespace tarvolo::platform
