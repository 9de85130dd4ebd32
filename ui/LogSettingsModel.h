// The "Log Settings" dialog's data: the error log path, the packet-details
// switch and the CSV data file path. Loads them, lets either path be chosen
// with a file chooser, and stores them on OK; the program applies them
// afterwards (the log reopened, the data file started anew).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"

namespace veltraw {

struct FileFilter {
  const char* name;     // "Log Files"
  const char* pattern;  // "*.log"
};

// What the file chooser shows; the first filter is the active one.
struct FileChooserRequest {
  const char* title;
  std::vector<FileFilter> filters;
};

// The platform's file-open dialog. path holds the starting name on entry and,
// when the user chose a file (true), the chosen one; a cancelled chooser
// returns false. The chosen file need not exist.
using FileChooser = std::function<bool(const FileChooserRequest& request, std::string& path)>;

enum class OutputFile { Log, Data };

class LogSettingsModel {
 public:
  // The platform's path buffers hold 260 characters with the terminator.
  static constexpr std::size_t kMaxPathLength = 259;

  // keyName: the program's settings key; tests give their own. directory:
  // where the native settings file lives; ignored on Windows.
  explicit LogSettingsModel(std::string keyName = setting::kKeyName,
                            std::string directory = std::string());

  // Reads the three settings; a stored path longer than the buffer is cut.
  void load();

  // The buffers: the path as loaded, or as last chosen with browse().
  const std::string& path(OutputFile which) const;
  bool logDetails() const { return m_logDetails; }

  static FileChooserRequest chooserRequest(OutputFile which);

  // Opens the chooser on the buffer's path (the stored one, never text typed
  // into the field since). True when a file was chosen: the buffer then holds
  // it and the field is to show it. Stores nothing.
  bool browse(OutputFile which, const FileChooser& chooser);

  // OK: the fields' texts (each cut to the buffer's size) and the box go into
  // the buffers and the store, as they are: nothing is validated, an empty
  // field stores an empty path. Throws std::runtime_error when the store
  // refuses a value.
  void store(const std::string& logPathText, bool logDetails, const std::string& dataPathText);

 private:
  std::string& buffer(OutputFile which);

  std::string m_keyName;
  std::string m_directory;
  std::string m_logPath;
  std::string m_dataPath;
  bool m_logDetails = false;
};

}  // namespace veltraw
