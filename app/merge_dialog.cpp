#include "app/merge_dialog.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "app/file_names.hpp"

namespace tamrik {
namespace {

// The warnings the notice and the dialog show before they say how many more "Show Details…" lists.
constexpr std::size_t kWarningsShown = 3;

// Where a place item keeps the positions of its conflict and its place.
constexpr int kConflictRole = Qt::UserRole;
constexpr int kPlaceRole = Qt::UserRole + 1;

}  // namespace

MergeDialog::MergeDialog(const MergeResult& result, std::vector<QString> names, QWidget* parent)
    : QDialog(parent), result_(result), picks_(result.conflicts.size()) {
  setObjectName(QStringLiteral("MergeConflicts"));
  setWindowTitle(tr("Merge Conflicts"));
  for (std::size_t c = 0; c < result.conflicts.size(); ++c) picks_[c] = result.conflicts[c].kept;

  const auto count = static_cast<int>(result.conflicts.size());
  auto* intro =
      new QLabel((count == 1 ? tr("The files put 1 serial number at more than one place.")
                             : tr("The files put %1 serial numbers at more than one place.").arg(count)) +
                 QLatin1Char(' ') + tr("A display stands at one desk: pick the place that keeps each."));
  intro->setWordWrap(true);
  std::vector<std::filesystem::path> namePaths;
  for (const auto& name : names) namePaths.push_back(nativePath(name));
  const MergeWarningText warnings = mergeWarningText(result.warnings, namePaths);
  // The warnings' summary starts with the order; without warnings the intro says it.
  if (const QString order = mergeOrderText(namePaths); !order.isEmpty() && result.warnings.empty())
    intro->setText(intro->text() + QLatin1Char(' ') + order);

  fileChoice_ = new QComboBox;
  fileChoice_->setObjectName(QStringLiteral("FollowFile"));
  fileChoice_->setPlaceholderText(tr("Pick a file"));
  for (const auto& name : names) fileChoice_->addItem(name);
  fileChoice_->setCurrentIndex(-1);
  connect(fileChoice_, &QComboBox::activated, this,
          [this](int index) { followFile(static_cast<std::size_t>(index)); });
  auto* followRow = new QHBoxLayout;
  followRow->addWidget(new QLabel(tr("Follow one file for all:")));
  followRow->addWidget(fileChoice_, 1);

  list_ = new QTreeWidget;
  list_->setObjectName(QStringLiteral("ConflictList"));
  list_->setColumnCount(2);
  list_->setHeaderLabels({tr("Serial Number and Places"), tr("Put There By")});
  list_->setUniformRowHeights(true);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  list_->header()->setStretchLastSection(false);
  for (std::size_t c = 0; c < result.conflicts.size(); ++c) {
    const auto& conflict = result.conflicts[c];
    auto* item = new QTreeWidgetItem(list_, {QString::fromStdString(conflict.serialNumber)});
    item->setFlags(Qt::ItemIsEnabled);
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    for (std::size_t p = 0; p < conflict.places.size(); ++p) {
      const auto& place = conflict.places[p];
      QStringList from;
      for (std::size_t file : place.files) from << (file < names.size() ? names[file] : QString());
      auto* child = new QTreeWidgetItem(item, {QString::fromStdString(placePath(place)), from.join(", ")});
      child->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      child->setCheckState(0, Qt::Unchecked);
      child->setData(0, kConflictRole, QVariant::fromValue(c));
      child->setData(0, kPlaceRole, QVariant::fromValue(p));
    }
  }
  list_->expandAll();
  // A check is a pick: the place's siblings lose theirs, and a pick is never taken back to none.
  connect(list_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (showing_ || column != 0 || !item->parent()) return;
    pick(item->data(0, kConflictRole).value<std::size_t>(), item->data(0, kPlaceRole).value<std::size_t>());
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addLayout(followRow);
  layout->addWidget(list_, 1);
  if (!result.warnings.empty()) {
    auto* warningLabel = new QLabel(warnings.summary);
    warningLabel->setObjectName(QStringLiteral("MergeWarnings"));
    warningLabel->setTextFormat(Qt::PlainText);
    warningLabel->setWordWrap(true);
    warningLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* details = new QPushButton(tr("Show Details\u2026"));
    details->setObjectName(QStringLiteral("MergeWarningDetails"));
    details->setAutoDefault(false);
    connect(details, &QPushButton::clicked, this, [this, warnings] { showMergeWarnings(this, warnings); });
    auto* warningRow = new QHBoxLayout;
    warningRow->addWidget(warningLabel, 1);
    warningRow->addWidget(details, 0, Qt::AlignTop);
    layout->addLayout(warningRow);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  okButton_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  showPicks();
  resize(760, 480);
}

void MergeDialog::pick(std::size_t conflict, std::size_t place) {
  if (conflict >= picks_.size() || place >= result_.conflicts[conflict].places.size()) return;
  picks_[conflict] = place;
  showPicks();
}

void MergeDialog::followFile(std::size_t file) {
  fileChoice_->setCurrentIndex(static_cast<int>(file));  // shown as chosen, also when not chosen there
  for (std::size_t c = 0; c < picks_.size(); ++c)
    if (auto place = placeGivenBy(result_.conflicts[c], file)) picks_[c] = *place;
  showPicks();
}

bool MergeDialog::isSettled() const {
  return std::all_of(picks_.begin(), picks_.end(), [](const auto& pick) { return pick.has_value(); });
}

std::vector<std::size_t> MergeDialog::settledPicks() const {
  std::vector<std::size_t> out;
  for (const auto& pick : picks_) out.push_back(pick.value_or(0));
  return out;
}

void MergeDialog::showPicks() {
  showing_ = true;
  for (int c = 0; c < list_->topLevelItemCount(); ++c) {
    QTreeWidgetItem* item = list_->topLevelItem(c);
    const auto& pick = picks_[static_cast<std::size_t>(c)];
    for (int p = 0; p < item->childCount(); ++p)
      item->child(p)->setCheckState(0, pick == static_cast<std::size_t>(p) ? Qt::Checked : Qt::Unchecked);
    item->setText(1, pick ? QString() : tr("Not settled"));
  }
  showing_ = false;
  okButton_->setEnabled(isSettled());
}

std::vector<std::filesystem::path> inMergeOrder(std::vector<std::filesystem::path> files) {
  std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    if (int order = displayName(a.filename()).compare(displayName(b.filename()), Qt::CaseInsensitive))
      return order < 0;
    return a < b;
  });
  return files;
}

std::vector<std::filesystem::path> mergeFileNames(const std::vector<std::filesystem::path>& files) {
  std::set<std::filesystem::path> seen;
  for (const auto& file : files)
    if (!seen.insert(file.filename()).second) return files;
  std::vector<std::filesystem::path> names;
  for (const auto& file : files) names.push_back(file.filename());
  return names;
}

QString mergeOrderText(const std::vector<std::filesystem::path>& names) {
  if (names.size() < 2) return {};
  QStringList shown;
  for (const auto& name : names) shown << displayName(name);
  return QObject::tr("Names are taken from the files in this order: %1.")
      .arg(shown.join(QStringLiteral(", ")));
}

MergeWarningText mergeWarningText(const std::vector<MergeWarning>& warnings,
                                  const std::vector<std::filesystem::path>& names) {
  if (warnings.empty()) return {};
  QStringList summary, details;
  if (const QString order = mergeOrderText(names); !order.isEmpty()) summary << order, details << order;
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    const QString text = QString::fromStdString(warnings[i].text);
    if (i < kWarningsShown) summary << text;
    details << text;
  }
  if (warnings.size() > kWarningsShown) {
    const auto more = static_cast<int>(warnings.size() - kWarningsShown);
    summary << (more == 1
                    ? QObject::tr("1 more warning: Show Details\u2026 lists every warning.")
                    : QObject::tr("%1 more warnings: Show Details\u2026 lists every warning.").arg(more));
  }
  return {summary.join(QLatin1Char('\n')), details.join(QLatin1Char('\n'))};
}

void showMergeWarnings(QWidget* parent, const MergeWarningText& text) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QObject::tr("Merge Warnings"));
  box.setTextFormat(Qt::PlainText);  // the warnings quote the files
  box.setText(text.summary);
  box.setDetailedText(text.details);  // the box's own "Show Details…" shows them
  box.exec();
}

std::optional<std::vector<std::size_t>> askAboutConflicts(QWidget* parent, const MergeResult& result,
                                                          const std::vector<std::filesystem::path>& names) {
  std::vector<QString> shown;
  for (const auto& name : names) shown.push_back(displayName(name));
  MergeDialog dialog(result, std::move(shown), parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.isSettled()) return std::nullopt;
  return dialog.settledPicks();
}

}  // namespace tamrik
