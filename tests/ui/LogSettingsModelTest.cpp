// The log settings: what the dialog shows, where the file chooser starts, and
// what OK stores.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/LogSettingsModel.h"

namespace veltraw {
namespace {

const std::string kAbsent = "<absent>";

struct Stored {
  std::string logFile;
  int32_t logDetails;
  std::string dataFile;
};

Stored storedValues(const test::ScratchKey& scratch) {
  auto key = scratch.open();
  return {key->readText(setting::LogFile.name, kAbsent),
          key->readNumber(setting::LogDetails.name, -1),
          key->readText(setting::DataFile.name, kAbsent)};
}

TEST(LogSettingsModel, FreshSystemShowsNothingAndOkStoresEmptyValues) {
  test::ScratchKey scratch;
  LogSettingsModel model(scratch.name(), scratch.directory());
  model.load();
  EXPECT_EQ(model.path(OutputFile::Log), "");
  EXPECT_EQ(model.path(OutputFile::Data), "");
  EXPECT_FALSE(model.logDetails());

  model.store("", false, "");
  const Stored stored = storedValues(scratch);
  EXPECT_EQ(stored.logFile, "");  // present and empty, not absent
  EXPECT_EQ(stored.logDetails, 0);
  EXPECT_EQ(stored.dataFile, "");
}

TEST(LogSettingsModel, PathsAreKeptUpToTheBufferSizeByteForByte) {
  const std::string longest(LogSettingsModel::kMaxPathLength, 'p');
  struct Case {
    std::string text;
    std::string kept;
  } cases[] = {
      {"C:\\logs\\veltraw.log", "C:\\logs\\veltraw.log"},
      {longest, longest},
      {longest + "q", longest},
      {std::string(5000, 'r'), std::string(LogSettingsModel::kMaxPathLength, 'r')},
      {"C:\\no\\such\\folder\\caf\xe9\\d\xfc.log", "C:\\no\\such\\folder\\caf\xe9\\d\xfc.log"},
  };
  for (const Case& c : cases) {
    test::ScratchKey scratch;
    // Stored elsewhere (by hand, or by an older version): cut on loading.
    scratch.open()->writeText(setting::LogFile.name, c.text);
    scratch.open()->writeText(setting::DataFile.name, c.text);
    LogSettingsModel model(scratch.name(), scratch.directory());
    model.load();
    EXPECT_EQ(model.path(OutputFile::Log), c.kept);
    EXPECT_EQ(model.path(OutputFile::Data), c.kept);

    // Typed into the fields: cut on storing.
    model.store(c.text, true, c.text);
    const Stored stored = storedValues(scratch);
    EXPECT_EQ(stored.logFile, c.kept);
    EXPECT_EQ(stored.dataFile, c.kept);
    EXPECT_EQ(stored.logDetails, 1);
  }
}

TEST(LogSettingsModel, AnyNonZeroDetailsValueSetsTheBox) {
  for (int32_t value : {1, 2, -1}) {
    test::ScratchKey scratch;
    scratch.open()->writeNumber(setting::LogDetails.name, value);
    LogSettingsModel model(scratch.name(), scratch.directory());
    model.load();
    EXPECT_TRUE(model.logDetails()) << value;
  }
}

// A chooser that records where it started and answers as told.
struct ScriptedChooser {
  std::vector<std::string> starts;
  std::vector<const char*> titles;
  bool choose = false;
  std::string choice;

  FileChooser function() {
    return [this](const FileChooserRequest& request, std::string& path) {
      starts.push_back(path);
      titles.push_back(request.title);
      if (choose) path = choice;
      return choose;
    };
  }
};

TEST(LogSettingsModel, ChooserStartsOnTheStoredPathAndStoresNothing) {
  test::ScratchKey scratch;
  {
    auto key = scratch.open();
    key->writeText(setting::LogFile.name, "C:\\stored.log");
    key->writeText(setting::DataFile.name, "C:\\stored.csv");
    key->writeNumber(setting::LogDetails.name, 1);
  }
  LogSettingsModel model(scratch.name(), scratch.directory());
  model.load();

  // Cancelled: the buffer, and with it the field, stays as it was.
  ScriptedChooser chooser;
  EXPECT_FALSE(model.browse(OutputFile::Log, chooser.function()));
  EXPECT_EQ(model.path(OutputFile::Log), "C:\\stored.log");

  // A file that does not exist yet is a choice like any other; the next
  // browse starts on it. Each path has its own buffer.
  chooser.choose = true;
  chooser.choice = "D:\\new\\not-yet.log";
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser.function()));
  EXPECT_EQ(model.path(OutputFile::Log), "D:\\new\\not-yet.log");
  EXPECT_TRUE(model.browse(OutputFile::Log, chooser.function()));
  chooser.choice = "D:\\" + std::string(400, 'c');
  EXPECT_TRUE(model.browse(OutputFile::Data, chooser.function()));
  EXPECT_EQ(model.path(OutputFile::Data).size(), LogSettingsModel::kMaxPathLength);

  EXPECT_EQ(chooser.starts, (std::vector<std::string>{"C:\\stored.log", "C:\\stored.log",
                                                      "D:\\new\\not-yet.log", "C:\\stored.csv"}));
  EXPECT_EQ(std::string(chooser.titles.back()), "Browse for Data File");
  EXPECT_EQ(std::string(chooser.titles.front()), "Browse for Log File");

  // Browsing is no OK: the dialog cancelled now leaves every stored value.
  const Stored stored = storedValues(scratch);
  EXPECT_EQ(stored.logFile, "C:\\stored.log");
  EXPECT_EQ(stored.dataFile, "C:\\stored.csv");
  EXPECT_EQ(stored.logDetails, 1);
}

}  // namespace
}  // namespace veltraw
