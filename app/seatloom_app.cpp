#include "app/seatloom_app.hpp"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "app/file_names.hpp"
#include "app/location_view.hpp"
#include "app/merge_dialog.hpp"
#include "app/symbols.hpp"
#include "app/theme.hpp"
#include "app/walk_banner.hpp"
#include "model/coverage.hpp"
#include "peripherals/display_source.hpp"
#include "tamrikcsv/reader/csv_error.hpp"

namespace tamrik {
namespace {

// A message box shows its texts as they are: an error may quote a file, and a quoted "<img src=…>" must
// not load anything.
void showPlainly(QMessageBox& box) {
  box.setTextFormat(Qt::PlainText);
  // The box gives its informative text no format of its own; without the label where this Qt keeps it,
  // the text is escaped instead.
  if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
    informative->setTextFormat(Qt::PlainText);
  else if (!box.informativeText().isEmpty())
    box.setInformativeText(Qt::convertFromPlainText(box.informativeText()));
}

// A file's name as a window title, which would take "[*]" for the modified marker.
QString asTitle(QString name) {
  return name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

// A name (a file's, a place's) as a menu entry's text, which would take "&" for a shortcut marker and a tab
// for the start of the shortcut's text.
QString asMenuText(QString name) {
  return name.replace(QLatin1Char('&'), QStringLiteral("&&")).replace(QLatin1Char('\t'), QLatin1Char(' '));
}

// A recent file as its Open Recent entry and its button in the empty window show it: the name, whose "&" is
// shown rather than taken as a shortcut marker, and the full path as the tooltip (which would take markup).
QString recentEntryText(const std::filesystem::path& file) {
  return asMenuText(displayName(file.filename()));
}
QString recentEntryToolTip(const std::filesystem::path& file) {
  return Qt::convertFromPlainText(displayName(file));
}

// "Undo" or "Redo" with the name of the step it would take, when there is one.
QString withStep(const QString& command, const QString& step) {
  return step.isEmpty() ? command : command + QLatin1Char(' ') + asMenuText(step);
}

// Whether a background work's error is the user's Cancel, which leaves everything as it was and is not
// reported.
bool isCancel(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const WorkCancelled&) {
    return true;
  } catch (...) {
  }
  return false;
}

const QString kCSVFilter = QStringLiteral("CSV files (*.csv)");

std::optional<std::filesystem::path> askForFileToOpen(QWidget* parent) {
  QString file = QFileDialog::getOpenFileName(parent, QObject::tr("Open"), {}, kCSVFilter);
  if (file.isEmpty()) return std::nullopt;
  return nativePath(file);
}

std::vector<std::filesystem::path> askForFilesToMerge(QWidget* parent) {
  std::vector<std::filesystem::path> files;
  for (const QString& file : QFileDialog::getOpenFileNames(parent, QObject::tr("Merge"), {}, kCSVFilter))
    files.push_back(nativePath(file));
  return files;
}

std::optional<std::filesystem::path> askForCSVFileToSave(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(kCSVFilter);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.setOption(QFileDialog::ReadOnly, false);  // folders may be created
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return nativePath(dialog.selectedFiles().constFirst());
}

std::optional<std::filesystem::path> askForFileToSave(QWidget* parent) {
  return askForCSVFileToSave(parent, QObject::tr("Export Places with Serial Numbers"));
}

std::optional<std::filesystem::path> askForReportFile(QWidget* parent) {
  return askForCSVFileToSave(parent, QObject::tr("Export Report"));
}

TamrikSeatloomApp::UnsavedChoice askAboutUnsaved(QWidget* parent, bool unexportedMerge) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(QObject::tr("Unexported Assignments"));
  box.setText(QObject::tr("Export the assignments first?"));
  box.setInformativeText(
      unexportedMerge
          ? QObject::tr("The merged places have not been exported. They are lost unless you export them.")
          : QObject::tr("Displays were assigned since the places were loaded or last exported. They are lost "
                        "unless you export them."));
  auto* exportButton = box.addButton(QObject::tr("Export…"), QMessageBox::AcceptRole);
  auto* discardButton = box.addButton(QObject::tr("Discard"), QMessageBox::DestructiveRole);
  box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(exportButton);
  box.exec();
  if (box.clickedButton() == exportButton) return TamrikSeatloomApp::UnsavedChoice::exportFirst;
  if (box.clickedButton() == discardButton) return TamrikSeatloomApp::UnsavedChoice::discard;
  return TamrikSeatloomApp::UnsavedChoice::cancel;
}

bool askAboutEncoding(QWidget* parent, const PlacesFileError& error) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(QObject::tr("Not UTF-8 Text"));
  box.setTextFormat(Qt::PlainText);
  box.setText(QObject::tr("%1 is not UTF-8 text.").arg(displayName(error.file().filename())));
  box.setInformativeText(
      QObject::tr("Line %1, column %2 holds a character that is not UTF-8. Spreadsheet programs on Windows "
                  "save \u201cCSV\u201d in the system\u2019s code page. Open the file as Western European "
                  "(Windows-1252)?")
          .arg(error.line().value_or(1))
          .arg(error.column().value_or(1)));
  showPlainly(box);
  auto* open = box.addButton(QObject::tr("Open as Western European"), QMessageBox::AcceptRole);
  box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(open);
  box.exec();
  return box.clickedButton() == open;
}

// The one local CSV file that a drag carries, if it carries just that.
std::optional<std::filesystem::path> droppedFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return std::nullopt;
  auto file = localFilePath(mime->urls().constFirst());
  if (!file || !displayName(file->extension()).endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
    return std::nullopt;
  return file;
}

std::shared_ptr<PeripheralManager> makePeripheralManager(const AppOptions& options) {
  // The sample displays come from a source of their own, so that opening a file can list the real ones.
  if (options.demo) return PeripheralManager::create(std::make_unique<SampleDisplaySource>());
  return PeripheralManager::create(makeDisplaySource(options.displayCommand.value_or(QString())));
}

std::shared_ptr<PlaceDataModel> makePlaceDataModel(const AppOptions& options) {
  auto model = std::make_shared<PlaceDataModel>();
  // Places of the store's own, so that opening a file replaces them as it replaces any others.
  if (options.demo) model->setLocations(makeSampleLocations());
  return model;
}

// The texts of Qt's own widgets that this program words otherwise: the message box's details button ends
// with an ellipsis, as every command that opens more does here.
class ShellTexts final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* disambiguation,
                    int n) const override {
    Q_UNUSED(disambiguation);
    Q_UNUSED(n);
    if (qstrcmp(context, "QMessageBox") == 0) {
      if (qstrcmp(source, "Show Details...") == 0) return QStringLiteral("Show Details\u2026");
      if (qstrcmp(source, "Hide Details...") == 0) return QStringLiteral("Hide Details\u2026");
    }
    return {};
  }
};

}  // namespace

void shareOneMemoryArena() {
#ifdef __GLIBC__
  mallopt(M_ARENA_MAX, 1);
#endif
}

TamrikSeatloomApp::TamrikSeatloomApp(const AppOptions& options, QSettings& settings, QObject* parent)
    : QObject(parent),
      peripheralManager_(makePeripheralManager(options)),
      placeDataModel_(makePlaceDataModel(options)),
      recentFiles_(settings),
      chooseFileToOpen_(askForFileToOpen),
      chooseFileToSave_(askForFileToSave),
      askAboutUnsaved_([this](QWidget* window) { return askAboutUnsaved(window, unexportedMerge_); }),
      askAboutEncoding_(askAboutEncoding),
      chooseFilesToMerge_(askForFilesToMerge),
      askAboutConflicts_(askAboutConflicts),
      chooseReportFile_(askForReportFile),
      demo_(options.demo),
      displayCommand_(options.displayCommand),
      openingPoll_(new QTimer(this)),
      texts_(std::make_unique<ShellTexts>()),
      window_((QCoreApplication::installTranslator(texts_.get()), std::make_unique<MainWindow>(*this))) {
  // A load starts a new history: its steps name places that are no longer loaded.
  connect(placeDataModel_.get(), &PlaceDataModel::locationsChanged, &undoStack_, &QUndoStack::clear);
  // No walk while a file is read: it would assign to places the load then replaces without asking.
  connect(this, &TamrikSeatloomApp::openingChanged, &zoneWalk_, [this] { zoneWalk_.setHeld(isOpening()); });
  openingPoll_->setInterval(20);
  connect(openingPoll_, &QTimer::timeout, this, &TamrikSeatloomApp::finishOpening);
  if (options.file) startOpening(*options.file, {options.encoding});
}

// An opening in the background: the reading thread writes `loaded` or `error`, and the window's thread
// reads them only after joining it.
struct TamrikSeatloomApp::Opening {
  std::filesystem::path file;
  PlacesReadOptions options;
  WorkProgress progress;
  std::optional<PlaceDataModel::LoadedPlaces> loaded;
  std::exception_ptr error;
  FailureText failure;     // worked out beside the reading: it may read the file again up to the failing row
  int historyAtStart = 0;  // where the undo history stood: steps taken while it reads are asked about
  std::atomic<bool> done{false};  // set last by the reading thread
  std::thread reader;
  // A merge reads these, and gives `merged`; `loaded` once it has no conflicts left to settle.
  std::vector<std::filesystem::path> mergeFiles;
  std::optional<MergeResult> merged;

  // On the working thread, in a handler: what went wrong, and how `describe` says it unless it was a cancel.
  template <class Describe>
  void fail(Describe&& describe) {
    loaded.reset();
    merged.reset();
    error = std::current_exception();
    if (!isCancel(error)) failure = describe(error);
  }
};

// An export in the background, as an opening: the writing thread sets `done` last, and the window's thread
// reads the rest only after joining it.
struct TamrikSeatloomApp::Exporting {
  std::filesystem::path file;
  PlaceDataModel::ExportSnapshot snapshot;
  WorkProgress progress;
  std::exception_ptr error;
  int historyAtStart = 0;  // a step taken while it writes is not in the file: the history stays unclean
  std::atomic<bool> done{false};
  std::thread writer;
};

TamrikSeatloomApp::~TamrikSeatloomApp() {
  if (opening_) {
    opening_->progress.cancel();
    opening_->reader.join();
  }
  if (exporting_) {
    exporting_->progress.cancel();
    exporting_->writer.join();
  }
  QCoreApplication::removeTranslator(texts_.get());
}

void TamrikSeatloomApp::setLoadError(std::exception_ptr error) {
  const std::string text = describeError(error).toStdString();
  reportFailure(std::move(error), false, {text, text});
}

void TamrikSeatloomApp::reportFailure(std::exception_ptr error, bool isExport, FailureText text) {
  loadError_ = std::move(error);  // a new failure replaces one not yet shown
  failedExport_ = isExport;
  failureText_ = std::move(text);
  emit loadErrorChanged();
}

QString TamrikSeatloomApp::describeError(std::exception_ptr error) {
  if (!error) return tr("Unknown error");
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& exception) {  // CSV errors' `what()` is their diagnostic text
    return QString::fromStdString(exception.what());
  } catch (...) {
  }
  return tr("Unknown error");
}

void TamrikSeatloomApp::openFile(const std::filesystem::path& file, const PlacesReadOptions& options) {
  if (opening_) return;  // the opening that runs would replace what this loads
  zoneWalk_.stop();
  std::optional<PlaceDataModel::LoadedPlaces> loaded;
  std::exception_ptr error;
  try {
    loaded = PlaceDataModel::readPlaces(file, options);
  } catch (...) {
    error = std::current_exception();
  }
  completeOpening(file, options, false, std::move(loaded), error);
}

void TamrikSeatloomApp::watch(std::unique_ptr<Opening> work) {
  opening_ = std::move(work);
  // The window's thread looks for the end as it goes about its events: the reading thread posts nothing.
  openingPoll_->start();
  emit openingChanged();
}

bool TamrikSeatloomApp::startOpening(const std::filesystem::path& file, const PlacesReadOptions& options) {
  if (opening_ || exporting_) return false;  // one at a time: two would race to replace the store
  zoneWalk_.stop();  // a display plugged in while the file is read would be assigned to places it replaces
  auto opening = std::make_unique<Opening>();
  opening->file = file;
  opening->options = options;
  opening->historyAtStart = undoStack_.index();
  opening->reader = std::thread([opening = opening.get(), home = thread()] {
    try {
      opening->loaded = PlaceDataModel::readPlaces(opening->file, opening->options, &opening->progress, home);
      // What the store builds from a hierarchy is built here too, so that handing it over is quick.
      PlaceDataModel::prepare(*opening->loaded, &opening->progress);
    } catch (...) {
      opening->fail([&](auto error) { return describeLoadFailure(opening->file, opening->options, error); });
    }
    opening->done.store(true, std::memory_order_release);
  });
  watch(std::move(opening));
  return true;
}

std::filesystem::path TamrikSeatloomApp::busyFile() const {
  return opening_ ? opening_->file : exporting_ ? exporting_->file : std::filesystem::path();
}

const WorkProgress* TamrikSeatloomApp::openingProgress() const noexcept {
  return opening_ ? &opening_->progress : nullptr;
}

void TamrikSeatloomApp::cancelOpening() {
  if (opening_) opening_->progress.cancel();
}

void TamrikSeatloomApp::finishOpening() {
  finishExporting();
  if (!opening_ || !opening_->done.load(std::memory_order_acquire)) return;
  // Not under a dialog's feet: the question it asks may be about the store this would replace.
  if (QApplication::activeModalWidget()) return;
  openingPoll_->stop();
  opening_->reader.join();  // what it wrote is this thread's to read from here on
  std::unique_ptr<Opening> finished = std::move(opening_);
  emit openingChanged();
  startExportWhenIdle();
  // A cancel that came after the last read still stands, and so do assignments made while it read.
  if (finished->progress.isCancelled()) return;
  const bool stepsTaken =
      (finished->loaded || finished->merged) && undoStack_.index() != finished->historyAtStart;
  const QString name = displayName(finished->file.filename());
  const bool merging = !finished->mergeFiles.empty();
  auto complete = [this, opening = std::shared_ptr<Opening>(std::move(finished))] {
    // A walk begun while the answer's export wrote would assign under the conflicts dialog, and lose it.
    if (opening->loaded || opening->merged) zoneWalk_.stop();
    if (!opening->mergeFiles.empty()) return completeMerging(*opening);
    completeOpening(opening->file, opening->options, true, std::move(opening->loaded), opening->error,
                    std::move(opening->failure));
  };
  if (stepsTaken)
    settleUnsavedAssignments(std::move(complete), merging ? tr("merging") : tr("opening %1").arg(name));
  else
    complete();
}

void TamrikSeatloomApp::startExportWhenIdle() {
  if (exportWhenIdle_ && !opening_ && !exporting_)
    startExporting(*std::exchange(exportWhenIdle_, std::nullopt));
}

void TamrikSeatloomApp::completeOpening(const std::filesystem::path& file, const PlacesReadOptions& options,
                                        bool inBackground, std::optional<PlaceDataModel::LoadedPlaces> loaded,
                                        std::exception_ptr error, std::optional<FailureText> text) {
  if (error) {
    if (isCancel(error)) return;  // the user stopped it: nothing changed, nothing to say
    try {
      std::rethrow_exception(error);
    } catch (const PlacesFileError& failure) {
      // Never guessed silently: the user says whether the file is in the usual Windows code page.
      if (failure.kind() == PlacesFileError::Kind::notUTF8 && !options.encoding) {
        if (!askAboutEncoding_(window_.get(), failure)) return;
        const PlacesReadOptions western{tamrikcsv::TextEncoding::windowsCP1252};
        if (inBackground)
          startOpening(file, western);
        else
          openFile(file, western);
        return;
      }
    } catch (...) {
    }
    reportFailure(error, false, text ? *std::move(text) : describeLoadFailure(file, options, error));
    return;
  }
  const PlacesLoadReport report = placeDataModel_->takePlaces(std::move(*loaded));
  recentFiles_.noteOpened(file);
  leaveDemo();
  setMergeShown(false, false);
  loadNotice_ = QString::fromStdString(report.warningText(file.filename().string()));
  loadNoticeDetails_.clear();
  emit loadNoticeChanged();
}

void TamrikSeatloomApp::dismissLoadNotice() {
  loadNotice_.clear();
  loadNoticeDetails_.clear();
  emit loadNoticeChanged();
}

void TamrikSeatloomApp::openFileFromUser(const std::filesystem::path& file) {
  if (isOpening() || isExporting()) return;
  settleUnsavedAssignments(
      [this, file] {
        if (!isOpening() && !isExporting()) startOpening(file);
      },
      tr("opening %1").arg(displayName(file.filename())));
}

void TamrikSeatloomApp::settleUnsavedAssignments(std::function<void()> then, QString afterwards) {
  if (!hasUnsavedAssignments()) return then();
  if (afterExport_) return;  // asked again (a second close, say) while the first answer's export writes
  // What would lose assignments loads or closes: walking must not add to them under the question.
  zoneWalk_.stop();
  switch (askAboutUnsaved_(window_.get())) {
    case UnsavedChoice::exportFirst:
      if (auto file = chooseFileToSave_(window_.get())) {
        // In the background like any export: the window shows how far it got and offers Cancel, and
        // `then` follows once it has written everything.
        afterExport_ = std::move(then);
        afterExportText_ = std::move(afterwards);
        if (opening_) cancelOpening();  // what it read would replace what is being saved
        if (opening_ || exporting_)
          exportWhenIdle_ = *file;  // started as soon as the running work ends
        else
          startExporting(*file);
      }
      return;
    case UnsavedChoice::discard:
      return then();
    case UnsavedChoice::cancel:
      return;
  }
}

void TamrikSeatloomApp::exportTo(const std::filesystem::path& file) {
  try {
    placeDataModel_->exportPlaces(file);
  } catch (...) {
    reportFailure(std::current_exception(), true, describeExportFailure(file, std::current_exception()));
    return;
  }
  undoStack_.setClean();
  setMergeShown(showsMerge_, false);
}

void TamrikSeatloomApp::showFileImporter() {
  if (isOpening() || isExporting()) return;
  settleUnsavedAssignments(
      [this] {
        if (isOpening() || isExporting()) return;
        // A walk goes on under the dialog: what it assigns there is asked about once the file is read.
        const int settled = undoStack_.index();
        if (auto file = chooseFileToOpen_(window_.get()); file && startOpening(*file))
          opening_->historyAtStart = settled;
      },
      tr("choosing the file to open"));
}

void TamrikSeatloomApp::exportWithSavePanel() {
  if (isOpening() || isExporting()) return;
  if (auto file = chooseFileToSave_(window_.get())) startExporting(*file);
}

bool TamrikSeatloomApp::startExporting(const std::filesystem::path& file) {
  if (opening_ || exporting_) return false;
  auto exporting = std::make_unique<Exporting>();
  exporting->file = file;
  exporting->snapshot = placeDataModel_->exportSnapshot();
  exporting->historyAtStart = undoStack_.index();
  exporting->writer = std::thread([exporting = exporting.get()] {
    try {
      PlaceDataModel::writePlaces(exporting->snapshot, exporting->file, &exporting->progress);
    } catch (...) {
      exporting->error = std::current_exception();
    }
    exporting->done.store(true, std::memory_order_release);
  });
  exporting_ = std::move(exporting);
  openingPoll_->start();
  emit exportingChanged();
  return true;
}

const WorkProgress* TamrikSeatloomApp::exportingProgress() const noexcept {
  return exporting_ ? &exporting_->progress : nullptr;
}

void TamrikSeatloomApp::cancelExporting() {
  if (exporting_) exporting_->progress.cancel();
}

void TamrikSeatloomApp::finishExporting() {
  if (!exporting_ || !exporting_->done.load(std::memory_order_acquire)) return;
  exporting_->writer.join();
  std::unique_ptr<Exporting> exporting = std::move(exporting_);
  if (!opening_) openingPoll_->stop();
  emit exportingChanged();
  // What waits for an export waits for the one the unsaved-assignments question started, which may still
  // be waiting for this one to end.
  std::function<void()> then = exportWhenIdle_ ? nullptr : std::exchange(afterExport_, nullptr);
  QString afterwards = then ? std::exchange(afterExportText_, {}) : QString();
  if (!exporting->error) {
    if (undoStack_.index() == exporting->historyAtStart) undoStack_.setClean();
    setMergeShown(showsMerge_, false);  // nothing replaces the places while they are exported
    // Steps taken while it wrote are not in the file: they are asked about again.
    if (then) settleUnsavedAssignments(std::move(then), std::move(afterwards));
  } else {
    try {
      std::rethrow_exception(exporting->error);
    } catch (const WorkCancelled&) {
      // The file is as it was, and what waited for it does not happen.
    } catch (...) {
      reportFailure(exporting->error, true, describeExportFailure(exporting->file, exporting->error));
    }
  }
  startExportWhenIdle();
}

void TamrikSeatloomApp::leaveDemo() {
  if (!demo_) return;
  demo_ = false;
  peripheralManager_->setSource(makeDisplaySource(displayCommand_.value_or(QString())));
}

void TamrikSeatloomApp::setMergeShown(bool shown, bool unexported) {
  if (shown == showsMerge_ && unexported == unexportedMerge_) return;
  showsMerge_ = shown;
  unexportedMerge_ = unexported;
  emit mergeChanged();
}

void TamrikSeatloomApp::showMergeChooser() {
  if (isOpening() || isExporting()) return;
  settleUnsavedAssignments(
      [this] {
        if (isOpening() || isExporting()) return;
        const int settled = undoStack_.index();  // as for Open…
        if (startMerging(chooseFilesToMerge_(window_.get()))) opening_->historyAtStart = settled;
      },
      tr("choosing the files to merge"));
}

bool TamrikSeatloomApp::startMerging(const std::vector<std::filesystem::path>& files) {
  if (opening_ || exporting_ || files.empty()) return false;
  zoneWalk_.stop();  // as for an opening: the merge replaces the places the walk is at
  auto merging = std::make_unique<Opening>();
  merging->mergeFiles = inMergeOrder(files);
  merging->file = merging->mergeFiles.front();
  merging->historyAtStart = undoStack_.index();
  merging->reader = std::thread([merging = merging.get(), home = thread()] {
    std::size_t failed = 0;
    const auto names = mergeFileNames(merging->mergeFiles);
    try {
      MergeReadOptions how;
      how.read = merging->options;
      how.names = names;
      how.progress = &merging->progress;
      how.home = home;
      merging->merged = readAndMerge(merging->mergeFiles, how, &failed);
      // Settling conflicts changes serial numbers, so only a merge without any is made ready here.
      if (merging->merged->conflicts.empty()) {
        merging->loaded.emplace();
        merging->loaded->locations = std::move(merging->merged->locations);
        PlaceDataModel::prepare(*merging->loaded, &merging->progress);
      }
    } catch (...) {
      merging->fail([&](auto error) {
        return failed < merging->mergeFiles.size()
                   ? describeMergeLoadFailure(merging->mergeFiles[failed], names[failed], merging->options,
                                              error)
                   : describeMergeFailure(error);
      });
    }
    merging->done.store(true, std::memory_order_release);
  });
  watch(std::move(merging));
  return true;
}

std::size_t TamrikSeatloomApp::mergingFiles() const noexcept {
  return opening_ ? opening_->mergeFiles.size() : 0;
}

void TamrikSeatloomApp::startSettling(Opening& merged, std::vector<std::size_t> picks) {
  if (opening_ || exporting_) return;
  auto settling = std::make_unique<Opening>();
  settling->file = merged.file;
  settling->mergeFiles = std::move(merged.mergeFiles);
  settling->merged = std::move(merged.merged);
  // Steps taken while it settles are asked about again before the merge replaces them.
  settling->historyAtStart = undoStack_.index();
  settling->reader = std::thread([settling = settling.get(), picks = std::move(picks)] {
    try {
      MergeResult& result = *settling->merged;
      settleConflicts(result, picks);
      if (settling->progress.isCancelled()) throw WorkCancelled();
      settling->loaded.emplace();
      settling->loaded->locations = std::move(result.locations);
      PlaceDataModel::prepare(*settling->loaded, &settling->progress);
    } catch (...) {
      settling->fail([](auto error) { return describeMergeFailure(error); });
    }
    settling->done.store(true, std::memory_order_release);
  });
  watch(std::move(settling));
}

void TamrikSeatloomApp::completeMerging(Opening& merging) {
  if (merging.error) {
    if (isCancel(merging.error)) return;
    merging.failure.sentence += ' ' + tr("Nothing was merged.").toStdString();
    return reportFailure(merging.error, false, std::move(merging.failure));
  }
  MergeResult& result = *merging.merged;
  const auto names = mergeFileNames(merging.mergeFiles);
  if (!merging.loaded) {
    auto picks = askAboutConflicts_(window_.get(), result, names);
    if (!picks) return;  // the user cancelled: nothing changes
    // Settling and making the places ready take as long as reading did on a large merge.
    return startSettling(merging, *std::move(picks));
  }
  if (result.hasUnsettledConflicts()) return;  // never loaded with a serial number at two places
  (void)placeDataModel_->takePlaces(std::move(*merging.loaded));
  placeDataModel_->setCurrentFileName(std::nullopt);  // no file holds it yet
  leaveDemo();
  setMergeShown(true, true);
  const MergeWarningText warnings = mergeWarningText(result.warnings, names);
  loadNotice_ = warnings.summary;
  loadNoticeDetails_ = warnings.details;
  emit loadNoticeChanged();
}

void TamrikSeatloomApp::exportReportWithSavePanel() {
  if (isOpening() || isExporting()) return;
  if (auto file = chooseReportFile_(window_.get())) exportReportTo(*file);
}

void TamrikSeatloomApp::exportReportTo(const std::filesystem::path& file) {
  // Counting is one pass over the places and the table has a line per zone: quick enough for the window.
  try {
    writeCoverage(coverage(placeDataModel_->locations()), file);
  } catch (...) {
    reportFailure(std::current_exception(), true, describeExportFailure(file, std::current_exception()));
    return;
  }
  window_->statusBar()->showMessage(tr("Exported the report to %1.").arg(displayName(file.filename())),
                                    10000);
}

// --- The window -----------------------------------------------------------------------------------------

MainWindow::MainWindow(TamrikSeatloomApp& app)
    : app_(app),
      contentView_(new ContentView(app.placeDataModel(), app.peripheralManager(), &app.undoStack(),
                                   app.placeCounts())) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowIcon(QIcon(QStringLiteral(":/symbols/tamrik-seatloom.svg")));
  // A notice that does not block: the window stays usable while it shows.
  noticeBar_ = new QFrame;
  noticeBar_->setObjectName(QStringLiteral("LoadNotice"));
  noticeBar_->setFrameShape(QFrame::StyledPanel);
  noticeText_ = new QLabel;
  noticeText_->setTextFormat(Qt::PlainText);
  noticeText_->setWordWrap(true);
  noticeText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* dismiss = new QPushButton(tr("Dismiss"), noticeBar_);  // the bar's first button
  dismiss->setAutoDefault(false);
  connect(dismiss, &QPushButton::clicked, &app_, &TamrikSeatloomApp::dismissLoadNotice);
  noticeDetails_ = new QPushButton(tr("Show Details\u2026"));
  noticeDetails_->setObjectName(QStringLiteral("LoadNoticeDetails"));
  noticeDetails_->setAutoDefault(false);
  connect(noticeDetails_, &QPushButton::clicked, this, [this] {
    showMergeWarnings(this, {app_.loadNotice(), app_.loadNoticeDetails()});
  });
  auto* noticeLayout = new QHBoxLayout(noticeBar_);
  noticeLayout->addWidget(new QLabel(QStringLiteral("\u26A0")));
  noticeLayout->addWidget(noticeText_, 1);
  noticeLayout->addWidget(noticeDetails_, 0, Qt::AlignTop);
  noticeLayout->addWidget(dismiss, 0, Qt::AlignTop);
  noticeBar_->hide();
  auto* central = new QWidget;
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->setSpacing(0);
  walkBanner_ = new WalkBanner(app_.zoneWalk(), *contentView_->locationView());
  centralLayout->addWidget(walkBanner_);
  centralLayout->addWidget(noticeBar_);
  centralLayout->addWidget(contentView_, 1);
  setCentralWidget(central);
  setAcceptDrops(true);

  // Actions are made once; the menu and the shortcuts share them.
  openAction_ = new QAction(tr("Open…"), this);
  openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(openAction_, &QAction::triggered, &app_, &TamrikSeatloomApp::showFileImporter);
  exportAction_ = new QAction(tr("Export…"), this);
  exportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  connect(exportAction_, &QAction::triggered, &app_, &TamrikSeatloomApp::exportWithSavePanel);
  mergeAction_ = new QAction(tr("Merge…"), this);
  connect(mergeAction_, &QAction::triggered, &app_, &TamrikSeatloomApp::showMergeChooser);
  exportReportAction_ = new QAction(tr("Export Report…"), this);
  connect(exportReportAction_, &QAction::triggered, &app_, &TamrikSeatloomApp::exportReportWithSavePanel);
  quitAction_ = new QAction(tr("Quit"), this);
  quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quitAction_->setMenuRole(QAction::QuitRole);
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);

  QUndoStack& history = app_.undoStack();
  undoAction_ = new QAction(tr("Undo"), this);
  undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  undoAction_->setEnabled(false);
  connect(undoAction_, &QAction::triggered, &history, &QUndoStack::undo);
  connect(&history, &QUndoStack::canUndoChanged, undoAction_, &QAction::setEnabled);
  connect(&history, &QUndoStack::undoTextChanged, undoAction_,
          [this](const QString& step) { undoAction_->setText(withStep(tr("Undo"), step)); });
  redoAction_ = new QAction(tr("Redo"), this);
  redoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  redoAction_->setEnabled(false);
  connect(redoAction_, &QAction::triggered, &history, &QUndoStack::redo);
  connect(&history, &QUndoStack::canRedoChanged, redoAction_, &QAction::setEnabled);
  connect(&history, &QUndoStack::redoTextChanged, redoAction_,
          [this](const QString& step) { redoAction_->setText(withStep(tr("Redo"), step)); });

  fileMenu_ = menuBar()->addMenu(tr("&File"));
  fileMenu_->addAction(openAction_);
  recentMenu_ = fileMenu_->addMenu(tr("Open Recent"));
  recentMenu_->setToolTipsVisible(true);  // the full path of each entry
  fileMenu_->addAction(exportAction_);
  fileMenu_->addSeparator();
  fileMenu_->addAction(mergeAction_);
  fileMenu_->addAction(exportReportAction_);
  fileMenu_->addSeparator();
  fileMenu_->addAction(quitAction_);
  QMenu* editMenu = menuBar()->addMenu(tr("&Edit"));
  editMenu->addAction(undoAction_);
  editMenu->addAction(redoAction_);
  walkBanner_->install(*this);

  // The shown zone's summary stays in the status bar: when a menu's status tip clears it, it comes back.
  LocationView* view = contentView_->locationView();
  connect(view, &LocationView::zoneSummaryChanged, statusBar(),
          [this](const QString& summary) { statusBar()->showMessage(summary); });
  connect(statusBar(), &QStatusBar::messageChanged, view, [this, view](const QString& message) {
    if (message.isEmpty() && !view->zoneSummary().isEmpty()) statusBar()->showMessage(view->zoneSummary());
  });
  // Where a serial number entered from a label came from: "moved from Desk 7".
  connect(view, &LocationView::serialNumberEntered, statusBar(),
          [this](const QString&, const QString& message) { statusBar()->showMessage(message, 10000); });
  contentView_->locationView()->setEmptyStateActions(makeEmptyStateActions());

  connect(&app_.recentFiles(), &RecentFiles::filesChanged, this, &MainWindow::rebuildRecentMenu);
  connect(&app_.recentFiles(), &RecentFiles::filesChanged, this, &MainWindow::showRecentButtons);
  connect(app_.placeDataModel().get(), &PlaceDataModel::currentFileNameChanged, this,
          &MainWindow::updateTitle);
  connect(&history, &QUndoStack::cleanChanged, this, &MainWindow::updateTitle);
  connect(&app_, &TamrikSeatloomApp::mergeChanged, this, &MainWindow::updateTitle);
  connect(&app_, &TamrikSeatloomApp::loadErrorChanged, this, &MainWindow::showAlert);
  connect(&app_, &TamrikSeatloomApp::loadNoticeChanged, this, &MainWindow::showLoadNotice);

  // While a file opens: the share read, and a way to stop. The reading thread only counts; the bar looks
  // at the count as the window repaints.
  openingLabel_ = new QLabel;
  openingBar_ = new QProgressBar;
  openingBar_->setRange(0, 1000);
  openingBar_->setTextVisible(false);
  openingBar_->setMaximumWidth(240);
  cancelOpening_ = new QPushButton(tr("Cancel"));
  cancelOpening_->setAutoDefault(false);
  connect(cancelOpening_, &QPushButton::clicked, &app_, [this] {
    app_.cancelOpening();
    app_.cancelExporting();
  });
  statusBar()->addPermanentWidget(openingLabel_);
  statusBar()->addPermanentWidget(openingBar_);
  statusBar()->addPermanentWidget(cancelOpening_);
  openingTimer_ = new QTimer(this);
  openingTimer_->setInterval(50);
  connect(openingTimer_, &QTimer::timeout, this, [this] {
    const auto* progress = app_.openingProgress() ? app_.openingProgress() : app_.exportingProgress();
    if (progress) {
      // Once all is read the hierarchy is built, for a while yet: the bar says it is busy.
      if (progress->fraction() >= 1.0)
        openingBar_->setRange(0, 0);
      else
        openingBar_->setValue(static_cast<int>(progress->fraction() * 1000));
    }
  });
  connect(&app_, &TamrikSeatloomApp::openingChanged, this, &MainWindow::showOpening);
  connect(&app_, &TamrikSeatloomApp::exportingChanged, this, &MainWindow::showOpening);
  showOpening();
  rebuildRecentMenu();
  showRecentButtons();
  updateTitle();
  resize(1180, 720);
}

void MainWindow::updateTitle() {
  const auto& name = app_.placeDataModel()->currentFileName();
  const bool modified = app_.hasUnsavedAssignments();
  // The placeholder only while modified, so that the title reads as the bare name otherwise.
  setWindowTitle((name                ? asTitle(displayName(*name))
                  : app_.showsMerge() ? tr("Merged places")
                                      : tr("Tamrik Seatloom")) +
                 (modified ? QStringLiteral("[*]") : QString()));
  setWindowModified(modified);
}

void MainWindow::rebuildRecentMenu() {
  recentMenu_->clear();
  const auto& files = app_.recentFiles().files();
  if (files.empty()) {
    recentMenu_->addAction(tr("No Recent Files"))->setEnabled(false);
    return;
  }
  for (const auto& file : files) {
    auto* entry = recentMenu_->addAction(recentEntryText(file));
    entry->setToolTip(recentEntryToolTip(file));
    connect(entry, &QAction::triggered, &app_, [this, file] { app_.openFileFromUser(file); });
  }
  recentMenu_->addSeparator();
  connect(recentMenu_->addAction(tr("Clear")), &QAction::triggered, &app_.recentFiles(), &RecentFiles::clear);
}

QWidget* MainWindow::makeEmptyStateActions() {
  auto* actions = new QWidget;
  actions->setObjectName(QStringLiteral("EmptyStateActions"));
  auto* column = new QVBoxLayout(actions);
  column->setContentsMargins(0, 12, 0, 0);
  column->setSpacing(2);
  auto* open = new QPushButton(openAction_->text());
  open->setAutoDefault(false);
  connect(open, &QPushButton::clicked, openAction_, &QAction::trigger);
  connect(openAction_, &QAction::enabledChanged, open, &QPushButton::setEnabled);  // greyed while one opens
  column->addWidget(open, 0, Qt::AlignHCenter);
  column->addSpacing(16);
  recentCaption_ = new QLabel(tr("Open Recent"));
  QPalette captionPalette = recentCaption_->palette();
  captionPalette.setColor(QPalette::WindowText, secondaryTextColor(captionPalette));
  recentCaption_->setPalette(captionPalette);
  column->addWidget(recentCaption_, 0, Qt::AlignHCenter);
  // Made once and relabelled, never deleted: a click opens a file, which changes the list while the button
  // is still handling the click.
  for (std::size_t i = 0; i < RecentFiles::kCapacity; ++i) {
    auto* button = new QPushButton;
    button->setFlat(true);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, &app_, [this, i] {
      const auto& files = app_.recentFiles().files();
      if (i < files.size())
        app_.openFileFromUser(std::filesystem::path(files[i]));  // a copy: opening reorders the list
    });
    column->addWidget(button, 0, Qt::AlignHCenter);
    recentButtons_.push_back(button);
  }
  return actions;
}

void MainWindow::showRecentButtons() {
  const auto& files = app_.recentFiles().files();
  recentCaption_->setVisible(!files.empty());
  for (std::size_t i = 0; i < recentButtons_.size(); ++i) {
    QPushButton* button = recentButtons_[i];
    button->setVisible(i < files.size());
    if (i >= files.size()) continue;
    button->setText(recentEntryText(files[i]));
    button->setToolTip(recentEntryToolTip(files[i]));
  }
}

void MainWindow::showAlert() {
  if (!app_.loadError()) {
    if (alert_) alert_->close();
    return;
  }
  const QString title = app_.failedExport() ? tr("Failed to Export file") : tr("Failed to Load file");
  if (!alert_) {
    alert_ = new QMessageBox(this);
    alert_->setIcon(QMessageBox::Warning);
    alert_->setTextFormat(Qt::PlainText);
    alert_->addButton(tr("OK"), QMessageBox::RejectRole);  // the cancel role: Escape answers it too
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    // However it is dismissed, the error is gone.
    connect(alert_, &QMessageBox::finished, this, [this] {
      alert_ = nullptr;
      if (app_.loadError()) app_.setLoadError(nullptr);
    });
  }
  alert_->setWindowTitle(title);
  alert_->setText(title);
  // The sentence says what to do; the library's full text is one click away.
  alert_->setInformativeText(QString::fromStdString(app_.failureText().sentence));
  alert_->setDetailedText(QString::fromStdString(app_.failureText().details));
  showPlainly(*alert_);
  alert_->open();
}

void MainWindow::showOpening() {
  const bool opening = app_.isOpening() || app_.isExporting();
  // The file by name: a technician who opened several should see which one this is.
  const QString name = displayName(app_.busyFile().filename());
  // Said when something waits for the export, so that the window closing, say, comes as no surprise.
  const QString exporting = app_.exportFollowedBy().isEmpty()
                                ? tr("Exporting to %1\u2026").arg(name)
                                : tr("Exporting to %1, then %2\u2026").arg(name, app_.exportFollowedBy());
  openingLabel_->setText(app_.isExporting()         ? exporting
                         : app_.mergingFiles() == 1 ? tr("Merging %1\u2026").arg(name)
                         : app_.mergingFiles()      ? tr("Merging %1 files\u2026").arg(app_.mergingFiles())
                                                    : tr("Opening %1\u2026").arg(name));
  openingBar_->setRange(0, 1000);
  openingBar_->setValue(0);
  exportAction_->setEnabled(!opening);
  mergeAction_->setEnabled(!opening);
  exportReportAction_->setEnabled(!opening);
  openingLabel_->setVisible(opening);
  openingBar_->setVisible(opening);
  cancelOpening_->setVisible(opening);
  openAction_->setEnabled(!opening);
  recentMenu_->setEnabled(!opening);
  for (QPushButton* button : recentButtons_) button->setEnabled(!opening);
  if (opening)
    openingTimer_->start();
  else
    openingTimer_->stop();
}

void MainWindow::showLoadNotice() {
  noticeText_->setText(app_.loadNotice());
  noticeDetails_->setVisible(!app_.loadNoticeDetails().isEmpty());
  noticeBar_->setVisible(!app_.loadNotice().isEmpty());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeSettled_ || !app_.hasUnsavedAssignments()) {
    app_.zoneWalk().stop();
    return event->accept();
  }
  // Settled now (discarded), or once the export the user asked for is written: then the window closes
  // itself.
  auto asking = std::make_shared<bool>(true), settled = std::make_shared<bool>(false);
  app_.settleUnsavedAssignments(
      [this, asking, settled] {
        *settled = true;
        if (*asking) return;
        closeSettled_ = true;
        close();
      },
      tr("closing"));
  *asking = false;
  if (!*settled) return event->ignore();
  app_.zoneWalk().stop();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!app_.isOpening() && !app_.isExporting() && droppedFile(event->mimeData()))
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  if (auto file = droppedFile(event->mimeData())) {
    event->acceptProposedAction();
    app_.openFileFromUser(*file);
  }
}

}  // namespace tamrik
