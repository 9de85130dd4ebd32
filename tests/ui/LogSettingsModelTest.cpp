// The log settings: what OK stores, and where the file chooser starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/LogSettingsModel.h"

namespace veltraw {
namespace {

std::string storedText(const test::ScratchKey& scratch, const TextSetting& value) {
  return scratch.open()->readText(value.name, "<absent>");
}

TEST(LogSettingsModel, PathsAreStoredUpToTheBufferSizeByteForByte) {
  const std::string longest(LogSettingsModel::kMaxPathLength, 'p');
  const struct {
    std::string text;
    std::string kept;
  } cases[] = {
      {"", ""},  // stored as an empty text, not left absent
      {longest, longest},
      {longest + "q", longest},
      {"C:\\no\\such\\folder\\caf\xe9.log", "C:\\no\\such\\folder\\caf\xe9.log"},
  };
  for (const auto& c : cases) {
    test::ScratchKey scratch;
    LogSettingsModel model(scratch.name(), scratch.directory());
    model.load();
    model.store(c.text, !c.text.empty(), c.text);
    EXPECT_EQ(storedText(scratch, setting::LogFile), c.kept);
    EXPECT_EQ(storedText(scratch, setting::DataFile), c.kept);
    EXPECT_EQ(scratch.open()->readNumber(setting::LogDetails.name, -1), c.text.empty() ? 0 : 1);
  }
  // Stored longer elsewhere (by hand): the field shows what OK would keep.
  test::ScratchKey scratch;
  scratch.open()->writeText(setting::DataFile.name, longest + "q");
  LogSettingsModel model(scratch.name(), scratch.directory());
  model.load();
  EXPECT_EQ(model.path(OutputFile::Data), longest);
}

TEST(LogSettingsModel, ChooserStartsOnTheStoredPathAndStoresNothing) {
  test::ScratchKey scratch;
  scratch.open()->writeText(setting::LogFile.name, "C:\\stored.log");
  scratch.open()->writeText(setting::DataFile.name, "C:\\stored.csv");
  scratch.open()->writeNumber(setting::LogDetails.name, 2);
  LogSettingsModel model(scratch.name(), scratch.directory());
  model.load();
  EXPECT_TRUE(model.logDetails());

  std::vector<std::string> starts;
  bool choose = false;
  std::string choice;
  const FileChooser chooser = [&](const FileChooserRequest&, std::string& path) {
    starts.push_back(path);
    if (choose) path = choice;
    return choose;
  };
  // Cancelled: the buffer, and with it the field, stays as it was.
  EXPECT_FALSE(model.browse(OutputFile::Log, chooser));
  EXPECT_EQ(model.path(OutputFile::Log), "C:\\stored.log");
  // A file that does not exist yet is a choice like any other; the next
  // browse starts on it. Each path has its own buffer.
  choose = true;
  choice = "D:\\new\\not-yet.log";
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser));
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser));
  choice = "D:\\" + std::string(400, 'c');
  EXPECT_TRUE(model.browse(OutputFile::Data, chooser));
  EXPECT_EQ(model.path(OutputFile::Data).size(), LogSettingsModel::kMaxPathLength);
  EXPECT_EQ(starts, (std::vector<std::string>{"C:\\stored.log", "C:\\stored.log",
                                              "D:\\new\\not-yet.log", "C:\\stored.csv"}));

  // Browsing is no OK: a dialog cancelled now leaves the stored values.
  EXPECT_EQ(storedText(scratch, setting::LogFile), "C:\\stored.log");
  EXPECT_EQ(storedText(scratch, setting::DataFile), "C:\\stored.csv");
}

}  // namespace
}  // namespace veltraw
