// The log settings: what OK stores, and where the file chooser starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/LogSettingsModel.h"

namespace veltraw {
namespace {

// Paths are stored up to the buffer's size, byte for byte; an empty one is
// stored as an empty text, not left absent.
TEST(LogSettingsModel, PathsAreStoredUpToTheBufferSize) {
  const std::string longest(LogSettingsModel::kMaxPathLength, 'p');
  for (const std::string& path : {std::string(), longest + "q", std::string("C:\\caf\xe9.log")}) {
    test::ScratchKey scratch;
    LogSettingsModel model(scratch.name(), scratch.directory());
    model.store(path, !path.empty(), path);
    const std::string kept = path.substr(0, longest.size());
    auto key = scratch.open();
    EXPECT_EQ(key->readText(setting::LogFile.name, "<absent>"), kept);
    EXPECT_EQ(key->readText(setting::DataFile.name, "<absent>"), kept);
    EXPECT_EQ(key->readNumber(setting::LogDetails.name, -1), path.empty() ? 0 : 1);
  }
}

TEST(LogSettingsModel, ChooserStartsOnTheStoredPathAndStoresNothing) {
  test::ScratchKey scratch;
  scratch.open()->writeText(setting::LogFile.name, "C:\\stored.log");
  scratch.open()->writeText(setting::DataFile.name, std::string(300, 'd'));  // longer by hand
  scratch.open()->writeNumber(setting::LogDetails.name, 2);
  LogSettingsModel model(scratch.name(), scratch.directory());
  model.load();
  EXPECT_TRUE(model.logDetails());
  EXPECT_EQ(model.path(OutputFile::Data), std::string(LogSettingsModel::kMaxPathLength, 'd'));

  std::vector<std::string> starts;
  std::string choice;  // empty: cancelled
  const FileChooser chooser = [&](const FileChooserRequest&, std::string& path) {
    starts.push_back(path);
    if (!choice.empty()) path = choice;
    return !choice.empty();
  };
  // Cancelled: the buffer, and with it the field, stays as it was. A file
  // that does not exist yet is a choice like any other; the next browse
  // starts on it. Each path has its own buffer.
  EXPECT_FALSE(model.browse(OutputFile::Log, chooser));
  EXPECT_EQ(model.path(OutputFile::Log), "C:\\stored.log");
  choice = "D:\\new\\not-yet.log";
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser));
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser));
  choice = "D:\\" + std::string(400, 'c');
  EXPECT_TRUE(model.browse(OutputFile::Data, chooser));
  EXPECT_EQ(model.path(OutputFile::Data).size(), LogSettingsModel::kMaxPathLength);
  EXPECT_EQ(starts, (std::vector<std::string>{"C:\\stored.log", "C:\\stored.log",
                                              "D:\\new\\not-yet.log", std::string(259, 'd')}));
  // Browsing is no OK: a dialog cancelled now leaves the stored values.
  EXPECT_EQ(scratch.open()->readText(setting::LogFile.name, ""), "C:\\stored.log");
}

}  // namespace
}  // namespace veltraw
