#pragma once

// File names between Qt and the file system. A name on disk is bytes, not always UTF-8 (a Latin-1
// "caf\xe9.csv"); Qt holds names as text. Paths therefore go to `std::filesystem::path` through the
// native bytes, never through a UTF-8 round trip, and come back as text only to be shown.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tamrik {

/// The path of a file name as Qt gives it (a dialog's choice), in the file system's encoding.
std::filesystem::path nativePath(const QString& fileName);

/// How a path, or one of its components, reads to a person.
QString displayName(const std::filesystem::path& path);

/// The local file that a URL names (a dropped file), from its percent-encoded bytes; nothing for other
/// URLs.
std::optional<std::filesystem::path> localFilePath(const QUrl& url);

/// The bytes of the command-line argument that gave `value`: the argument itself, or what follows "=" in
/// an "--option=value" argument. `arguments` are the decoded arguments and `nativeArguments` their bytes,
/// in the same order; without a match (or without bytes), `nativePath(value)`.
std::filesystem::path argumentPath(const QString& value, const QStringList& arguments,
                                   const std::vector<std::string>& nativeArguments);

}  // namespace tamrik
