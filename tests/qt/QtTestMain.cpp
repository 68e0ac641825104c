// The Qt tests run on the offscreen platform unless told otherwise, with the desktop program's look.
#include <gtest/gtest.h>

#include <QApplication>

#include "qt/Look.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tarvel200IMOT iMOTION Chip Programmer");
  tarvel::SetUpApplicationLook();
  return RUN_ALL_TESTS();
}
