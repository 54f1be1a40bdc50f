// What the program needs of the platform outside the databases: file names
// written the Windows way, the two text logs, and the application-directory
// setting.
#pragma once

#include <string>

namespace platform {

// A file name as the program writes it ("\ERRORES.TXT", dir + "\SERVIDORES.cfg")
// mapped to this platform: a leading backslash names the working directory,
// other backslashes are path separators.
[[nodiscard]] std::string LocalPath(const std::string& name);

// Appends text to a log, creating the file when it does not exist. An
// existing file is never truncated. Failures are ignored.
void AppendToLog(const std::string& name, const std::string& text) noexcept;

// The application-directory setting: key "\Software\Quenda\Varnex2009",
// value "Directorio". Stored in Quenda/Varnex2009.conf under the XDG config
// dirs ($XDG_CONFIG_DIRS, default /etc/xdg); a missing file is a missing key.
enum class SettingLookup { kFound, kValueMissing, kKeyMissing };
[[nodiscard]] SettingLookup ReadApplicationDirectory(std::string& value);

}  // namespace platform
