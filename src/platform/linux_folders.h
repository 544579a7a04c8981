#pragma once

#include <QString>
#include <QStringList>

namespace quenby::linux_folders {

// Linux has no Windows folder. The user's home folder stands in for it: the two
// clean-up commands name "<home>\temp" and "<home>\recent", which the command
// interpreter maps to the folders below. Empty when no home folder is known.
QString windowsFolder();

// The user's temporary-files folder as Qt reports it; empty when it is unknown
// or a folder no clean-up may ever empty (the root, the home folder, the
// session's runtime folder, or a folder above either).
QString tempFolder();

// The session's runtime folder ($XDG_RUNTIME_DIR) when it is set and exists.
QString runtimeFolder();

// The desktop's recently-used list (a file) under the user's data folder.
QString recentlyUsedFile();
// The recent-documents folder under the user's data folder.
QString recentDocumentsFolder();

// The folder of the settings file: the user's configuration folder.
QString configFolder();

} // namespace quenby::linux_folders
