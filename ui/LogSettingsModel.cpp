#include "ui/LogSettingsModel.h"

#include <utility>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

namespace {

std::string cutPath(const std::string& text) {
  return text.substr(0, LogSettingsModel::kMaxPathLength);
}

}  // namespace

LogSettingsModel::LogSettingsModel(std::string keyName, std::string directory)
    : m_keyName(std::move(keyName)), m_directory(std::move(directory)) {}

void LogSettingsModel::load() {
  SettingsKey key(m_keyName, m_directory);
  m_logPath = cutPath(key.read(setting::LogFile));
  m_dataPath = cutPath(key.read(setting::DataFile));
  m_logDetails = key.read(setting::LogDetails) != 0;
}

const std::string& LogSettingsModel::path(OutputFile which) const {
  return which == OutputFile::Log ? m_logPath : m_dataPath;
}

std::string& LogSettingsModel::buffer(OutputFile which) {
  return which == OutputFile::Log ? m_logPath : m_dataPath;
}

FileChooserRequest LogSettingsModel::chooserRequest(OutputFile which) {
  if (which == OutputFile::Log) {
    return {"Browse for Log File", {{"Log Files", "*.log"}, {"All Files", "*.*"}}};
  }
  return {"Browse for Data File", {{"CSV Files", "*.csv"}, {"All Files", "*.*"}}};
}

bool LogSettingsModel::browse(OutputFile which, const FileChooser& chooser) {
  std::string path = buffer(which);
  if (!chooser(chooserRequest(which), path)) return false;
  buffer(which) = cutPath(path);
  return true;
}

void LogSettingsModel::store(const std::string& logPathText, bool logDetails,
                             const std::string& dataPathText) {
  m_logPath = cutPath(logPathText);
  m_dataPath = cutPath(dataPathText);
  m_logDetails = logDetails;
  SettingsKey key(m_keyName, m_directory);
  key.write(setting::LogFile, m_logPath);
  key.write(setting::DataFile, m_dataPath);
  key.write(setting::LogDetails, logDetails ? 1 : 0);
}

}  // namespace veltraw
