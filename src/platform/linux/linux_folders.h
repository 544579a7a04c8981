#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace quenby::linux_folders {

// The folders below come from the environment ($HOME, $TMPDIR, the XDG
// variables), read as bytes. A name that is not UTF-8 cannot be carried in a
// QString to the same folder: what depends on it is then empty, never
// another folder.

// Linux has no Windows folder. The user's home folder stands in for it: the two
// clean-up commands name "<home>\temp" and "<home>\recent", which the command
// interpreter maps to the folders below. Empty when no home folder is known.
QString windowsFolder();

// The user's temporary-files folder ($TMPDIR when it names an existing folder
// by its full path, else /tmp), links resolved; empty when it is a folder no
// clean-up may ever empty (the root, the home folder, the session's runtime
// folder, or a folder above either, compared by identity, not by name).
QString tempFolder();

// The session's runtime folder ($XDG_RUNTIME_DIR) when it is set and exists.
QString runtimeFolder();
// The runtime folder the system keeps for the user while any session of
// theirs lasts, /run/user/UID, when it is a folder of ours of mode 0700;
// empty otherwise. A start from cron or su has it without the variable.
std::string systemRuntimeFolder();

// The desktop's recently-used list (a file) under the user's data folder
// ($XDG_DATA_HOME when it is a full path, else ~/.local/share), links on the
// way to an existing data folder resolved.
QString recentlyUsedFile();
// The recent-documents folder under the user's data folder.
QString recentDocumentsFolder();

// The folder of the settings file: the user's configuration folder
// ($XDG_CONFIG_HOME when it is a full path, else ~/.config); empty when
// there is no home folder either.
QString configFolder();
// The settings file, "<configuration folder>/TARVEN Inc.Quenby.ini"; empty when
// there is no configuration folder.
QString settingsFile();

} // namespace quenby::linux_folders
