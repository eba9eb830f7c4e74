#include "app/file_names.hpp"

#include <QFile>

namespace tamrik {

std::filesystem::path nativePath(const QString& fileName) {
  return QFile::encodeName(fileName).toStdString();
}

QString displayName(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::optional<std::filesystem::path> localFilePath(const QUrl& url) {
  if (!url.isLocalFile()) return std::nullopt;
  // Decoded as text, a name that is not UTF-8 would lose its bytes.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty()) return std::nullopt;
  return std::filesystem::path(bytes.toStdString());
}

std::filesystem::path argumentPath(const QString& value, const QStringList& arguments,
                                   const std::vector<std::string>& nativeArguments) {
  if (nativeArguments.size() == static_cast<std::size_t>(arguments.size())) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
      const QString& argument = arguments[i];
      const std::string& bytes = nativeArguments[static_cast<std::size_t>(i)];
      if (argument == value) return bytes;
      const qsizetype equals = argument.indexOf(QLatin1Char('='));
      if (argument.startsWith(QLatin1Char('-')) && equals > 0 && argument.mid(equals + 1) == value)
        return bytes.substr(bytes.find('=') + 1);
    }
  }
  return nativePath(value);
}

}  // namespace tamrik
