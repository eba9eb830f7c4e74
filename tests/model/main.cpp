#include <gtest/gtest.h>

#include <QCoreApplication>

// Places are QObjects, made and observed on the main thread of an application.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
