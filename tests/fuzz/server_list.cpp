// The server list file SERVIDORES.cfg with any bytes.
//
// Properties: the entries are the file's lines in order, read byte by byte
// as documented (LF, CR LF, or CR with any one byte after it end a line; a
// NUL ends an entry's text; bytes after the last line end are no entry); no
// entry holds a CR, an LF or a NUL; entries without those bytes, each ended
// by CR LF or by LF, read back as themselves; one more LF reads the
// unfinished last line as one more entry.
#include <string>
#include <vector>

#include "consopuntos/servidores.h"
#include "fuzz/fuzz_support.h"

namespace {

// The documented reading: the file's size in bytes, one byte at a time.
// `unfinished` is the text of the line after the last line end; `crPending`
// tells that the last byte was a CR whose following byte the file lacks.
std::vector<std::string> Reference(const std::string& bytes, std::string& unfinished, bool& crPending) {
  std::vector<std::string> entries;
  std::string line;
  auto entry = [&] { return line.substr(0, line.find('\0')); };
  std::size_t read = 0;
  crPending = false;
  while (read < bytes.size()) {
    const char c = bytes[read++];
    if (c == '\r' || c == '\n') {
      entries.push_back(entry());
      line.clear();
      if (c == '\r') {
        if (read < bytes.size()) {
          ++read;  // the byte after a CR
        } else {
          crPending = true;
        }
      }
    } else {
      line += c;
    }
  }
  unfinished = entry();
  return entries;
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string all;
  for (const auto& e : entries) all += "[" + fuzz::Escaped(e) + "]";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> entries = ParseServerList(bytes);
  std::string unfinished;
  bool crPending = false;
  FUZZ_CHECK(entries == Reference(bytes, unfinished, crPending), "the entries are the documented reading's",
             fuzz::Escaped(bytes) + "\ngave " + Joined(entries));
  for (const auto& e : entries)
    FUZZ_CHECK(e.find_first_of(std::string("\r\n\0", 3)) == std::string::npos, "no entry holds CR, LF or NUL",
               fuzz::Escaped(e));

  // The entries written back, with either line end, read back as themselves.
  std::string crlf, lf;
  for (const auto& e : entries) {
    crlf += e + "\r\n";
    lf += e + "\n";
  }
  FUZZ_CHECK(ParseServerList(crlf) == entries, "entries ended by CR LF read back", Joined(entries));
  FUZZ_CHECK(ParseServerList(lf) == entries, "entries ended by LF read back", Joined(entries));

  // The unfinished last line is no entry: an LF after it makes it one, unless
  // a CR at the very end takes that LF as its following byte.
  std::vector<std::string> more = entries;
  if (!crPending) more.push_back(unfinished);
  FUZZ_CHECK(ParseServerList(bytes + "\n") == more, "a last line without a line end is no entry",
             fuzz::Escaped(bytes));
  return 0;
}
