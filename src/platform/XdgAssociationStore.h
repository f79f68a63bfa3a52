#pragma once

#include "AssociationStore.h"
#include "FileReplacement.h"

#include <QString>

#include <utility>
#include <vector>

namespace tarvolo::platform {

// The association store of a Linux desktop. The entries live in a file of the program's own,
// $XDG_CONFIG_HOME/tarvolo/associations.json; SetDefaultValue() only notes a value, Export() stores
// them all at once and turns them into what the desktop reads: a shared-mime-info package, a
// desktop entry, the icons and, unless the user chose another application, the user's default
// application for each type; then it refreshes the desktop's caches.
//
// Every file is written whole beside the old one and takes its place only once all its bytes are
// on the disk, and only when its content changes. Of the user's mimeapps.list only the line of
// our default is ever added; every other byte stays. Concurrent exports of one user take turns.
class XdgAssociationStore : public AssociationStore {
public:
    // The folders of the XDG base directories: $XDG_CONFIG_HOME and $XDG_DATA_HOME, or
    // ~/.config and ~/.local/share when they are unset or not absolute.
    XdgAssociationStore();
    XdgAssociationStore(QString configHome, QString dataHome, FileOutput output = {});

    void SetDefaultValue(const QString& key, const QString& value) override;
    // Throws std::runtime_error when a file cannot be written; a file that could not be written
    // is left as it was. A desktop cache tool that fails is only reported as a warning.
    void Export() override;

    // The entries in the order they were first written, each key once: those stored, with the
    // values noted since. After an export that failed, those stored.
    const std::vector<std::pair<QString, QString>>& Entries() const { return entries_; }
    QString StoreFile() const;

private:
    std::vector<std::pair<QString, QString>> Load() const;
    void Store();
    QString Value(const QString& key) const;

    QString configHome_;
    QString dataHome_;
    FileOutput output_;
    std::vector<std::pair<QString, QString>> entries_;
    std::vector<std::pair<QString, QString>> noted_;    // the values set since the last export
};

// The desktop entry's Exec line for a Windows-style open command ("\"E\" \"%1\""): the words
// split as the Windows command line splits them, each quoted as the Desktop Entry format wants
// it, and the placeholder %1 turned into %f, the one file. A command of exactly that form keeps
// whatever lies between its outer quotes as the program's path, double quotes included.
QString DesktopExecLine(const QString& command);

} // namespace tarvolo::platform
