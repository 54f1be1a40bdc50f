// What the program needs of the platform outside the databases: file names
// written the Windows way, the two text logs, the server list file and the
// application-directory setting. Names and texts are internal (ISO-8859-1);
// the conversions to the platform happen here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// A file name as the program writes it ("\ERRORES.TXT", dir + "\SERVIDORES.cfg")
// mapped to this platform: a leading backslash names the working directory,
// other backslashes are path separators. Still internal text.
[[nodiscard]] std::string LocalPath(const std::string& name);

// The name the file system knows the file by: LocalPath in the platform's
// file-name encoding (UTF-8).
[[nodiscard]] std::string NativePath(const std::string& name);

// Appends text to a log, creating the file when it does not exist. An
// existing file is never truncated. The text is written in UTF-8. A failure
// writes one line on standard error naming the file.
void AppendToLog(const std::string& name, const std::string& text) noexcept;

// Whether a file (or anything) is there by that name.
[[nodiscard]] bool FileExists(const std::string& name);
// Renames a file; a failure writes one line on standard error naming both
// and gives false.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to) noexcept;

// The whole file, as bytes; false when it cannot be opened or read.
[[nodiscard]] bool ReadFile(const std::string& name, std::string& bytes);

// The program's settings: keys of the registry key "\Software\Quenda\Varnex2009".
// Stored in Quenda/Varnex2009.conf under the XDG config dirs
// ($XDG_CONFIG_DIRS, default /etc/xdg), lines "key=value"; the first file
// that exists is the key, a missing file a missing key. The file is UTF-8
// text (a value that is not UTF-8 is taken as ISO-8859-1 bytes); values come
// back internal.
enum class SettingLookup { kFound, kValueMissing, kKeyMissing };
[[nodiscard]] SettingLookup ReadSetting(const std::string& name, std::string& value);
// A setting's text with the blanks around it left out; false when the
// setting is absent or empty.
[[nodiscard]] bool ReadSettingText(const std::string& name, std::string& value);
// The value of a text that is a positive integer in decimal digits alone
// that fits an int; 0 when it is not.
[[nodiscard]] int PositiveInteger(const std::string& text) noexcept;
// A setting that counts (rows, seconds, times): its value, 0 when absent; a
// value that is not a positive integer counts as absent, with a line on
// standard error naming it.
[[nodiscard]] int ReadCountSetting(const std::string& name);
// The application directory: value "Directorio".
[[nodiscard]] SettingLookup ReadApplicationDirectory(std::string& value);
// The files looked for, in order.
[[nodiscard]] std::vector<std::string> SettingsFiles();
// The value of `name` in the text of a settings file; false when no line
// names it.
[[nodiscard]] bool SettingFromText(const std::string& text, const std::string& name, std::string& value);

// Stop signals (SIGTERM, SIGINT, SIGHUP). Blocks them in the calling thread
// and in every thread started after it (call it first thing in main, so that
// no library's thread ever sees them), and waits for them on a thread of its
// own. The first one calls onStop(128 + signal) on that thread, which asks
// the program to stop; if the process is still there after graceSeconds,
// abort() runs (dropping links that do not answer), and after as many more
// seconds again, or at a second signal, beforeExit() runs (on that thread:
// the program is stuck elsewhere) and the process ends at once with that
// status.
void WatchStopSignals(std::function<void(int exitStatus)> onStop, std::function<void()> abort,
                      std::function<void()> beforeExit, int graceSeconds = 2);

}  // namespace platform
