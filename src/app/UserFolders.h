#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the user's own files go. A variable is taken only when it holds an absolute path, as
// the XDG base directory rules ask; a relative one is ignored like an unset one, so no file lands
// under whatever folder the program was started in.
namespace UserFolders {

// $XDG_CONFIG_HOME, by default ~/.config: the settings file and the autostart folder.
QString configHome(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// $XDG_STATE_HOME, by default ~/.local/state: the history of conversations.
QString stateHome(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// The program's own file of that name in its folder under stateHome(): the history, and what
// beside it is kept from one run to the next.
QString stateFile(const QString& name);

// $XDG_RUNTIME_DIR, or empty: that variable has no default.
QString runtimeFolder(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// $TMPDIR, by default /tmp.
QString temporaryFolder(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace UserFolders
