// The catalogue's signature file as a program with a repository key checks it: one good file
// signed by the openssl command, and each way a file can fail, run from one table.
#include "catalog/CatalogueSignature.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "tests/support/TempDir.h"

namespace varnel {
namespace {

constexpr int64_t kExpires = 1799402400;  // 2027-01-08T10:00:00Z
const std::string kArchiveSha256(64, 'a');

// What a shell command run in dir prints.
std::string Shell(const test::TempDir& dir, const std::string& command) {
  EXPECT_EQ(std::system(("cd '" + dir.Path() + "' && (" + command + ") >out").c_str()), 0);
  return test::ReadFile(dir / "out");
}

// A key made by openssl, as base64 of its 32 raw bytes.
std::string NewKey(const test::TempDir& dir, const std::string& file) {
  return Shell(dir, "openssl genpkey -algorithm ed25519 -out " + file + " && openssl pkey -in " +
                        file + " -pubout -outform DER | tail -c 32 | base64 -w0");
}

TEST(CatalogueSignatureTest, EachRefusalHasItsPlainMessage) {
  test::TempDir dir;
  const std::string key = NewKey(dir, "key.pem");
  const std::string foreignKey = NewKey(dir, "other.pem");
  const std::string lines =
      "serial: 2\nexpires: 2027-01-08T10:00:00Z\nsha256: " + kArchiveSha256 + "\n";
  test::WriteFile(dir / "lines", lines);
  const std::string good =
      lines + "signature: " +
      Shell(dir, "openssl pkeyutl -sign -inkey key.pem -rawin -in lines | base64 -w0") + "\n";

  const std::string malformed = "The repository's catalogue signature is malformed: ";
  const std::string foreign =
      "The catalogue's signature does not match this program's repository key";
  struct Input {
    std::optional<std::string> sig;
    std::string archiveSha256;
    std::string repositoryKey;
    int64_t now;
    std::optional<int64_t> serialInUse;
  };
  const std::string other(64, 'b');
  struct Row {
    const char* name;
    std::function<void(Input&)> change;
    std::string refusal;  // "" when accepted
  } rows[] = {
      {"good", [](Input&) {}, ""},
      {"equal-serial", [](Input& in) { in.serialInUse = 2; }, ""},
      {"tampered-archive", [&](Input& in) { in.archiveSha256 = other; },
       "The repository's catalogue is not the one its signature describes: SHA-256 " +
           kArchiveSha256 + " signed, " + other + " received"},
      {"tampered-serial-line", [](Input& in) { in.sig->replace(0, 9, "serial: 3"); }, foreign},
      {"foreign-key", [&](Input& in) { in.repositoryKey = foreignKey; }, foreign},
      {"expired", [](Input& in) { in.now = kExpires; },
       "The repository's catalogue expired on 2027-01-08 (it may be stale or held back)"},
      {"lower-serial", [](Input& in) { in.serialInUse = 3; },
       "The repository offers an older catalogue (serial 2) than the one in use (serial 3)"},
      {"missing", [](Input& in) { in.sig.reset(); }, "The repository's catalogue is not signed"},
      {"garbage", [](Input& in) { in.sig = "<html>Not Found</html>"; },
       malformed + "it is not four lines, each ending in a line feed"},
      {"crlf-lines", [](Input& in) { in.sig->replace(0, 10, "serial: 2\r\n"); },
       malformed + "line 1 is not \"serial: \" and a whole number"},
      {"no-such-day", [](Input& in) { in.sig->replace(19, 10, "2027-02-29"); },
       malformed + "line 2 is not \"expires: \" and a UTC time such as 2027-01-08T10:00:00Z"},
      {"longer-than-4-KiB",
       [](Input& in) { *in.sig += std::string(kMaxCatalogueSignatureSize, '\n'); },
       malformed + "it is longer than 4096 bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Input in{good, kArchiveSha256, key, kExpires - 1, {}};
    row.change(in);
    try {
      const TCatalogueSignature accepted = VerifyCatalogueSignature(
          in.sig, in.archiveSha256, in.repositoryKey, in.now, in.serialInUse);
      EXPECT_EQ(row.refusal, "");
      EXPECT_EQ(accepted.Serial, 2);
    } catch (const ECatalogueSignatureError& e) {
      EXPECT_EQ(e.Message(), row.refusal);
    }
  }
}

// A serial kept by the program must never wrap, and a mistyped key must not pass as another.
TEST(CatalogueSignatureTest, SerialsAndKeysAreReadOnlyInTheirOneForm) {
  EXPECT_EQ(ParseCatalogueSerial("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseCatalogueSerial("0"), 0);
  for (const char* serial : {"9223372036854775808", "-1", "+1", "1 ", "", "0x10"}) {
    EXPECT_EQ(ParseCatalogueSerial(serial), std::nullopt) << serial;
  }
  const std::string zeros(43, 'A');
  EXPECT_EQ(DecodeRepositoryKey(zeros + "="), std::string(32, '\0'));
  // Too short, 33 bytes, stray bits in the last character, a blank, a line break.
  for (const std::string& key : {zeros, zeros + "B", zeros.substr(1) + "B=",
                                 " " + zeros.substr(1) + "=", zeros.substr(2) + "\nA="}) {
    EXPECT_THROW(DecodeRepositoryKey(key), ECatalogueSignatureError) << key;
  }
}

TEST(CatalogueSignatureTest, AFileIsReadOnlyJustPastTheLimit) {
  test::TempDir dir;
  test::WriteFile(dir / "huge.sig", std::string(1 << 20, 'x'));
  EXPECT_EQ(ReadCatalogueSignatureFile(SystemFileSystem(), dir / "huge.sig").size(),
            kMaxCatalogueSignatureSize + 1);
}

}  // namespace
}  // namespace varnel
