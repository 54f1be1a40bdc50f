// File names written the Windows way, the logs, and the application-directory
// setting.
#include "dm/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "dbaccess/sqlconnection.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/files.h"

using namespace dbx::literals;

namespace {

struct PathCase {
  std::string name;
  std::string expected;
};

class LocalPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(LocalPathTest, MapsTheName) { EXPECT_EQ(platform::LocalPath(GetParam().name), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Names, LocalPathTest,
    ::testing::Values(PathCase{"\\ERRORES.TXT", "ERRORES.TXT"},                               // root: working directory
                      PathCase{"\\SERVIDORES.cfg", "SERVIDORES.cfg"},                         // empty directory setting
                      PathCase{"\\sub\\x.txt", "sub/x.txt"},                                  //
                      PathCase{"/opt/varnex\\SERVIDORES.cfg", "/opt/varnex/SERVIDORES.cfg"},  // dir + "\file"
                      PathCase{"/opt/varnex\\\\SERVIDORES.cfg", "/opt/varnex//SERVIDORES.cfg"},  // dir ending in "\"
                      PathCase{"/opt/varnex/ERRORENVPTOS.TXT", "/opt/varnex/ERRORENVPTOS.TXT"},
                      PathCase{"ERRORES.TXT", "ERRORES.TXT"},  //
                      PathCase{"\\", "."},                     //
                      PathCase{"", ""}));

class AppendToLogTest : public ::testing::Test {
 protected:
  testsupport::WorkDir dir_;
};

TEST_F(AppendToLogTest, CreatesAMissingLogAndAppendsToAnExistingOne) {
  platform::AppendToLog("\\ERRORES.TXT", "a,b\r\n");
  EXPECT_EQ(testsupport::ReadFile(dir_.path() / "ERRORES.TXT"), "a,b\r\n");
  platform::AppendToLog("\\ERRORES.TXT", "c\r\n");
  EXPECT_EQ(testsupport::ReadFile(dir_.path() / "ERRORES.TXT"), "a,b\r\nc\r\n");
  // Internal text is written in UTF-8, and so is a file name with an accent.
  platform::AppendToLog("\\Peña.TXT"_l1, "compañía\r\n"_l1);
  EXPECT_EQ(testsupport::ReadFile(dir_.path() / "Pe\xc3\xb1" "a.TXT"), "compa\xc3\xb1\xc3\xad" "a\r\n");

  testsupport::WriteFile(dir_.path() / "other.txt", std::string("keep\0me", 7));
  platform::AppendToLog((dir_.path() / "other.txt").string(), "+");
  EXPECT_EQ(testsupport::ReadFile(dir_.path() / "other.txt"), std::string("keep\0me+", 8));
}

// A log that cannot be written costs a line on standard error naming it.
TEST_F(AppendToLogTest, FailuresAreNamed) {
  std::filesystem::create_directory(dir_.path() / "ERRORES.TXT");
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(platform::AppendToLog("\\ERRORES.TXT", "x\r\n"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "ERRORES.TXT"));
  EXPECT_NO_THROW(platform::AppendToLog("\\missing\\ERRORES.TXT", "x\r\n"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "consopuntos: no se pudo escribir en ERRORES.TXT (Is a directory)\n"
            "consopuntos: no se pudo escribir en missing/ERRORES.TXT (No such file or directory)\n");
}

// XDG_CONFIG_DIRS pointed at scratch folders for the test's duration.
class ApplicationDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = dir_.path() / "first";
    second_ = dir_.path() / "second";
    std::filesystem::create_directories(first_ / "Quenda");
    std::filesystem::create_directories(second_ / "Quenda");
    xdg_.Set(first_.string() + ":" + second_.string());
  }
  static void Write(const std::filesystem::path& dir, const std::string& bytes) {
    testsupport::WriteFile(dir / "Quenda" / "Varnex2009.conf", bytes);
  }

  testsupport::WorkDir dir_;
  std::filesystem::path first_, second_;
  testsupport::ScopedEnv xdg_{"XDG_CONFIG_DIRS", std::nullopt};
};

TEST_F(ApplicationDirectoryTest, MissingFileIsAMissingKey) {
  std::string value = "stale";
  EXPECT_EQ(platform::ReadApplicationDirectory(value), platform::SettingLookup::kKeyMissing);
  EXPECT_EQ(value, "");
}

TEST_F(ApplicationDirectoryTest, FileWithoutTheValueIsAMissingValue) {
  Write(first_, "Otro=/opt\nDirectorioX=/bad\n");
  std::string value = "stale";
  EXPECT_EQ(platform::ReadApplicationDirectory(value), platform::SettingLookup::kValueMissing);
  EXPECT_EQ(value, "");
}

TEST_F(ApplicationDirectoryTest, EmptyValueGivesEmptyText) {
  Write(first_, "Directorio=\n");
  std::string value;
  EXPECT_NE(platform::ReadApplicationDirectory(value), platform::SettingLookup::kKeyMissing);
  EXPECT_EQ(value, "");
}

struct ValueCase {
  const char* label;
  std::string file;
  std::string expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.label; }

class ApplicationDirectoryValueTest : public ApplicationDirectoryTest,
                                      public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ApplicationDirectoryValueTest, ReadsTheValueVerbatim) {
  Write(first_, GetParam().file);
  std::string value;
  EXPECT_EQ(platform::ReadApplicationDirectory(value), platform::SettingLookup::kFound);
  EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ApplicationDirectoryValueTest,
                         ::testing::Values(ValueCase{"plain", "Directorio=/opt/varnex\n", "/opt/varnex"},
                                           ValueCase{"trailing_backslash", "Directorio=C:\\varnex\\\n", "C:\\varnex\\"},
                                           ValueCase{"crlf_line", "Otro=1\r\nDirectorio=/srv/app\r\n", "/srv/app"},
                                           ValueCase{"no_final_line_end", "Directorio=/srv/app", "/srv/app"},
                                           ValueCase{"blanks_kept", "Directorio=/srv/my app \n", "/srv/my app "},
                                           ValueCase{"ends_at_nul", std::string("Directorio=/a\0b\n", 16), "/a"},
                                           ValueCase{"first_entry_wins", "Directorio=/one\nDirectorio=/two\n", "/one"},
                                           // UTF-8 text, internal value; bytes that are not UTF-8 stay.
                                           ValueCase{"utf8", "Directorio=/srv/Pe\xc3\xb1" "a\n", "/srv/Pe\xf1" "a"},
                                           ValueCase{"latin1", "Directorio=/srv/Pe\xf1" "a\n", "/srv/Pe\xf1" "a"}),
                         [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.label); });

TEST_F(ApplicationDirectoryTest, LaterConfigDirectoryIsSearchedWhenTheFirstHasNoFile) {
  Write(second_, "Directorio=/from/second\n");
  std::string value;
  EXPECT_EQ(platform::ReadApplicationDirectory(value), platform::SettingLookup::kFound);
  EXPECT_EQ(value, "/from/second");
}

// CompresionRed=SI, in any case, compresses both connections of the data
// module; any other value, or none, leaves them as the client has them.
TEST_F(ApplicationDirectoryTest, CompressionSettingCoversEveryConnection) {
  const struct {
    const char* file;
    bool on;
  } cases[] = {{"CompresionRed=SI\n", true},  {"CompresionRed=si\n", true}, {"CompresionRed=NO\n", false},
               {"CompresionRed=\n", false},   {"CompresionRed=S\n", false}, {"Directorio=/x\n", false}};
  for (const auto& c : cases) {
    Write(first_, c.file);
    TContext context;
    Tfdm dm(context);
    EXPECT_EQ(dm.Varnex->WireCompression, c.on) << c.file;
    EXPECT_EQ(dm.ConReplica->WireCompression, c.on) << c.file;
  }
}

}  // namespace
