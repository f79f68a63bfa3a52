#pragma once

#include "AssociationStore.h"

#include <QString>

#include <utility>
#include <vector>

namespace tarvolo::platform {

// The association store of a Linux desktop. The entries live in a file of the program's own,
// $XDG_CONFIG_HOME/tarvolo/associations.json, rewritten whole at every write; Export() turns them
// into what the desktop reads: a shared-mime-info package, a desktop entry, the icons and the
// user's default application for each type, then refreshes the desktop's caches.
class XdgAssociationStore : public AssociationStore {
public:
    // The folders of the XDG base directories: $XDG_CONFIG_HOME and $XDG_DATA_HOME, or
    // ~/.config and ~/.local/share when they are unset or not absolute.
    XdgAssociationStore();
    XdgAssociationStore(QString configHome, QString dataHome);

    void SetDefaultValue(const QString& key, const QString& value) override;
    void Export() override;

    // The entries in the order they were first written, each key once.
    const std::vector<std::pair<QString, QString>>& Entries() const { return entries_; }
    QString StoreFile() const;

private:
    void Load();
    void Save() const;
    QString Value(const QString& key) const;

    QString configHome_;
    QString dataHome_;
    std::vector<std::pair<QString, QString>> entries_;
};

// The desktop entry's Exec line for a Windows-style open command ("\"E\" \"%1\""): the words
// split as the Windows command line splits them, each quoted as the Desktop Entry format wants
// it, and the placeholder %1 turned into %f, the one file.
QString DesktopExecLine(const QString& command);

} // namespace tarvolo::platform
