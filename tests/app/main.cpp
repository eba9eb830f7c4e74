#include <gtest/gtest.h>

#include <QApplication>

// Widgets need an application on the main thread; without a display they draw offscreen.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Tamrik Seatloom"));  // as the program has it
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
