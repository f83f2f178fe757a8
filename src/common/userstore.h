#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace launcher {

// A store holds a line per product and locale; anything near this size is not ours.
constexpr qint64 maxUserStoreSize = 1024 * 1024;

// How a store file holds text outside ASCII: as UTF-8, the way a person writes the file (the
// user's language), or as escapes, which QSettings reads back exactly whatever the string holds
// (a leading U+FEFF, characters outside the Basic Multilingual Plane), as it does not UTF-8.
enum class StoreText { Utf8, Escaped };

// The user's settings store of `application` under organizationName: the registry on Windows,
// elsewhere the INI file <configuration home>/Nimbrel/<application>.conf.
//
// The file is the user's, and may be anything: it is opened only when it is absent or (through
// any links) a regular file of at most maxUserStoreSize. A FIFO would block the opening for
// ever, a device could be read without end and, run as root, be replaced by a regular file when
// the store is written; a huge file would be read and rewritten whole on every start. For such a
// store the result is null: it counts as unreadable, and nothing is ever written to it.
std::unique_ptr<QSettings> openUserStore(
    const QString& application, StoreText text = StoreText::Utf8);

// Writes what was set in `store`, a store opened with StoreText::Escaped, to its file. Qt 6 has no
// escapes of its own: it writes UTF-8 and reads a leading U+FEFF of a value back as nothing. The
// file it wrote is then rewritten as Qt 5 writes it, byte for byte, which both read back exactly.
void syncEscapedStore(QSettings& store);

// Whether the launcher may create or rewrite the store of `application` (and the directories on
// its way). Run as root with a user's HOME (sudo -E, su -m), the store is that user's: a
// directory or file made or replaced by root would be root's, and the user's own launcher could
// no longer store anything there. So as root, every part of the store's path that exists must
// belong to root. Always true on Windows.
bool isUserStoreWritable(const QString& application);

// Where openUserStore() keeps the store of `application` when it is a file; empty on Windows.
QString userStorePath(const QString& application);

} // namespace launcher
