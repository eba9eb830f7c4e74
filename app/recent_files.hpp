#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <filesystem>
#include <vector>

namespace tamrik {

/// The files opened last, newest first, kept in the user's preferences between runs. Each entry is stored
/// under "RecentFiles" as one byte blob: the file's absolute path. An entry whose file is gone is left
/// out when the list is read back.
///
/// ```cpp
/// QSettings settings;
/// RecentFiles recent(settings);         // reads the stored list
/// recent.noteOpened("/data/places.csv"); // to the front, at most six, and stored again
/// ```
class RecentFiles : public QObject {
  Q_OBJECT
 public:
  /// The preferences key of the stored list.
  static inline const QString recentFilesKey = QStringLiteral("RecentFiles");
  /// How many files the list holds at most.
  static constexpr std::size_t kCapacity = 6;

  /// Reads the list from `settings`, which must outlive this object.
  explicit RecentFiles(QSettings& settings, QObject* parent = nullptr);

  const std::vector<std::filesystem::path>& files() const noexcept { return files_; }
  /// After `file` opened without error: moves or adds it to the front, keeps six, and stores the list.
  void noteOpened(const std::filesystem::path& file);
  /// Empties the list and stores the empty list.
  void clear();

  /// The stored list: each blob that resolves to an existing file, in stored order. Logs each blob it
  /// resolves and each that fails.
  static std::vector<std::filesystem::path> loadRecentFiles(QSettings& settings);
  /// Stores `files` as blobs, leaving out (and logging) those that can no longer be stored.
  static void saveRecentFiles(QSettings& settings, const std::vector<std::filesystem::path>& files);

 signals:
  void filesChanged();

 private:
  QSettings& settings_;
  std::vector<std::filesystem::path> files_;
};

}  // namespace tamrik
