#include "app/recent_files.hpp"

#include <QByteArray>
#include <QUrl>
#include <QVariant>
#include <algorithm>

#include "app/file_names.hpp"
#include "common/diagnostic_log.hpp"

namespace tamrik {
namespace {

// The short description of a blob that the log lines carry: its size.
std::string describeBlob(const QByteArray& blob) {
  return std::to_string(blob.size()) + " bytes";
}

std::filesystem::path absolutePath(const std::filesystem::path& file) {
  std::error_code error;
  auto path = std::filesystem::absolute(file, error);
  return (error ? file : path).lexically_normal();
}

}  // namespace

RecentFiles::RecentFiles(QSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), files_(loadRecentFiles(settings)) {}

void RecentFiles::noteOpened(const std::filesystem::path& file) {
  auto opened = absolutePath(file);
  if (auto known = std::find(files_.begin(), files_.end(), opened); known != files_.end())
    files_.erase(known);
  files_.insert(files_.begin(), opened);
  if (files_.size() > kCapacity) files_.resize(kCapacity);
  emit filesChanged();
  saveRecentFiles(settings_, files_);
}

void RecentFiles::clear() {
  files_.clear();
  emit filesChanged();
  saveRecentFiles(settings_, files_);
}

std::vector<std::filesystem::path> RecentFiles::loadRecentFiles(QSettings& settings) {
  const QVariant stored = settings.value(recentFilesKey);
  if (!stored.isValid() || stored.typeId() != QMetaType::QVariantList) return {};
  const QVariantList blobs = stored.toList();
  if (!std::all_of(blobs.begin(), blobs.end(),
                   [](const QVariant& blob) { return blob.typeId() == QMetaType::QByteArray; }))
    return {};
  std::vector<std::filesystem::path> files;
  for (const QVariant& entry : blobs) {
    const QByteArray blob = entry.toByteArray();
    logLine("Resolving bookmark data " + describeBlob(blob));
    std::filesystem::path file(blob.toStdString());
    std::error_code error;
    if (blob.isEmpty() || !file.is_absolute() || !std::filesystem::exists(file, error)) {
      logLine("Failed to resolve bookmark data " + describeBlob(blob));
      continue;
    }
    files.push_back(file);
  }
  return files;
}

void RecentFiles::saveRecentFiles(QSettings& settings, const std::vector<std::filesystem::path>& files) {
  QVariantList blobs;
  for (const auto& file : files) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
      logLine("Failed to create bookmark for " +
              QUrl::fromLocalFile(displayName(file)).toString().toStdString() + ": The file doesn't exist.");
      continue;
    }
    blobs.push_back(QByteArray::fromStdString(file.string()));
  }
  settings.setValue(recentFilesKey, blobs);
  settings.sync();
}

}  // namespace tamrik
