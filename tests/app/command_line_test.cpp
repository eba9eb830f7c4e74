#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <fstream>
#include <sstream>

#include "app_support.hpp"

// The script modes, run as a script runs them: the real program, without a display server.

namespace {

struct Outcome {
  int status;
  QString out, err;
};

Outcome run(const QStringList& arguments) {
  QProcess process;
  auto environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(TAMRIK_APP_BINARY), arguments);
  EXPECT_TRUE(process.waitForFinished(30000));
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

const char* kDisplays =
    R"("DisplayAttributes" = {"ProductAttributes"={"SerialNumber"=810173772,"ProductName"="DELL U2412M"}})"
    "\n"
    R"("DisplayAttributes" = {"ProductAttributes"={"AlphanumericSerialNumber"="CN465018YN","ProductName"="HP Z24n"}})"
    "\n";

}  // namespace

TEST(ScriptModes, ListDisplaysAsLinesOrJSON) {
  tamrik::test::ScratchFolder scratch;
  auto lines = scratch.write("displays.txt", kDisplays);
  QString command = QStringLiteral("cat '%1'").arg(QString::fromStdString(lines.string()));
  Outcome text = run({"--list-displays", "--display-command", command});
  EXPECT_EQ(text.status, 0) << text.err.toStdString();
  EXPECT_EQ(text.out, "810173772\tDELL U2412M\nCN465018YN\tHP Z24n\n");

  Outcome json = run({"--list-displays", "--json", "--display-command", command});
  EXPECT_EQ(json.status, 0);
  QJsonArray displays = QJsonDocument::fromJson(json.out.toUtf8()).array();
  ASSERT_EQ(displays.size(), 2);
  EXPECT_EQ(displays[1].toObject()[QStringLiteral("serialNumber")].toString(), "CN465018YN");
  EXPECT_EQ(displays[1].toObject()[QStringLiteral("productName")].toString(), "HP Z24n");

  EXPECT_EQ(run({"--list-displays", "--display-command", "true"}).out, "");  // nothing attached
  EXPECT_EQ(text.err, "");
}

TEST(ScriptModes, ListDisplaysSaysOnStandardErrorHowManyItLeavesOut) {
  tamrik::test::ScratchFolder scratch;
  auto lines = scratch.write(
      "displays.txt",
      std::string(kDisplays) +
          R"("DisplayAttributes" = {"ProductAttributes"={"SerialNumber"=x,"ProductName"="No serial"}})"
          "\n");
  QString command = QStringLiteral("cat '%1'").arg(QString::fromStdString(lines.string()));
  Outcome text = run({"--list-displays", "--display-command", command});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "810173772\tDELL U2412M\nCN465018YN\tHP Z24n\n");
  EXPECT_EQ(text.err, "1 connected display has no usable serial number and is not listed.\n");
  Outcome json = run({"--list-displays", "--json", "--display-command", command});
  EXPECT_EQ(QJsonDocument::fromJson(json.out.toUtf8()).array().size(), 2);
  EXPECT_EQ(json.err, text.err);

  // A shell's message is no display.
  Outcome none = run(
      {"--list-displays", "--display-command", "echo oops; printf '\"DisplayAttributes\"={}\\n%.0s' 1 2"});
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "2 connected displays have no usable serial number and are not listed.\n");
}

TEST(ScriptModes, CheckSummarisesAFileOrPrintsItsError) {
  tamrik::test::ScratchFolder scratch;
  auto good = scratch.write("places.csv", tamrik::test::kHeader +
                                              "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                                              "L1,Office,F1,First,Z2,South,P2,Desk 2,\n");
  Outcome ok = run({"--check", QString::fromStdString(good.string())});
  EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
  EXPECT_EQ(ok.out, "places.csv: 1 location, 1 level, 2 zones, 2 places, 1 serial number\n");

  const std::pair<std::filesystem::path, const char*> failures[] = {
      {scratch.path() / "missing.csv", "missing.csv could not be read: No such file or directory."},
      {scratch.write("empty.csv", ""), "empty.csv is empty. A places file starts with the header line"},
      {scratch.write("binary.csv", std::string("\x00\xff\xfe\x01", 4)),
       "binary.csv, line 1, column 2: the text is not UTF-8"}};
  for (const auto& [bad, start] : failures) {
    Outcome failed = run({"--check", QString::fromStdString(bad.string())});
    EXPECT_EQ(failed.status, 1) << bad;
    EXPECT_TRUE(failed.err.startsWith(start)) << failed.err.toStdString();
    EXPECT_EQ(failed.err.count(QLatin1Char('\n')), 1);  // one sentence, once
    EXPECT_TRUE(failed.out.startsWith("Error loading places: "));
  }
}

TEST(ScriptModes, CheckReadsTheEncodingGivenAndWarnsOfRoundedSerialNumbers) {
  tamrik::test::ScratchFolder scratch;
  auto western = QString::fromStdString(
      scratch.write("western.csv", tamrik::test::kHeader + "L1,Caf\xe9,F1,First,Z1,North,P1,Desk 1,1.2E+19\n")
          .string());
  Outcome refused = run({"--check", western});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.err.endsWith("With --encoding windows-1252 it is read as Western European.\n"))
      << refused.err.toStdString();

  Outcome read = run({"--check", western, "--encoding", "windows-1252"});
  EXPECT_EQ(read.status, 0) << read.err.toStdString();
  EXPECT_EQ(read.out, "western.csv: 1 location, 1 level, 1 zone, 1 place, 1 serial number\n");
  EXPECT_TRUE(read.err.startsWith("warning: western.csv: the serial number on line 2 is in a spreadsheet's"))
      << read.err.toStdString();

  EXPECT_EQ(run({"--list-displays", "--encoding", "windows-1252"}).status, 2);
  Outcome unknown = run({"--check", western, "--encoding", "klingon"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(unknown.err.startsWith("Unknown encoding \"klingon\". Known encodings: US-ASCII, UTF-8,"))
      << unknown.err.toStdString();
}

TEST(ScriptModes, CheckOpensAFileWhoseNameIsNotUTF8) {
  tamrik::test::ScratchFolder scratch;
  scratch.write("caf\xe9.csv", tamrik::test::kHeader + "L1,Office,F1,First,Z1,North,P1,Desk 1,\n");
  // The name's bytes go through a shell: QProcess would pass the arguments as UTF-8.
  QProcess process;
  process.start(
      QStringLiteral("/bin/sh"),
      {QStringLiteral("-c"), QStringLiteral(R"sh(exec "$0" --check "$1/$(printf 'caf\351.csv')")sh"),
       QStringLiteral(TAMRIK_APP_BINARY), QString::fromStdString(scratch.path().string())});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_TRUE(process.readAllStandardOutput().endsWith(
      ".csv: 1 location, 1 level, 1 zone, 1 place, 0 serial numbers\n"));
}

TEST(ScriptModes, RefuseWrongOptionsWithStatusTwo) {
  Outcome wrong = run({"--no-such-option"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_TRUE(wrong.err.contains("no-such-option"));
  EXPECT_EQ(run({"--json"}).status, 2);
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.contains("--list-displays"));
}

TEST(ScriptModes, HelpNamesTheProgramWithOrWithoutQtOptions) {
  const QString usage = QStringLiteral("Usage: " TAMRIK_APP_BINARY " [options] [FILE]\n");
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith(usage)) << help.out.toStdString();
  EXPECT_FALSE(help.out.contains("--platform"));

  Outcome all = run({"--help-all"});
  EXPECT_EQ(all.status, 0) << all.err.toStdString();
  EXPECT_TRUE(all.out.startsWith(usage)) << all.out.toStdString();
  EXPECT_TRUE(all.out.contains("--list-displays"));
  EXPECT_TRUE(all.out.contains("--platform"));  // Qt's own, those of the window
}

TEST(ScriptModes, ReportCountsPlacesWithDisplaysPerLocationLevelAndZone) {
  tamrik::test::ScratchFolder scratch;
  auto file = QString::fromStdString(
      scratch
          .write("places.csv", tamrik::test::kHeader + "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                                                       "L1,Office,F1,First,Z1,North,P1,Desk 1,SN2\n"
                                                       "L1,Office,F1,First,Z1,North,P2,Desk 2,\n"
                                                       "L1,Office,F2,Second,Z9,Hall,P3,Desk 3,SN3\n"
                                                       "L2,Annex,F1,Ground,Z1,Lobby,P1,Kiosk,\n")
          .string());
  Outcome table = run({"--report", file});
  EXPECT_EQ(table.status, 0) << table.err.toStdString();
  EXPECT_EQ(table.out,
            "                Places  With display  Serial numbers\n"
            "Annex (L2)           1             0               0\n"
            "  Ground (F1)        1             0               0\n"
            "    Lobby (Z1)       1             0               0\n"
            "Office (L1)          3             2               3\n"
            "  First (F1)         2             1               2\n"
            "    North (Z1)       2             1               2\n"
            "  Second (F2)        1             1               1\n"
            "    Hall (Z9)        1             1               1\n"
            "Total                4             2               3\n");

  Outcome json = run({"--report", file, "--json"});
  EXPECT_EQ(json.status, 0);
  QJsonObject report = QJsonDocument::fromJson(json.out.toUtf8()).object();
  EXPECT_EQ(report[QStringLiteral("placesWithDisplay")].toInt(), 2);
  QJsonObject office = report[QStringLiteral("locations")].toArray()[1].toObject();
  EXPECT_EQ(office[QStringLiteral("id")].toString(), "L1");
  EXPECT_EQ(office[QStringLiteral("name")].toString(), "Office");
  EXPECT_EQ(office[QStringLiteral("serialNumbers")].toInt(), 3);
  QJsonObject first = office[QStringLiteral("levels")].toArray()[0].toObject();
  EXPECT_EQ(first[QStringLiteral("places")].toInt(), 2);
  QJsonObject north = first[QStringLiteral("zones")].toArray()[0].toObject();
  EXPECT_EQ(north[QStringLiteral("name")].toString(), "North");
  EXPECT_EQ(north[QStringLiteral("placesWithDisplay")].toInt(), 1);
  EXPECT_FALSE(north.contains(QStringLiteral("zones")));
}

TEST(ScriptModes, ReportOfAFileThatFailsToLoadSaysWhatCheckSays) {
  tamrik::test::ScratchFolder scratch;
  auto empty = QString::fromStdString(scratch.write("empty.csv", "").string());
  Outcome report = run({"--report", empty, "--json"});
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(report.err, run({"--check", empty}).err);
  EXPECT_TRUE(report.err.startsWith("empty.csv is empty.")) << report.err.toStdString();
  EXPECT_EQ(run({"--report", empty, "--check", empty}).status, 2);
  EXPECT_TRUE(run({"--help"}).out.contains("--report"));
}

namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

QString arg(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

TEST(ScriptModes, MergeWritesTheUnionAsAnExportDoes) {
  tamrik::test::ScratchFolder scratch;
  using tamrik::test::kHeader;
  // Line ends as spreadsheet programs on any platform write them.
  auto alice = scratch.write("alice.csv", kHeader +
                                              "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                                              "L1,Office,F1,First,Z1,North,P2,Desk 2,\n");
  auto bob =
      scratch.write("bob.csv",
                    "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place Name,"
                    "Serial Number\r\nL1,Office,F1,First,Z1,North,P2,Desk Two,SN2\r\n");
  auto carol =
      scratch.write("carol.csv",
                    "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place Name,"
                    "Serial Number\rL2,Annex,F1,Ground,Z1,Lobby,K1,Kiosk,SN3\r");
  const auto out = scratch.path() / "merged.csv";
  Outcome merged = run({"--merge", arg(out), arg(alice), arg(bob), arg(carol)});
  EXPECT_EQ(merged.status, 0) << merged.err.toStdString();
  EXPECT_EQ(merged.out, "merged.csv: 3 places, 3 serial numbers, from 3 files\n");
  EXPECT_EQ(merged.err,
            "warning: " + arg(bob) +
                " names place P2 (location L1, level F1, zone Z1) \"Desk Two\", an earlier file \"Desk "
                "2\": the merge keeps \"Desk 2\".\n");
  EXPECT_EQ(contents(out), kHeader +
                               "L2,Annex,F1,Ground,Z1,Lobby,K1,Kiosk,SN3\n"
                               "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                               "L1,Office,F1,First,Z1,North,P2,Desk 2,SN2\n");

  // The output may be an input: all are read before it is written. A file merged with itself is itself.
  Outcome again = run({"--merge", arg(out), arg(out), arg(out)});
  EXPECT_EQ(again.status, 0) << again.err.toStdString();
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(contents(out), kHeader +
                               "L2,Annex,F1,Ground,Z1,Lobby,K1,Kiosk,SN3\n"
                               "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                               "L1,Office,F1,First,Z1,North,P2,Desk 2,SN2\n");
}

TEST(ScriptModes, MergeWithConflictsWritesNothingUnlessPreferredFilesSettleThem) {
  tamrik::test::ScratchFolder scratch;
  using tamrik::test::kHeader;
  auto alice = scratch.write("alice.csv", kHeader +
                                              "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                                              "L1,Office,F1,First,Z1,North,P2,Desk 2,SN2\n");
  auto bob = scratch.write("bob.csv", kHeader + "L1,Office,F1,First,Z2,South,P9,Desk 9,SN1\n");
  auto carol = scratch.write("carol.csv", kHeader + "L1,Office,F1,First,Z1,North,P1,Desk 1,SN2\n");
  const auto out = scratch.write("merged.csv", "left alone");

  Outcome refused = run({"--merge", arg(out), arg(alice), arg(bob), arg(carol)});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  // Files are named as given, so that two people's places.csv stay apart.
  EXPECT_EQ(refused.err, QStringLiteral("Serial number SN1 is at 2 places:\n"
                                        "  Office / First / North / Desk 1 (L1 / F1 / Z1 / P1), in %1\n"
                                        "  Office / First / South / Desk 9 (L1 / F1 / Z2 / P9), in %2\n"
                                        "Serial number SN2 is at 2 places:\n"
                                        "  Office / First / North / Desk 1 (L1 / F1 / Z1 / P1), in %3\n"
                                        "  Office / First / North / Desk 2 (L1 / F1 / Z1 / P2), in %1\n")
                                 .arg(arg(alice), arg(bob), arg(carol)) +
                             "2 serial numbers are put at more than one place by the files: merged.csv was "
                             "not written. Say which "
                             "file to follow with --prefer FILE, or correct the files.\n");
  EXPECT_EQ(contents(out), "left alone");

  // bob.csv settles SN1 only; SN2 is still a conflict, so still nothing is written.
  Outcome half = run({"--merge", arg(out), arg(alice), arg(bob), arg(carol), "--prefer", arg(bob)});
  EXPECT_EQ(half.status, 1);
  EXPECT_TRUE(half.err.contains(QStringLiteral("in %1: kept, as %1 has it\n").arg(arg(bob))))
      << half.err.toStdString();
  EXPECT_TRUE(
      half.err.endsWith("1 serial number is put at more than one place by the files: merged.csv was not "
                        "written. Say which file to follow with --prefer FILE, or correct the files.\n"));
  EXPECT_EQ(contents(out), "left alone");

  Outcome settled = run(
      {"--merge", arg(out), arg(alice), arg(bob), arg(carol), "--prefer", arg(bob), "--prefer", arg(carol)});
  EXPECT_EQ(settled.status, 0) << settled.err.toStdString();
  EXPECT_EQ(contents(out), kHeader +
                               "L1,Office,F1,First,Z1,North,P1,Desk 1,SN2\n"
                               "L1,Office,F1,First,Z1,North,P2,Desk 2,\n"
                               "L1,Office,F1,First,Z2,South,P9,Desk 9,SN1\n");

  EXPECT_EQ(run({"--merge", arg(out), arg(alice), "--prefer", arg(bob)}).status, 2);  // not merged
  EXPECT_EQ(run({"--merge", arg(out)}).status, 2);
  EXPECT_EQ(run({arg(alice), "--prefer", arg(alice)}).status, 2);
}

TEST(ScriptModes, MergeOfAFileThatFailsToLoadWritesNothing) {
  tamrik::test::ScratchFolder scratch;
  auto alice =
      scratch.write("alice.csv", tamrik::test::kHeader + "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n");
  auto empty = scratch.write("empty.csv", "");
  const auto out = scratch.path() / "merged.csv";
  Outcome failed = run({"--merge", arg(out), arg(alice), arg(empty)});
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.err.startsWith(run({"--check", arg(empty)}).err)) << failed.err.toStdString();
  EXPECT_TRUE(failed.err.endsWith("Nothing was merged: merged.csv was not written.\n"));
  EXPECT_FALSE(std::filesystem::exists(out));
}
