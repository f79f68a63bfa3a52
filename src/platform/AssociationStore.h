#pragma once

#include <QString>

namespace tarvolo::platform {

// Where the program records itself as the handler of a file type: keys under one root, each with
// a default string value, as the Windows registry keeps them under HKEY_CLASSES_ROOT. Keys are
// relative to the root and use backslashes ("qrp\\Shell\\Open").
class AssociationStore {
public:
    virtual ~AssociationStore() = default;
    // Creates the key when missing and sets its default value. Throws std::runtime_error when the
    // value cannot be written. A store that writes all its values at once may keep them until
    // Export() and throw there instead.
    virtual void SetDefaultValue(const QString& key, const QString& value) = 0;
    // Makes what was written visible to the desktop. Throws std::runtime_error on failure.
    virtual void Export() = 0;
};

// Records executable as the handler of files with the extension (".qrp"): the extension names
// the type, the type has a description, an icon (the executable's icon at iconIndex) and an open
// command that passes the file as the one argument. The first write that fails ends it with its
// error; what was written before stays. Then the store is exported.
void RegisterFileType(AssociationStore& store, const QString& extension, const QString& typeName,
                      const QString& description, const QString& executable, int iconIndex);

} // namespace tarvolo::platform
