#pragma once

// Private to the command line tool: paths from the command line. They are bytes: a name
// that is not UTF-8 (GBK names from Windows disks) is opened by its bytes and shown
// decoded. Every input and output path is looked at once, before anything opens it, so a
// directory, a FIFO or a device is named for what it is and never blocks the program.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace panelix::cli {

// The command line's arguments as the program got them, byte for byte, in the order of the
// QStrings given to run(). Arguments that decode and encode back unchanged need none.
void setNativeArguments(const QStringList& decoded, const QList<QByteArray>& native);

// The bytes that name path on the file system: the argument's own bytes when path came from
// the command line, else path encoded.
QByteArray nativePath(const QString& path);

// path for messages: decoded as UTF-8, or as GBK where its bytes are no UTF-8.
QString shownPath(const QString& path);

// What is wrong with reading path as a file ("picture not found: a.png", "picture a.png is
// a directory", "... is not a regular file (a FIFO)", "... is a device"); empty for a
// regular file. what names the file's role ("picture", "list file").
QString inputPathProblem(const QString& path, const QString& what);

// What is wrong with writing path: empty when it does not exist yet or is a regular file;
// "cannot write f.png: it is not a regular file (a FIFO)" and the like otherwise.
QString outputPathProblem(const QString& path);

// A path that opens the file path names, as a QString the libraries can take: path itself
// when its bytes come back from it, else a link to it in aliasDir named by its decoded name.
// Empty when no such link can be made.
QString openablePath(const QString& path, const QString& aliasDir);

// The temporary directories of this program (panelix-cli-XXXXXX in the temporary directory)
// hold a file "owner" with the process id. claimTemporaryDir writes it; sweepTemporaryDirs
// removes the directories whose owner is gone (killed with SIGKILL, say) and returns how many.
bool claimTemporaryDir(const QString& dir);
int sweepTemporaryDirs();

} // namespace panelix::cli
