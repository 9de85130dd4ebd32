#include "ui/EntryRules.h"

#include <cctype>

namespace veltraw {

bool isUninstallCommand(const std::string& commandLine) {
  static const std::string word = "-uninstall";
  if (commandLine.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(commandLine[i])) != word[i]) return false;
  }
  return true;
}

EntryAction entryAction(const std::string& commandLine, bool instanceRunning) {
  if (isUninstallCommand(commandLine)) return EntryAction::Uninstall;
  return instanceRunning ? EntryAction::RefuseSecondInstance : EntryAction::Start;
}

}  // namespace veltraw
