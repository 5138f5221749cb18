#include "catalog/CatalogueSignature.h"

#include <charconv>
#include <chrono>
#include <cstdio>

#include "platform/Files.h"

namespace varnel {

namespace {

using namespace std::chrono;

struct TLineForm {
  std::string_view Prefix;
  const char* Rest;  // as the refusal of a malformed line describes it
};
constexpr TLineForm kLines[] = {
    {"serial: ", "a whole number"},
    {"expires: ", "a UTC time such as 2027-01-08T10:00:00Z"},
    {"sha256: ", "64 lower-case hexadecimal digits"},
    {"signature: ", "the base64 of a 64-byte signature"},
};
constexpr std::string_view kTimeForm = "0000-00-00T00:00:00Z";  // 0 stands for any digit

ECatalogueSignatureError Malformed(const std::string& reason) {
  return ECatalogueSignatureError("The repository's catalogue signature is malformed: " + reason);
}

std::string FormatUtcTime(int64_t time) {
  const sys_seconds at{seconds(time)};
  const sys_days day = floor<days>(at);
  const year_month_day date(day);
  const hh_mm_ss clock(at - day);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<int64_t> ParseUtcTime(std::string_view text) {
  if (text.size() != kTimeForm.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kTimeForm[i] == '0' ? !digit : text[i] != kTimeForm[i]) return std::nullopt;
  }
  auto number = [&](size_t at, size_t count) {
    int value = 0;
    for (char c : text.substr(at, count)) value = value * 10 + (c - '0');
    return value;
  };
  const year_month_day date{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                            day(static_cast<unsigned>(number(8, 2)))};
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days(date).time_since_epoch().count() * int64_t{86400} + hour * 3600 + minute * 60 +
         second;
}

bool IsLowerHexDigest(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace

int64_t UnixTimeNow() {
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::string ReadCatalogueSignatureFile(IFileSystem& fileSystem, const std::string& path) {
  return ReadFileHead(fileSystem, path, kMaxCatalogueSignatureSize + 1);
}

std::string WriteCatalogueSignature(const TEd25519PrivateKey& key, int64_t serial, int64_t expires,
                                    std::string_view sha256) {
  std::string text;
  const std::string values[] = {std::to_string(serial), FormatUtcTime(expires),
                                std::string(sha256)};
  for (size_t i = 0; i < std::size(values); ++i) {
    text += std::string(kLines[i].Prefix) + values[i] + "\n";
  }
  return text + std::string(kLines[3].Prefix) + EncodeBase64(key.Sign(text)) + "\n";
}

std::optional<int64_t> ParseCatalogueSerial(std::string_view text) {
  int64_t serial = 0;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos ||
      std::from_chars(text.data(), text.data() + text.size(), serial).ec != std::errc()) {
    return std::nullopt;
  }
  return serial;
}

TCatalogueSignature ParseCatalogueSignature(std::optional<std::string_view> sigText) {
  if (!sigText) throw ECatalogueSignatureError("The repository's catalogue is not signed");
  const std::string_view text = *sigText;
  if (text.size() > kMaxCatalogueSignatureSize) {
    throw Malformed("it is longer than " + std::to_string(kMaxCatalogueSignatureSize) + " bytes");
  }
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size() && text.ends_with('\n');) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() != std::size(kLines)) {
    throw Malformed("it is not four lines, each ending in a line feed");
  }
  std::string_view values[std::size(kLines)];
  for (size_t i = 0; i < std::size(kLines); ++i) {
    if (lines[i].starts_with(kLines[i].Prefix))
      values[i] = lines[i].substr(kLines[i].Prefix.size());
  }
  const std::optional<int64_t> serial = ParseCatalogueSerial(values[0]);
  const std::optional<int64_t> expires = ParseUtcTime(values[1]);
  const std::optional<std::string> bytes = DecodeBase64(values[3]);
  const bool valid[] = {serial.has_value(), expires.has_value(), IsLowerHexDigest(values[2]),
                        bytes && bytes->size() == kEd25519SignatureSize};
  for (size_t i = 0; i < std::size(kLines); ++i) {
    if (!valid[i]) {
      throw Malformed("line " + std::to_string(i + 1) + " is not \"" +
                      std::string(kLines[i].Prefix) + "\" and " + kLines[i].Rest);
    }
  }
  const std::string_view signedText = text.substr(0, text.size() - lines.back().size() - 1);
  return {*serial, *expires, std::string(values[2]), std::string(signedText), *bytes};
}

std::string DecodeRepositoryKey(std::string_view base64) {
  const std::optional<std::string> key = DecodeBase64(base64);
  if (!key || key->size() != kEd25519PublicKeySize) {
    throw ECatalogueSignatureError("The repository key \"" + std::string(base64) +
                                   "\" is not the base64 of a 32-byte Ed25519 public key");
  }
  return *key;
}

std::vector<std::string> CatalogueSignatureRefusals(const TCatalogueSignature& signature,
                                                    std::string_view archiveSha256,
                                                    std::string_view repositoryKey, int64_t now,
                                                    std::optional<int64_t> serialInUse) {
  std::vector<std::string> refusals;
  if (!VerifyEd25519(DecodeRepositoryKey(repositoryKey), signature.SignedText,
                     signature.Signature)) {
    refusals.push_back("The catalogue's signature does not match this program's repository key");
  }
  if (signature.Sha256 != archiveSha256) {
    refusals.push_back(
        "The repository's catalogue is not the one its signature describes: "
        "SHA-256 " +
        signature.Sha256 + " signed, " + std::string(archiveSha256) + " received");
  }
  if (now >= signature.Expires) {
    refusals.push_back("The repository's catalogue expired on " +
                       FormatUtcTime(signature.Expires).substr(0, 10) +
                       " (it may be stale or held back)");
  }
  if (serialInUse && signature.Serial < *serialInUse) {
    refusals.push_back("The repository offers an older catalogue (serial " +
                       std::to_string(signature.Serial) + ") than the one in use (serial " +
                       std::to_string(*serialInUse) + ")");
  }
  return refusals;
}

TCatalogueSignature VerifyCatalogueSignature(std::optional<std::string_view> sigText,
                                             std::string_view archiveSha256,
                                             std::string_view repositoryKey, int64_t now,
                                             std::optional<int64_t> serialInUse) {
  TCatalogueSignature signature = ParseCatalogueSignature(sigText);
  const std::vector<std::string> refusals =
      CatalogueSignatureRefusals(signature, archiveSha256, repositoryKey, now, serialInUse);
  if (!refusals.empty()) throw ECatalogueSignatureError(refusals.front());
  return signature;
}

}  // namespace varnel
