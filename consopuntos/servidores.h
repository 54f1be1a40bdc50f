// The server list file SERVIDORES.cfg.
#pragma once

#include <string>
#include <vector>

// Entries of a server list file: LF, CR LF or CR + any byte end a line, NUL
// ends an entry's text, the last line without a line end is dropped.
[[nodiscard]] std::vector<std::string> ParseServerList(const std::string& bytes);
