#include "maintenance/export_menu.h"

#include <gtest/gtest.h>

TEST(ExportMenu, ExportsAddTheirMarkDeletionClearsThem) {
  ExportMenuChecks c = CheckExportMenu({}, ExportMenuItem::DeleteBackUpFolder);
  EXPECT_EQ(c, (ExportMenuChecks{false, false, false, true}));
  c = CheckExportMenu(c, ExportMenuItem::Triggers);
  EXPECT_EQ(c, (ExportMenuChecks{false, true, false, false}));
  c = CheckExportMenu(c, ExportMenuItem::LogFile);
  c = CheckExportMenu(c, ExportMenuItem::LongTimeData);
  EXPECT_EQ(c, (ExportMenuChecks{true, true, true, false}));
  EXPECT_EQ(CheckExportMenu(c, ExportMenuItem::DeleteBackUpFolder),
            (ExportMenuChecks{false, false, false, true}));
}
