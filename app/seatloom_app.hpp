#pragma once

#include <QMainWindow>
#include <QObject>
#include <QSettings>
#include <QUndoStack>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/recent_files.hpp"
#include "app/zone_walk.hpp"
#include "model/failure_text.hpp"
#include "model/merge.hpp"
#include "model/place_data_model.hpp"
#include "peripherals/peripheral_manager.hpp"

class QAction;
class QMenu;
class QFrame;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTimer;
class QTranslator;

namespace tamrik {

class ContentView;
class MainWindow;
class WalkBanner;

/// What the command line asks for.
struct AppOptions {
  bool demo = false;                          ///< the sample places and displays
  std::optional<QString> displayCommand;      ///< a command that lists the displays instead
  std::optional<std::filesystem::path> file;  ///< a places file to open at start-up

  /// The window, or one of the modes for scripts and the help, which need no display server.
  enum class Mode { window, listDisplays, check, report, merge, help, helpAll };
  Mode mode = Mode::window;
  bool json = false;  ///< `listDisplays` and `report` print JSON
  /// The text encoding of `file` (or the files to merge) where it is not UTF-8.
  std::optional<tamrikcsv::TextEncoding> encoding = {};
  /// `merge`: the files to merge, in order, and those that settle conflicts, in order of precedence;
  /// `file` is the file written.
  std::vector<std::filesystem::path> mergeFiles = {};
  std::vector<std::filesystem::path> preferredFiles = {};
};

/// Makes every thread allocate from the one arena of the C library's allocator, where that allocator has
/// several. The places a file's reading thread makes outlive it; in an arena of its own, the memory it
/// freed while reading could serve nothing else (48 MB more at the peak with the million-place file).
/// Call before any thread starts.
void shareOneMemoryArena();

/// The program: the two shared models, the recent files, the main window and its commands, and the alert
/// that reports a failed load or export.
///
/// ```cpp
/// QSettings settings;
/// TamrikSeatloomApp app(AppOptions{}, settings);
/// app.window()->show();
/// app.openFile("places.csv");  // on failure the alert shows the error; nothing else changes
/// ```
class TamrikSeatloomApp : public QObject {
  Q_OBJECT
 public:
  /// Asks the user for a file; nothing when cancelled. The dialogs can be replaced, as tests do.
  using FileChooser = std::function<std::optional<std::filesystem::path>(QWidget* parent)>;
  /// What to do with assignments not yet exported before they would be lost.
  enum class UnsavedChoice { exportFirst, discard, cancel };
  using UnsavedPrompt = std::function<UnsavedChoice(QWidget* parent)>;
  /// Whether to read a file that is not UTF-8 as Western European (Windows-1252), asked with the error.
  using EncodingPrompt = std::function<bool(QWidget* parent, const PlacesFileError& error)>;
  /// Asks the user for the places files to merge; none when cancelled.
  using FilesChooser = std::function<std::vector<std::filesystem::path>(QWidget* parent)>;
  /// Asks how to settle the conflicts of a merge whose files `names` name: the place kept for each
  /// conflict, as `settleConflicts` takes them, or nothing when the user cancels.
  using ConflictPrompt = std::function<std::optional<std::vector<std::size_t>>(
      QWidget* parent, const MergeResult& result, const std::vector<std::filesystem::path>& names)>;

  TamrikSeatloomApp(const AppOptions& options, QSettings& settings, QObject* parent = nullptr);
  ~TamrikSeatloomApp() override;

  const std::shared_ptr<PeripheralManager>& peripheralManager() const noexcept { return peripheralManager_; }
  const std::shared_ptr<PlaceDataModel>& placeDataModel() const noexcept { return placeDataModel_; }
  RecentFiles& recentFiles() noexcept { return recentFiles_; }
  /// The assignments and unassignments made since the last load, for Undo and Redo.
  QUndoStack& undoStack() noexcept { return undoStack_; }
  /// How many places of each group hold a display, shared by the views and the walk.
  const std::shared_ptr<PlaceCounts>& placeCounts() const noexcept { return placeCounts_; }
  /// Walking a zone: its assignments are steps of `undoStack`. Held while a file opens or merges; loading a
  /// file or closing stops it first.
  ZoneWalk& zoneWalk() noexcept { return zoneWalk_; }
  MainWindow* window() const noexcept { return window_.get(); }

  /// The failure being reported, or null.
  std::exception_ptr loadError() const noexcept { return loadError_; }
  /// Reports `error` as a failed load, in the error's own words (no file is known to say where).
  void setLoadError(std::exception_ptr error);
  /// Whether the failure reported is of an export, not a load.
  bool failedExport() const noexcept { return failedExport_; }
  /// The failure reported, as a person reads it: a plain sentence and the full text behind it.
  const FailureText& failureText() const noexcept { return failureText_; }
  /// How an error reads in the alert: a CSV error's diagnostic text, another exception's message, or
  /// "Unknown error".
  static QString describeError(std::exception_ptr error);

  /// Loads `file` into the place model; on success it goes to the front of the recent files, demo mode
  /// ends, and what the load warns of becomes the `loadNotice`; on failure the alert reports it and the
  /// recent files stay as they were. A file that is not UTF-8 and was read without an encoding is offered
  /// to be read as Western European first.
  void openFile(const std::filesystem::path& file, const PlacesReadOptions& options = {});
  /// Writes the places to `file`; a failure is reported by the same alert.
  void exportTo(const std::filesystem::path& file);
  /// Opens `file` as `openFile` does, but reads it on another thread while the window shows its progress
  /// and offers Cancel, which leaves the store as it was. False, and nothing starts, while another
  /// opening runs.
  bool startOpening(const std::filesystem::path& file, const PlacesReadOptions& options = {});
  /// Whether an opening started by `startOpening` runs.
  bool isOpening() const noexcept { return opening_ != nullptr; }
  /// How far the running opening got; null when none runs.
  const WorkProgress* openingProgress() const noexcept;
  /// The file the running opening or export reads or writes; empty when none runs.
  std::filesystem::path busyFile() const;
  /// Stops the running opening at its next read.
  void cancelOpening();
  /// "Open…": asks for one CSV file and opens it in the background.
  void showFileImporter();
  /// Opens `file` in the background as the user asked for it (a recent entry, a dropped file):
  /// unexported assignments are settled first.
  void openFileFromUser(const std::filesystem::path& file);
  /// "Export…": asks where to save, titled "Export Places with Serial Numbers", and exports there in the
  /// background.
  void exportWithSavePanel();
  /// Writes the places to `file` as `exportTo` does, but from a snapshot taken now, on another thread,
  /// while the window shows the rows written and offers Cancel, which leaves the file as it was. False, and
  /// nothing starts, while an opening or another export runs.
  bool startExporting(const std::filesystem::path& file);
  /// Whether an export started by `startExporting` runs.
  bool isExporting() const noexcept { return exporting_ != nullptr; }
  /// How far the running export got; null when none runs.
  const WorkProgress* exportingProgress() const noexcept;
  /// Stops the running export at its next row.
  void cancelExporting();

  /// Whether the assignments differ from those of the last load or export (undoing back to it leaves
  /// nothing to lose), or the places shown are a merge not yet exported; never in demo mode, whose places
  /// are a sample. The window shows it as modified.
  bool hasUnsavedAssignments() const { return !demo_ && (!undoStack_.isClean() || unexportedMerge_); }
  /// Before unexported assignments would be lost: asks whether to export them first (Export, Discard,
  /// Cancel), then runs `then` once nothing would be lost: at once when nothing is or the user discards;
  /// after the export when the user exports first. The export runs in the background as `startExporting`
  /// does (a running opening is cancelled first, a running export finished first); when it fails or is
  /// cancelled `then` never runs, and steps taken while it writes are asked about again. Nothing runs
  /// when the user cancels, or while an earlier answer's export writes.
  /// `afterwards` says in a few words what `then` does ("closing"), for the status bar while the export
  /// writes.
  void settleUnsavedAssignments(std::function<void()> then, QString afterwards = {});
  /// What waits for the running export, as `settleUnsavedAssignments` was told it; empty when nothing.
  const QString& exportFollowedBy() const noexcept { return afterExportText_; }

  /// "Merge…": unexported assignments are settled first; then asks for places files and merges them in
  /// the background.
  void showMergeChooser();
  /// Reads and merges `files` (one or more, one alone to settle its own conflicts) as `startOpening` reads
  /// one: on another thread, with progress and Cancel, in `inMergeOrder`. Conflicts are then the user's to
  /// settle (Cancel leaves everything as it was), which again runs in the background; then the merged
  /// places replace the store's as a new document that no file holds: `showsMerge`, not exported yet, not
  /// a recent file; what the merge warns of becomes the `loadNotice`. A file that fails to load is
  /// reported by the alert, naming it, and nothing changes. False, and nothing starts, while an opening or
  /// an export runs.
  bool startMerging(const std::vector<std::filesystem::path>& files);
  /// How many files the running opening merges; 0 when none runs, or it opens one file.
  std::size_t mergingFiles() const noexcept;
  /// Whether the places shown are a merge's, until a file is opened; the title says "Merged places".
  bool showsMerge() const noexcept { return showsMerge_; }
  /// "Export Report…": asks where to save, titled "Export Report", and writes the report there.
  void exportReportWithSavePanel();
  /// Writes how many places of each location, level and zone hold a display to `file`, a CSV table
  /// (`writeCoverage`); a failure is reported as an export's, success in the status bar.
  void exportReportTo(const std::filesystem::path& file);

  void setOpenFileChooser(FileChooser chooser) { chooseFileToOpen_ = std::move(chooser); }
  void setSaveFileChooser(FileChooser chooser) { chooseFileToSave_ = std::move(chooser); }
  void setUnsavedPrompt(UnsavedPrompt prompt) { askAboutUnsaved_ = std::move(prompt); }
  void setEncodingPrompt(EncodingPrompt prompt) { askAboutEncoding_ = std::move(prompt); }
  void setMergeFilesChooser(FilesChooser chooser) { chooseFilesToMerge_ = std::move(chooser); }
  void setConflictPrompt(ConflictPrompt prompt) { askAboutConflicts_ = std::move(prompt); }
  void setReportFileChooser(FileChooser chooser) { chooseReportFile_ = std::move(chooser); }

  /// What the last load warned of, in plain words, until the next load or `dismissLoadNotice`; empty when
  /// nothing.
  const QString& loadNotice() const noexcept { return loadNotice_; }
  /// Everything the notice sums up, for "Show Details…"; empty when the notice says it all.
  const QString& loadNoticeDetails() const noexcept { return loadNoticeDetails_; }
  void dismissLoadNotice();
  /// Whether the sample places and displays are shown: from `--demo` until a file is opened.
  bool isDemo() const noexcept { return demo_; }

 signals:
  void loadErrorChanged();
  void loadNoticeChanged();
  /// An opening started or ended (loaded, failed or cancelled).
  void openingChanged();
  /// An export started or ended.
  void exportingChanged();
  /// `showsMerge`, or whether the merge shown is exported, changed.
  void mergeChanged();

 private:
  struct Opening;
  struct Exporting;
  void reportFailure(std::exception_ptr error, bool isExport, FailureText text);
  void finishOpening();
  void finishExporting();
  void startExportWhenIdle();
  // What an opening came to, on the window's thread: `loaded` or `error`.
  void completeOpening(const std::filesystem::path& file, const PlacesReadOptions& options, bool inBackground,
                       std::optional<PlaceDataModel::LoadedPlaces> loaded, std::exception_ptr error,
                       std::optional<FailureText> failure = std::nullopt);
  // What a merge came to, on the window's thread.
  void completeMerging(Opening& merging);
  // Settles the conflicts of `merged` as `picks` say and makes its places ready, in the background as a
  // merge reads; completeMerging follows.
  void startSettling(Opening& merged, std::vector<std::size_t> picks);
  // Makes `work`, whose thread runs, the opening the window shows and polls for its end.
  void watch(std::unique_ptr<Opening> work);
  void leaveDemo();
  void setMergeShown(bool shown, bool unexported);

  std::shared_ptr<PeripheralManager> peripheralManager_;
  std::shared_ptr<PlaceDataModel> placeDataModel_;
  std::exception_ptr loadError_;
  bool failedExport_ = false;
  FailureText failureText_;
  RecentFiles recentFiles_;
  FileChooser chooseFileToOpen_, chooseFileToSave_;
  UnsavedPrompt askAboutUnsaved_;
  EncodingPrompt askAboutEncoding_;
  FilesChooser chooseFilesToMerge_;
  ConflictPrompt askAboutConflicts_;
  FileChooser chooseReportFile_;
  bool showsMerge_ = false;
  bool unexportedMerge_ = false;
  QString loadNotice_;
  QString loadNoticeDetails_;
  bool demo_;
  std::optional<QString> displayCommand_;
  QUndoStack undoStack_;
  std::shared_ptr<PlaceCounts> placeCounts_ = std::make_shared<PlaceCounts>(placeDataModel_);
  ZoneWalk zoneWalk_{peripheralManager_, placeDataModel_, &undoStack_, placeCounts_};
  QTimer* openingPoll_;
  std::unique_ptr<Opening> opening_;
  std::unique_ptr<Exporting> exporting_;
  std::unique_ptr<QTranslator> texts_;  // installed before the window is made
  std::function<void()> afterExport_;   // what `settleUnsavedAssignments` does once its export is written
  QString afterExportText_;             // what it does, in words
  std::optional<std::filesystem::path> exportWhenIdle_;  // its export, waiting for the running work to end
  std::unique_ptr<MainWindow> window_;
};

/// The one main window, "MainWindow": the content view, the File and Edit menus, the alert, and the status
/// bar, which says how many places of the shown zone have a display and shows an opening's progress; walking
/// a zone adds the Places menu, the Walk toolbar and the banner above the content. Its title is the loaded
/// file's name ("Merged places" for a merge), marked modified while `hasUnsavedAssignments`. With nothing
/// loaded it offers "Open…" and the recent files as buttons ("EmptyStateActions").
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(TamrikSeatloomApp& app);

  ContentView* contentView() const noexcept { return contentView_; }
  QAction* openAction() const noexcept { return openAction_; }
  QAction* exportAction() const noexcept { return exportAction_; }
  QAction* mergeAction() const noexcept { return mergeAction_; }
  QAction* exportReportAction() const noexcept { return exportReportAction_; }
  QAction* quitAction() const noexcept { return quitAction_; }
  QAction* undoAction() const noexcept { return undoAction_; }
  QAction* redoAction() const noexcept { return redoAction_; }
  QMenu* fileMenu() const noexcept { return fileMenu_; }
  QMenu* recentMenu() const noexcept { return recentMenu_; }
  /// The banner of walking mode, which also makes walking's commands (the Places menu, the Walk toolbar).
  WalkBanner* walkBanner() const noexcept { return walkBanner_; }
  /// The alert on screen, or null.
  QMessageBox* alert() const noexcept { return alert_; }
  /// The bar above the content that shows the app's `loadNotice`, hidden while there is none.
  QFrame* noticeBar() const noexcept { return noticeBar_; }
  /// The status bar's share done while an opening (of the file read) or an export (of the rows written)
  /// runs, and its Cancel button.
  QProgressBar* openingBar() const noexcept { return openingBar_; }
  QPushButton* cancelOpeningButton() const noexcept { return cancelOpening_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void updateTitle();
  QWidget* makeEmptyStateActions();
  void rebuildRecentMenu();
  void showRecentButtons();
  void showAlert();
  void showLoadNotice();
  void showOpening();

  TamrikSeatloomApp& app_;
  ContentView* contentView_;
  QMenu* fileMenu_;
  QMenu* recentMenu_;
  QAction* openAction_;
  QAction* exportAction_;
  QAction* mergeAction_;
  QAction* exportReportAction_;
  QAction* quitAction_;
  QAction* undoAction_;
  QAction* redoAction_;
  QLabel* recentCaption_;
  std::vector<QPushButton*> recentButtons_;  // one per entry the list can hold, hidden while unused
  QMessageBox* alert_ = nullptr;
  bool closeSettled_ = false;  // the unsaved assignments were exported for this closing
  QFrame* noticeBar_;
  QLabel* noticeText_;
  WalkBanner* walkBanner_;
  QLabel* openingLabel_;
  QProgressBar* openingBar_;
  QPushButton* cancelOpening_;
  QTimer* openingTimer_;
  QPushButton* noticeDetails_;
};

}  // namespace tamrik
