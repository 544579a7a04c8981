#pragma once

#include <QByteArray>
#include <QString>

namespace quenby::private_file {

// Files that decide what runs at the end of a session: only regular files of
// our own are read or written, reached through links of our own only, so
// that a FIFO, a device or someone else's file is never opened.
enum class Outcome {
    Done,
    Missing,    // nothing there yet
    NotRegular, // a folder, FIFO, socket or device
    NotOurs,    // the file, or a link on the way to it, belongs to someone else
    TooLarge,   // larger than kMaxSize: not read, and not replaced either
    NewTooLarge, // the new text is larger than kMaxSize: the file stays as it is
    Failed,     // the system refused (rights, full disk, I/O error)
};

// Far more than a settings file ever needs; a larger one is not read into
// memory, so that a stray or hostile file cannot stall the start.
inline constexpr qint64 kMaxSize = 1024 * 1024;

struct Contents
{
    Outcome outcome = Outcome::Failed;
    QByteArray bytes;
    qint64 size = 0; // of the file on the disk, also when it is too large to read
};

Contents read(const QString &path);

// Replaces the file as a whole or not at all: the new text goes to a private
// temporary file beside it, every byte of it checked, flushed to the disk and
// only then renamed over the old one. A file behind a link is replaced there,
// so the link stays. Missing folders are made, readable by their owner only.
// Temporary files of an earlier replacement that never finished (the program
// was killed in between) carry a mark in their names that nobody types by
// hand: those older than a minute go first, and nothing else in the folder
// is touched. Neither a file larger than kMaxSize nor a new text larger than
// that is written.
Outcome replace(const QString &path, const QByteArray &bytes);

// Writes every byte to `fd`: a short write is not the end, the rest is
// written again until the system takes it or says why not (a full disk, a
// quota, a size limit).
bool writeAll(int fd, const QByteArray &bytes);

// Makes `folder` and the folders above it as needed, each new one 0700.
bool makeFolders(const QString &folder);

} // namespace quenby::private_file
