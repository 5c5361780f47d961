#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

// The settings file as a file: where it is before anything opens it, what to do when something
// other than a regular file stands in its place, and the system's words for a write that did
// not reach it. Free functions, so that start-up can use them before the toolkit reads anything.

#include <QString>

// The path QSettings uses for the native format in the user scope: <config>/<org>/<app>.conf.
QString settingsFilePath(const QString &organization, const QString &application);

// A directory, a pipe, a device or a socket where the settings file should be is renamed to
// <path>.bad when that is possible. Returns the notice for the operator (empty when the path is
// a regular file or missing) and sets *unusable when the thing could not be moved, so that it
// must not be opened (a pipe would block the reader for ever).
QString setAsideIfNotRegular(const QString &path, bool *unusable);

// Why a write of the file at path fails, in the system's words: found by trying to write as much
// as the file holds next to it (a temporary file, removed again).
QString writeFailureReason(const QString &path);

#endif // SETTINGSFILE_H
